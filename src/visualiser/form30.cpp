#include "visualiser/form30.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QToolButton>

#include "desktop/desktop.h"
#include "mathem/coilgeometry.h"
#include "mathem/mathobserver.h"
#include "mathem/profiles.h"
#include "platform/paths.h"
#include "platform/textfile.h"
#include "screen/screen.h"
#include "visualiser/visualiser.h"

TForm30* Form30 = nullptr;

namespace {

// The line's screen is 1024 x 768: the picture keeps its full size across
// the window, and the controls stand in rows under it, the report on the
// left, the steps in their order, the chains and the window's own buttons on
// the right.
constexpr int kClientWidth = 1024;
constexpr int kPictureTop = 19;
constexpr int kRowsTop = kPictureTop + kVisualiserHeight + 6;
constexpr int kRowStep = 30;
constexpr int kRowHeight = 26;
constexpr int kClientHeight = kRowsTop + 4 * kRowStep + 2;
constexpr int kControlsX = 306;
constexpr int kStepsX = 520;   // the speed buttons, 50 px apart
constexpr int kChainX = 720;   // the two columns on the right
constexpr int kChainWidth = 148;
constexpr int kChainStep = 152;

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
  GroupBox1->setGeometry(0, 0, kClientWidth, kPictureTop + kVisualiserHeight + 3);
  Image1 = new QLabel(GroupBox1);
  Image1->setObjectName("Image1");
  Image1->setGeometry((kClientWidth - kVisualiserWidth) / 2, kPictureTop, kVisualiserWidth,
                      kVisualiserHeight);

  auto row = [](int n) { return kRowsTop + n * kRowStep; };
  auto speed = [&](const char* name, const QString& text, const QString& hint, int r, int i) {
    return Make<QToolButton>(this, name, text, hint, {kStepsX + 50 * i, row(r), 46, kRowHeight});
  };
  auto chain = [&](int r, int col) {
    return QRect(kChainX + kChainStep * col, row(r), kChainWidth, kRowHeight);
  };
  Memo1 = Make<QPlainTextEdit>(this, "Memo1", "", "",
                               {2, row(0), kControlsX - 8, 3 * kRowStep + kRowHeight});
  Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo1->setReadOnly(true);

  // The first row: the file prefix, the loading of the profiles and the
  // steps of the diameter's chain.
  Edit1 = Make<QLineEdit>(this, "Edit1", "", "В нормальном режиме держать ПУСТЫМ",
                          {kControlsX, row(0), 116, kRowHeight});
  Button1 = Make<QPushButton>(this, "Button1", "Открыть", "", {kControlsX + 120, row(0), 90, kRowHeight});
  SpeedButton1 = speed("SpeedButton1", "1", "фильтр к1<=x<k2", 0, 0);
  SpeedButton2 = speed("SpeedButton2", "2", "фильтр x>=k3(k4б)", 0, 1);
  SpeedButton3 = speed("SpeedButton3", "3", "фильтр к5<=y<k6", 0, 2);
  SpeedButton5 = speed("SpeedButton5", "5", "Склейка от провалов к9, к10б", 0, 3);
  SpeedButton4 = speed("SpeedButton4", "4", "мин. толщина витка k7,k8", 0, 4);
  SpeedButton6 = speed("SpeedButton6", "Dv", "выбор 2го витка", 0, 5);
  SpeedButton7 = speed("SpeedButton7", "6", "отсечение \"бороды\"", 0, 6);
  SpeedButton9 = speed("SpeedButton9", "m", "выбор максимума", 0, 7);
  SpeedButton8 = speed("SpeedButton8", "D=", "расчет диаметра", 0, 8);
  SpeedButton10 = speed("SpeedButton10", "?", "поиск пружины (не работает)", 0, 9);
  // The second: the spring search's answer, the outer spring's loading, the
  // steps of the non-perpendicularity and the two chains.
  Label1 = Make<QLabel>(this, "Label1", "????", "", {kControlsX, row(1), 116, kRowHeight});
  Button2 = Make<QPushButton>(this, "Button2", "Наружняя", "", {kControlsX + 120, row(1), 90, kRowHeight});
  Button2->setVisible(false);
  SpeedButton11 = speed("SpeedButton11", "Dvn", "поиск 2го снизу витка", 1, 0);
  SpeedButton12 = speed("SpeedButton12", "6n", "", 1, 1);
  SpeedButton13 = speed("SpeedButton13", "mn", "поиск максимума", 1, 2);
  SpeedButton14 = speed("SpeedButton14", "nep=", "Вычисление неперпендикулярости", 1, 3);
  Button5 = Make<QPushButton>(this, "Button5", "Расчет Диаметра", "авторасчет диаметра", chain(1, 0));
  Button6 = Make<QPushButton>(this, "Button6", "Расчет неперп.", "авторасчет неперпендикулярности",
                              chain(1, 1));
  // The third: the picture's switches, the coil report, saving the picture.
  CheckBox1 = Make<QCheckBox>(this, "CheckBox1", "Отчерк завершения", "Отчерк завершения по камере",
                              {kControlsX, row(2), 200, kRowHeight});
  CheckBox1->setChecked(true);
  Button7 = Make<QPushButton>(this, "Button7", "Фильтр Вельдина", "", {kStepsX, row(2), 196, kRowHeight});
  Button8 = Make<QPushButton>(this, "Button8", "Сохранить SC.bmp", "", chain(2, 0));
  Label2 = Make<QLabel>(this, "Label2", "Цена деления 100 пикс", "",
                        {kControlsX, row(3), 210, kRowHeight});
  // The last: back to the program, or out of it.
  Button4 = Make<QPushButton>(this, "Button4", "Закрыть", "вернуться в программу", chain(3, 0));
  Button3 = Make<QPushButton>(this, "Button3", "ВЫХОД", "закрыть программу", chain(3, 1));

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
  // Unmoved, the dialog opens centred over the main window, which is the
  // line's screen.
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
  // Every road out of the program switches the press off and gives the
  // screen its mode back.
  EndProgram(0);
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
