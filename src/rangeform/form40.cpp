#include "rangeform/form40.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QVBoxLayout>

#include "DALNOMER/rangevalue.h"
#include "desktop/namedwidget.h"
#include "link/camera.h"
#include "link/link.h"
#include "screen/screen.h"

using plat::Named;

TForm40::TForm40(QWidget* parent) : QDialog(parent) {
  setObjectName("Form40");
  setWindowTitle("Дальномер");

  GroupBox1 = Named<QGroupBox>("GroupBox1", "  Выбор камеры  ");
  auto* cameras = new QGridLayout(GroupBox1);
  QRadioButton** radios[] = {&RadioButton1, &RadioButton2, &RadioButton3, &RadioButton4,
                             &RadioButton5, &RadioButton6, &RadioButton7, &RadioButton8};
  for (int n = 1; n <= 8; ++n) {
    const QByteArray name = "RadioButton" + QByteArray::number(n);
    QRadioButton* r = Named<QRadioButton>(name.constData(), QString("Камера %1").arg(n));
    // The line has four cameras; the other places are kept for the form's layout.
    r->setEnabled(n <= 4);
    cameras->addWidget(r, (n - 1) % 4, (n - 1) / 4);
    *radios[n - 1] = r;
  }
  RadioButton1->setChecked(true);

  Button1 = Named<QPushButton>("Button1", "Замер");
  Button2 = Named<QPushButton>("Button2", "Закрыть");
  Button3 = Named<QPushButton>("Button3", "Выход");
  Button4 = Named<QPushButton>("Button4", "ON");
  Button5 = Named<QPushButton>("Button5", "OFF");
  CheckBox1 = Named<QCheckBox>("CheckBox1", "Автозамер");
  Label1 = Named<QLabel>("Label1", "В ПЗС");
  Label2 = Named<QLabel>("Label2", "-");
  Label3 = Named<QLabel>("Label3", "в ММ");
  Label4 = Named<QLabel>("Label4", "-");
  for (QLabel* l : {Label2, Label4}) {
    QFont f = l->font();
    f.setPointSize(16);
    f.setBold(true);
    l->setFont(f);
    l->setTextInteractionFlags(Qt::TextSelectableByMouse);
  }
  Label4->setWordWrap(true);
  Timer1 = new QTimer(this);
  Timer1->setObjectName("Timer1");
  Timer1->setInterval(500);

  auto* results = new QGridLayout;
  results->addWidget(Label1, 0, 0);
  results->addWidget(Label3, 0, 1);
  results->addWidget(Label2, 1, 0);
  results->addWidget(Label4, 1, 1);

  auto* power = new QHBoxLayout;
  power->addWidget(Button4);
  power->addWidget(Button5);

  auto* right = new QVBoxLayout;
  right->addLayout(results);
  right->addWidget(Button1);
  right->addWidget(CheckBox1);
  right->addLayout(power);
  right->addStretch();

  auto* bottom = new QHBoxLayout;
  bottom->addStretch();
  bottom->addWidget(Button2);
  bottom->addWidget(Button3);

  auto* top = new QHBoxLayout;
  top->addWidget(GroupBox1);
  top->addLayout(right);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addLayout(bottom);
  setMinimumWidth(420);

  connect(Button1, &QPushButton::clicked, this, &TForm40::Button1Click);
  connect(Button2, &QPushButton::clicked, this, &TForm40::Button2Click);
  connect(Button3, &QPushButton::clicked, this, &TForm40::Button3Click);
  connect(Button4, &QPushButton::clicked, this, &TForm40::Button4Click);
  connect(Button5, &QPushButton::clicked, this, &TForm40::Button5Click);
}

QRadioButton* TForm40::radio(int n) const {
  switch (n) {
    case 1:
      return RadioButton1;
    case 2:
      return RadioButton2;
    case 3:
      return RadioButton3;
    case 4:
      return RadioButton4;
    case 5:
      return RadioButton5;
    case 6:
      return RadioButton6;
    case 7:
      return RadioButton7;
    case 8:
      return RadioButton8;
    default:
      return nullptr;
  }
}

int TForm40::SelectedCamera() const {
  for (int n = 2; n <= 8; ++n)
    if (radio(n)->isChecked()) return n;
  return 1;
}

namespace {

// The camera exchanges wait with the window alive, so the form's buttons
// work meanwhile; a second exchange started from them would overwrite the
// shared frame buffer of the one in progress. They are off until it ends.
class CameraButtonsOff {
 public:
  explicit CameraButtonsOff(std::initializer_list<QPushButton*> buttons) : buttons_(buttons) {
    for (QPushButton* b : buttons_) b->setEnabled(false);
  }
  ~CameraButtonsOff() {
    for (QPushButton* b : buttons_) b->setEnabled(true);
  }
  CameraButtonsOff(const CameraButtonsOff&) = delete;
  CameraButtonsOff& operator=(const CameraButtonsOff&) = delete;

 private:
  QList<QPushButton*> buttons_;
};

const QString kRangeScanName = QStringLiteral("range");

}  // namespace

void TForm40::Button1Click() {
  const int n = SelectedCamera();
  const QString camera = QString::number(n);
  const CameraButtonsOff off{Button1, Button4, Button5};
  CameraReset(n);
  CameraSetShutter(n);
  CameraSetThreshold(n);
  CameraEnable(camera, true);
  CameraResetB(n);
  // Its own copy under STORAGE\: a copy named after the measurement shown
  // would replace that measurement's kept profile, which the visualiser
  // replays.
  CameraReadOut(n, kRangeScanName);
  const auto value =
      RangeValueFromReply(ControllerLink.FrameBuffer.data(), ControllerLink.FrameLength,
                          ControllerLink.FrameComplete, n);
  if (value) {
    ShowRange(n, *value);
  } else {
    // Whatever the buffer held before is no measurement of this camera.
    Label2->setText("-");
    Label4->setText(QString("Камера №%1 не передала данные").arg(n));
  }
  CameraEnable(camera, false);
}

void TForm40::ShowRange(int camera, int value) {
  Label2->setText(QString::number(value));
  QString error;
  const auto distance = RangeDistance(camera, value, &error);
  Label4->setText(distance ? RangeMillimetreText(*distance) : error);
}

void TForm40::Button2Click() {
  close();
}

void TForm40::Button3Click() {
  // Every road out of the program switches the press off and gives the
  // screen its mode back.
  EndProgram(0);
}

void TForm40::Button4Click() {
  const CameraButtonsOff off{Button1, Button4, Button5};
  CameraEnable(QString::number(SelectedCamera()), true);
}

void TForm40::Button5Click() {
  const CameraButtonsOff off{Button1, Button4, Button5};
  CameraEnable(QString::number(SelectedCamera()), false);
}
