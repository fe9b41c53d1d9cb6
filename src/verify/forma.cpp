#include "verify/forma.h"

#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <cstdio>

#include "config/settings.h"
#include "platform/clock.h"
#include "screen/fonts.h"
#include "verify/verification.h"

TForma* Forma = nullptr;

namespace {

template <typename T>
T* Placed(QWidget* parent, const char* name, int left, int top) {
  T* w = new T(parent);
  w->setObjectName(name);
  w->move(left, top);
  return w;
}

QLineEdit* Field(QWidget* parent, const char* name, int left, int top, int width, int height) {
  auto* e = Placed<QLineEdit>(parent, name, left, top);
  e->resize(width, height);
  return e;
}

QLabel* Caption(QWidget* parent, const char* name, int left, int top, const QString& text) {
  auto* l = Placed<QLabel>(parent, name, left, top);
  l->setText(text);
  l->adjustSize();
  return l;
}

QFont TahomaPixels(int pixels, bool boldItalic) {
  QFont f(PageFontFamily("Tahoma"));
  f.setPixelSize(pixels);
  f.setBold(boldItalic);
  f.setItalic(boldItalic);
  return f;
}

}  // namespace

TForma::TForma(QWidget* parent) : QDialog(parent) {
  setObjectName("Forma");
  setWindowTitle("Форма поверки линии Kalvor-М");
  // A single border and only the close button of the system menu.
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint);
  setFont(TahomaPixels(11, false));
  setFixedSize(645, 310);

  Label1 = Caption(this, "Label1", 24, 21, "Наименование:");
  Edit1 = Field(this, "Edit1", 24, 40, 121, 21);
  Edit2 = Field(this, "Edit2", 24, 67, 121, 21);
  Label2 = Caption(this, "Label2", 24, 91, "№ ID");
  Edit3 = Field(this, "Edit3", 24, 110, 121, 21);
  Label3 = Caption(this, "Label3", 24, 137, "Поверка проведена:");
  Edit4 = Field(this, "Edit4", 24, 156, 121, 21);
  for (QLineEdit* e : {Edit1, Edit2, Edit3, Edit4}) e->setEnabled(false);
  Label4 = Caption(this, "Label4", 24, 192, QString());
  Label4->setFont(TahomaPixels(16, true));
  Label4->setText("Код оборудования:");
  Label4->adjustSize();
  Edit5 = Field(this, "Edit5", 24, 224, 177, 27);
  Edit5->setReadOnly(true);
  Edit5->setFont(TahomaPixels(16, true));
  QPalette teal = Edit5->palette();
  teal.setColor(QPalette::Text, QColor(0x00, 0x80, 0x80));
  Edit5->setPalette(teal);

  FormCreate();
}

void TForma::FormCreate() {
  const auto& depo = Settings.Depo;
  Edit1->setText(depo.Depo1Name);
  Edit2->setText(depo.DepoName);
  Edit3->setText(depo.DeviceId);
  QString error;
  if (const auto date = ReadVerificationDate(&error)) {
    Edit4->setText(plat::ShortDateString(*date));
  } else {
    Edit4->setText("дата неизвестна");
    Edit4->setToolTip(error);
    std::fprintf(stderr, "kalvor: дата поверки неизвестна: %s\n", error.toLocal8Bit().constData());
  }
  Edit5->setText(QString::number(EquipmentCode(depo.Depo1Name + depo.DepoName + depo.DeviceId)));
}
