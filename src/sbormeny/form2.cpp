#include "sbormeny/form2.h"

#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#include "desktop/namedwidget.h"
#include "pages/pages.h"
#include "screen/fonts.h"
#include "screen/screen.h"

using plat::Named;

TForm2* Form2 = nullptr;

TForm2::TForm2(QWidget* parent) : QDialog(parent) {
  setObjectName("Form2");
  setWindowTitle("Сборка");
  setWindowFlags(Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                 Qt::CustomizeWindowHint);
  setModal(false);
  // The keys stay with the operator screen while the form is shown.
  setAttribute(Qt::WA_ShowWithoutActivating);
  move(1024, 0);
  QFont font(PageFontFamily("Tahoma"));
  font.setPixelSize(11);
  setFont(font);
  setFixedSize(117, 414);

  struct Place {
    QPushButton** button;
    const char* name;
    const char* caption;
    void (TForm2::*click)();
  };
  const Place places[] = {
      {&Button1, "Button1", "9-6", &TForm2::Button1Click},
      {&Button3, "Button3", "8-5", &TForm2::Button3Click},
      {&Button4, "Button4", "7-4", &TForm2::Button4Click},
      {&Button5, "Button5", "6-3", &TForm2::Button5Click},
      {&Button6, "Button6", "5-2", &TForm2::Button6Click},
      {&Button7, "Button7", "4-1", &TForm2::Button7Click},
  };
  int top = 8;
  for (const Place& p : places) {
    QPushButton* b = Named<QPushButton>(p.name, QString::fromUtf8(p.caption), this);
    b->setGeometry(8, top, 101, 25);
    b->setAutoDefault(false);
    connect(b, &QPushButton::clicked, this, p.click);
    *p.button = b;
    top += 33;
  }
  // The form belongs to the selection page: it goes when the page has closed.
  auto* watch = new QTimer(this);
  watch->setInterval(200);
  connect(watch, &QTimer::timeout, this, [this, watch] {
    if (!ScreenState.assemblyFormFlag) {
      hide();
      watch->stop();
    }
  });
  watchPage_ = watch;
}

std::array<uint8_t, 7> TForm2::ReadySet(int top) {
  const auto g = [top](int down) { return static_cast<uint8_t>(top - down); };
  return {g(0), g(0), g(1), g(1), g(2), g(2), g(3)};
}

void TForm2::Button1Click() {
  AddReadySetToSelection(ReadySet(9));
}
void TForm2::Button3Click() {
  AddReadySetToSelection(ReadySet(8));
}
void TForm2::Button4Click() {
  AddReadySetToSelection(ReadySet(7));
}
void TForm2::Button5Click() {
  AddReadySetToSelection(ReadySet(6));
}
void TForm2::Button6Click() {
  AddReadySetToSelection(ReadySet(5));
}
void TForm2::Button7Click() {
  AddReadySetToSelection(ReadySet(4));
}

// On the line's screen, over the lower left of the selection page (the
// group legend's lower lines and the product name), where it hides nothing
// the operator needs while it is used; beyond the screen's right edge when
// the desktop is wider than the page.
void TForm2::ShowBeside() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  const QRect desk = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
  if (desk.width() >= 1024 + width()) move(1024, 0);
  else move(desk.left() + 160, desk.top() + 200);
  show();
  raise();
  watchPage_->start();
}
