// The service terminal TForm4 against the simulated line (tools/linesim on
// pseudo-terminals), driven through playback: the link check, the single
// tests and the automatic test with and without faults, the sensor poll and
// its timer, the guarded handlers, the number fields and the camera scan.
#include <gtest/gtest.h>

#include <QFile>
#include <QMap>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "flowsupport.h"
#include "testpaths.h"

namespace {

// The terminal opens at start-up once the ports are open.
const char kShown[] = "wait 2000\n";
// The link check waits 5 s for the board after the cameras.
const char kLinkCheck[] = "press Button2\nwait 10000\n";

// An installation on the simulated line that shows the terminal at start-up,
// with the CKT board on its port when the line has one.
void PointAtLine(FlowHome& home, const SimulatedLine& line, bool boardEnabled = true) {
  home.Set("Global", "Emul", "0");
  home.Set("Hard", "Com", line.port());
  home.Set("Hard", "TerminalEnable", "1");
  home.Set("Hard", "TerminalStart", "1");
  home.Set("Ckt", "Enable", boardEnabled ? "1" : "0");
  if (!line.boardPort().isEmpty()) home.Set("Ckt", "Port", line.boardPort());
}

// The value of a control in a dump, with its marks.
QString Field(const QString& dump, const QString& name) {
  return DumpLines(dump, name).value(0);
}

// The number after "Цикл:" in the sensor poll's first memo line, -1 without.
int PollCycle(const QString& dump) {
  const auto m = QRegularExpression("^Цикл:(\\d+)$").match(DumpLines(dump, "Memo1").value(0));
  return m.hasMatch() ? m.captured(1).toInt() : -1;
}

void ExpectEveryDeviceFound(const QString& dump) {
  EXPECT_EQ(Field(dump, "Label1"), "ЦК:Ок") << dump.toStdString();
  for (int n = 1; n <= 4; ++n)
    EXPECT_EQ(Field(dump, QString("Label%1").arg(n + 1)), QString("Триангулятор%1:Ок").arg(n));
  EXPECT_EQ(Field(dump, "Label8"), "Плата CKT: Ок");
  // The board's group of tests is there to be used.
  EXPECT_EQ(Field(dump, "GroupBox4"), " Автопроверка (требуется плата CKT) ");
  EXPECT_EQ(Field(dump, "Button26"), "Проверка ЦК ");
}

}  // namespace

// The README's demonstration: the link check, then "Проверка ЦК " on a line
// where every device answers.
TEST(TerminalFlow, TheDemoScriptPassesTheAutomaticTestWithEveryDeviceAnswering) {
  SimulatedLine line({}, true);
  ASSERT_FALSE(line.port().isEmpty());
  ASSERT_FALSE(line.boardPort().isEmpty());
  FlowHome home;
  PointAtLine(home, line);
  QFile script(QString(KALVOR_SOURCE_DIR) + "/scripts/terminal-demo.play");
  ASSERT_TRUE(script.open(QIODevice::ReadOnly));
  const auto r = home.Play(QString::fromUtf8(script.readAll()));
  ASSERT_TRUE(r.finished);
  EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();

  const QString check = home.Text("terminal/02-link-check.txt");
  ExpectEveryDeviceFound(check);
  const QStringList found = DumpLines(check, "Memo1").filter("Найден Ckt v:");
  ASSERT_EQ(found.size(), 1) << check.toStdString();
  EXPECT_GT(found[0].size(), QString("Найден Ckt v:").size()) << "no version";

  const QStringList memo = DumpLines(home.Text("terminal/03-automatic-test.txt"), "Memo1");
  ASSERT_GE(memo.size(), 15) << memo.join('|').toStdString();
  EXPECT_EQ(memo.first(), "Автотестирование");
  for (const char* passed :
       {"Тест управления гидростанцией:ОК", "Тест управления реле UP:ОК",
        "Тест управления реле DN:ОК", "Тест ADC:ОК", "Тест LIR:ОК", "Тест D0:ОК", "Тест D1:ОК",
        "Тест синхросигнала запущен.", "Тест синхро:ОК"})
    EXPECT_EQ(memo.count(passed), 1) << passed << "\n" << memo.join('\n').toStdString();
  // The synchronisation test read out camera 1 with about 1000 readings.
  const QStringList camera = memo.filter(QRegularExpression("^Камера №1   \\d+$"));
  ASSERT_EQ(camera.size(), 1) << memo.join('|').toStdString();
  const int length = camera[0].section(' ', -1).toInt();
  EXPECT_GT(length, 990);
  EXPECT_LT(length, 1010);
  EXPECT_EQ(memo.mid(memo.size() - 2), QStringList({"---------------------", "Автотест: ОК"}));
  EXPECT_FALSE(QImage(home.file("terminal/03-automatic-test.png")).isNull());
}

TEST(TerminalFlow, ShownAtStartWithItsDefaultsThePollCountsEachPollAndTheTimerFollowsTheBox) {
  SimulatedLine line({}, true);
  ASSERT_FALSE(line.port().isEmpty());
  FlowHome home;
  PointAtLine(home, line);
  const auto r = home.Play(QString(kShown) +
                           "dump start.txt\n"
                           "press Button14\nwait 1500\ndump poll1.txt\n"
                           "press Button14\nwait 1500\ndump poll2.txt\n"
                           // The timer polls while the box is ticked, and only then.
                           "press CheckBox1\nwait 3000\ndump auto.txt\n"
                           "press CheckBox1\nwait 1500\ndump stop1.txt\nwait 1500\ndump stop2.txt\n"
                           "press Button17\nwait 500\ndump visualiser.txt\n"
                           "press Button4\nwait 500\ndump back.txt\n"
                           "press Button13\nwait 1000\ndump after.txt\n");
  ASSERT_TRUE(r.finished);
  // "Завершить работу" ends the program at once, and well.
  EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
  EXPECT_FALSE(QFile::exists(home.file("after.txt")));

  const QString start = home.Text("start.txt");
  const QStringList lines = TextLines(start);
  EXPECT_EQ(lines.value(0), "TForm4");
  EXPECT_EQ(lines.value(1), "Terminal");
  EXPECT_EQ(DumpLines(start, "Memo1"), QStringList{"Kalvor М версия 4.89bc"});
  EXPECT_EQ(Field(start, "Edit1"), "1");
  EXPECT_EQ(Field(start, "LabeledEdit1"), "400");
  EXPECT_EQ(Field(start, "CheckBox1"), "Автоопрос датчиков\t[ ]");
  EXPECT_EQ(Field(start, "CheckBox2"), "Авто инит\t[ ]");
  EXPECT_EQ(Field(start, "Label8"), "Плата CKT:");
  // Until the board has answered its group is neither seen nor usable.
  EXPECT_EQ(Field(start, "GroupBox4"),
            " Автопроверка (требуется плата CKT) \t(hidden)\t(disabled)");
  EXPECT_EQ(Field(start, "LabeledEdit2"), "2\t(hidden)\t(disabled)");
  EXPECT_EQ(Field(start, "Edit2"), "0\t(hidden)\t(disabled)");
  EXPECT_EQ(Field(start, "Edit3"), "0\t(hidden)\t(disabled)");
  EXPECT_EQ(Field(start, "Button25"), "Тест  D1\t(hidden)\t(disabled)");
  EXPECT_EQ(Field(start, "Button28"), "Задать \t(hidden)\t(disabled)");

  const QStringList poll = DumpLines(home.Text("poll1.txt"), "Memo1");
  ASSERT_EQ(poll.size(), 6) << poll.join('|').toStdString();
  EXPECT_EQ(poll[0], "Цикл:1");
  EXPECT_TRUE(poll[1].contains(QRegularExpression("^Датчики:\\d+$"))) << poll[1].toStdString();
  EXPECT_TRUE(poll[2].contains(QRegularExpression("^D0: (Замкнут|Разомкнут)$")));
  EXPECT_TRUE(poll[3].contains(QRegularExpression("^D1: (Замкнут|Разомкнут)$")));
  EXPECT_TRUE(poll[4].contains(QRegularExpression("^АЦП:\\d+$")));
  EXPECT_TRUE(poll[5].contains(QRegularExpression("^Лир=:\\d+$")));
  EXPECT_EQ(PollCycle(home.Text("poll2.txt")), 2);

  const int polled = PollCycle(home.Text("auto.txt"));
  EXPECT_GE(polled, 4);
  const int stopped = PollCycle(home.Text("stop1.txt"));
  EXPECT_GE(stopped, polled);
  EXPECT_EQ(PollCycle(home.Text("stop2.txt")), stopped);

  // "Показ" shows the visualiser over the terminal; closing it comes back.
  EXPECT_TRUE(home.Text("visualiser.txt").startsWith("TForm30"));
  EXPECT_TRUE(home.Text("back.txt").startsWith("TForm4"));
}

TEST(TerminalFlow, TheUnderscoreKeyOpensTheTerminalWithItsPollTimerRunning) {
  SimulatedLine line({}, true);
  ASSERT_FALSE(line.port().isEmpty());
  FlowHome home;
  PointAtLine(home, line);
  home.Set("Hard", "TerminalStart", "0");
  const auto r = home.Play(
      "wait 2000\ndump start.txt\n"
      "wait 40000\ntype _\nwait 1000\ndump opened.txt\n"
      "press CheckBox1\nwait 2500\ndump polling.txt\n"
      "press Button1\nwait 1000\ndump closed.txt\n"
      "type _\nwait 2500\ndump again.txt\nexit\n");
  ASSERT_TRUE(r.finished);
  EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
  // Without TerminalStart the start goes on to the main menu.
  EXPECT_TRUE(home.Text("start.txt").startsWith("TForm1")) << home.Text("start.txt").toStdString();
  EXPECT_TRUE(home.Text("opened.txt").startsWith("TForm4"));
  const int polled = PollCycle(home.Text("polling.txt"));
  EXPECT_GE(polled, 1);
  EXPECT_TRUE(home.Text("closed.txt").startsWith("TForm1"));
  // Shown again, the timer runs again and the box is still ticked.
  const QString again = home.Text("again.txt");
  EXPECT_TRUE(again.startsWith("TForm4"));
  EXPECT_EQ(Field(again, "CheckBox1"), "Автоопрос датчиков\t[x]");
  EXPECT_GT(PollCycle(again), polled);
}

namespace {

struct BoardCase {
  const char* name;
  QStringList linesim;
  bool withBoard;
  bool enabled;
  QString boardPort;  // when not the line's
  QString label8;
  int checkMs;  // the check waits 5 s for a board only when its port is open
};

void PrintTo(const BoardCase& c, std::ostream* os) {
  *os << c.name;
}

class TerminalBoardFlow : public ::testing::TestWithParam<BoardCase> {};

}  // namespace

TEST_P(TerminalBoardFlow, TheLinkCheckReportsTheBoard) {
  const BoardCase& c = GetParam();
  SimulatedLine line(c.linesim, c.withBoard);
  ASSERT_FALSE(line.port().isEmpty());
  FlowHome home;
  PointAtLine(home, line, c.enabled);
  if (!c.boardPort.isEmpty()) home.Set("Ckt", "Port", c.boardPort);
  const auto r = home.Play(QString(kShown) + QString("press Button2\nwait %1\n").arg(c.checkMs) +
                           "dump check.txt\nexit\n");
  ASSERT_TRUE(r.finished);
  EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
  const QString check = home.Text("check.txt");
  EXPECT_EQ(Field(check, "Label1"), "ЦК:Ок") << check.toStdString();
  EXPECT_EQ(Field(check, "Label5"), "Триангулятор4:Ок");
  EXPECT_EQ(Field(check, "Label8"), c.label8);
  EXPECT_EQ(Field(check, "GroupBox4"),
            " Автопроверка (требуется плата CKT) \t(hidden)\t(disabled)");
  EXPECT_TRUE(DumpLines(check, "Memo1").filter("Найден").isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    TerminalBoard, TerminalBoardFlow,
    ::testing::Values(
        BoardCase{"Disabled", {}, false, false, {}, "Плата CKT:", 4000},
        BoardCase{"NoPort", {}, false, true, "/dev/kalvor-no-board", "Плата CKT: no port", 4000},
        BoardCase{"Silent", {"--silent-board"}, true, true, {}, "Плата CKT: Error !", 10000}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TerminalFlow, FaultsOfTheBoardsOutputsInputsAndAdcFailTheirTests) {
  SimulatedLine line({"--fail", "board", "0x65", "--stuck-input", "d0", "open", "--dead-adc"},
                     true);
  ASSERT_FALSE(line.port().isEmpty());
  FlowHome home;
  PointAtLine(home, line);
  const auto r = home.Play(QString(kShown) + kLinkCheck +
                           "press Button19\nwait 3000\npress Button20\nwait 3000\n"
                           "press Button22\nwait 3000\npress Button24\nwait 3000\n"
                           "press Button25\nwait 3000\ndump tests.txt\nexit\n");
  ASSERT_TRUE(r.finished);
  EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
  const QStringList memo = DumpLines(home.Text("tests.txt"), "Memo1");
  for (const char* line : {"Тест управления гидростанцией:ERROR", "Тест управления реле UP:ОК",
                           "Тест ADC:ERROR", "Тест D0:ERROR", "Тест D1:ОК"})
    EXPECT_EQ(memo.count(line), 1) << line << "\n" << memo.join('\n').toStdString();
}

// Each single test clears TestPassed as it starts: a failed synchronisation
// test after seven passed ones fails the automatic test.
TEST(TerminalFlow, ASilentCameraFailsTheSynchronisationAndTheAutomaticTest) {
  SimulatedLine line({"--silent-camera", "1"}, true);
  ASSERT_FALSE(line.port().isEmpty());
  FlowHome home;
  PointAtLine(home, line);
  const auto r =
      home.Play(QString(kShown) + kLinkCheck + "press Button26\nwait 50000\ndump auto.txt\nexit\n");
  ASSERT_TRUE(r.finished);
  EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
  const QString dump = home.Text("auto.txt");
  EXPECT_EQ(Field(dump, "Label2"), "Триангулятор1:Error !");
  const QStringList memo = DumpLines(dump, "Memo1");
  EXPECT_EQ(memo.filter(":ОК").size(), 7) << memo.join('\n').toStdString();
  EXPECT_EQ(memo.count("Тест синхро:ERROR"), 1) << memo.join('\n').toStdString();
  EXPECT_EQ(memo.value(memo.size() - 1), "Автотест: ERROR !");
}

TEST(TerminalFlow, TheLirTestFailsAtExactly994And1006) {
  const struct {
    const char* error;
    const char* reading;
    const char* result;
  } cases[] = {{"-6", "LIR>>994", "Тест LIR:ERROR"},
               {"6", "LIR>>1006", "Тест LIR:ERROR"},
               {"-5", "LIR>>995", "Тест LIR:ОК"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.error);
    SimulatedLine line({"--lir-error", c.error}, true);
    ASSERT_FALSE(line.port().isEmpty());
    FlowHome home;
    PointAtLine(home, line);
    const auto r =
        home.Play(QString(kShown) + kLinkCheck + "press Button23\nwait 9000\ndump lir.txt\nexit\n");
    ASSERT_TRUE(r.finished);
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QString dump = home.Text("lir.txt");
    const QStringList memo = DumpLines(dump, "Memo1");
    EXPECT_EQ(memo.count(c.reading), 1) << memo.join('\n').toStdString();
    EXPECT_EQ(memo.value(memo.size() - 1), c.result) << memo.join('\n').toStdString();
    // The test gives the board's group back when it is done.
    EXPECT_EQ(Field(dump, "GroupBox4"), " Автопроверка (требуется плата CKT) ");
  }
}

// The initialisation waits on a silent controller for 30 attempts with the
// poll switched off, counts the attempts in the caption, and puts the poll
// back after its message.
TEST(TerminalFlow, AGuardedHandlerSwitchesThePollOffAndBack) {
  SimulatedLine line({"--silent-controller"}, true);
  ASSERT_FALSE(line.port().isEmpty());
  FlowHome home;
  PointAtLine(home, line);
  home.Set("Debug", "DebugMessages", "1");
  home.Set("Hard", "TimeoutCk", "30");
  const auto r = home.Play(QString(kShown) +
                           "press CheckBox1\nwait 2000\ndump before.txt\n"
                           "press Button9\nwait 1500\ndump during.txt\n"
                           "wait 6000\ndump box.txt\npress OK\nwait 2500\ndump after.txt\nexit\n");
  ASSERT_TRUE(r.finished);
  EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
  const int before = PollCycle(home.Text("before.txt"));
  EXPECT_GE(before, 1);

  const QString during = home.Text("during.txt");
  EXPECT_EQ(Field(during, "CheckBox1"), "Автоопрос датчиков\t[ ]") << during.toStdString();
  const auto waiting = QRegularExpression("^Ожидание:(\\d+)$").match(TextLines(during).value(1));
  ASSERT_TRUE(waiting.hasMatch()) << during.toStdString();
  EXPECT_LT(waiting.captured(1).toInt(), 30);
  EXPECT_GT(waiting.captured(1).toInt(), 0);
  // No poll cleared the list under the running initialisation.
  EXPECT_EQ(DumpLines(during, "Memo1").last(), "Инициализация начата !");

  const QString box = home.Text("box.txt");
  EXPECT_TRUE(box.startsWith("QMessageBox"));
  EXPECT_TRUE(box.contains("text\tОшибка долгой команды №11")) << box.toStdString();

  const QString after = home.Text("after.txt");
  EXPECT_EQ(TextLines(after).value(1), "Ожидание:0");
  EXPECT_EQ(Field(after, "CheckBox1"), "Автоопрос датчиков\t[x]");
  EXPECT_GT(PollCycle(after), before);
}

TEST(TerminalFlow, ANumberFieldThatDoesNotConvertStopsItsHandlerBeforeAnyExchange) {
  SimulatedLine line({}, true);
  ASSERT_FALSE(line.port().isEmpty());
  FlowHome home;
  PointAtLine(home, line);
  const auto r = home.Play(
      QString(kShown) + kLinkCheck +
      "set LabeledEdit1 abc\npress Button16\nwait 500\ndump force-box.txt\npress OK\n"
      "wait 500\ndump force.txt\n"
      // The guarded force step puts the ticked poll back after its message.
      "press CheckBox1\nset LabeledEdit1 70000\npress Button16\nwait 1000\ndump range-box.txt\n"
      "press OK\nwait 1500\ndump guarded.txt\npress CheckBox1\nwait 1500\n"
      "set Edit2 x1\npress Button31\nwait 500\ndump dev-box.txt\npress OK\nwait 300\n"
      "set LabeledEdit2\npress Button28\nwait 500\ndump pause-box.txt\npress OK\nwait 300\n"
      // A LIR count that is no number sends no pulses; a negative one
      // sends them back, a positive one forward.
      "set Edit3 -\npress Button33\nwait 500\ndump lir-box.txt\npress OK\nwait 300\n"
      "press Button14\nwait 1500\ndump lir0.txt\n"
      "set Edit3 -3\npress Button33\nwait 500\npress Button14\nwait 1500\ndump lir1.txt\n"
      "set Edit3 12\npress Button33\nwait 500\npress Button14\nwait 1500\ndump lir2.txt\n"
      // The press moves the LIR: last.
      "set LabeledEdit1 400\npress Button16\nwait 3000\ndump forced.txt\n"
      "exit\n");
  ASSERT_TRUE(r.finished);
  EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();

  const QString forceBox = home.Text("force-box.txt");
  EXPECT_TRUE(forceBox.startsWith("QMessageBox")) << forceBox.toStdString();
  EXPECT_TRUE(forceBox.contains("Ацп, ед.") && forceBox.contains("«abc»"))
      << forceBox.toStdString();
  EXPECT_TRUE(DumpLines(home.Text("force.txt"), "Memo1").filter("Усилие").isEmpty());
  EXPECT_TRUE(home.Text("range-box.txt").contains("«70000»"));
  EXPECT_EQ(Field(home.Text("guarded.txt"), "CheckBox1"), "Автоопрос датчиков\t[x]");
  const QStringList forced = DumpLines(home.Text("forced.txt"), "Memo1");
  EXPECT_EQ(forced.mid(forced.size() - 2), QStringList({"Усилие подается !", "Усилие подано !"}))
      << forced.join('|').toStdString();

  EXPECT_TRUE(home.Text("dev-box.txt").contains("«Dev»"));
  EXPECT_TRUE(home.Text("dev-box.txt").contains("«x1»"));
  EXPECT_TRUE(home.Text("pause-box.txt").contains("«Пауза ЛИР(мс)»"));
  EXPECT_TRUE(home.Text("lir-box.txt").contains("«-»"));
  EXPECT_EQ(DumpLines(home.Text("lir0.txt"), "Memo1").value(5), "Лир=:0");
  // 100 pulses back, read as the 16-bit count 65536 - 100.
  EXPECT_EQ(DumpLines(home.Text("lir1.txt"), "Memo1").value(5), "Лир=:65436");
  EXPECT_EQ(DumpLines(home.Text("lir2.txt"), "Memo1").value(5), "Лир=:0");
}

TEST(TerminalFlow, TheDemoScanReadsOutEveryCameraAndInitialisesAgainWithAutoInit) {
  SimulatedLine line({}, true);
  ASSERT_FALSE(line.port().isEmpty());
  FlowHome home;
  PointAtLine(home, line);
  const auto r = home.Play(QString(kShown) +
                           "press CheckBox2\npress Button10\nwait 15000\ndump scan.txt\n"
                           "press Button18\nwait 6000\ndump sync.txt\nexit\n");
  ASSERT_TRUE(r.finished);
  EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
  QStringList scan = DumpLines(home.Text("scan.txt"), "Memo1");
  ASSERT_FALSE(scan.isEmpty());
  scan.removeFirst();  // the version line
  for (QString& l : scan) l.replace(QRegularExpression("^(Камера №\\d   )\\d+$"), "\\1N");
  const QStringList expected = {"Инициализация начата !",
                                "Инициализация завершена !",
                                "Запущен замер !",
                                "Настройка камеры №1",
                                "Настройка камеры №2",
                                "Настройка камеры №3",
                                "Настройка камеры №4",
                                "Считывание данных.",
                                "Камера №1   N",
                                "Камера №2   N",
                                "Камера №3   N",
                                "Камера №4   N",
                                "Замер завершен !",
                                "Инициализация начата !",
                                "Инициализация завершена !"};
  EXPECT_EQ(scan, expected) << scan.join('\n').toStdString();
  for (int n = 1; n <= 4; ++n) {
    QFile f(home.file(QString("cmr%1.txt").arg(n)));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << n;
    EXPECT_GT(f.readAll().count('\n'), 3) << n;
  }

  const QStringList sync = DumpLines(home.Text("sync.txt"), "Memo1");
  const QStringList tail = sync.mid(sync.size() - 6);
  ASSERT_EQ(tail.size(), 6);
  EXPECT_EQ(tail[0], "Запущен замер !");
  EXPECT_EQ(tail[1], "Настройка камеры №1");
  EXPECT_EQ(tail[2], "Вращайте лир, по заершению замкни D1 ");
  EXPECT_EQ(tail[3], "Считывание данных.");
  EXPECT_TRUE(tail[4].startsWith("Камера №1   "));
  EXPECT_EQ(tail[5], "Замер завершен !");
}

// While "Проверка ЦК " runs, the buttons that talk to the line are off: a
// second click of it and a press button clicked meanwhile do nothing, then
// or later. The terminal's scans write their own copies under STORAGE\ and
// leave those of the stored measurements as they were.
TEST(TerminalFlow, ALongHandlerRunsAloneAndTheScansKeepTheStoredMeasurementsFiles) {
  SimulatedLine line({}, true);
  ASSERT_FALSE(line.port().isEmpty());
  FlowHome home;
  PointAtLine(home, line);
  QMap<QString, QByteArray> kept;
  for (const char* index : {"0", "1"})
    for (int n = 1; n <= 4; ++n) {
      const QString name = QString("STORAGE/%1-cmr%2.txt").arg(index).arg(n);
      kept[name] = QString("%1\r\n%2\r\n").arg(index).arg(n).toLatin1();
      QFile f(home.file(name));
      ASSERT_TRUE(f.open(QIODevice::WriteOnly));
      f.write(kept[name]);
    }
  const auto r = home.Play(QString(kShown) + kLinkCheck +
                           "press Button26\nwait 300\npress Button26\npress Button5\n"
                           "wait 700\ndump during.txt\nwait 50000\ndump done.txt\n"
                           "press Button14\nwait 1500\nwait 50000\ndump later.txt\n"
                           "press Button10\nwait 15000\npress Button18\nwait 6000\nexit\n");
  ASSERT_TRUE(r.finished);
  EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();

  const QString during = home.Text("during.txt");
  for (const char* button : {"Button5", "Button10", "Button13", "Button26"})
    EXPECT_TRUE(Field(during, button).endsWith("\t(disabled)")) << button << during.toStdString();
  EXPECT_EQ(Field(during, "Button1"), "Закрыть");
  const QString done = home.Text("done.txt");
  EXPECT_EQ(DumpLines(done, "Memo1").value(DumpLines(done, "Memo1").size() - 1), "Автотест: ОК");
  EXPECT_EQ(Field(done, "Button5"), "/\\");
  // The poll after it is the last thing that ran: nothing waited its turn.
  EXPECT_EQ(PollCycle(home.Text("later.txt")), 1) << home.Text("later.txt").toStdString();

  for (auto it = kept.cbegin(); it != kept.cend(); ++it) {
    QFile f(home.file(it.key()));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << it.key().toStdString();
    EXPECT_EQ(f.readAll(), it.value()) << it.key().toStdString();
  }
  for (int n = 1; n <= 4; ++n) {
    QFile f(home.file(QString("STORAGE/terminal-cmr%1.txt").arg(n)));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << n;
    EXPECT_GT(f.readAll().count('\n'), 3) << n;
  }
}

// "Завершить работу" ends the program with the press switched off: after
// "Гидростанция" the hydraulics go off and both relays stop before the end.
TEST(TerminalFlow, EndingTheProgramSwitchesTheHydraulicsOffFirst) {
  QTemporaryDir logDir;
  const QString log = logDir.filePath("linesim.log");
  SimulatedLine line({"--log", log}, true);
  ASSERT_FALSE(line.port().isEmpty());
  FlowHome home;
  PointAtLine(home, line);
  const auto r = home.Play(QString(kShown) + "press Button3\nwait 1000\npress Button13\nwait 5000\n");
  ASSERT_TRUE(r.finished);
  EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
  QFile f(log);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  QStringList sent;
  for (const QString& l : QString::fromLatin1(f.readAll()).split('\n', Qt::SkipEmptyParts))
    if (l.section(' ', 1, 2) == "1 F0") sent << l.section(' ', 3);
  const QStringList last = {"01 01 00 00", "01 00 00 00", "02 01 00 00", "03 01 00 00"};
  EXPECT_EQ(sent.mid(sent.size() - 4), last) << sent.join('\n').toStdString();
}
