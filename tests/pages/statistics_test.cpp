// The statistics page over the shift, driven through the message pump on an
// installation from mkinstall: the bar as it moves, the counts and names at
// their places, the totals, the files it leaves, a failure, and the way in
// from the measurement page's key 11.
#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <functional>

#include "config/settings.h"
#include "database/database.h"
#include "measurement/judgement.h"
#include "measurement/sequence.h"
#include "pages/pages.h"
#include "platform/clock.h"
#include "platform/paths.h"
#include "platform/pump.h"
#include "screen/screen.h"
#include "springs/springtypes.h"
#include "keydriver.h"
#include "programhome.h"
#include "testsupport.h"

namespace {

using testsupport::KeepPicture;

class StatisticsPageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    plat::UseVirtualClock();
    ASSERT_TRUE(testsupport::OpenProgramHome(home.path() + "/inst"));
    FillScreen(kSilver);
    DisableAllKeys();
    EnableKey(2);
    covered = Screen().copy();
  }
  void TearDown() override { testsupport::ResetProgramModules(); }

  // Types each character once its key is lit, keeping the page as it stood
  // just before; follows the right end of the progress bar meanwhile.
  void TypeKeys(const QString& keys) {
    driver.everyTurn = [this] {
      int end = 0;
      for (int x = 42; x < 760; ++x)
        if ((Screen().pixel(x, 576) & 0xFFFFFF) == kBlue) end = x + 1;
      if (end > 0 && (barEnds.empty() || barEnds.back() != end)) barEnds.push_back(end);
    };
    driver.beforeStep = [this] {
      pages.push_back(Screen().copy());
      key7Lit.push_back(KeyEnabled(7));
    };
    for (QChar c : keys) driver.Type(c, [c] { return testsupport::KeyOfCharLit(c); });
    driver.Start();
  }

  // Shift records: record k is bad in parameter k % 7 (none when 0) and
  // of spring type k % 3 + 1 of bogie type 1.
  void StoreShift(int n) {
    for (int k = 0; k < n; ++k) {
      MeasurementRecord r;
      r.Identifier = QString("%1-01022024").arg(k + 1, 4, 10, QChar('0'));
      r.BogieType = 1;
      r.SpringType = static_cast<uint8_t>(k % 3 + 1);
      const SpringType& type = SpringTypeTable()[1].springTypes[r.SpringType];
      for (int p = 1; p <= 6; ++p) {
        const SpringParameter& norm = type.parameters[p];
        r.Param[p].Value = static_cast<float>(p == k % 7 ? norm.Max + type.E + 5 : (norm.Min + norm.Max) / 2);
      }
      ASSERT_TRUE(AppendShiftMeasurement(r));
    }
  }

  // The page drawn as it must look at (x, y): `text` in the font given on
  // the white of the work panel.
  static QImage Drawn(const QImage& page, const QRect& area, const std::function<void()>& draw) {
    const QImage keep = Screen().copy();
    Screen() = page.copy();
    FillBox(area.left(), area.top(), area.right() + 1, area.bottom() + 1, kWhite);
    SetFontBold(false);
    draw();
    const QImage out = Screen().copy(area);
    Screen() = keep;
    return out;
  }
  static QImage Expected(const QImage& page, const QRect& area, const QString& font, int size,
                         bool shadow, const QString& text, int x, int y) {
    return Drawn(page, area, [&] {
      SetTextStyle(font, size, kBlack);
      if (shadow)
        PutShadowText(x, y, text, 1, 1, kSilver);
      else
        PutText(x, y, text);
    });
  }
  static int Count(const QImage& img, const QRect& area, QRgb colour) {
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
      for (int x = area.left(); x <= area.right(); ++x) n += (img.pixel(x, y) & 0xFFFFFF) == colour;
    return n;
  }
  QByteArray File(const QString& rel) {
    QFile f(plat::MapPath(rel));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(missing)");
  }
  testsupport::ScratchHome home;
  QImage covered;
  testsupport::KeyDriver driver;
  std::vector<QImage> pages;
  std::vector<int> barEnds;
  std::vector<bool> key7Lit;
};

TEST_F(StatisticsPageTest, ShowsTheShiftsCountsAndTotalsAtTheirPlaces) {
  StoreShift(25);
  TypeKeys("77/");
  ShowShiftStatistics();
  ASSERT_EQ(pages.size(), 3u);
  const QImage& page = pages[0];
  KeepPicture(page, "statistics-shift.png");

  // The bar before records 0, 10 and 20 of 25, then full.
  EXPECT_EQ(barEnds, (std::vector<int>{43, 332, 621, 737}));
  // Title in silver over its dark-grey shadow, the header words in black.
  EXPECT_GT(Count(page, QRect(188, 16, 400, 50), kSilver), 500);
  EXPECT_GT(Count(page, QRect(190, 18, 400, 50), kDarkGrey), 100);
  const QRect head(440, 196, 570, 64);
  EXPECT_EQ(page.copy(head), Drawn(page, head, [] {
              SetTextStyle("NewTimes", 16, kBlack);
              PutText(450, 210, "Наименование");
              PutText(450, 230, "параметра");
              PutText(870, 200, "Число");
              PutText(860, 220, "замеров");
              PutText(855, 240, "\"в норме\"");
            }));

  // Counts at x 882 and the names of the last record's spring type at x 451:
  // record k is bad in parameter k % 7, so 25 less the k with k % 7 == p.
  const int inNorm[7] = {0, 21, 21, 21, 22, 22, 22};
  const SpringType& last = SpringTypeTable()[1].springTypes[24 % 3 + 1];
  for (int p = 1; p <= 6; ++p) {
    const int y = 32 * p + 236;
    const QRect number(870, y - 2, 100, 28), name(440, y - 2, 400, 28);
    EXPECT_EQ(page.copy(number), Expected(page, number, "Times New Roman", 18, true,
                                          QString::number(inNorm[p]), 882, y))
        << "p" << p;
    EXPECT_EQ(page.copy(name),
              Expected(page, name, "Times New Roman", 18, true, last.parameters[p].Name, 451, y))
        << "p" << p;
  }
  const QRect totals(30, 458, 300, 36);
  EXPECT_EQ(page.copy(totals), Drawn(page, totals, [] {
              SetTextStyle("Times New Roman", 14, kBlack);
              PutText(40, 460, "Всего замеров:25");
              PutText(40, 476, "Замеров в норме:4");
            }));

  // The progress area is cleared; keys 12 and 7 are lit, 7 as often as
  // pressed without leaving the page.
  EXPECT_EQ(page.pixel(400, 570) & 0xFFFFFF, kGrey);
  // (Below the close mark in the corner, which the key poll draws.)
  const QRect below(0, 16, 1024, 752);
  EXPECT_EQ(pages[1].copy(below), page.copy(below));
  EXPECT_EQ(pages[2].copy(below), page.copy(below));

  EXPECT_EQ(File("Temp\\norms.txt"), QByteArray("25\r\n21\r\n21\r\n21\r\n22\r\n22\r\n22\r\n"));
  EXPECT_EQ(File("Texts\\stat.txt"), QByteArray("21\r\n21\r\n21\r\n22\r\n22\r\n22\r\n"));
  // Key 12: the calling page and its keys back.
  EXPECT_EQ(Screen(), covered);
  EXPECT_TRUE(KeyEnabled(2));
  EXPECT_FALSE(KeyEnabled(12));
  EXPECT_EQ(LastKey(), 0);
}

TEST_F(StatisticsPageTest, AnEmptyShiftShowsZerosAndASingleRecordFillsTheBar) {
  const QByteArray old = "9\r\n9\r\n9\r\n9\r\n9\r\n9\r\n9\r\n";
  QFile f(plat::MapPath("Temp\\norms.txt"));
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(old);
  f.close();
  TypeKeys("/");
  ShowShiftStatistics();
  ASSERT_EQ(pages.size(), 1u);
  const QImage page = pages[0];
  KeepPicture(page, "statistics-empty.png");
  EXPECT_EQ(File("Temp\\norms.txt"), QByteArray("0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n"));
  EXPECT_EQ(File("Texts\\stat.txt"), QByteArray("0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n"));
  EXPECT_EQ(barEnds, (std::vector<int>{737}));  // no record: the bar is filled at the end
  // Zeros, named by the first spring type of the bogie type in use.
  const SpringType& named = CurrentBogie().springTypes[1];
  for (int p = 1; p <= 6; ++p) {
    const int y = 32 * p + 236;
    const QRect number(870, y - 2, 100, 28), name(440, y - 2, 400, 28);
    EXPECT_EQ(page.copy(number), Expected(page, number, "Times New Roman", 18, true, "0", 882, y));
    EXPECT_EQ(page.copy(name),
              Expected(page, name, "Times New Roman", 18, true, named.parameters[p].Name, 451, y));
  }
  const QRect total(30, 458, 300, 16);
  EXPECT_EQ(page.copy(total),
            Expected(page, total, "Times New Roman", 14, false, "Всего замеров:0", 40, 460));

  // One record: the bar is full from the start.
  StoreShift(1);
  barEnds.clear();
  pages.clear();
  TypeKeys("/");
  ShowShiftStatistics();
  EXPECT_EQ(barEnds, (std::vector<int>{737}));
  EXPECT_EQ(File("Temp\\norms.txt"), QByteArray("1\r\n1\r\n1\r\n1\r\n1\r\n1\r\n1\r\n"));
}

TEST_F(StatisticsPageTest, AShiftFileThatCannotBeReadIsNamedAndNothingIsWritten) {
  QDir().mkpath(plat::MapPath("Report\\day.bin.d"));
  QFile::remove(plat::MapPath("Report\\day.bin"));
  ASSERT_TRUE(QDir().rename(plat::MapPath("Report\\day.bin.d"), plat::MapPath("Report\\day.bin")));
  TypeKeys("/");
  ShowShiftStatistics();
  ASSERT_EQ(pages.size(), 1u);
  EXPECT_FALSE(key7Lit[0]);  // nothing to print
  const QImage& page = pages[0];
  KeepPicture(page, "statistics-failed.png");
  EXPECT_GT(Count(page, QRect(42, 518, 300, 24), kRed), 100);       // "Статистика не выдана:"
  EXPECT_GT(Count(page, QRect(42, 550, 700, 20), kBlack), 100);     // the reason
  EXPECT_EQ(Count(page, QRect(870, 268, 100, 200), kBlack), 0);     // no counts
  EXPECT_EQ(File("Temp\\norms.txt"), QByteArray("(missing)"));
  EXPECT_EQ(File("Texts\\stat.txt"), QByteArray("(missing)"));
  EXPECT_EQ(Screen(), covered);
}

TEST_F(StatisticsPageTest, MeasurementPageKeyElevenOpensTheShiftsStatistics) {
  StoreShift(3);
  TypeKeys("*/-");
  ViewMeasurementsPage();
  ASSERT_EQ(pages.size(), 3u);
  // On the statistics page: its title, its two keys.
  EXPECT_GT(Count(pages[1], QRect(188, 16, 400, 50), kSilver), 500);
  EXPECT_EQ(File("Temp\\norms.txt").left(3), QByteArray("3\r\n"));
  // Back on the measurement page as it was (below the clock's close mark).
  const QRect below(0, 16, 1024, 752);
  EXPECT_EQ(pages[2].copy(below), pages[0].copy(below));
  EXPECT_EQ(Screen(), covered);
}

}  // namespace
