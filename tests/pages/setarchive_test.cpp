// The set archive driven key by key through the message pump: paging, the
// highlight, the scroll thumb, the details of a set, the wagon lines, printing
// a set, an empty archive and a Tel.bin cut short.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>

#include "config/settings.h"
#include "database/database.h"
#include "pages/pages.h"
#include "pages/setarchive.h"
#include "platform/clock.h"
#include "platform/paths.h"
#include "platform/pump.h"
#include "print/printsheet.h"
#include "screen/screen.h"
#include "keydriver.h"
#include "programhome.h"
#include "testsupport.h"

namespace {

// Set k: bogie 5000 + k; the left outer groups depend on k, the other three
// columns do not.
SetRecord MakeSet(int k) {
  SetRecord s;
  s.BogieNumber = QString::number(5000 + k);
  s.BogieYear = "2019";
  s.BogieWorks = "12";
  s.Left = {"L" + QString::number(k), "29", "2018", {}, {}};
  s.Right = {"R" + QString::number(k), "29", "2017", {}, {}};
  for (int p = 1; p <= 7; ++p) {
    s.Left.Outer[p] = (k + p) % 9 + 1;
    s.Left.Inner[p] = 9 - (p - 1) / 2;
    s.Right.Outer[p] = 8 - (p - 1) / 2;
    s.Right.Inner[p] = 7 - (p - 1) / 2;
  }
  s.Date = "05032009";
  s.WagonFrom = "12345678";
  s.WagonTo = "87654321";
  return s;
}

QRgb Rgb(const QImage& img, int x, int y) { return img.pixel(x, y) & 0xFFFFFF; }

int Count(const QImage& img, const QRect& r, QRgb colour) {
  int n = 0;
  for (int y = r.top(); y <= r.bottom(); ++y)
    for (int x = r.left(); x <= r.right(); ++x) n += Rgb(img, x, y) == colour;
  return n;
}
int Inked(const QImage& img, const QRect& r) {
  return r.width() * r.height() - Count(img, r, kWhite);
}

QRect ListLine(int q) { return QRect(120, 23 * q + 177, 190, 20); }
QRect Band(int row) { return QRect(100, 23 * row + 175, 195, 23); }
const QRect kList(100, 198, 195, 322);
const QRect kDetails(444, 154, 559, 312);
const QRect kWagonLines(440, 509, 330, 51);

// Rows of green in the thumb's column.
int ThumbHeight(const QImage& img) { return Count(img, QRect(384, 183, 1, 354), kGreen); }

class SetArchiveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    qputenv("CUPS_SERVER", "/nonexistent/kalvor-cups.sock");
    plat::UseVirtualClock(QDateTime(QDate(2026, 12, 6), QTime(10, 0, 0)));
    ASSERT_TRUE(testsupport::OpenProgramHome(home.path() + "/inst"));
    PrintSheet.ShowMessage = [](const QString&) {};
    FillScreen(kSilver);
    DisableAllKeys();
    EnableKey(4);
    covered = Screen().copy();
  }
  void TearDown() override { testsupport::ResetProgramModules(); }

  void StoreSets(int n) {
    ASSERT_TRUE(ClearSets());
    for (int k = 0; k < n; ++k) ASSERT_TRUE(AppendSet(MakeSet(k)));
  }
  // Types each key once the page waits for one, keeping the page and the
  // page's state as they stood before each key; `before` runs ahead of key i.
  void Run(const QString& keys, std::function<void(int)> before = {}) {
    testsupport::KeyDriver driver;
    driver.beforeStep = [this, before] {
      if (before) before(static_cast<int>(pages.size()));
      pages.push_back(Screen().copy());
      states.push_back(SetArchive);
    };
    driver.Type(keys, [] { return KeyEnabled(13); });
    driver.Run(SetArchivePage);
    ASSERT_TRUE(driver.Done());
  }
  std::vector<int> Cursors() const {
    std::vector<int> out;
    for (const TSetArchiveView& s : states) out.push_back(s.cursor);
    return out;
  }
  static void Keep(const QImage& img, const QString& name) { testsupport::KeepPicture(img, name); }

  testsupport::ScratchHome home;
  QImage covered;
  std::vector<QImage> pages;
  std::vector<TSetArchiveView> states;
};

TEST_F(SetArchiveTest, FifteenSetsOpenOnTheNewestAloneOnTheSecondPage) {
  StoreSets(15);
  Run("8" "7" "1" "2" "-");  // 14 -> 0; the first: nothing; 1; 1 + 28 >= 14: the last
  EXPECT_EQ(Cursors(), (std::vector<int>{14, 0, 0, 1, 14}));
  const TSetArchiveView& first = states[0];
  EXPECT_EQ(first.count, 15);
  EXPECT_EQ(first.page, 1);
  EXPECT_EQ(first.row, 1);
  const QImage& page = pages[0];
  Keep(page, "setarchive-15.png");
  EXPECT_GT(Count(page, ListLine(1), kBlack), 20);
  for (int q = 2; q <= 14; ++q) EXPECT_EQ(Inked(page, ListLine(q)), 0) << q;
  // Key 8 from 14 (< 29) goes to 0: the first page, fourteen sets listed.
  for (int q = 1; q <= 14; ++q) EXPECT_GT(Count(pages[1], ListLine(q), kBlack), 20) << q;
  // Leaving gives the calling page and its keys back; the set shown stays.
  EXPECT_EQ(Screen(), covered);
  EXPECT_TRUE(KeyEnabled(4));
  EXPECT_FALSE(KeyEnabled(13));
  EXPECT_EQ(SetArchive.selected.BogieNumber, "5014");
}

TEST_F(SetArchiveTest, PagingThroughAHundredSets) {
  StoreSets(100);
  Run("777777777"  // 99 -> 90
      "2"          // 90 + 28 >= 99: the last
      "1"          // the last: nothing
      "8888"       // 85, 71, 57, 43
      "777"        // 40
      "2"          // 54
      "8"          // 40
      "8"          // 26
      "8"          // 26 < 29: 0
      "87"         // the first: nothing
      "2"          // 14
      "-");
  const std::vector<int> expected = {99, 98, 97, 96, 95, 94, 93, 92, 91, 90, 99, 99, 85, 71,
                                     57, 43, 42, 41, 40, 54, 40, 26, 0,  0,  0,  14};
  EXPECT_EQ(Cursors(), expected);
  for (const TSetArchiveView& s : states) {
    EXPECT_EQ(s.page, s.cursor / 14);
    EXPECT_EQ(s.row, s.cursor - 14 * s.page + 1);
    EXPECT_EQ(s.selected.BogieNumber, QString::number(5000 + s.cursor));
  }
}

TEST_F(SetArchiveTest, TheHighlightFollowsTheCursorAndLeavesWhiteBehind) {
  StoreSets(20);
  Run("77-");  // 19 (row 6), 18 (row 5), 17 (row 4)
  for (int k = 0; k < 3; ++k) {
    const int row = 6 - k;
    const QImage& img = pages[k];
    EXPECT_EQ(Rgb(img, 100, 23 * row + 175), kCyan) << k;
    EXPECT_EQ(Rgb(img, 370, 23 * row + 197), kCyan) << k;
    EXPECT_EQ(Rgb(img, 371, 23 * row + 186), kWhite) << k;
    // Only the cursor's band is cyan, and its text stays black on it.
    EXPECT_EQ(Count(img, kList, kCyan), Count(img, Band(row), kCyan));
    EXPECT_GT(Count(img, Band(row), kBlack), 20);
  }
  // The band of row 6 is white again after the move.
  EXPECT_EQ(Count(pages[1], Band(6), kCyan), 0);
  EXPECT_GT(Count(pages[1], Band(6), kWhite), 3000);
}

TEST_F(SetArchiveTest, ThumbHeights) {
  // The thumb runs from top - 30 to top + thumb + 2 - 30: two rows longer
  // than its length, which is 4928 / count, at most 351.
  const std::pair<int, int> cases[] = {{1, 353}, {14, 353}, {28, 178}, {100, 51}};
  for (auto [n, rows] : cases) {
    StoreSets(n);
    pages.clear();
    states.clear();
    Run("-");
    EXPECT_EQ(ThumbHeight(pages[0]), rows) << n;
  }
}

TEST_F(SetArchiveTest, DetailsOfTheSelectedSetAndTheWagonLines) {
  StoreSets(12);
  Run("7-");  // set 11, then set 10
  const QImage& two = pages[0];
  const QImage& one = pages[1];
  Keep(two, "setarchive-details.png");
  // The bogie line in black, the side frames in silver, the gaps between
  // the blocks empty.
  EXPECT_GT(Count(two, QRect(620, 160, 300, 20), kBlack), 50);
  for (int y : {185, 199, 218, 232, 246, 260, 274, 288, 302, 325, 339, 358, 372, 386, 400, 414,
                428, 442})
    EXPECT_GT(Inked(two, QRect(620, y + 2, 260, 12)), 20) << y;
  EXPECT_EQ(Inked(two, QRect(444, 154, 170, 312)), 0);
  EXPECT_EQ(Inked(two, QRect(620, 318, 380, 5)), 0);
  // Sets 11 and 10 differ only in their numbers and the left outer groups: the
  // details differ in those columns, not in the labels nor the inner groups.
  for (int y = 218; y <= 302; y += 14) {
    EXPECT_EQ(two.copy(620, y, 70, 16), one.copy(620, y, 70, 16)) << y;
    EXPECT_NE(two.copy(690, y, 20, 16), one.copy(690, y, 20, 16)) << y;
    EXPECT_EQ(two.copy(800, y, 100, 16), one.copy(800, y, 100, 16)) << y;
  }
  // VNenable is off in a new installation: no wagon lines.
  EXPECT_EQ(Inked(two, kWagonLines), 0);
  Settings.Global.VNenable = true;
  pages.clear();
  Run("-");
  Keep(pages[0], "setarchive-wagons.png");
  EXPECT_GT(Count(pages[0], QRect(450, 510, 300, 16), kBlack), 50);
  EXPECT_GT(Count(pages[0], QRect(450, 528, 300, 16), kBlack), 50);
  EXPECT_GT(Count(pages[0], kWagonLines, kSilver), 20);
}

TEST_F(SetArchiveTest, KeyTenThenNinePrintsTheSelectedSet) {
  Settings.Global.Print_in_file = true;
  StoreSets(4);
  Run("7" "0" "9" "-");  // set 2 on the sheet, then the sheet printed
  EXPECT_EQ(PrintSheet.SheetReportCount, 0);
  const QImage sheet(plat::MapPath("Temp\\printpage.bmp"));
  ASSERT_FALSE(sheet.isNull());
  // Slot 0 holds the set's title line; slot 1 is empty.
  auto ink = [&](const QRect& r) {
    int n = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
      for (int x = r.left(); x <= r.right(); ++x) n += qGray(sheet.pixel(x, y)) < 128;
    return n;
  };
  EXPECT_GT(ink(QRect(280, 4 * 240 + 6, 1500, 48)), 300);
  EXPECT_EQ(ink(QRect(0, 4 * (250 + 240), 4000, 4 * 200)), 0);
  const auto pdf = testsupport::Run("pdftotext", {"-layout", plat::MapPath(PrintSheet.LastArchivePath), "-"});
  ASSERT_TRUE(pdf.finished && pdf.exitCode == 0) << qPrintable(pdf.err);
  EXPECT_TRUE(pdf.out.contains("Подбор комплекта в тележку : №5002(2019)12")) << qPrintable(pdf.out);
  EXPECT_TRUE(pdf.out.contains("Левая боковина: №L2"));
}

TEST_F(SetArchiveTest, AnEmptyArchiveListsNothingAndReadsNothing) {
  StoreSets(0);
  // A report already on the sheet, so that key 9 has something to print.
  ASSERT_TRUE(AddSetReport(MakeSet(7)));
  Run("1" "2" "7" "8" "0" "9" "-", [](int) {
    ASSERT_TRUE(DatabaseError().isEmpty());
    // Only the keys that work without a set are lit.
    EXPECT_TRUE(KeyEnabled(9) && KeyEnabled(13));
    EXPECT_FALSE(KeyEnabled(1) || KeyEnabled(2) || KeyEnabled(7) || KeyEnabled(8) || KeyEnabled(10));
  });
  const QImage& page = pages[0];
  Keep(page, "setarchive-empty.png");
  EXPECT_EQ(states[0].count, 0);
  EXPECT_EQ(states[0].row, 0);
  EXPECT_FALSE(states[0].selectedValid);
  EXPECT_EQ(Count(page, kList, kCyan), 0);
  EXPECT_EQ(Inked(page, kList), 0);
  EXPECT_EQ(ThumbHeight(page), 0);
  // Only the line that says there are no sets, where the details would be.
  EXPECT_GT(Count(page, QRect(460, 160, 200, 20), kBlack), 50);
  EXPECT_EQ(Inked(page, QRect(444, 185, 559, 281)), 0);
  // The moves and key 10 changed nothing; key 9 printed the waiting sheet.
  for (int k = 1; k <= 5; ++k)
    EXPECT_EQ(pages[k].copy(0, 110, 1024, 500), page.copy(0, 110, 1024, 500)) << k;
  EXPECT_EQ(PrintSheet.SheetReportCount, 0);
  EXPECT_FALSE(PrintSheet.LastArchivePath.isEmpty());
  EXPECT_EQ(Screen(), covered);
}

TEST_F(SetArchiveTest, ATelBinCutShortIsReadAsItsWholeSets) {
  StoreSets(3);
  QFile tel(plat::MapPath("Report\\Tel.bin"));
  ASSERT_TRUE(tel.open(QIODevice::Append));
  tel.write(QByteArray(100, 'x'));
  tel.close();
  // Before the third key the file loses its last two sets under the page.
  Run("7" "7" "1" "0" "-", [&](int i) {
    if (i == 2) {
      ASSERT_TRUE(tel.resize(kSetRecordSize));
    }
  });
  EXPECT_EQ(Cursors(), (std::vector<int>{2, 1, 0, 1, 1}));
  EXPECT_EQ(states[0].count, 3);
  EXPECT_TRUE(states[2].selectedValid);
  // Set 1 is gone: the details say so, and key 10 adds nothing.
  EXPECT_FALSE(states[3].selectedValid);
  EXPECT_GT(Inked(pages[3], QRect(460, 160, 400, 20)), 50);
  EXPECT_EQ(Inked(pages[3], QRect(444, 185, 559, 281)), 0);
  EXPECT_EQ(PrintSheet.SheetReportCount, 0);
}

}  // namespace
