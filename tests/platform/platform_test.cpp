#include <QEventLoop>
#include <QTimer>
#include <QDir>
#include <array>
#include <gtest/gtest.h>

#include "desktop/serial.h"
#include "platform/clock.h"
#include "platform/clocktimer.h"
#include "platform/cp1251.h"
#include "platform/paths.h"
#include "platform/random.h"
#include "platform/textfile.h"
#include "testsupport.h"

TEST(Cp1251, EveryCyrillicLetterAndNumeroRoundTrip) {
  QString letters;
  for (char16_t c = 0x0410; c <= 0x044F; ++c) letters += QChar(c);
  letters += QChar(0x0401);  // Ё
  letters += QChar(0x0451);  // ё
  letters += QChar(0x2116);  // №
  const QByteArray bytes = plat::ToCp1251(letters);
  ASSERT_EQ(bytes.size(), 67);
  for (int i = 0; i < 64; ++i) EXPECT_EQ(static_cast<uint8_t>(bytes[i]), 0xC0 + i);
  EXPECT_EQ(static_cast<uint8_t>(bytes[64]), 0xA8);
  EXPECT_EQ(static_cast<uint8_t>(bytes[65]), 0xB8);
  EXPECT_EQ(static_cast<uint8_t>(bytes[66]), 0xB9);
  EXPECT_EQ(plat::FromCp1251(bytes), letters);
  // Every byte decodes to something that encodes back to it (0x98 is unused).
  for (int b = 0; b < 256; ++b) {
    if (b == 0x98) continue;
    const QChar c = plat::FromCp1251Char(static_cast<unsigned char>(b));
    EXPECT_EQ(static_cast<uint8_t>(plat::ToCp1251Char(c)), b) << b;
  }
  EXPECT_EQ(plat::ToCp1251(QString::fromUtf8("€漢")), QByteArray("\x88?"));
}

TEST(Paths, ComponentsMatchWithoutLetterCase) {
  testsupport::ScratchHome home;
  QDir(home.path()).mkpath("Temp");
  QDir(home.path()).mkpath("Texts");
  home.write("Report/Base.BIN", "x");
  EXPECT_EQ(plat::MapPath("TEMP\\setup.msk"), home.file("Temp/setup.msk"));
  EXPECT_EQ(plat::MapPath("Temp\\setup.msk"), home.file("Temp/setup.msk"));
  EXPECT_EQ(plat::MapPath("texts\\pparam.txt"), home.file("Texts/pparam.txt"));
  EXPECT_EQ(plat::MapPath("report\\base.bin"), home.file("Report/Base.BIN"));
  // Missing components keep the name they were written with.
  EXPECT_EQ(plat::MapPath("STORAGE\\1-cmr1.txt"), home.file("STORAGE/1-cmr1.txt"));
  EXPECT_EQ(plat::MapPath("Temp/sub\\X.bmp"), home.file("Temp/sub/X.bmp"));
}

TEST(TextFiles, LinesInCp1251WithEitherLineEnd) {
  testsupport::ScratchHome home;
  home.write("a.txt", plat::ToCp1251(QString::fromUtf8("Первая\r\nвторая\nтретья")));
  const auto lines = plat::ReadTextLines("A.TXT");
  ASSERT_TRUE(lines);
  EXPECT_EQ(*lines, QStringList({"Первая", "вторая", "третья"}));
  EXPECT_FALSE(plat::ReadTextLines("missing.txt"));
  ASSERT_TRUE(plat::WriteTextLines("Config\\b.txt", {"№ 5", ""}));
  EXPECT_EQ(home.read("Config/b.txt"), QByteArray("\xB9 5\r\n\r\n"));
  EXPECT_EQ(*plat::ReadTextLines("config\\b.txt"), QStringList({"№ 5", ""}));
}

TEST(Clock, DayNumbersCountFrom30December1899) {
  EXPECT_DOUBLE_EQ(plat::DateTimeToDays(QDateTime(QDate(1899, 12, 30), QTime(0, 0))), 0.0);
  EXPECT_DOUBLE_EQ(plat::DateTimeToDays(QDateTime(QDate(2009, 3, 5), QTime(12, 0))), 39877.5);
  const QDateTime t(QDate(2026, 12, 7), QTime(23, 59, 58, 250));
  EXPECT_EQ(plat::DaysToDateTime(plat::DateTimeToDays(t)), t);
}

TEST(Clock, VirtualSleepsAdvanceAtOnce) {
  const QDateTime start(QDate(2026, 1, 31), QTime(23, 59, 59));
  plat::UseVirtualClock(start);
  const uint32_t t0 = plat::TickCount();
  plat::SleepMs(1500);
  EXPECT_EQ(plat::TickCount() - t0, 1500u);
  EXPECT_EQ(plat::CurrentDateTime(), QDateTime(QDate(2026, 2, 1), QTime(0, 0, 0, 500)));
  plat::AdvanceVirtualClock(86400000);
  EXPECT_EQ(plat::CurrentDateTime().date(), QDate(2026, 2, 2));
  EXPECT_EQ(plat::LongTimeString(QDateTime(start.date(), QTime(9, 5, 7))), "9:05:07");
  EXPECT_EQ(plat::ShortDateString(QDate(2026, 2, 1)), "01.02.2026");
}

// On the virtual clock a clock timer fires once the clock has gone its
// interval, never before however long in real time, and says when it is due
// while its turns are needed.
TEST(Clock, ClockTimersFollowTheVirtualClock) {
  plat::UseVirtualClock();
  int fired = 0;
  bool needed = true;
  plat::ClockTimer timer(100, [&] { ++fired; }, nullptr);
  timer.setNeeded([&] { return needed; });
  EXPECT_FALSE(plat::NextClockTimerDueMs().has_value());
  timer.start();
  plat::AdvanceVirtualClock(60);
  EXPECT_EQ(plat::NextClockTimerDueMs(), std::optional<uint32_t>(40));
  needed = false;
  EXPECT_FALSE(plat::NextClockTimerDueMs().has_value());
  // Real time passes in the event loop; the virtual clock stands.
  auto realMs = [](int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
  };
  realMs(50);
  EXPECT_EQ(fired, 0);
  plat::AdvanceVirtualClock(40);
  realMs(50);
  EXPECT_EQ(fired, 1);
  needed = true;
  EXPECT_EQ(plat::NextClockTimerDueMs(), std::optional<uint32_t>(100));
  timer.stop();
  EXPECT_FALSE(plat::NextClockTimerDueMs().has_value());
}

TEST(Serial, PortNames) {
  EXPECT_EQ(plat::SerialDevicePath("COM1"), "/dev/ttyS0");
  EXPECT_EQ(plat::SerialDevicePath("com3"), "/dev/ttyS2");
  // The default "COM0" is no port: it must not stand for COM1's device.
  EXPECT_NE(plat::SerialDevicePath("COM0"), "/dev/ttyS0");
  EXPECT_FALSE(plat::CreateSerialDevice()->Open("COM0"));
  EXPECT_EQ(plat::SerialDevicePath("/dev/pts/4"), "/dev/pts/4");
  EXPECT_EQ(plat::SerialDevicePath("ttyUSB0"), "/dev/ttyUSB0");
  auto dev = plat::CreateSerialDevice();
  EXPECT_FALSE(dev->Open("/dev/does-not-exist"));
  EXPECT_FALSE(dev->IsOpen());
  EXPECT_FALSE(dev->ReadByte(10).has_value());
}

TEST(EmulationRandom, DrawsWithinItsRangeAndRepeatsForASeed) {
  plat::EmulationRandom().seed(5);
  std::array<int, 7> seen{};
  for (int i = 0; i < 700; ++i) {
    const int v = plat::Random(7);
    ASSERT_GE(v, 0);
    ASSERT_LT(v, 7);
    ++seen[v];
  }
  for (int v = 0; v < 7; ++v) EXPECT_GT(seen[v], 50) << v;  // uniform, roughly
  EXPECT_EQ(plat::Random(1), 0);
  EXPECT_EQ(plat::Random(0), 0);
  EXPECT_EQ(plat::Random(-3), 0);
  plat::EmulationRandom().seed(11);
  const int a = plat::Random(1000000), b = plat::Random(1000000);
  plat::EmulationRandom().seed(11);
  EXPECT_EQ(plat::Random(1000000), a);
  EXPECT_EQ(plat::Random(1000000), b);
}
