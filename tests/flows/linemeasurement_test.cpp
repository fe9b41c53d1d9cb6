// Measurements on the line (Emul=0) against the simulated line over real
// pseudo-terminals: the record stores the modelled spring, the fast and
// accelerated modes leave out what they should (linesim's request log
// tells), and the line's faults during a measurement give their error
// pages; a silent camera never holds the program.
#include <gtest/gtest.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>

#include "database/database.h"
#include "database/records.h"
#include "flowsupport.h"
#include "linefilters.h"
#include "platform/paths.h"
#include "testpaths.h"

namespace {

// The line ready and the main menu shown: the check of the line and its
// initialisation, with every device answering.
constexpr int kLineStartMs = 40000;
// A whole measurement with every wait of the sequence, and some to spare.
constexpr int kMeasurementMs = 60000;

enum class Mode { Full, Fast, Accelerated };

struct LineRun {
  testsupport::RunResult run;
  std::vector<MeasurementRecord> records;
  QStringList requests;               // port and body of every request linesim received
  std::vector<QJsonObject> exported;  // springdata's JSON Lines of the installation, when asked
  QStringList errorTexts;             // Errors\<code>.err of the error pages the program named
};

// Starts the program on an installation pointed at linesim, with the
// diameter thresholds of the installed spring types and the filter
// constants of a commissioned line; presses key 2 in the main menu, plays
// `afterKey2` (by default: waits for the measurement) and ends; with
// `exportRecords`, springdata exports what the program stored.
LineRun MeasureOnTheLine(const QStringList& linesimOptions, Mode mode = Mode::Full,
                         const QString& afterKey2 = QString(), bool exportRecords = false) {
  LineRun out;
  QTemporaryDir logDir;
  const QString log = logDir.filePath("linesim.log");
  SimulatedLine line(QStringList{"--log", log} + linesimOptions);
  EXPECT_FALSE(line.port().isEmpty());
  FlowHome home(QString("[Global]\nEmul=0\n[Hard]\nCom=%1\n[Mathem]\nk13=168\nk14=215\nk15=225\n"
                        "k16=168\n")
                    .arg(line.port()) +
                testsupport::CommissionedFiltersIni());
  if (mode != Mode::Full) {
    plat::SetHome(home.path());
    EXPECT_TRUE(InitDatabaseModule().isEmpty());
    EXPECT_TRUE(InitModeState().isEmpty());
    Database.ModeState.FastMode = mode == Mode::Fast;
    Database.ModeState.AcceleratedMode = mode == Mode::Accelerated;
    EXPECT_TRUE(SaveModeState());
  }
  const QString script =
      QString("wait %1\nkey 2\n").arg(kLineStartMs) +
      (afterKey2.isEmpty() ? QString("wait %1\n").arg(kMeasurementMs) : afterKey2) +
      "snap end.png\nexit\n";
  out.run = home.Play(script);
  out.records = ShiftRecords(home);
  if (exportRecords) {
    const testsupport::RunResult exported = testsupport::Run(
        KALVOR_SPRINGDATA, {"export", "--home", home.path(), "--format", "jsonl", "--quiet"});
    EXPECT_EQ(exported.exitCode, 0) << exported.err.toStdString();
    for (const QString& l : exported.out.split('\n', Qt::SkipEmptyParts))
      out.exported.push_back(QJsonDocument::fromJson(l.toUtf8()).object());
  }
  static const QRegularExpression page("error page (\\d+)");
  for (auto m = page.globalMatch(out.run.err); m.hasNext();)
    out.errorTexts << home.Text("Errors/" + m.next().captured(1) + ".err");
  QFile f(log);
  if (f.open(QIODevice::ReadOnly))
    for (const QString& l : QString::fromLatin1(f.readAll()).split('\n', Qt::SkipEmptyParts))
      out.requests << l.section(' ', 1);
  return out;
}

// The script after key 2: the first measurement and `more` after it, each
// started with key 1 of the measurement page; with `type` the key that names
// the spring type on the spring-type page.
QString Measurements(int more, const QString& typeKey = QString()) {
  const QString name = typeKey.isEmpty() ? QString() : "wait 5000\nkey " + typeKey + "\n";
  QString script = name + QString("wait %1\n").arg(kMeasurementMs);
  for (int i = 0; i < more; ++i)
    script += "key 1\n" + name + QString("wait %1\n").arg(kMeasurementMs);
  return script;
}

// Which values of an exported measurement are there (the others are null).
QString ExportedValues(const QJsonObject& o) {
  QString present;
  for (const QJsonValue& p : o["parameters"].toArray())
    present += p.toObject()["value"].isNull() ? '-' : 'v';
  return present;
}

int Count(const QStringList& requests, const QString& prefix) {
  return static_cast<int>(std::count_if(requests.begin(), requests.end(),
                                        [&](const QString& r) { return r.startsWith(prefix); }));
}

}  // namespace

// The outer spring of bogie type 1 (196 mm, between k14 and k15): p1 is the
// modelled diameter (its type's corrections are neutral), p2 the free
// height, p6 the deflection under the type's second level (14000 units at
// 300 units per mm).
TEST(LineMeasurement, AFullMeasurementStoresTheModelledSpring) {
  const LineRun straight =
      MeasureOnTheLine({"--diameter", "196", "--height", "250.3", "--tilt", "0"});
  ASSERT_TRUE(straight.run.finished);
  EXPECT_EQ(straight.run.exitCode, 0) << straight.run.err.toStdString();
  EXPECT_FALSE(straight.run.err.contains("error page")) << straight.run.err.toStdString();
  ASSERT_EQ(straight.records.size(), 1u);
  const MeasurementRecord& r = straight.records[0];
  EXPECT_EQ(r.BogieType, 1);
  EXPECT_EQ(r.SpringType, 2);
  EXPECT_NEAR(r.Param[1].Value, 196.0, 0.5);
  EXPECT_NEAR(r.Param[2].Value, 250.3, 0.1);
  EXPECT_NEAR(r.Param[6].Value, 14000.0 / 300.0, 0.05);
  EXPECT_EQ(r.Param[5].Value, 0.0f);  // the modelled spring takes no set

  const LineRun tilted =
      MeasureOnTheLine({"--diameter", "196", "--height", "250.3", "--tilt", "2.5"});
  ASSERT_EQ(tilted.records.size(), 1u);
  EXPECT_NEAR(tilted.records[0].Param[1].Value, 196.0, 0.5);
  EXPECT_GT(tilted.records[0].Param[3].Value, r.Param[3].Value + 1.0);
}

// The wedge spring of bogie type 1 (above k15): type 3, and its diameter is
// the fixed value the type's correction gives, not the measured one.
TEST(LineMeasurement, AWideSpringIsTheWedgeSpringWithItsFixedDiameter) {
  const LineRun run = MeasureOnTheLine({"--diameter", "238", "--wire", "32", "--pitch", "56"});
  ASSERT_EQ(run.records.size(), 1u);
  EXPECT_EQ(run.records[0].SpringType, 3);
  EXPECT_GE(run.records[0].Param[1].Value, 137.5f);
  EXPECT_LE(run.records[0].Param[1].Value, 138.2f);
}

// Fast: no camera set-up or read-out, the force steps run; accelerated: no
// camera and no force either. The full measurement does both.
TEST(LineMeasurement, FastAndAcceleratedModesLeaveOutTheirSteps) {
  const LineRun full = MeasureOnTheLine({});
  ASSERT_EQ(full.records.size(), 1u);
  EXPECT_EQ(Count(full.requests, "1 F0 0E "), 4);  // pre-load twice, first level, second level
  EXPECT_EQ(Count(full.requests, "1 F0 0C "), 1);
  for (int n = 1; n <= 4; ++n)
    EXPECT_EQ(Count(full.requests, QString("1 0%1 8C ").arg(n)), 1) << "read-out of camera " << n;

  // Key 5 names the outer spring on the spring-type page.
  const LineRun fast =
      MeasureOnTheLine({}, Mode::Fast, QString("wait 5000\nkey 5\nwait %1\n").arg(kMeasurementMs));
  ASSERT_EQ(fast.records.size(), 1u) << fast.run.err.toStdString();
  EXPECT_EQ(fast.records[0].Kind, 1);
  EXPECT_EQ(fast.records[0].SpringType, 2);
  EXPECT_NEAR(fast.records[0].Param[2].Value, 249.0, 0.1);  // linesim's default height
  EXPECT_EQ(Count(fast.requests, "1 F0 0E "), 4);
  EXPECT_EQ(Count(fast.requests, "1 F0 0C "), 1);
  for (int n = 1; n <= 4; ++n) EXPECT_EQ(Count(fast.requests, QString("1 0%1 8C ").arg(n)), 0);

  // The accelerated mode has no profile to tell the type by: key 5 names it.
  const LineRun accelerated = MeasureOnTheLine({}, Mode::Accelerated, Measurements(0, "5"));
  ASSERT_EQ(accelerated.records.size(), 1u) << accelerated.run.err.toStdString();
  EXPECT_EQ(Count(accelerated.requests, "1 F0 0E "), 0);
  EXPECT_EQ(Count(accelerated.requests, "1 F0 0C "), 1);
  for (int n = 1; n <= 4; ++n)
    EXPECT_EQ(Count(accelerated.requests, QString("1 0%1 8C ").arg(n)), 0);
}

// A fault of the line during the measurement shows its error page; the
// program waits there for key * and ends.
TEST(LineMeasurement, LineFaultsGiveTheirErrorPages) {
  struct Case {
    QStringList options;
    int page;
  };
  const Case cases[] = {
      // The start-up check's initialisation is the first 0x0B, the
      // measurement's the second; every initialisation failing stops the
      // start-up with the same page.
      {{"--fail-nth", "controller", "0x0B", "2"}, 9},
      {{"--fail", "controller", "0x0B"}, 9},
      {{"--fail", "controller", "0x0E"}, 11},
      {{"--fail-nth", "controller", "0x0E", "4"}, 12},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.options.join(' ').toStdString());
    const LineRun run = MeasureOnTheLine(
        c.options, Mode::Full,
        QString("wait %1\nsnap error.png\nkey 11\nwait 20000\n").arg(kMeasurementMs));
    ASSERT_TRUE(run.run.finished);
    EXPECT_TRUE(run.run.err.contains(QString("error page %1\n").arg(c.page)))
        << run.run.err.toStdString();
    EXPECT_TRUE(run.records.empty());
  }
}

// A camera silent at its read-out (it answered the check of the line at
// start-up, which a silent camera fails) never holds the program: the
// read-out times out. Camera
// 1, which the diameter leaves out ([Mathem] NMCam=1), still gives a stored
// record with the diameter of the other three; a silent camera in use gives
// its camera's error page (12 + n) instead of a diameter computed from no
// reading.
TEST(LineMeasurement, ASilentCameraNeverHoldsTheMeasurement) {
  const LineRun unused = MeasureOnTheLine({"--fail", "camera1", "0x8C", "--diameter", "196"});
  ASSERT_TRUE(unused.run.finished);
  EXPECT_EQ(unused.run.exitCode, 0) << unused.run.err.toStdString();
  ASSERT_EQ(unused.records.size(), 1u) << unused.run.err.toStdString();
  EXPECT_NEAR(unused.records[0].Param[1].Value, 196.0, 0.5);
  EXPECT_EQ(Count(unused.requests, "1 01 8C "), 1);  // read out once, unanswered

  const LineRun used = MeasureOnTheLine(
      {"--fail", "camera3", "0x8C"}, Mode::Full,
      QString("wait %1\nsnap error.png\nkey 11\nwait 20000\n").arg(kMeasurementMs));
  ASSERT_TRUE(used.run.finished);
  EXPECT_TRUE(used.run.err.contains("error page 15\n")) << used.run.err.toStdString();
  EXPECT_TRUE(used.records.empty());
}

namespace {

// Eight measurements of one spring of a type of bogie type 1, its values
// inside the type's norms (linesim's stiffness gives a deflection under
// Adc1 within 44..54 mm, or 38..48 for the wedge spring): every one judged
// good and stored as that type; only the coil gap and the wedge spring's
// fixed diameter are marked not measured, and the export leaves them null.
void ExpectEightGoodMeasurements(const QStringList& options, int type, const QString& values) {
  const LineRun run = MeasureOnTheLine(options, Mode::Full, Measurements(7), true);
  ASSERT_EQ(run.records.size(), 8u) << run.run.err.toStdString();
  ASSERT_EQ(run.exported.size(), 8u);
  for (size_t i = 0; i < 8; ++i) {
    SCOPED_TRACE(i);
    const MeasurementRecord& r = run.records[i];
    EXPECT_EQ(r.SpringType, type);
    EXPECT_FALSE(ParameterMeasured(r, 4));
    EXPECT_FALSE(RecordEmulated(r));
    const QJsonObject& o = run.exported[i];
    EXPECT_TRUE(o["good"].toBool()) << QJsonDocument(o).toJson().toStdString();
    EXPECT_EQ(ExportedValues(o), values);
    EXPECT_FALSE(o["emulated"].toBool());
    EXPECT_FALSE(o["accelerated"].toBool());
  }
}

}  // namespace

TEST(LineMeasurement, EightMeasurementsOfAGoodInnerSpringAreAllGood) {
  ExpectEightGoodMeasurements({"--diameter", "136", "--wire", "20", "--stiffness", "160"}, 1,
                              "vvv-vv");
}

TEST(LineMeasurement, EightMeasurementsOfAGoodOuterSpringAreAllGood) {
  ExpectEightGoodMeasurements({"--diameter", "199"}, 2, "vvv-vv");
}

TEST(LineMeasurement, EightMeasurementsOfAGoodWedgeSpringAreAllGood) {
  ExpectEightGoodMeasurements(
      {"--diameter", "238", "--wire", "32", "--pitch", "56", "--stiffness", "220"}, 3, "-vv-vv");
}

// A step of the controller that does not come stores nothing: the error
// page of the step, with its text from the installation; where the press
// stood on the spring it is raised, then the error page switches the
// hydraulics and both relays off, and nothing else is sent to the controller.
// A scan the controller refuses is its own fault, not a camera's.
TEST(LineMeasurement, AFailedStepOfTheControllerStoresNothing) {
  const struct {
    const char* code;
    int page;
    const char* says;
    const char* raise;
  } cases[] = {{"0x11", 20, "положение пресса", ""},
               {"0x0F", 18, "перемещение пресса", "1 F0 02 00 00 00 "},
               {"0x09", 17, "сброс датчика", "1 F0 02 00 00 00 "},
               {"0x02", 19, "Пресс не поднялся", ""},
               {"0x0C", 21, "Контроллер не выполнил сканирование", ""}};
  const QString off = "1 F0 01 00 00 00 1 F0 02 01 00 00 1 F0 03 01 00 00";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.code);
    const LineRun run = MeasureOnTheLine(
        {"--fail", "controller", c.code}, Mode::Full,
        QString("wait %1\nsnap error.png\nkey 11\nwait 20000\n").arg(kMeasurementMs), true);
    ASSERT_TRUE(run.run.finished);
    EXPECT_TRUE(run.run.err.contains(QString("error page %1\n").arg(c.page)))
        << run.run.err.toStdString();
    ASSERT_EQ(run.errorTexts.size(), 1);
    EXPECT_TRUE(run.errorTexts[0].contains(QString::fromUtf8(c.says)))
        << run.errorTexts[0].toStdString();
    EXPECT_TRUE(run.records.empty());
    EXPECT_TRUE(run.exported.empty());
    const QStringList sent = run.requests.filter(QRegularExpression("^1 F0 "));
    const qsizetype failed =
        sent.lastIndexOf(QRegularExpression("1 F0 " + QString(c.code).mid(2) + " 00 .*"));
    ASSERT_GE(failed, 0);
    // The error page's and the shutdown page's.
    EXPECT_EQ(sent.mid(failed + 1).join(' '), QString(c.raise) + off + " " + off);
  }
}

namespace {

// Replies of the controller damaged by `faults` (linesim's options, one run
// each) never become a stored value: each run stores the undisturbed run's
// values, or nothing and an error page.
void ExpectUndisturbedValuesOrNothing(const QList<QStringList>& faults) {
  const QStringList spring = {"--diameter", "199"};
  const LineRun clean = MeasureOnTheLine(spring);
  ASSERT_EQ(clean.records.size(), 1u) << clean.run.err.toStdString();
  for (const QStringList& fault : faults) {
    SCOPED_TRACE(fault.join(' ').toStdString());
    const LineRun run = MeasureOnTheLine(spring + fault);
    ASSERT_TRUE(run.run.finished);
    if (run.records.empty()) {
      EXPECT_TRUE(run.run.err.contains("error page ")) << run.run.err.toStdString();
      continue;
    }
    ASSERT_EQ(run.records.size(), 1u);
    for (int p = 1; p <= 6; ++p) {
      ASSERT_EQ(ParameterMeasured(run.records[0], p), ParameterMeasured(clean.records[0], p)) << p;
      if (ParameterMeasured(clean.records[0], p)) {
        EXPECT_FLOAT_EQ(run.records[0].Param[p].Value, clean.records[0].Param[p].Value) << p;
      }
    }
  }
}

}  // namespace

TEST(LineMeasurement, RepliesCutShortStoreTheUndisturbedValuesOrNothing) {
  QList<QStringList> faults;
  for (const char* n : {"3", "4", "5"}) faults << QStringList{"--cut-device", "controller", n};
  ExpectUndisturbedValuesOrNothing(faults);
}

TEST(LineMeasurement, GarbledRepliesStoreTheUndisturbedValuesOrNothing) {
  QList<QStringList> faults;
  for (const char* seed : {"1", "2", "3"})
    faults << QStringList{"--garble-device", "controller", "0.03", "--seed", seed};
  ExpectUndisturbedValuesOrNothing(faults);
}

// Accelerated: the operator names the type (key 5, the outer spring) each
// time, and the records say what was not measured.
TEST(LineMeasurement, AcceleratedMeasurementsStoreTheNamedTypeAndMarkTheRest) {
  const LineRun run =
      MeasureOnTheLine({"--height", "250"}, Mode::Accelerated, Measurements(2, "5"), true);
  ASSERT_EQ(run.records.size(), 3u) << run.run.err.toStdString();
  ASSERT_EQ(run.exported.size(), 3u);
  for (size_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(run.records[i].SpringType, 2);
    EXPECT_TRUE(RecordAccelerated(run.records[i]));
    EXPECT_NEAR(run.records[i].Param[2].Value, 250.0, 0.1);
    EXPECT_EQ(ExportedValues(run.exported[i]), "-v----");
    EXPECT_TRUE(run.exported[i]["accelerated"].toBool());
    EXPECT_TRUE(run.exported[i]["good"].toBool());
  }
}
