// The camera scan of a measurement over the simulated line: the order of its
// exchanges for each measurement type, its lines in the terminal's list, the
// turning points the terminal hooks into, and the read-out files.
#include "link/camerascan.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "config/settings.h"
#include "fakeserial.h"
#include "link/camera.h"
#include "link/commands.h"
#include "link/link.h"
#include "sim/simline.h"
#include "testsupport.h"

namespace {

constexpr int kIndex = 7;

class CameraScanTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetSettingsModule();
    ResetControllerLink();
    Settings.Global.Emul = false;
    sim = std::make_shared<SimLine>(std::make_shared<SimpleSpringModel>());
    linktest::OpenSimPorts(sim);
    QDir(home.path()).mkdir("STORAGE");
    ControllerLink.TerminalMemo = [this](const QString& line) { log << line; };
  }
  void TearDown() override { ResetControllerLink(); }

  // Each request on the controller's line as "address:code" in hex, with
  // the enable flag for the cameras' 0x8B.
  QStringList Requests() const {
    QStringList out;
    for (const QByteArray& b : sim->Requests(kControllerPort)) {
      QString r = QString("%1:%2")
                      .arg(static_cast<uint8_t>(b[0]), 2, 16, QChar('0'))
                      .arg(static_cast<uint8_t>(b[1]), 2, 16, QChar('0'));
      if (static_cast<uint8_t>(b[1]) == kCamEnable && b.size() >= 5) r += b[2] ? "+" : "-";
      out << r;
    }
    return out;
  }

  // The steps that note where they ran among the memo lines.
  CameraScanSteps NotingSteps() {
    CameraScanSteps steps;
    steps.scanStarts = [this] { log << "<scan starts>"; };
    steps.readOutEnded = [this] { log << "<read-out ended>"; };
    return steps;
  }

  testsupport::ScratchHome home;
  std::shared_ptr<SimLine> sim;
  QStringList log;
};

TEST_F(CameraScanTest, FullScanSetsUpReadsOutAndSwitchesOffEveryCamera) {
  CameraScan(MeasurementType::Full, kIndex, NotingSteps());

  const QStringList expected = {
      "Инициализация начата !", "Инициализация завершена !", "<scan starts>",
      "Запущен замер !",        "Настройка камеры №1",       "Настройка камеры №2",
      "Настройка камеры №3",    "Настройка камеры №4",       "Считывание данных.",
      "Камера №1   1000",       "Камера №2   1000",          "Камера №3   1000",
      "Камера №4   1000",       "<read-out ended>",          "Замер завершен !"};
  EXPECT_EQ(log, expected);

  const QStringList requests = {"f0:0b",  "01:8a",  "01:86",  "01:84",  "02:8a", "02:86", "02:84",
                                "03:8a",  "03:86",  "03:84",  "04:8a",  "04:86", "04:84", "01:8b+",
                                "02:8b+", "03:8b+", "04:8b+", "f0:0c",  "01:8c", "02:8c", "03:8c",
                                "04:8c",  "01:8b-", "02:8b-", "03:8b-", "04:8b-"};
  EXPECT_EQ(Requests(), requests);

  // Each camera's profile, and its copy named after the measurement.
  for (int n = 1; n <= 4; ++n) {
    EXPECT_EQ(home.read(CameraFileName(n)).count('\n'), 3 + 4 * 1000) << n;
    EXPECT_TRUE(QFile::exists(home.file(QString("STORAGE/%1-cmr%2.txt").arg(kIndex).arg(n))));
  }
}

TEST_F(CameraScanTest, FastAndAcceleratedScansLeaveTheCamerasAlone) {
  EXPECT_EQ(MeasurementTypeOf(false, false), MeasurementType::Full);
  EXPECT_EQ(MeasurementTypeOf(true, false), MeasurementType::Fast);
  EXPECT_EQ(MeasurementTypeOf(false, true), MeasurementType::Accelerated);
  EXPECT_EQ(MeasurementTypeOf(true, true), MeasurementType::Accelerated);

  CameraScan(MeasurementType::Fast, kIndex, NotingSteps());
  EXPECT_EQ(log, QStringList({"Инициализация начата !", "Инициализация завершена !",
                              "<scan starts>", "Запущен замер !", "Считывание данных.",
                              "<read-out ended>", "Замер завершен !"}));
  EXPECT_EQ(Requests(), QStringList({"f0:0b", "f0:0c"}));

  log.clear();
  CameraScan(MeasurementType::Accelerated, kIndex, NotingSteps());
  // The accelerated scan does not even announce a read-out.
  EXPECT_EQ(log,
            QStringList({"Инициализация начата !", "Инициализация завершена !", "<scan starts>",
                         "Запущен замер !", "<read-out ended>", "Замер завершен !"}));
  EXPECT_EQ(Requests(), QStringList({"f0:0b", "f0:0c", "f0:0b", "f0:0c"}));
  EXPECT_FALSE(QFile::exists(home.file("cmr1.txt")));
}

TEST_F(CameraScanTest, TheTerminalsAutoInitInitialisesOnceMoreAtTheEnd) {
  bool ticked = true;
  ControllerLink.TerminalAutoInit = [&ticked] { return ticked; };
  int initialisations = 0;
  CameraScanSteps steps;
  steps.initialise = [&] {
    ++initialisations;
    RunLineInitialisation();
  };
  CameraScan(MeasurementType::Fast, kIndex, steps);
  EXPECT_EQ(initialisations, 2);
  EXPECT_EQ(Requests(), QStringList({"f0:0b", "f0:0c", "f0:0b"}));
  EXPECT_EQ(log.mid(log.size() - 3), QStringList({"Замер завершен !", "Инициализация начата !",
                                                  "Инициализация завершена !"}));

  ticked = false;
  CameraScan(MeasurementType::Fast, kIndex, steps);
  EXPECT_EQ(initialisations, 3);
  // Without the terminal nobody ticked the box.
  ControllerLink.TerminalAutoInit = {};
  CameraScan(MeasurementType::Fast, kIndex);
  EXPECT_EQ(Requests().count("f0:0b"), 2 + 1 + 1);
}

TEST_F(CameraScanTest, ASilentControllerIsAFailedInitialisation) {
  sim->Faults().silentController = true;
  Settings.Hard.TimeoutCk = 2;
  EXPECT_FALSE(RunLineInitialisation());
  EXPECT_EQ(log, QStringList({"Инициализация начата !", "ОШИБКА ИНИЦИАЛИЗАЦИИ !"}));
  // The line answers again, within the default patience.
  sim->Faults().silentController = false;
  Settings.Hard.TimeoutCk = 10;
  log.clear();
  EXPECT_TRUE(RunLineInitialisation());
  EXPECT_EQ(log.last(), "Инициализация завершена !");
}

TEST_F(CameraScanTest, AStorageThatCantBeWrittenKeepsTheFirstDiskErrorAndEveryProfile) {
  // A file where the folder should be: no copy can be written, whoever runs
  // the test.
  ASSERT_TRUE(QDir(home.path()).rmdir("STORAGE"));
  home.write("STORAGE", "not a folder");
  std::vector<QString> shown;
  ControllerLink.ShowMessage = [&shown](const QString& m) { shown.push_back(m); };
  QString error;
  EXPECT_EQ(CameraScan(MeasurementType::Full, QString::number(kIndex), {}, error),
            ScanOutcome::DiskError);
  EXPECT_TRUE(error.contains(QString("%1-cmr1.txt").arg(kIndex))) << error.toStdString();
  EXPECT_EQ(shown.size(), 4u);
  for (int n = 1; n <= 4; ++n) EXPECT_EQ(home.read(CameraFileName(n)).count('\n'), 3 + 4 * 1000);
}

}  // namespace
