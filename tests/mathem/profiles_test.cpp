#include <QDir>
#include <QFile>

#include "mathemsupport.h"
#include "platform/textfile.h"

namespace {

using V = std::vector<int>;

QByteArray Lines(std::initializer_list<int> bytes) {
  QByteArray out;
  for (int b : bytes) out += QByteArray::number(b) + "\r\n";
  return out;
}

}  // namespace

TEST_F(MathemTest, HeaderAndReadingDecoding) {
  EXPECT_EQ(DecodeReadingCount(0, 8, 0), 0);
  EXPECT_EQ(DecodeReadingCount(1, 8, 0), 0);  // 1 / 4 truncated
  EXPECT_EQ(DecodeReadingCount(0, 0, 0), -512);
  EXPECT_EQ(DecodeReadingCount(3, 0, 0), -511);           // -2045 / 4 truncates toward zero
  EXPECT_EQ(DecodeReadingCount(0xA0, 0x0F, 0x01), 1512);  // the weights overlap
  EXPECT_EQ(DecodeReading(0, 0, 0, 0), kNoReading);       // -64
  EXPECT_EQ(DecodeReading(0, 8, 0, 0), 0);
  EXPECT_EQ(DecodeReading(31, 8, 0, 0), 0);
  EXPECT_EQ(DecodeReading(0xE0, 255, 0, 0), 1983);
  EXPECT_EQ(DecodeReading(0, 0, 16, 0), 1984);  // 4096 * 16 = 65536
  EXPECT_EQ(DecodeReading(0, 0, 0, 1), 1984);
  EXPECT_EQ(DecodeReading(192, 7, 0, 1), 2046);        // 67520
  EXPECT_EQ(DecodeReading(224, 7, 0, 1), kNoReading);  // 2047 is no reading

  // The model's writer and the reader agree, missing readings included.
  const V readings = {0, 1, 1000, 2046, kNoReading, 77};
  WriteCamera(1, readings);
  for (int n = 2; n <= 4; ++n) WriteCamera(n, {});
  LoadProfiles(0);
  EXPECT_EQ(ProfileStore.count[1], 6);
  EXPECT_EQ(Values(1), readings);
  EXPECT_EQ(ProfileStore.count[2], 0);
}

TEST_F(MathemTest, LoadResetsValuesAndHandlesShortAndNegativeCounts) {
  LoadCamera1(V(20, 500));
  EXPECT_EQ(ProfileValue(1, 20), 500);
  // Header 0, 0, 0: -512 readings, none read; old values are gone.
  home.write("cmr1.txt", Lines({0, 0, 0, 10, 8, 0, 0}));
  LoadProfiles(0);
  EXPECT_EQ(ProfileStore.count[1], -512);
  EXPECT_EQ(ProfileValue(1, 1), 0);
  EXPECT_EQ(ProfileValue(1, 20), 0);
  // A reply cut short: the readings that never came are "no reading".
  home.write("cmr1.txt", Lines({48, 8, 0, 0, 40, 0, 0}));  // 12 readings, one present
  LoadProfiles(0);
  ASSERT_EQ(ProfileStore.count[1], 12);
  EXPECT_EQ(ProfileValue(1, 1), (40 * 256 - 2048) / 32);
  EXPECT_EQ(ProfileValue(1, 2), kNoReading);
  EXPECT_EQ(ProfileValue(1, 12), kNoReading);
  EXPECT_TRUE(errorPages.empty());
  // Only the low 8 bits of a line count, and blanks around it are allowed.
  home.write("cmr1.txt", " 260\r\n8\r\n0\r\n256\r\n264\r\n0\r\n0\r\n");
  LoadProfiles(0);
  EXPECT_EQ(ProfileStore.count[1], 1);
  EXPECT_EQ(ProfileValue(1, 1), 0);
}

TEST_F(MathemTest, MissingOrGarbledCameraFileStopsTheChainNamingTheCamera) {
  LoadCamera1(V(10, 500));
  QFile::remove(home.file("cmr3.txt"));
  LoadProfiles(0);
  ASSERT_EQ(errorPages, std::vector<int>{15});
  ASSERT_EQ(messages.size(), 1);
  EXPECT_TRUE(messages[0].startsWith("Камера №3:")) << messages[0].toStdString();
  EXPECT_TRUE(messages[0].contains("cmr3.txt"));
  EXPECT_EQ(ProfileStore.faultCamera, 3);
  // The chains do not compute a diameter from a profile they do not have.
  CoilResults.MeasuredDiameter = 123;
  ComputeDiameter();
  EXPECT_EQ(CoilResults.MeasuredDiameter, 123);

  errorPages.clear();
  messages.clear();
  WriteCamera(3, {});
  home.write("cmr2.txt", Lines({8, 8, 0}) + "7\r\nabc\r\n");
  LoadProfiles(0);
  EXPECT_EQ(errorPages, std::vector<int>{14});
  ASSERT_EQ(messages.size(), 1);
  EXPECT_TRUE(messages[0].contains("abc")) << messages[0].toStdString();

  // A good load clears the fault.
  WriteCamera(2, {});
  LoadProfiles(0);
  EXPECT_EQ(ProfileStore.faultCamera, 0);

  // With a file prefix the engineer looks at kept files: a missing one is
  // told, but is no fault of the line.
  errorPages.clear();
  messages.clear();
  ProfileStore.filePrefix = "STORAGE\\9-";
  LoadProfiles(0);
  EXPECT_TRUE(errorPages.empty());
  ASSERT_EQ(messages.size(), 1);
  EXPECT_TRUE(messages[0].contains("STORAGE\\9-cmr1.txt")) << messages[0].toStdString();
  EXPECT_EQ(ProfileStore.faultCamera, 1);
}

TEST_F(MathemTest, ProtectionOfTheProfileLength) {
  // Above ProtectMaxZamer: a profile of one reading.
  Settings.Hard.ProtectMaxZamer = 10;
  LoadCamera1(V(11, 700));
  EXPECT_EQ(ProfileStore.count[1], 1);
  EXPECT_EQ(ProfileValue(1, 1), 700);
  EXPECT_EQ(ProfileValue(1, 2), 0);
  // A limit above the capacity is held to 1800 readings.
  Settings.Hard.ProtectMaxZamer = 5000;
  EXPECT_EQ(EffectiveMaxReadings(), kMaxReadings);
  LoadCamera1(V(1801, 700));
  EXPECT_EQ(ProfileStore.count[1], 1);
  LoadCamera1(V(1800, 700));
  EXPECT_EQ(ProfileStore.count[1], 1800);
  EXPECT_EQ(ProfileValue(1, 1800), 700);
  EXPECT_TRUE(errorPages.empty());

  // With the protection on, a camera outside 300..ProtectMaxZamer raises the
  // error page of that camera.
  Settings.Hard.ProtectMaxZamer = 1400;
  Settings.Hard.ProtectGeomErrorsEnable = true;
  for (int n = 1; n <= 4; ++n) WriteCamera(n, V(300, 600));
  LoadProfiles(0);
  EXPECT_TRUE(errorPages.empty());
  WriteCamera(3, V(299, 600));
  LoadProfiles(0);
  EXPECT_EQ(errorPages, std::vector<int>{15});
  errorPages.clear();
  WriteCamera(3, V(300, 600));
  WriteCamera(4, V(1401, 600));
  LoadProfiles(0);
  EXPECT_EQ(errorPages, std::vector<int>{16});
}

TEST_F(MathemTest, CameraTwoSwitchedOffKeepsItsEarlierProfileCount) {
  for (int n = 1; n <= 4; ++n) WriteCamera(n, V(5 + n, 400));
  LoadProfiles(0);
  EXPECT_EQ(ProfileStore.count[2], 7);
  Settings.Hard.Cam2off = true;
  WriteCamera(2, V(50, 400));
  LoadProfiles(0);
  EXPECT_EQ(ProfileStore.count[2], 7);   // kept from the earlier load
  EXPECT_EQ(ProfileValue(2, 1), 0);      // values reset all the same
  QFile::remove(home.file("cmr2.txt"));  // not even looked for
  LoadProfiles(0);
  EXPECT_TRUE(errorPages.empty());
}

TEST_F(MathemTest, TraceFilesOnlyWithDebugSwitch) {
  ModelCalibration cal;
  cal.base = 200;
  ASSERT_TRUE(WriteCalibrationTables(cal));
  LoadCamera1({1000, 1935, kNoReading});
  EXPECT_EQ(home.read("mmr1.txt"), QByteArray());  // created empty
  EXPECT_TRUE(QFile::exists(home.file("mmr4.txt")));

  Settings.Debug.DebugMMsaveMessages = true;
  ProfileStore.filePrefix = "x";
  WriteCameraFile(1, {1000, 1935, kNoReading}, "x");
  for (int n = 2; n <= 4; ++n) WriteCameraFile(n, {}, "x");
  LoadProfiles(0);
  // Line 1065 holds 93.5 mm, line 2000 holds 0.0; 2047 reads line 0.
  EXPECT_EQ(home.read("xmmr1.txt"), QByteArray("1000:93.50\r\n1935: 0.00\r\n2047:200.00\r\n"));
  EXPECT_TRUE(ProfileStore.traceFault.isEmpty());

  // A trace that can't be written is told, and the profile is loaded all
  // the same.
  QFile::remove(home.file("xmmr2.txt"));
  ASSERT_TRUE(QDir(home.path()).mkpath("xmmr2.txt"));
  WriteCameraFile(2, {700}, "x");
  LoadProfiles(0);
  EXPECT_TRUE(ProfileStore.traceFault.contains("xmmr2.txt"));
  EXPECT_EQ(messages.size(), 1);
  EXPECT_TRUE(errorPages.empty());
  EXPECT_EQ(ProfileValue(2, 1), 700);
  EXPECT_EQ(ProfileStore.faultCamera, 0);
}

TEST_F(MathemTest, RealignmentLadderSkipsLinesWhenTooManyReadingsAreMissing) {
  // Three stray bytes after the header push every reading out of step.
  const QList<int> good = CameraFileBytes(V(8, 1000));
  QList<int> shifted = good.mid(0, 3);
  shifted << 5 << 5 << 5;
  shifted << good.mid(3);
  QStringList lines;
  for (int b : shifted) lines << QString::number(b);
  ASSERT_TRUE(plat::WriteTextLines("cmr1.txt", lines));
  for (int n = 2; n <= 4; ++n) WriteCamera(n, {});

  LoadProfiles(0);
  EXPECT_NE(Values(1), V(8, 1000));  // default: no rung is on
  Settings.Mathem.LightShild = true;
  LoadProfiles(0);
  EXPECT_NE(Values(1), V(8, 1000));  // Kalp 101: the limit exceeds the count
  Settings.Mathem.Kalp = 10;
  LoadProfiles(0);
  EXPECT_EQ(Values(1), V(8, 1000));
  // A clean profile is left alone by every rung.
  Settings.Mathem.kp2 = Settings.Mathem.kp1 = Settings.Mathem.kp0 = true;
  LoadCamera1(V(8, 1000));
  EXPECT_EQ(Values(1), V(8, 1000));
}

TEST_F(MathemTest, BandFloorAndIndexWindow) {
  SetK(1, 100);
  SetK(2, 2000);
  LoadCamera1({100, 101, 2000, 2001, kNoReading, 0});
  FilterBand();
  EXPECT_EQ(Values(1), (V{0, 101, 2000, 0, 0, 0}));

  SetK(3, 500);
  SetK(4, 800);
  LoadCamera1({500, 501, 800, 801});
  FilterFloor();
  EXPECT_EQ(Values(1), (V{0, 501, 800, 801}));
  LoadCamera1({500, 501, 800, 801}, kOuterSpringMode);
  FilterFloor();
  EXPECT_EQ(Values(1), (V{0, 0, 0, 801}));

  SetK(5, 3);
  SetK(6, 5);
  LoadCamera1(V(6, 9));
  FilterIndexWindow();
  EXPECT_EQ(Values(1), (V{0, 0, 9, 9, 0, 0}));
}

TEST_F(MathemTest, BridgeGapsCopiesTheReadingBeforeTheGapOverItsEnd) {
  SetK(9, 3);
  SetK(10, 0);
  LoadCamera1({0, 5, 6, 0, 0, 0, 7, 8, 9, 9});
  BridgeGaps();
  EXPECT_EQ(Values(1), (V{0, 5, 6, 6, 6, 6, 6, 8, 9, 9}));
  // A gap of four zeros is wider than G and stays.
  LoadCamera1({0, 5, 6, 0, 0, 0, 0, 7, 8, 9, 9});
  BridgeGaps();
  EXPECT_EQ(Values(1), (V{0, 5, 6, 0, 0, 0, 0, 7, 8, 9, 9}));
  // The outer-spring variant takes k10.
  LoadCamera1({0, 5, 6, 0, 0, 0, 7, 8, 9, 9}, kOuterSpringMode);
  BridgeGaps();
  EXPECT_EQ(Values(1), (V{0, 5, 6, 0, 0, 0, 7, 8, 9, 9}));
  // A gap whose end is the last reading is not bridged.
  LoadCamera1({0, 5, 6, 0, 7});
  BridgeGaps();
  EXPECT_EQ(Values(1), (V{0, 5, 6, 0, 7}));
}

TEST_F(MathemTest, DropThinRunsErasesShortRunsEndedByAZero) {
  SetK(7, 3);
  SetK(8, 1);
  const V profile = {0, 0, 3, 3, 0, 0, 4, 4, 4, 0, 0, 5, 5};
  LoadCamera1(profile);
  DropThinRuns();
  EXPECT_EQ(Values(1), (V{0, 0, 0, 0, 0, 0, 4, 4, 4, 0, 0, 5, 5}));
  LoadCamera1(profile, kOuterSpringMode);
  DropThinRuns();
  EXPECT_EQ(Values(1), profile);  // W = 1 erases nothing
  // A run from the very first reading counts as well.
  LoadCamera1({7, 0, 0, 0});
  DropThinRuns();
  EXPECT_EQ(Values(1), (V{0, 0, 0, 0}));
}

TEST_F(MathemTest, SelectSecondCoilFromTheTop) {
  const V profile = {0, 4, 4, 0, 0, 6, 7, 6, 0, 0, 5, 5, 0, 0};
  LoadCamera1(profile);
  SelectSecondCoil();
  const CoilWindow w = ProfileStore.window[1];
  EXPECT_EQ(w.first, 6);
  EXPECT_EQ(w.last, 9);  // the zero that ends the coil
  EXPECT_EQ(Values(1), (V{0, 0, 0, 0, 0, 6, 7, 6, 0, 0, 0, 0, 0, 0}));
  // k11 = k12: only value[last] is cut, and it is already zero.
  CutTail();
  EXPECT_EQ(Values(1), (V{0, 0, 0, 0, 0, 6, 7, 6, 0, 0, 0, 0, 0, 0}));
  FindPeak();
  EXPECT_EQ(ProfileStore.window[1].peak, 7);
  EXPECT_EQ(ProfileStore.window[1].peakIndex, 7);

  // One coil only: the camera fails, the profile stays as it was.
  const V single = {0, 4, 4, 0, 0, 0, 0};
  LoadCamera1(single);
  SelectSecondCoil();
  EXPECT_EQ(ProfileStore.window[1].first, 0);
  EXPECT_EQ(Values(1), single);
  FindPeak();
  EXPECT_EQ(ProfileStore.window[1].peak, 0);
}

TEST_F(MathemTest, SelectLowerCoilWithAndWithoutNewMethod) {
  const V profile = {0, 0, 4, 4, 0, 0, 6, 7, 0, 0, 5, 9, 5, 0, 0, 0};
  LoadCamera1(profile);
  SelectLowerCoil();
  // The second coil from the end: first is the zero below it, last its
  // highest reading index.
  EXPECT_EQ(ProfileStore.window[1].first, 6);
  EXPECT_EQ(ProfileStore.window[1].last, 8);
  EXPECT_EQ(Values(1), (V{0, 0, 0, 0, 0, 0, 6, 7, 0, 0, 0, 0, 0, 0, 0, 0}));
  CutTail();  // k11 = k12: the coil's highest reading goes
  EXPECT_EQ(Values(1), (V{0, 0, 0, 0, 0, 0, 6, 0, 0, 0, 0, 0, 0, 0, 0, 0}));

  Settings.Mathem.newmetod = true;
  LoadCamera1(profile);
  SelectLowerCoil();
  EXPECT_EQ(ProfileStore.window[1].first, 10);
  EXPECT_EQ(ProfileStore.window[1].last, 13);

  // A single coil: selected with newmetod, a failure without it.
  const V single = {0, 0, 0, 0, 0, 3, 8, 3, 0, 0, 0};
  LoadCamera1(single);
  SelectLowerCoil();
  EXPECT_EQ(ProfileStore.window[1].first, 5);
  EXPECT_EQ(ProfileStore.window[1].last, 8);
  Settings.Mathem.newmetod = false;
  LoadCamera1(single);
  SelectLowerCoil();
  EXPECT_EQ(ProfileStore.window[1].first, 0);
  EXPECT_EQ(Values(1), single);
  // An empty or negative profile fails without reading outside it.
  home.write("cmr1.txt", Lines({0, 0, 0}));
  LoadProfiles(0);
  SelectLowerCoil();
  EXPECT_EQ(ProfileStore.window[1].first, 0);
}

TEST_F(MathemTest, CutTailProportionAndPeakTies) {
  SetK(11, 1);
  SetK(12, 2);
  const V profile = {0, 1, 0, 0, 5, 6, 7, 8, 9, 9, 0, 0, 2, 0, 0};
  LoadCamera1(profile);
  SelectSecondCoil();  // first 5, last 11
  ASSERT_EQ(ProfileStore.window[1].first, 5);
  ASSERT_EQ(ProfileStore.window[1].last, 11);
  CutTail();  // d = trunc(6 * 1 / 2) = 3: 8..11 cut
  EXPECT_EQ(Values(1), (V{0, 0, 0, 0, 5, 6, 7, 0, 0, 0, 0, 0, 0, 0, 0}));

  SetK(11, 100500);
  SetK(12, 100500);
  LoadCamera1(profile);
  SelectSecondCoil();
  FindPeak();  // 9 at 9 and 10: the later index wins
  EXPECT_EQ(ProfileStore.window[1].peakIndex, 10);

  // A zero k12 gives no cut point: nothing is cut.
  SetK(12, 0);
  LoadCamera1(profile);
  SelectSecondCoil();
  CutTail();
  EXPECT_EQ(ProfileValue(1, 10), 9);
}

// A load that stops on the way leaves an empty trace, not the previous
// profile's; a calibration table that can't be read is traced as "?" and
// told, never as 0.00 mm.
TEST_F(MathemTest, TraceOfAFailedLoadIsEmptyAndAMissingTableIsNoDistance) {
  Settings.Debug.DebugMMsaveMessages = true;
  ModelCalibration cal;
  cal.base = 200;
  ASSERT_TRUE(WriteCalibrationTables(cal));
  LoadCamera1({1000, 1935});
  ASSERT_EQ(home.read("mmr1.txt"), QByteArray("1000:93.50\r\n1935: 0.00\r\n"));

  home.write("cmr1.txt", "160\r\n15\r\nabc\r\n");  // a garbled header
  LoadProfiles(0);
  EXPECT_EQ(ProfileStore.faultCamera, 1);
  EXPECT_EQ(home.read("mmr1.txt"), QByteArray());

  messages.clear();
  ASSERT_TRUE(QFile::remove(home.file("Tabl1/cal1.txt")));
  LoadCamera1({1000, 1935});
  EXPECT_EQ(ProfileStore.faultCamera, 0);
  EXPECT_EQ(home.read("mmr1.txt"), QByteArray("1000:?\r\n1935:?\r\n"));
  ASSERT_EQ(messages.size(), 1);
  EXPECT_TRUE(messages[0].contains("cal1.txt")) << qPrintable(messages[0]);
  EXPECT_EQ(ProfileStore.traceFault, messages[0]);
}
