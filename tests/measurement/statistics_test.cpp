// The counting of the statistics over the shift file and over the browser's
// list, and the files it leaves: Temp\norms.txt, Temp\Ynorms.txt and
// Texts\stat.txt.
#include "measurement/statistics.h"

#include <gtest/gtest.h>

#include <QDir>

#include "config/settings.h"
#include "database/database.h"
#include "measurement/judgement.h"
#include "platform/cp1251.h"
#include "platform/paths.h"
#include "springs/springtypes.h"
#include "testsupport.h"

namespace {

// Bogie types 1 and 2 with one spring type each, both with every parameter
// analysed: limits 10..20 for every parameter, E 0.5.
const char* kFile =
    "[Global]\r\nMaxChNum=2\r\n"
    "[Chassie1]\r\nName=18-100\r\nMaxSprings=1\r\nSpring1=1\r\n"
    "[Chassie2]\r\nName=18-578\r\nMaxSprings=1\r\nSpring1=1\r\n"
    "[Spring1]\r\nE=0.5\r\nNparam=6\r\n"
    "P1Min=10\r\nP1Max=20\r\nP1Analiz=1\r\nP2Min=10\r\nP2Max=20\r\nP2Analiz=1\r\n"
    "P3Min=10\r\nP3Max=20\r\nP3Analiz=1\r\nP4Min=10\r\nP4Max=20\r\nP4Analiz=1\r\n"
    "P5Min=10\r\nP5Max=20\r\nP5Analiz=1\r\nP6Min=10\r\nP6Max=20\r\nP6Analiz=1\r\n";

// A record of bogie type `bogie` whose parameter `bad` (1..6) lies outside
// the norm; 0 makes every parameter good.
MeasurementRecord Record(int bad, int bogie = 1, int kind = 0) {
  MeasurementRecord r;
  r.Identifier = "0001-01012024";
  r.BogieType = static_cast<uint8_t>(bogie);
  r.SpringType = 1;
  r.Kind = static_cast<uint8_t>(kind);
  for (int p = 1; p <= 6; ++p) r.Param[p].Value = p == bad ? 30.0f : 15.0f;
  return r;
}

// The shape of every test's data: position k is bad in parameter k % 7
// (none when 0), so the expected counts follow from the positions alone.
struct Expected {
  int good = 0;
  std::array<int, 7> inNorm{};
};
Expected ExpectedFor(const std::vector<int>& positions) {
  Expected e;
  for (int k : positions) {
    const int bad = k % 7;
    if (bad == 0) ++e.good;
    for (int p = 1; p <= 6; ++p) e.inNorm[p] += p != bad;
  }
  return e;
}

QByteArray CountsBytes(int n, const std::array<int, 7>& inNorm) {
  QByteArray out = QByteArray::number(n) + "\r\n";
  for (int p = 1; p <= 6; ++p) out += QByteArray::number(inNorm[p]) + "\r\n";
  return out;
}

class StatisticsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    plat::SetHome(home.path());
    for (const char* dir : {"Report", "Temp", "texts", "Config"}) QDir(home.path()).mkpath(dir);
    ResetSettingsModule();
    ResetSpringTypesModule();
    ResetDatabaseModule();
    ResetJudgement();
    home.write("chassie.ini", plat::ToCp1251(kFile));
    Settings.Params.ChassieIniFilename = "chassie.ini";
    LoadSpringTypes();
  }
  void TearDown() override {
    RecordFilterOff();
    ResetJudgement();
    ResetDatabaseModule();
    ResetSpringTypesModule();
    ResetSettingsModule();
  }
  // Shift or base records at positions 0 .. n - 1 shaped as ExpectedFor says.
  void FillFile(const QString& rel, int n) {
    QByteArray bytes;
    for (int k = 0; k < n; ++k) bytes += EncodeMeasurementRecord(Record(k % 7));
    home.write(rel, bytes);
  }
  std::vector<int> Upto(int n) {
    std::vector<int> v(n);
    for (int k = 0; k < n; ++k) v[k] = k;
    return v;
  }

  testsupport::ScratchHome home;
  StatisticsCounts counts;
  QString error;
  std::vector<int> steps;
  StatisticsProgress progress = [this](int i, int n) {
    steps.push_back(i);
    EXPECT_EQ(n, counts.N);
  };
};

TEST_F(StatisticsTest, ShiftOfTwentyFiveCountsEveryGoodParameterOfBadSprings) {
  FillFile("Report/day.bin", 25);
  ASSERT_TRUE(CountShiftStatistics(counts, progress, error)) << error.toStdString();
  const Expected e = ExpectedFor(Upto(25));
  EXPECT_EQ(counts.N, 25);
  EXPECT_EQ(counts.Good, e.good);  // positions 0, 7, 14, 21
  EXPECT_EQ(counts.Good, 4);
  // A spring bad in one parameter still counts its five good ones: 25 less
  // the positions bad in that parameter.
  EXPECT_EQ(counts.InNorm, e.inNorm);
  EXPECT_EQ(counts.InNorm[1], 21);
  EXPECT_EQ(counts.InNorm[5], 22);
  EXPECT_EQ(steps, (std::vector<int>{0, 10, 20}));
  EXPECT_EQ(home.read("Temp/norms.txt"), CountsBytes(25, e.inNorm));

  ASSERT_TRUE(WriteStatText(counts, error));
  EXPECT_EQ(home.read("texts/stat.txt"), CountsBytes(25, e.inNorm).mid(4));  // without n
  int n = 0;
  std::array<int, 7> back{};
  ASSERT_TRUE(ReadCountsFile(kShiftCountsFile, n, back, error));
  EXPECT_EQ(n, 25);
  EXPECT_EQ(back, e.inNorm);
  EXPECT_TRUE(counts.HaveLast);
  EXPECT_EQ(counts.Last.BogieType, 1);
}

TEST_F(StatisticsTest, FastModeAndTheLeftOutSetCountAsTheJudgementSays) {
  // Fast records bad in the parameters a fast measurement does not take.
  QByteArray bytes;
  for (int bad : {1, 3, 4}) bytes += EncodeMeasurementRecord(Record(bad, 1, 1));
  // The set of bogie type 1 with CalEnable1 is good whatever it measured;
  // that of bogie type 2 is judged.
  bytes += EncodeMeasurementRecord(Record(5, 1));
  bytes += EncodeMeasurementRecord(Record(5, 2));
  home.write("Report/day.bin", bytes);
  Settings.Debug.CalEnable1 = true;
  ASSERT_TRUE(CountShiftStatistics(counts, progress, error)) << error.toStdString();
  EXPECT_EQ(counts.N, 5);
  EXPECT_EQ(counts.Good, 4);
  EXPECT_EQ(counts.InNorm, (std::array<int, 7>{0, 5, 5, 5, 5, 4, 5}));
}

TEST_F(StatisticsTest, ARecordOfAnUnknownTypeCountsAsNotGoodAnywhere) {
  QByteArray bytes = EncodeMeasurementRecord(Record(0));
  MeasurementRecord unknownBogie = Record(0, 9);
  MeasurementRecord unknownSpring = Record(0);
  unknownSpring.SpringType = 4;
  bytes += EncodeMeasurementRecord(unknownBogie) + EncodeMeasurementRecord(unknownSpring);
  home.write("Report/day.bin", bytes);
  ASSERT_TRUE(CountShiftStatistics(counts, progress, error));
  EXPECT_EQ(counts.N, 3);
  EXPECT_EQ(counts.Good, 1);
  EXPECT_EQ(counts.InNorm, (std::array<int, 7>{0, 1, 1, 1, 1, 1, 1}));
  EXPECT_EQ(RecordSpringType(counts.Last), nullptr);  // the page then names nothing
}

TEST_F(StatisticsTest, AnEmptyShiftWritesZeroCountsOverTheOldOnes) {
  home.write("Temp/norms.txt", "7\r\n1\r\n2\r\n3\r\n4\r\n5\r\n6\r\n");
  home.write("Report/day.bin", "");
  ASSERT_TRUE(CountShiftStatistics(counts, progress, error));
  EXPECT_EQ(counts.N, 0);
  EXPECT_FALSE(counts.HaveLast);
  EXPECT_TRUE(steps.empty());
  // The report printed next reads n = 0, as the page shows, not the old shift.
  EXPECT_EQ(home.read("Temp/norms.txt"), QByteArray("0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n"));
  ASSERT_TRUE(WriteStatText(counts, error));
  EXPECT_EQ(home.read("texts/stat.txt"), QByteArray("0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n"));
}

TEST_F(StatisticsTest, AFilteredPeriodCountsOnlyTheListedRecords) {
  FillFile("Report/base.bin", 3000);
  // Runs side by side, a lone position, spans further apart than one read,
  // and the last record.
  const std::vector<int> listed = {3, 4, 5, 6, 7, 8, 100, 1500, 1501, 2100, 2999};
  SetRecordFilter(listed);
  ASSERT_TRUE(CountPeriodStatistics(MeasurementCount(), counts, progress, error))
      << error.toStdString();
  const Expected e = ExpectedFor(listed);
  EXPECT_EQ(counts.N, 11);
  EXPECT_EQ(counts.Good, e.good);
  EXPECT_EQ(counts.InNorm, e.inNorm);
  EXPECT_EQ(steps, (std::vector<int>{0, 10}));
  // Line 1 is the filtered count.
  EXPECT_EQ(home.read("Temp/Ynorms.txt"), CountsBytes(11, e.inNorm));

  // Without the filter: the whole database.
  RecordFilterOff();
  ASSERT_TRUE(CountPeriodStatistics(MeasurementCount(), counts, {}, error));
  EXPECT_EQ(counts.N, 3000);
  EXPECT_EQ(counts.InNorm, ExpectedFor(Upto(3000)).inNorm);
  EXPECT_EQ(home.read("Temp/Ynorms.txt"), CountsBytes(3000, ExpectedFor(Upto(3000)).inNorm));
}

TEST_F(StatisticsTest, AReadFailureOnTheWayWritesNoCounts) {
  const QByteArray old = "1\r\n1\r\n1\r\n1\r\n1\r\n1\r\n1\r\n";
  home.write("Temp/Ynorms.txt", old);
  home.write("Temp/norms.txt", old);
  home.write("texts/stat.txt", old);
  FillFile("Report/base.bin", 6000);
  // The list points past the end of base.bin in its second block of reads,
  // after 4096 records were counted.
  std::vector<int> listed = Upto(5000);
  listed.push_back(7000);
  SetRecordFilter(listed);
  EXPECT_FALSE(CountPeriodStatistics(MeasurementCount(), counts, progress, error));
  EXPECT_TRUE(error.contains("base.bin")) << error.toStdString();
  EXPECT_GT(steps.size(), 400u);  // it failed on the way, not at the start
  EXPECT_EQ(home.read("Temp/Ynorms.txt"), old);

  // A shift file that cannot be read.
  QDir(home.path()).mkpath("Report/day.bin");
  error.clear();
  EXPECT_FALSE(CountShiftStatistics(counts, progress, error));
  EXPECT_TRUE(error.contains("day.bin")) << error.toStdString();
  EXPECT_EQ(home.read("Temp/norms.txt"), old);
  EXPECT_EQ(home.read("texts/stat.txt"), old);
}

TEST_F(StatisticsTest, ACountsFileThatCannotBeWrittenIsAFailure) {
  FillFile("Report/day.bin", 3);
  QDir(home.path()).mkpath("Temp/norms.txt");  // a folder where the file goes
  EXPECT_FALSE(CountShiftStatistics(counts, progress, error));
  EXPECT_TRUE(error.contains("norms.txt")) << error.toStdString();
  EXPECT_TRUE(QFileInfo(home.file("Temp/norms.txt")).isDir());
  int n = 0;
  std::array<int, 7> back{};
  EXPECT_FALSE(ReadCountsFile(kShiftCountsFile, n, back, error));
  home.write("Temp/Ynorms.txt", "3\r\n1\r\nx\r\n");
  EXPECT_FALSE(ReadCountsFile(kPeriodCountsFile, n, back, error));
  EXPECT_TRUE(error.contains("строка 3")) << error.toStdString();
}

}  // namespace
