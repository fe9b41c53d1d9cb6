#include "Terminal/form4.h"

#include <QApplication>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <climits>

#include "config/settings.h"
#include "database/database.h"
#include "desktop/namedwidget.h"
#include "link/boardtests.h"
#include "link/camera.h"
#include "link/camerascan.h"
#include "link/commands.h"
#include "link/link.h"
#include "platform/clock.h"
#include "platform/clocktimer.h"
#include "platform/cp1251.h"
#include "screen/screen.h"

TForm4* Form4 = nullptr;

namespace {

// The set-up value of the second LIR output.
constexpr uint8_t kLir2Setup = 2;

const QString kFirstMemoLine = QStringLiteral("Kalvor М версия 4.89bc");  // a fixed text
const QString kLabelCaptions[] = {QStringLiteral("ЦК:"),
                                  QStringLiteral("Триангулятор1:"),
                                  QStringLiteral("Триангулятор2:"),
                                  QStringLiteral("Триангулятор3:"),
                                  QStringLiteral("Триангулятор4:"),
                                  QStringLiteral("Плата CKT:")};
const QString kOk = QStringLiteral("Ок");
const QString kError = QStringLiteral("Error !");

using plat::Named;

// A number field with its caption above it, as the labelled edits and the
// fields of the LIR group are laid out.
QWidget* Captioned(const QString& caption, QLineEdit* edit) {
  auto* box = new QWidget;
  auto* layout = new QVBoxLayout(box);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(2);
  layout->addWidget(new QLabel(caption));
  layout->addWidget(edit);
  return box;
}

void Sleep(uint32_t ms) {
  plat::SleepMs(ms);
}

QChar ReplyChar(uint8_t b) {
  return plat::FromCp1251Char(b);
}

}  // namespace

// Remembers whether the sensor poll ran (Timer1 and CheckBox1), switches it
// off for a handler's long exchanges and puts both back as they were.
class TForm4::PollOff {
 public:
  explicit PollOff(TForm4* form)
      : form_(form), timer_(form->Timer1->isActive()), ticked_(form->CheckBox1->isChecked()) {
    form_->Timer1->stop();
    form_->CheckBox1->setChecked(false);
  }
  ~PollOff() {
    form_->CheckBox1->setChecked(ticked_);
    if (timer_) form_->Timer1->start();
  }
  PollOff(const PollOff&) = delete;
  PollOff& operator=(const PollOff&) = delete;

 private:
  TForm4* form_;
  bool timer_;
  bool ticked_;
};

TForm4::TForm4(QWidget* parent) : QDialog(parent) {
  setObjectName("Form4");
  setWindowTitle("Terminal");

  Memo1 = Named<QPlainTextEdit>("Memo1");
  Memo1->setReadOnly(true);
  Memo1->setPlainText(kFirstMemoLine);
  Memo1->setMinimumWidth(300);

  // Links.
  Button2 = Named<QPushButton>("Button2", "?");
  Label1 = Named<QLabel>("Label1", kLabelCaptions[0]);
  Label2 = Named<QLabel>("Label2", kLabelCaptions[1]);
  Label3 = Named<QLabel>("Label3", kLabelCaptions[2]);
  Label4 = Named<QLabel>("Label4", kLabelCaptions[3]);
  Label5 = Named<QLabel>("Label5", kLabelCaptions[4]);
  Label8 = Named<QLabel>("Label8", kLabelCaptions[5]);
  auto* links = Named<QGroupBox>("GroupBox1", QStringLiteral(" Связь "));
  auto* linksLayout = new QVBoxLayout(links);
  linksLayout->addWidget(Button2);
  for (QLabel* l : {Label1, Label2, Label3, Label4, Label5, Label8}) {
    l->setMinimumWidth(180);
    linksLayout->addWidget(l);
  }
  linksLayout->addStretch();

  // The press by hand.
  Button3 = Named<QPushButton>("Button3", QStringLiteral("Гидростанция"));
  Button4 = Named<QPushButton>("Button4", "X");
  Button5 = Named<QPushButton>("Button5", "/\\");
  Button6 = Named<QPushButton>("Button6", "X");
  Button7 = Named<QPushButton>("Button7", "\\/");
  Button8 = Named<QPushButton>("Button8", "X");
  Button9 = Named<QPushButton>("Button9", QStringLiteral("Инициализация"));
  Button15 = Named<QPushButton>("Button15", QStringLiteral("Сброс Лира"));
  Button16 = Named<QPushButton>("Button16", QStringLiteral("Подать усилие"));
  LabeledEdit1 = Named<QLineEdit>("LabeledEdit1", "400");
  auto* press = Named<QGroupBox>("GroupBox2", QStringLiteral(" Пресс "));
  auto* pressLayout = new QGridLayout(press);
  pressLayout->addWidget(Button3, 0, 0);
  pressLayout->addWidget(Button4, 0, 1);
  pressLayout->addWidget(Button5, 1, 0);
  pressLayout->addWidget(Button6, 1, 1);
  pressLayout->addWidget(Button7, 2, 0);
  pressLayout->addWidget(Button8, 2, 1);
  pressLayout->addWidget(Button9, 3, 0, 1, 2);
  pressLayout->addWidget(Button15, 4, 0, 1, 2);
  pressLayout->addWidget(Captioned(QStringLiteral("Ацп, ед."), LabeledEdit1), 5, 0);
  pressLayout->addWidget(Button16, 5, 1, Qt::AlignBottom);
  for (QPushButton* x : {Button4, Button6, Button8}) x->setFixedWidth(40);
  pressLayout->setRowStretch(6, 1);

  // Cameras and the scan.
  Edit1 = Named<QLineEdit>("Edit1", "1");
  Edit1->setFixedWidth(40);
  Button11 = Named<QPushButton>("Button11", QStringLiteral("ВКЛ"));
  Button12 = Named<QPushButton>("Button12", QStringLiteral("Выкл"));
  Button10 = Named<QPushButton>("Button10", QStringLiteral("Демо замер"));
  Button18 = Named<QPushButton>("Button18", QStringLiteral("Синхротест"));
  Button17 = Named<QPushButton>("Button17", QStringLiteral("Показ"));
  CheckBox2 = Named<QCheckBox>("CheckBox2", QStringLiteral("Авто инит"));
  auto* cameras = Named<QGroupBox>("GroupBox3", QStringLiteral(" Камеры "));
  auto* camerasLayout = new QGridLayout(cameras);
  camerasLayout->addWidget(new QLabel(QStringLiteral("Камера №")), 0, 0);
  camerasLayout->addWidget(Edit1, 0, 1);
  camerasLayout->addWidget(Button11, 1, 0);
  camerasLayout->addWidget(Button12, 1, 1);
  camerasLayout->addWidget(Button10, 2, 0, 1, 2);
  camerasLayout->addWidget(CheckBox2, 3, 0, 1, 2);
  camerasLayout->addWidget(Button18, 4, 0, 1, 2);
  camerasLayout->addWidget(Button17, 5, 0, 1, 2);
  camerasLayout->setRowStretch(6, 1);

  // The tests that need the CKT board, and its imitation of the LIR.
  Button19 = Named<QPushButton>("Button19", QStringLiteral("Тест гидростанции"));
  Button20 = Named<QPushButton>("Button20", QStringLiteral("Тест реле UP"));
  Button21 = Named<QPushButton>("Button21", QStringLiteral("Тест реле DN"));
  Button22 = Named<QPushButton>("Button22", QStringLiteral("Тест АЦП"));
  Button23 = Named<QPushButton>("Button23", QStringLiteral("Тест ЛИР"));
  Button24 = Named<QPushButton>("Button24", QStringLiteral("Тест D0"));
  Button25 = Named<QPushButton>("Button25", QStringLiteral("Тест  D1"));
  Button26 = Named<QPushButton>("Button26", QStringLiteral("Проверка ЦК "));
  Button27 = Named<QPushButton>("Button27", QStringLiteral("Синхротест авто"));
  Button28 = Named<QPushButton>("Button28", QStringLiteral("Задать "));
  Button29 = Named<QPushButton>("Button29", "<");
  Button30 = Named<QPushButton>("Button30", ">");
  Button31 = Named<QPushButton>("Button31", QStringLiteral("Задать dev0"));
  Button32 = Named<QPushButton>("Button32", QStringLiteral("Задать dev1"));
  Button33 = Named<QPushButton>("Button33", "1");
  Button34 = Named<QPushButton>("Button34", "2");
  Button35 = Named<QPushButton>("Button35", "init");
  LabeledEdit2 = Named<QLineEdit>("LabeledEdit2", "2");
  Edit2 = Named<QLineEdit>("Edit2", "0");
  Edit3 = Named<QLineEdit>("Edit3", "0");
  ProgressBar1 = Named<QProgressBar>("ProgressBar1");
  ProgressBar1->setRange(0, 90);
  ProgressBar1->setValue(0);
  ProgressBar1->setTextVisible(false);
  GroupBox4 = Named<QGroupBox>("GroupBox4", QStringLiteral(" Автопроверка (требуется плата CKT) "));
  auto* testsLayout = new QGridLayout(GroupBox4);
  int row = 0;
  for (QPushButton* b : {Button19, Button20, Button21, Button22})
    testsLayout->addWidget(b, row++, 0);
  row = 0;
  for (QPushButton* b : {Button23, Button24, Button25, Button27})
    testsLayout->addWidget(b, row++, 1);
  QFont bold = Button26->font();
  bold.setBold(true);
  Button26->setFont(bold);
  testsLayout->addWidget(Button26, 4, 0, 1, 2);
  testsLayout->addWidget(ProgressBar1, 5, 0, 1, 2);
  // The board's imitation of the LIR: its pause, the dev values and the
  // pulses of the LIR group, one field with its buttons a row.
  auto* lir = new QGridLayout;
  lir->addWidget(Captioned(QStringLiteral("Пауза ЛИР(мс)"), LabeledEdit2), 0, 0);
  lir->addWidget(Button28, 0, 1, Qt::AlignBottom);
  lir->addWidget(Button29, 0, 2, Qt::AlignBottom);
  lir->addWidget(Button30, 0, 3, Qt::AlignBottom);
  lir->addWidget(Captioned("Dev", Edit2), 1, 0);
  lir->addWidget(Button31, 1, 1, Qt::AlignBottom);
  lir->addWidget(Button32, 1, 2, 1, 2, Qt::AlignBottom);
  lir->addWidget(Captioned(QStringLiteral("Импульсы ЛИР (±)"), Edit3), 2, 0);
  lir->addWidget(Button33, 2, 1, Qt::AlignBottom);
  lir->addWidget(Button34, 2, 2, Qt::AlignBottom);
  lir->addWidget(Button35, 2, 3, Qt::AlignBottom);
  for (QLineEdit* e : {LabeledEdit2, Edit2, Edit3}) e->setMaximumWidth(110);
  for (int column = 1; column <= 3; ++column) lir->setColumnStretch(column, 1);
  testsLayout->addLayout(lir, 6, 0, 1, 2);
  testsLayout->setRowStretch(7, 1);
  // The window keeps its size whether the board's group is shown or not.
  QSizePolicy keep = GroupBox4->sizePolicy();
  keep.setRetainSizeWhenHidden(true);
  GroupBox4->setSizePolicy(keep);
  GroupBox4->setVisible(false);
  GroupBox4->setEnabled(false);

  // The sensor poll.
  CheckBox1 = Named<QCheckBox>("CheckBox1", QStringLiteral("Автоопрос датчиков"));
  Button14 = Named<QPushButton>("Button14", QStringLiteral("Опрос датчиков"));
  // On the program's clock, so that a script on the virtual clock sees the
  // poll turn as the operator would.
  Timer1 = new plat::ClockTimer(100, [this] { Timer1Timer(); }, this);
  Timer1->setObjectName("Timer1");
  Timer1->setNeeded([this] { return CheckBox1->isChecked(); });

  Button13 = Named<QPushButton>("Button13", QStringLiteral("Завершить работу"));
  Button1 = Named<QPushButton>("Button1", QStringLiteral("Закрыть"));

  auto* left = new QVBoxLayout;
  left->addWidget(Memo1, 1);
  auto* poll = new QHBoxLayout;
  poll->addWidget(Button14);
  poll->addWidget(CheckBox1);
  left->addLayout(poll);
  // Under the list rather than beside the groups: so the window fits the
  // line's 1024 x 768 screen with its buttons at the foot.
  left->addWidget(GroupBox4);

  auto* middle = new QGridLayout;
  middle->addWidget(links, 0, 0, 1, 2);
  middle->addWidget(press, 1, 0);
  middle->addWidget(cameras, 1, 1);

  auto* top = new QHBoxLayout;
  top->addLayout(left, 1);
  top->addLayout(middle);

  auto* bottom = new QHBoxLayout;
  bottom->addStretch();
  bottom->addWidget(Button13);
  bottom->addWidget(Button1);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top, 1);
  layout->addLayout(bottom);

  // Every button is one handler. "Завершить работу" is a line button too:
  // it switches the press off, and waits like the others for a running test.
  const std::pair<QPushButton*, void (TForm4::*)()> handlers[] = {
      {Button1, &TForm4::Button1Click},   {Button2, &TForm4::Button2Click},
      {Button3, &TForm4::Button3Click},   {Button4, &TForm4::Button4Click},
      {Button5, &TForm4::Button5Click},   {Button6, &TForm4::Button6Click},
      {Button7, &TForm4::Button7Click},   {Button8, &TForm4::Button8Click},
      {Button9, &TForm4::Button9Click},   {Button10, &TForm4::Button10Click},
      {Button11, &TForm4::Button11Click}, {Button12, &TForm4::Button12Click},
      {Button13, &TForm4::Button13Click}, {Button14, &TForm4::Button14Click},
      {Button15, &TForm4::Button15Click},
      {Button16, &TForm4::Button16Click},
      {Button17, &TForm4::Button17Click},
      {Button18, &TForm4::Button18Click}, {Button19, &TForm4::Button19Click},
      {Button20, &TForm4::Button20Click}, {Button21, &TForm4::Button21Click},
      {Button22, &TForm4::Button22Click}, {Button23, &TForm4::Button23Click},
      {Button24, &TForm4::Button24Click}, {Button25, &TForm4::Button25Click},
      {Button26, &TForm4::Button26Click}, {Button27, &TForm4::Button27Click},
      {Button28, &TForm4::Button28Click}, {Button29, &TForm4::Button29Click},
      {Button30, &TForm4::Button30Click}, {Button31, &TForm4::Button31Click},
      {Button32, &TForm4::Button32Click}, {Button33, &TForm4::Button33Click},
      {Button34, &TForm4::Button34Click}, {Button35, &TForm4::Button35Click},
  };
  for (const auto& [button, handler] : handlers) {
    if (button != Button1 && button != Button17) lineButtons_.append(button);
    connect(button, &QPushButton::clicked, this, [this, button, h = handler] { Click(button, h); });
  }
  connect(Edit1, &QLineEdit::textEdited, this, &TForm4::Edit1KeyPress);

  // The link reports into this window: the waits of its long commands in the
  // caption, the camera read-outs and a measurement's scan in Memo1.
  ControllerLink.TerminalCaption = [this](const QString& text) { setWindowTitle(text); };
  ControllerLink.TerminalMemo = [this](const QString& line) { Memo(line); };
  ControllerLink.TerminalAutoInit = [this] { return CheckBox2->isChecked(); };
  Form4 = this;
}

TForm4::~TForm4() {
  ControllerLink.TerminalCaption = {};
  ControllerLink.TerminalMemo = {};
  ControllerLink.TerminalAutoInit = {};
  if (Form4 == this) Form4 = nullptr;
}

void ShowTerminal() {
  if (!Form4) return;
  Form4->Timer1->start();
  Form4->exec();
  Form4->Timer1->stop();
}

void TForm4::Memo(const QString& line) {
  Memo1->appendPlainText(line);
}

void TForm4::Click(QPushButton* button, void (TForm4::*handler)()) {
  // One exchange with the line at a time: the frame buffer is shared, and a
  // click kept for later would work the press long after the operator
  // wanted it. While a handler runs the other buttons are off; a click that
  // still arrives is refused in the list, never kept.
  if (busy_ > 0) {
    // Closing, the visualiser, and a click during one tick of the sensor
    // poll (a few short exchanges) run as soon as that has ended, once per
    // button however often it was clicked.
    if (running_.isEmpty() || !lineButtons_.contains(button)) {
      if (!waiting_.contains(button)) {
        waiting_.append(button);
        deferred_.append([this, button, handler] {
          waiting_.removeOne(button);
          Click(button, handler);
        });
      }
    } else
      Memo(QStringLiteral("Не выполнено «%1»: идет «%2»").arg(button->text(), running_));
    return;
  }
  ++busy_;
  running_ = button->text();
  for (QPushButton* b : lineButtons_) b->setEnabled(false);
  (this->*handler)();
  for (QPushButton* b : lineButtons_) b->setEnabled(true);
  running_.clear();
  --busy_;
  RunDeferred();
}

void TForm4::RunDeferred() {
  if (busy_ > 0 || deferred_.isEmpty()) return;
  // Queued, so that the handler that just ended has returned to the loop.
  const std::function<void()> next = deferred_.takeFirst();
  QTimer::singleShot(0, this, [this, next] {
    next();
    RunDeferred();
  });
}

void TForm4::reject() {
  if (busy_ > 0) {
    deferred_.append([this] { QDialog::reject(); });
    return;
  }
  QDialog::reject();
}

void TForm4::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  FormActivate();
}

std::optional<int> TForm4::FieldNumber(QLineEdit* field, const QString& caption, int min, int max) {
  bool ok = false;
  const QString text = field->text();
  const int value = text.trimmed().toInt(&ok, 10);
  if (ok && value >= min && value <= max) return value;
  const QString problem = ok ? QStringLiteral("нужно целое число от %1 до %2.").arg(min).arg(max)
                             : QStringLiteral("это не целое число.");
  QMessageBox box(QMessageBox::Warning, QApplication::applicationDisplayName(),
                  QStringLiteral("В поле «%1» введено «%2»: %3").arg(caption, text, problem),
                  QMessageBox::Ok, this);
  box.exec();
  return std::nullopt;
}

void TForm4::SetProgress(int value) {
  ProgressBar1->setValue(std::min(value, ProgressBar1->maximum()));
}

void TForm4::FormActivate() {
  GroupBox4->setEnabled(false);
}

void TForm4::Timer1Timer() {
  // A tick inside a handler that waits on the line would start a second
  // exchange in the middle of its own.
  if (busy_ > 0) return;
  Timer1->stop();
  if (CheckBox1->isChecked()) {
    ++busy_;
    Button14Click();
    --busy_;
  }
  Timer1->start();
  RunDeferred();
}

void TForm4::Edit1KeyPress() {
  // The camera number is taken as typed when a button uses it.
}

void TForm4::Button1Click() {
  done(QDialog::Rejected);
}

void TForm4::Button2Click() {
  QLabel* labels[] = {Label1, Label2, Label3, Label4, Label5, Label8};
  for (int i = 0; i < 6; ++i) labels[i]->setText(kLabelCaptions[i]);
  const auto append = [](QLabel* l, const QString& text) { l->setText(l->text() + text); };
  append(Label1, ControllerCommand(kCmdPresence).ok ? kOk : kError);
  for (int n = 1; n <= 4; ++n) append(labels[n], CameraPresent(n) ? kOk : kError);
  if (!Settings.Ckt.Enable) return;
  append(Label8, " testing");
  if (!ControllerLink.CktPortOpen) {
    Label8->setText(QStringLiteral("Плата CKT: no port"));
    GroupBox4->setEnabled(false);
    return;
  }
  // The board takes its time after the controller's traffic; the label says
  // so while the program waits without looking at the window.
  Label8->repaint();
  Sleep(5000);
  Label8->setText(QStringLiteral("Плата CKT: "));
  const TestBoardReply r = TestBoardCommand(kBoardIdentify);
  if (!r.ok) {
    append(Label8, kError);
    return;
  }
  append(Label8, kOk);
  GroupBox4->setEnabled(true);
  GroupBox4->setVisible(true);
  QString version;
  for (int k = 1; k <= 4; ++k)
    if (r.R[k] != 0) version += ReplyChar(r.R[k]);
  Memo(QStringLiteral("Найден Ckt v:") + version);
}

void TForm4::Button3Click() {
  ControllerCommand(kCmdHydraulics, kHydraulicsOn);
}

void TForm4::Button4Click() {
  ControllerCommand(kCmdHydraulics, kHydraulicsOff);
}

void TForm4::Button5Click() {
  ControllerCommand(kCmdRelayUp, kRelayRun);
}

void TForm4::Button6Click() {
  ControllerCommand(kCmdRelayUp, kRelayStop);
}

void TForm4::Button7Click() {
  ControllerCommand(kCmdRelayDown, kRelayRun);
}

void TForm4::Button8Click() {
  ControllerCommand(kCmdRelayDown, kRelayStop);
}

void TForm4::Button9Click() {
  const PollOff off(this);
  RunLineInitialisation();
}

void TForm4::Button10Click() {
  // The poll is off from the scan's start to the end of its read-out, as it
  // is for the initialisations around it (Button9Click).
  const bool timer = Timer1->isActive();
  const bool ticked = CheckBox1->isChecked();
  CameraScanSteps steps;
  steps.initialise = [this] { Button9Click(); };
  steps.scanStarts = [this] {
    Timer1->stop();
    CheckBox1->setChecked(false);
  };
  steps.readOutEnded = [this, timer, ticked] {
    CheckBox1->setChecked(ticked);
    if (timer) Timer1->start();
  };
  // The terminal's scan is no measurement's: its copies go under their own
  // name, never over the files kept for the last stored measurement.
  CameraScan(MeasurementTypeOf(Database.ModeState.FastMode, Database.ModeState.AcceleratedMode),
             kTerminalScanName, steps);
}

void TForm4::Button11Click() {
  CameraEnable(Edit1->text(), true);
}

void TForm4::Button12Click() {
  CameraEnable(Edit1->text(), false);
}

void TForm4::Button13Click() {
  // Every road out of the program switches the press off and gives the
  // screen its mode back.
  EndProgram(0);
}

void TForm4::Button14Click() {
  const int lir = ControllerCommand(kCmdReadLir).Value();
  const int inputs = ControllerCommand(kCmdReadInputs).R3;
  const int adc = ControllerCommand(kCmdReadAdc).Value();
  ++PollCycle;
  const auto contact = [inputs](int bit) {
    return (inputs >> bit) & 1 ? QStringLiteral("Замкнут") : QStringLiteral("Разомкнут");
  };
  Memo1->clear();
  Memo(QStringLiteral("Цикл:") + QString::number(PollCycle));
  Memo(QStringLiteral("Датчики:") + QString::number(inputs));
  Memo(QStringLiteral("D0: ") + contact(kInputD0Bit));
  Memo(QStringLiteral("D1: ") + contact(kInputD1Bit));
  Memo(QStringLiteral("АЦП:") + QString::number(adc));
  Memo(QStringLiteral("Лир=:") + QString::number(lir));
}

void TForm4::Button15Click() {
  ControllerCommand(kCmdResetLir);
}

void TForm4::Button16Click() {
  const PollOff off(this);
  const auto level = FieldNumber(LabeledEdit1, QStringLiteral("Ацп, ед."), 0, 0xFFFF);
  if (!level) return;
  Memo(QStringLiteral("Усилие подается !"));
  Memo(ForceCommand(*level).ok ? QStringLiteral("Усилие подано !")
                               : QStringLiteral("ОШИБКА подачи усилия !"));
}

void TForm4::Button17Click() {
  // The visualiser is a window of its own layer; the start-up installs the
  // way to it.
  if (ScreenState.showMathVis) ScreenState.showMathVis();
}

void TForm4::Button18Click() {
  const bool fast = Database.ModeState.FastMode;
  Memo(QStringLiteral("Запущен замер !"));
  if (!fast) {
    Memo(QStringLiteral("Настройка камеры №") + QString::number(1));
    CameraSetup(1);
  }
  Memo(QStringLiteral("Вращайте лир, по заершению замкни D1 "));
  if (!fast) CameraEnable("1", true);
  ControllerLongCommand(kCmdScan);
  Memo(QStringLiteral("Считывание данных."));
  if (!fast) CameraReadOut(1, kTerminalScanName);
  if (!fast) CameraEnable("1", false);
  Memo(QStringLiteral("Замер завершен !"));
}

BoardTestReport TForm4::Report() {
  BoardTestReport report;
  report.line = [this](const QString& line) { Memo(line); };
  report.progress = [this](int value) { SetProgress(value); };
  return report;
}

void TForm4::Button19Click() {
  TestPassed = false;
  TestPassed = ControlOutputTest(ControlOutput::Hydraulics, Report()).passed;
}

void TForm4::Button20Click() {
  TestPassed = false;
  TestPassed = ControlOutputTest(ControlOutput::RelayUp, Report()).passed;
}

void TForm4::Button21Click() {
  TestPassed = false;
  TestPassed = ControlOutputTest(ControlOutput::RelayDown, Report()).passed;
}

void TForm4::Button22Click() {
  TestPassed = false;
  TestPassed = AdcTest(Report()).passed;
}

void TForm4::Button23Click() {
  TestPassed = false;
  GroupBox4->setEnabled(false);
  const BoardTestResult r = LirTest(Report());
  GroupBox4->setEnabled(true);
  TestPassed = r.passed;
}

void TForm4::Button24Click() {
  TestPassed = false;
  TestPassed = InputTest(ControlInput::D0, Report()).passed;
}

void TForm4::Button25Click() {
  TestPassed = false;
  TestPassed = InputTest(ControlInput::D1, Report()).passed;
}

void TForm4::Button26Click() {
  Memo1->clear();
  Memo(QStringLiteral("Автотестирование"));
  bool all = true;
  for (auto test : {&TForm4::Button19Click, &TForm4::Button20Click, &TForm4::Button21Click,
                    &TForm4::Button22Click, &TForm4::Button23Click, &TForm4::Button24Click,
                    &TForm4::Button25Click, &TForm4::Button27Click}) {
    (this->*test)();
    all = all && TestPassed;
  }
  Memo(QStringLiteral("---------------------"));
  Memo(all ? QStringLiteral("Автотест: ОК") : QStringLiteral("Автотест: ERROR !"));
}

void TForm4::Button27Click() {
  // Like every single test it starts by clearing TestPassed, so that the
  // automatic test never counts the test before it as this one.
  TestPassed = false;
  GroupBox4->setEnabled(false);
  const BoardTestResult r = SyncTest(kTerminalScanName, Report());
  GroupBox4->setEnabled(true);
  TestPassed = r.passed;
}

void TForm4::Button28Click() {
  const auto pause = FieldNumber(LabeledEdit2, QStringLiteral("Пауза ЛИР(мс)"), 0, 255);
  if (!pause) return;
  TestBoardCommand(kBoardLirPause, static_cast<uint8_t>(*pause));
  Sleep(100);
}

void TForm4::Button29Click() {
  TestBoardCommand(kBoardLirStepBack);
  Sleep(200);
  Memo(QStringLiteral("LIR:") + QString::number(ControllerCommand(kCmdReadLir).Value()));
  Sleep(200);
}

void TForm4::Button30Click() {
  TestBoardCommand(kBoardLirStepForward);
  Sleep(200);
  Memo(QStringLiteral("LIR:") + QString::number(ControllerCommand(kCmdReadLir).Value()));
  Sleep(200);
}

void TForm4::Button31Click() {
  const auto dev = FieldNumber(Edit2, "Dev", 0, 255);
  if (!dev) return;
  TestBoardCommand(kBoardDev0, static_cast<uint8_t>(*dev));
  Sleep(100);
}

void TForm4::Button32Click() {
  const auto dev = FieldNumber(Edit2, "Dev", 0, 255);
  if (!dev) return;
  TestBoardCommand(kBoardDev1, static_cast<uint8_t>(*dev));
  Sleep(100);
}

void TForm4::LirGroupPulses(uint8_t forward, uint8_t back) {
  // Only the sign of the entered number matters.
  const auto count = FieldNumber(Edit3, QStringLiteral("Импульсы ЛИР (±)"), INT_MIN, INT_MAX);
  if (!count) return;
  TestBoardCommand(*count < 0 ? back : forward, kBoardBurst);
}

void TForm4::Button33Click() {
  LirGroupPulses(kBoardLirForward, kBoardLirBack);
}

void TForm4::Button34Click() {
  LirGroupPulses(kBoardLir2Forward, kBoardLir2Back);
}

void TForm4::Button35Click() {
  TestBoardCommand(kBoardLirPause, kBoardTestLirPause);
  Sleep(100);
  TestBoardCommand(kBoardLir2Setup, kLir2Setup);
  Sleep(100);
}
