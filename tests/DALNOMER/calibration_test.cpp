#include "DALNOMER/calibration.h"

#include <gtest/gtest.h>

#include "DALNOMER/rangevalue.h"
#include "testsupport.h"

namespace {

// A full table whose line i reads i + 0.25, so every lookup names its line.
QByteArray FullTable(int lines = kCalibrationLines) {
  QByteArray t;
  for (int i = 0; i < lines; ++i) t += QByteArray::number(i) + ".25\r\n";
  return t;
}

TEST(CalibrationValue, PositionReadsLineSixtyFiveFurtherOrLineZeroOutsideTheTable) {
  testsupport::ScratchHome home;
  home.write("Tabl1/cal1.txt", FullTable());
  EXPECT_FLOAT_EQ(CalibrationValue(1, -65), 0.25f);
  EXPECT_FLOAT_EQ(CalibrationValue(1, 0), 65.25f);
  EXPECT_FLOAT_EQ(CalibrationValue(1, 1982), 2047.25f);
  EXPECT_FLOAT_EQ(CalibrationValue(1, 1983), 0.25f);  // line 2048 is beyond the table
  EXPECT_FLOAT_EQ(CalibrationValue(1, 2000), 0.25f);
  EXPECT_FLOAT_EQ(CalibrationValue(1, -66), 0.25f);
  EXPECT_TRUE(CalibrationError().isEmpty());
}

TEST(CalibrationValue, UnusableTablesAreNamedInsteadOfRead) {
  testsupport::ScratchHome home;
  EXPECT_FLOAT_EQ(CalibrationValue(2, 0), 0.0f);
  EXPECT_TRUE(CalibrationError().contains("cal2.txt")) << CalibrationError().toStdString();

  home.write("Tabl1/cal3.txt", FullTable(100));
  QString error;
  EXPECT_FALSE(CalibrationLookup(3, 1982, &error));
  EXPECT_TRUE(error.contains("2048")) << error.toStdString();
  EXPECT_TRUE(CalibrationLookup(3, 34));  // line 99, the last one there

  home.write("Tabl1/cal4.txt", "1.5\r\n2,5\r\n");
  EXPECT_FALSE(CalibrationLookup(4, -64, &error));
  EXPECT_TRUE(error.contains("2,5")) << error.toStdString();

  // A good lookup clears the kept reason.
  home.write("Tabl1/cal1.txt", FullTable());
  CalibrationValue(1, 0);
  EXPECT_TRUE(CalibrationError().isEmpty());
}

TEST(RangeValue, FirstPointInCameraUnits) {
  EXPECT_EQ(RangePointValue(0x80, 0x0C, 0, 0), 100);  // 3200 / 32
  EXPECT_EQ(RangePointValue(0x1F, 0, 0, 0), 0);       // the low 5 bits are dropped
  // The weights 256 and 4096 overlap: 0x10 * 256 + 1 * 4096 = 8192.
  EXPECT_EQ(RangePointValue(0, 0x10, 1, 0), 256);
  // Anything beyond the camera line shows its last position.
  EXPECT_EQ(RangePointValue(0x20, 0x00, 0x10, 0), 2047);  // 65568 / 32 = 2049
  EXPECT_EQ(RangePointValue(0xFF, 0xFF, 0xFF, 0xFF), 2047);
}

TEST(RangeValue, FromReplyNeedsTheCamerasEchoAndTheWholePoint) {
  // 7E, body 3 8C h0 h1 h2 p0 p1 p2 p3, 7E: FrameLength 11.
  const uint8_t frame[] = {0x7E, 3, 0x8C, 4, 8, 0, 0x80, 0x0C, 0, 0, 0x7E};
  EXPECT_EQ(RangeValueFromReply(frame, 11, true, 3), 100);
  EXPECT_EQ(RangeValueFromReply(frame, 11, true, 1), std::nullopt);  // another camera's reply
  EXPECT_EQ(RangeValueFromReply(frame, 10, true, 3), std::nullopt);  // ends at byte 8
  EXPECT_EQ(RangeValueFromReply(frame, 10, false, 3), 100);          // cut after byte 9
  EXPECT_EQ(RangeValueFromReply(frame, 0, false, 3), std::nullopt);  // no reply at all
}

TEST(RangeValue, MillimetreText) {
  EXPECT_EQ(RangeMillimetreText(101.75), "101.75");
  EXPECT_EQ(RangeMillimetreText(1.5), " 1.50");
  EXPECT_EQ(RangeMillimetreText(12.345678), "12.35");
  EXPECT_EQ(RangeMillimetreText(1234.5), "1234.50");
}

}  // namespace
