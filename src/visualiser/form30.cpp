#include "visualiser/form30.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QToolButton>

#include "mathem/coilgeometry.h"
#include "mathem/mathobserver.h"
#include "mathem/profiles.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/textfile.h"
#include "screen/screen.h"
#include "visualiser/visualiser.h"

TForm30* Form30 = nullptr;

namespace {

constexpr int kClientWidth = 1151;
constexpr int kClientHeight = 716;
constexpr int kBorder = 3;
constexpr int kColumnX = 1038;
constexpr int kColumnWidth = 110;

template <class W>
W* Make(QWidget* parent, const char* name, const QString& text, const QString& hint,
        QRect geometry) {
  auto* w = new W(parent);
  w->setObjectName(name);
  if constexpr (!std::is_same_v<W, QPlainTextEdit>) w->setText(text);
  if (!hint.isEmpty()) w->setToolTip(hint);
  w->setGeometry(geometry);
  return w;
}

}  // namespace

TForm30::TForm30(QWidget* parent) : QDialog(parent) {
  setObjectName("Form30");
  setWindowTitle(kVisualiserCaption);
  setToolTip("загрузить cmr файлы");
  setFixedSize(kClientWidth, kClientHeight);

  GroupBox1 = new QGroupBox(" - Визуальное представление -", this);
  GroupBox1->setObjectName("GroupBox1");
  GroupBox1->setGeometry(kBorder, kBorder, kVisualiserWidth + 12, kVisualiserHeight + 24);
  Image1 = new QLabel(GroupBox1);
  Image1->setObjectName("Image1");
  Image1->setGeometry(6, 18, kVisualiserWidth, kVisualiserHeight);

  const int x = kColumnX, w = kColumnWidth, half = (kColumnWidth - 4) / 2;
  int y = 10;
  Edit1 = Make<QLineEdit>(this, "Edit1", "", "В нормальном режиме держать ПУСТЫМ", {x, y, w, 22});
  y += 26;
  Button1 = Make<QPushButton>(this, "Button1", "Открыть", "", {x, y, w, 26});
  y += 30;
  Button2 = Make<QPushButton>(this, "Button2", "Наружняя", "", {x, y, w, 26});
  Button2->setVisible(false);
  auto speed = [&](const char* name, const QString& text, const QString& hint, int col) {
    return Make<QToolButton>(this, name, text, hint, {x + col * (half + 4), y, half, 26});
  };
  SpeedButton1 = speed("SpeedButton1", "1", "фильтр к1<=x<k2", 0);
  SpeedButton2 = speed("SpeedButton2", "2", "фильтр x>=k3(k4б)", 1);
  y += 30;
  SpeedButton3 = speed("SpeedButton3", "3", "фильтр к5<=y<k6", 0);
  SpeedButton5 = speed("SpeedButton5", "5", "Склейка от провалов к9, к10б", 1);
  y += 30;
  SpeedButton4 = speed("SpeedButton4", "4", "мин. толщина витка k7,k8", 0);
  SpeedButton6 = speed("SpeedButton6", "Dv", "выбор 2го витка", 1);
  y += 30;
  SpeedButton7 = speed("SpeedButton7", "6", "отсечение \"бороды\"", 0);
  SpeedButton9 = speed("SpeedButton9", "m", "выбор максимума", 1);
  y += 30;
  SpeedButton8 = speed("SpeedButton8", "D=", "расчет диаметра", 0);
  SpeedButton10 = speed("SpeedButton10", "?", "поиск пружины (не работает)", 1);
  y += 30;
  Label1 = Make<QLabel>(this, "Label1", "????", "", {x, y, w, 22});
  y += 26;
  SpeedButton11 = speed("SpeedButton11", "Dvn", "поиск 2го снизу витка", 0);
  SpeedButton12 = speed("SpeedButton12", "6n", "", 1);
  y += 30;
  SpeedButton13 = speed("SpeedButton13", "mn", "поиск максимума", 0);
  SpeedButton14 = speed("SpeedButton14", "nep=", "Вычисление неперпендикулярости", 1);
  Button4 = Make<QPushButton>(this, "Button4", "Закрыть", "вернуться в программу",
                              {x, kClientHeight - 64, w, 26});
  Button3 = Make<QPushButton>(this, "Button3", "ВЫХОД", "закрыть программу",
                              {x, kClientHeight - 34, w, 26});

  // Under the picture: the report, the automatic chains, the picture's
  // switches.
  const int bottom = kBorder + kVisualiserHeight + 28;
  const int rows = kClientHeight - bottom - kBorder;
  Memo1 = Make<QPlainTextEdit>(this, "Memo1", "", "", {kBorder, bottom, 600, rows});
  Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo1->setReadOnly(true);
  const int cx = kBorder + 610, cw = 170, row = rows / 3;
  Button5 = Make<QPushButton>(this, "Button5", "Расчет Диаметра", "авторасчет диаметра",
                              {cx, bottom, cw, row - 2});
  Button6 = Make<QPushButton>(this, "Button6", "Расчет неперп.", "авторасчет неперпендикулярности",
                              {cx, bottom + row, cw, row - 2});
  Button7 = Make<QPushButton>(this, "Button7", "Фильтр Вельдина", "",
                              {cx, bottom + 2 * row, cw, row - 2});
  const int sx = cx + cw + 10, sw = 200;
  CheckBox1 = Make<QCheckBox>(this, "CheckBox1", "Отчерк завершения", "Отчерк завершения по камере",
                              {sx, bottom, sw, row - 2});
  CheckBox1->setChecked(true);
  Button8 =
      Make<QPushButton>(this, "Button8", "Сохранить SC.bmp", "", {sx, bottom + row, sw, row - 2});
  Label2 = Make<QLabel>(this, "Label2", "Цена деления 100 пикс", "",
                        {sx, bottom + 2 * row, sw, row - 2});

  connect(Button1, &QPushButton::clicked, this, &TForm30::Button1Click);
  connect(Button2, &QPushButton::clicked, this, &TForm30::Button2Click);
  connect(Button3, &QPushButton::clicked, this, &TForm30::Button3Click);
  connect(Button4, &QPushButton::clicked, this, &TForm30::Button4Click);
  connect(Button5, &QPushButton::clicked, this, &TForm30::Button5Click);
  connect(Button6, &QPushButton::clicked, this, &TForm30::Button6Click);
  connect(Button7, &QPushButton::clicked, this, &TForm30::Button7Click);
  connect(Button8, &QPushButton::clicked, this, &TForm30::Button8Click);
  connect(SpeedButton1, &QToolButton::clicked, this, &TForm30::SpeedButton1Click);
  connect(SpeedButton2, &QToolButton::clicked, this, &TForm30::SpeedButton2Click);
  connect(SpeedButton3, &QToolButton::clicked, this, &TForm30::SpeedButton3Click);
  connect(SpeedButton4, &QToolButton::clicked, this, &TForm30::SpeedButton4Click);
  connect(SpeedButton5, &QToolButton::clicked, this, &TForm30::SpeedButton5Click);
  connect(SpeedButton6, &QToolButton::clicked, this, &TForm30::SpeedButton6Click);
  connect(SpeedButton7, &QToolButton::clicked, this, &TForm30::SpeedButton7Click);
  connect(SpeedButton8, &QToolButton::clicked, this, &TForm30::SpeedButton8Click);
  connect(SpeedButton9, &QToolButton::clicked, this, &TForm30::SpeedButton9Click);
  connect(SpeedButton10, &QToolButton::clicked, this, &TForm30::SpeedButton10Click);
  connect(SpeedButton11, &QToolButton::clicked, this, &TForm30::SpeedButton11Click);
  connect(SpeedButton12, &QToolButton::clicked, this, &TForm30::SpeedButton12Click);
  connect(SpeedButton13, &QToolButton::clicked, this, &TForm30::SpeedButton13Click);
  connect(SpeedButton14, &QToolButton::clicked, this, &TForm30::SpeedButton14Click);
  connect(CheckBox1, &QCheckBox::clicked, this, &TForm30::CheckBox1Click);
  connect(Edit1, &QLineEdit::textChanged, this, &TForm30::Edit1Change);

  // The form shows the visualiser's state; a new form starts from a blank
  // picture with the end-of-data marks on.
  ResetVisualiser();
  Visualiser.endMarks = CheckBox1->isChecked();
  Visualiser.changed = [this] { Refresh(); };
  Refresh();
  if (const QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - rect().center());
  Form30 = this;
}

TForm30::~TForm30() {
  Visualiser.changed = nullptr;
  if (Form30 == this) Form30 = nullptr;
}

void TForm30::Refresh() {
  Image1->setPixmap(QPixmap::fromImage(Visualiser.image));
  setWindowTitle(Visualiser.caption);
  Label1->setText(Visualiser.springSearch);
  const QString report = Visualiser.report.join('\n');
  if (Memo1->toPlainText() != report) Memo1->setPlainText(report);
}

QString TForm30::SavedPictureName() {
  return "sc.bmp";
}

void ShowMathVisualiser() {
  if (Form30) Form30->exec();
}

void TForm30::Button1Click() {
  LoadProfiles(0);
  RedrawProfiles();
}

void TForm30::Button2Click() {
  LoadProfiles(kOuterSpringMode);
  RedrawProfiles();
}

void TForm30::Button3Click() {
  // Every road out of the program gives the screen its mode back.
  RestoreDisplayMode();
  plat::EndProcess(0);
}

void TForm30::Button4Click() {
  reject();
}

void TForm30::Button5Click() {
  ComputeDiameter();
}
void TForm30::Button6Click() {
  ComputeNonPerpendicularity();
}
void TForm30::Button7Click() {
  CoilReport();
}

void TForm30::Button8Click() {
  const QString path = plat::MapPath(SavedPictureName());
  QString reason;
  if (plat::WriteImageFile(path, Visualiser.image, "BMP", &reason))
    QMessageBox::information(this, QString(), "SC.bmp сохранет !");
  else
    QMessageBox::warning(this, QString(), QString("Не удалось сохранить %1: %2").arg(path, reason));
}

void TForm30::SpeedButton1Click() {
  RunStepAndReport(FilterBand);
}
void TForm30::SpeedButton2Click() {
  RunStepAndReport(FilterFloor);
}
void TForm30::SpeedButton3Click() {
  RunStepAndReport(FilterIndexWindow);
}
void TForm30::SpeedButton4Click() {
  RunStepAndReport(DropThinRuns);
}

void TForm30::SpeedButton5Click() {
  BridgeGaps();
  BridgeGaps();
  RedrawProfiles();
}

void TForm30::SpeedButton6Click() {
  RunStepAndReport(SelectSecondCoil);
}
void TForm30::SpeedButton7Click() {
  RunStepAndReport(CutTail);
}
void TForm30::SpeedButton8Click() {
  DiameterStep();
}
void TForm30::SpeedButton9Click() {
  RunStepAndReport(FindPeak);
}

void TForm30::SpeedButton10Click() {
  SpringSearch();
  RedrawProfiles();
}

void TForm30::SpeedButton11Click() {
  RunStepAndReport(SelectLowerCoil);
}
void TForm30::SpeedButton12Click() {
  RunStepAndReport(CutTail);
}
void TForm30::SpeedButton13Click() {
  RunStepAndReport(FindPeak);
}
void TForm30::SpeedButton14Click() {
  NonPerpendicularityStep();
}

void TForm30::CheckBox1Click() {
  Visualiser.endMarks = CheckBox1->isChecked();
}

void TForm30::Edit1Change() {
  ProfileStore.filePrefix = Edit1->text();
}
