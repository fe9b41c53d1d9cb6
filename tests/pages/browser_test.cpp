// The database browser driven key by key through the message pump: paging,
// the number search, the date range, the highlight, the measurement sheet
// and an empty database.
#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <cstdlib>

#include "config/settings.h"
#include "database/database.h"
#include "measurement/judgement.h"
#include "pages/browser.h"
#include "pages/recordlist.h"
#include "pages/pages.h"
#include "platform/clock.h"
#include "platform/cp1251.h"
#include "platform/paths.h"
#include "platform/pump.h"
#include "screen/screen.h"
#include "springs/springtypes.h"
#include "keydriver.h"
#include "programhome.h"
#include "testsupport.h"

namespace {

using testsupport::KeepPicture;

// Bogie type 1 with a spring type showing all six parameters; bogie type 3
// whose spring type shows only parameters 2 and 6.
const char* kBogieFile =
    "[Global]\r\nMaxChNum=3\r\n"
    "[Chassie1]\r\nName=18-100\r\nMaxSprings=1\r\nSpring1=1\r\n"
    "[Chassie2]\r\nName=18-578\r\nMaxSprings=1\r\nSpring1=1\r\n"
    "[Chassie3]\r\nName=18-9855\r\nMaxSprings=1\r\nSpring1=2\r\n"
    "[Spring1]\r\nAltName=Наружная\r\nE=0.1\r\nNparam=6\r\n"
    "P1Name=Наружный диаметр\r\nP1Show=1\r\nP1Analiz=1\r\nP1Max=204\r\nP1Min=196\r\n"
    "P2Name=Высота свободная\r\nP2Show=1\r\nP2Analiz=1\r\nP2Max=255\r\nP2Min=246\r\n"
    "P3Name=Неперпендикулярность\r\nP3Show=1\r\nP3Analiz=1\r\nP3Max=5\r\nP3Min=0\r\n"
    "P4Name=Зазор\r\nP4Show=1\r\nP4Analiz=1\r\nP4Max=22\r\nP4Min=15\r\n"
    "P5Name=Деформация\r\nP5Show=1\r\nP5Analiz=1\r\nP5Max=2\r\nP5Min=0\r\n"
    "P6Name=Прогиб\r\nP6Show=1\r\nP6Analiz=1\r\nP6Max=54\r\nP6Min=44\r\n"
    "[Spring2]\r\nAltName=Внутренняя\r\nE=0.1\r\nNparam=6\r\n"
    "P1Max=204\r\nP1Min=196\r\nP2Show=1\r\nP2Max=255\r\nP2Min=246\r\nP3Max=5\r\nP3Min=0\r\n"
    "P4Max=22\r\nP4Min=15\r\nP5Max=2\r\nP5Min=0\r\nP6Show=1\r\nP6Max=54\r\nP6Min=44\r\n";

// A spring within every norm of Spring1.
MeasurementRecord Good(const QString& identifier) {
  MeasurementRecord r;
  r.Identifier = identifier;
  r.BogieType = 1;
  r.SpringType = 1;
  const float values[7] = {0, 200, 250, 2, 18, 1, 50};
  for (int p = 1; p <= 6; ++p) r.Param[p].Value = values[p];
  r.WagonFrom = "12345678";
  r.WagonTo = "87654321";
  return r;
}

QString Numbered(int k) {
  return QStringLiteral("%1-05032009").arg(k + 1, 4, 10, QLatin1Char('0'));
}

QRgb Rgb(const QImage& img, int x, int y) {
  return img.pixel(x, y) & 0xFFFFFF;
}

int Count(const QImage& img, const QRect& r, QRgb colour) {
  int n = 0;
  for (int y = r.top(); y <= r.bottom(); ++y)
    for (int x = r.left(); x <= r.right(); ++x) n += Rgb(img, x, y) == colour;
  return n;
}

// Pixels of text in `colour` on white: the colour itself or its blend with
// the white at the glyphs' edges (small text has few pixels of pure colour).
int Tinted(const QImage& img, const QRect& r, QRgb colour) {
  const int target[3] = {qRed(colour), qGreen(colour), qBlue(colour)};
  int n = 0;
  for (int y = r.top(); y <= r.bottom(); ++y)
    for (int x = r.left(); x <= r.right(); ++x) {
      const QRgb p = img.pixel(x, y);
      const int got[3] = {qRed(p), qGreen(p), qBlue(p)};
      // The share of the colour: from the channel farthest from white.
      int widest = 0;
      for (int c = 1; c < 3; ++c)
        if (255 - target[c] > 255 - target[widest]) widest = c;
      const double a = double(255 - got[widest]) / (255 - target[widest]);
      if (a < 0.4) continue;
      bool blend = true;
      for (int c = 0; c < 3; ++c)
        blend = blend && std::abs(got[c] - (255 - a * (255 - target[c]))) <= 24;
      n += blend;
    }
  return n;
}

// Pixels that are not white.
int Inked(const QImage& img, const QRect& r) {
  return r.width() * r.height() - Count(img, r, kWhite);
}

// The band of a line of the list, and its highlight area.
QRect ListLine(int line) {
  return QRect(120, line * 23 + 177, 200, 20);
}
QRect HighlightArea(int row) {
  return QRect(100, row * 23 + 175, 271, 23);
}
// Inside the cells of the sheet: the value and the verdict column of row r.
QRect ValueCell(int r) {
  return QRect(682, r * 22 + 226, 146, 16);
}
QRect VerdictCell(int r) {
  return QRect(832, r * 22 + 226, 166, 16);
}
const QRect kVerdictLines(452, 466, 377, 83);
const QRect kSheet(444, 174, 559, 213);
// The page without the close mark that the key poll redraws in the top right
// corner in whatever size the last text left.
QImage WithoutCorner(const QImage& img) {
  QImage out = img.copy();
  for (int y = 0; y < 64; ++y)
    for (int x = 980; x < out.width(); ++x) out.setPixel(x, y, 0xFF000000u);
  return out;
}

class BrowserTest : public ::testing::Test {
 protected:
  void SetUp() override {
    plat::UseVirtualClock();
    ASSERT_TRUE(testsupport::OpenProgramHome(home.path() + "/inst"));
    home.write("inst/chassie-test.ini", plat::ToCp1251(kBogieFile));
    Settings.Params.ChassieIniFilename = "chassie-test.ini";
    ResetSpringTypesModule();
    LoadSpringTypes();
    // The calling page: grey with keys 4 and 7 lit.
    FillScreen(kSilver);
    DisableAllKeys();
    EnableKey(4);
    EnableKey(7);
    covered = Screen().copy();
  }
  void TearDown() override {
    RecordFilterOff();
    testsupport::ResetProgramModules();
  }

  void Store(const std::vector<MeasurementRecord>& records) {
    QByteArray bytes;
    for (const MeasurementRecord& r : records) bytes += EncodeMeasurementRecord(r);
    home.write("inst/Report/base.bin", bytes);
  }
  void StoreNumbered(int n) {
    std::vector<MeasurementRecord> records;
    for (int k = 0; k < n; ++k) records.push_back(Good(Numbered(k)));
    Store(records);
  }

  // Types each key once a page waits for one, keeping the page and the
  // browser's state as they stood before each key; the last entry is the
  // state after the last key but the leaving one.
  void Browse(const QString& keys) {
    testsupport::KeyDriver driver;
    driver.beforeStep = [this] {
      pages.push_back(Screen().copy());
      states.push_back(Browser);
    };
    driver.Type(keys, [] { return KeyEnabled(13); });
    driver.Run(BrowseMeasurements);
    ASSERT_TRUE(driver.Done());
  }
  std::vector<int> Positions() const {
    std::vector<int> out;
    for (const TBrowserView& s : states) out.push_back(s.current);
    return out;
  }

  testsupport::ScratchHome home;
  QImage covered;
  std::vector<QImage> pages;
  std::vector<TBrowserView> states;
};

TEST_F(BrowserTest, EntersOnTheNewestRecordOnItsPage) {
  StoreNumbered(20);
  Browse("-");
  ASSERT_EQ(states.size(), 1u);
  EXPECT_EQ(states[0].count, 20);
  EXPECT_EQ(states[0].current, 19);
  EXPECT_EQ(states[0].row, 6);
  const QImage& page = pages[0];
  KeepPicture(page, "browser-20.png");
  // Positions 14..19 on lines 1..6, the rest of the page empty.
  for (int line = 1; line <= 14; ++line) {
    if (line <= 6)
      EXPECT_GT(Count(page, ListLine(line), kBlack), 20) << line;
    else
      EXPECT_EQ(Inked(page, ListLine(line)), 0) << line;
  }
  // The last line is highlighted: its white is cyan, the others have none.
  EXPECT_EQ(Rgb(page, 100, 6 * 23 + 175), kCyan);
  EXPECT_EQ(Rgb(page, 370, 6 * 23 + 197), kCyan);
  EXPECT_EQ(Rgb(page, 371, 6 * 23 + 186), kWhite);
  EXPECT_EQ(Count(page, HighlightArea(5), kCyan), 0);
  EXPECT_GT(Count(page, HighlightArea(6), kBlack), 20);  // the name stays black on cyan
  // The title, the good spring's verdict in green, the thumb at the bottom.
  EXPECT_GT(Count(page, QRect(30, 16, 700, 60), kSilver), 500);
  EXPECT_GT(Count(page, kVerdictLines, kGreen), 100);
  EXPECT_EQ(Count(page, kVerdictLines, kRed), 0);
  EXPECT_EQ(Rgb(page, 384, 530), kGreen);
  EXPECT_EQ(Rgb(page, 384, 190), kWhite);
  // Leaving puts the calling page and its keys back.
  EXPECT_EQ(Screen(), covered);
  EXPECT_TRUE(KeyEnabled(4));
  EXPECT_FALSE(KeyEnabled(13));
  EXPECT_EQ(LastKey(), 0);
}

TEST_F(BrowserTest, MovesAndPagesThroughThirtyRecords) {
  StoreNumbered(30);
  Browse(
      "8"        // 29 -> 15
      "8"        // 15 -> 1, less than a page left: 0
      "2"        // 0 -> 14
      "8"        // 14: nothing
      "111111"   // 20
      "8"        // 20 -> 6, less than a page left: 0
      "11111"    // 5
      "2"        // 5 -> 19, less than a page left: 29
      "1"        // the last: nothing
      "7"        // 28
      "8"        // 28 -> 14, less than a page left: 0
      "7"        // the first: nothing
      "-");
  const std::vector<int> expected = {29, 15, 0,  14, 14, 15, 16, 17, 18, 19, 20, 0, 1,
                                     2,  3,  4,  5,  29, 29, 28, 0,  0};
  EXPECT_EQ(Positions(), expected);
  for (const TBrowserView& s : states) EXPECT_EQ(s.row, BrowserRow(s.current));

  // Position 15 is row 2 of the second page, and only that row is cyan.
  const QImage& at15 = pages[1];
  EXPECT_EQ(Rgb(at15, 100, 2 * 23 + 175), kCyan);
  EXPECT_EQ(Count(at15, QRect(100, 198, 271, 322), kCyan), Count(at15, HighlightArea(2), kCyan));
  // 17 -> 18 moves the highlight from row 4 to row 5 and leaves row 4 white.
  const QImage& at17 = pages[7];
  const QImage& at18 = pages[8];
  ASSERT_EQ(states[7].current, 17);
  EXPECT_EQ(Rgb(at17, 100, 4 * 23 + 175), kCyan);
  EXPECT_EQ(Rgb(at18, 100, 4 * 23 + 175), kWhite);
  EXPECT_EQ(Count(at18, HighlightArea(4), kCyan), 0);
  EXPECT_EQ(Rgb(at18, 100, 5 * 23 + 175), kCyan);
  // The thumb runs down with the position.
  auto thumbTop = [](const QImage& img) {
    for (int y = 183; y < 537; ++y)
      if (Rgb(img, 384, y) == kGreen) return y;
    return -1;
  };
  EXPECT_EQ(thumbTop(pages[2]), 184);  // position 0
  EXPECT_LT(thumbTop(at17), thumbTop(pages[17]));
}

TEST_F(BrowserTest, PageDownWithinOnePageOfTheLastDoesNothing) {
  StoreNumbered(15);
  Browse(
      "8"    // 14: nothing
      "41/"  // search: the first
      "2"    // 0 + 14 is the last: nothing
      "-");
  // The search's keys are typed on its own page; the browser's state counts.
  EXPECT_EQ(states.front().current, 14);
  EXPECT_EQ(states[1].current, 14);
  EXPECT_EQ(states[4].current, 0);
  EXPECT_EQ(states.back().current, 0);
}

TEST_F(BrowserTest, NumberSearch) {
  StoreNumbered(20);
  Browse(
      "4" "00000005" "/"  // eight digits: the 5 is dropped, 0 selects the first
      "4" "20/"           // the count: the last
      "4" "3" "-" "7/"    // key 13 empties the number: the seventh
      "4" "21/"           // beyond the count: no move
      "4" "12*"           // cancelled: no move
      "4/"                // nothing typed: no move
      "-");
  auto after = [&](int keysTyped) { return states.at(keysTyped).current; };
  EXPECT_EQ(after(10), 0);
  EXPECT_EQ(after(14), 19);
  EXPECT_EQ(after(19), 6);
  EXPECT_EQ(after(23), 6);
  EXPECT_EQ(after(27), 6);
  EXPECT_EQ(after(29), 6);
  // The number box holds at most seven digits: the eighth leaves it as it was.
  EXPECT_EQ(WithoutCorner(pages.at(8)), WithoutCorner(pages.at(9)));
  EXPECT_NE(WithoutCorner(pages.at(7)), WithoutCorner(pages.at(8)));
  // The search page shades the browser and lights every key; cancelling it
  // gives the browser back exactly.
  EXPECT_EQ(Rgb(pages.at(24), 7, 113), kSilver);
  KeepPicture(pages.at(26), "browser-search.png");
  EXPECT_EQ(WithoutCorner(pages.at(23)), WithoutCorner(pages.at(27)));
}

class DateRangeTest : public BrowserTest {
 protected:
  void SetUp() override {
    BrowserTest::SetUp();
    Store({Good("0001-28022009"), Good("0001-01032009"), Good("0002-01032009"),
           Good("0001-0X032009"),  // damaged date
           Good("0001-02032009"), Good("12345-02032009"), Good("0001-05032009"),
           Good("0001-31022009"),  // no such day
           Good("0001-06032009"), Good("0002-05032009")});
  }
};

// Six value entries: start 2009-03-01 (year up once, month up twice), end
// 2009-03-05, each taken with the step's continue key.
const QString kMarch1To5 = "5" "4*" "44/" "*" "4/" "44*" "4444/";

TEST_F(DateRangeTest, ARangeListsItsDays) {
  Browse(kMarch1To5 + "5" "-");
  const TBrowserView& before = states.front();
  EXPECT_EQ(before.count, 10);
  // Positions 1, 2, 4, 6 and 9 name days from the 1st to the 5th of March;
  // the damaged date, the long number and the 31st of February are left out.
  ASSERT_TRUE(Database.RecordFilter.On);
  EXPECT_EQ(Database.RecordFilter.List, (std::vector<int>{1, 2, 4, 6, 9}));
  const int typed = kMarch1To5.size();
  const TBrowserView& range = states.at(typed);
  EXPECT_EQ(range.count, 5);
  EXPECT_EQ(range.current, 4);
  EXPECT_EQ(range.row, 5);
  QStringList listed;
  for (int i = 0; i < range.count; ++i) {
    MeasurementRecord r;
    ASSERT_TRUE(ReadMeasurement(i, r));
    listed << r.Identifier;
  }
  EXPECT_EQ(listed, QStringList({"0001-01032009", "0002-01032009", "0001-02032009",
                                 "0001-05032009", "0002-05032009"}));
  const QImage& page = pages.at(typed);
  KeepPicture(page, "browser-range.png");
  for (int line = 1; line <= 6; ++line)
    EXPECT_EQ(Count(page, ListLine(line), kBlack) > 20, line <= 5) << line;
  // The range's count in its blue box.
  EXPECT_EQ(Rgb(page, 95, 540), kBlue);
  EXPECT_EQ(Rgb(page, 329, 549), kBlue);
  EXPECT_EQ(Rgb(page, 320, 535), kWhite);
  // Key 5 works once: the second press leaves the page as it is.
  EXPECT_EQ(WithoutCorner(page), WithoutCorner(pages.at(typed + 1)));
}

TEST_F(DateRangeTest, RefusedRangesLeaveTheListAsItWas) {
  // End before start: 2009-03-05 .. 2009-03-01.
  const QString backwards = "5" "4*" "44/" "4444*" "4/" "44*" "/";
  // 31 February: day 1 up thirty times.
  const QString february31 = "5" "4*" "4/" + QString(30, '4') + "*" "4/" "44*" "4444/";
  // Cancelled at the third step.
  const QString cancelled = "5" "4*" "4/" "-";
  Browse(backwards + february31 + cancelled + "-");
  EXPECT_FALSE(Database.RecordFilter.On);
  const int ends[] = {static_cast<int>(backwards.size()),
                      static_cast<int>(backwards.size() + february31.size()),
                      static_cast<int>(backwards.size() + february31.size() + cancelled.size())};
  for (int end : ends) {
    EXPECT_EQ(states.at(end).count, 10) << end;
    EXPECT_EQ(states.at(end).current, 9) << end;
    EXPECT_EQ(WithoutCorner(pages.at(end)), WithoutCorner(pages.front())) << end;
  }
  // The value entry's box in front during the entry.
  const QImage& entry = pages.at(2);
  KeepPicture(entry, "browser-value-entry.png");
  EXPECT_EQ(Rgb(entry, 700, 490), kWhite);
  EXPECT_GT(Count(entry, QRect(695, 482, 162, 94), kGreen), 50);
  EXPECT_GT(Count(entry, QRect(33, 500, 600, 40), kBlue), 200);
}

class SheetTest : public BrowserTest {
 protected:
  // The browser over one record, as it shows the record.
  QImage Shown(const MeasurementRecord& r) {
    Store({r});
    pages.clear();
    states.clear();
    Browse("-");
    return pages.at(0);
  }
};

TEST_F(SheetTest, FastModeLeavesOutTheUnmeasuredParameters) {
  MeasurementRecord r = Good("0001-05032009");
  r.Param[1].Value = 150;  // bad, but not measured in the fast mode
  r.Param[3].Value = 40;
  const QImage full = Shown(r);
  r.Kind = 1;
  const QImage fast = Shown(r);
  KeepPicture(fast, "browser-fast.png");
  for (int row : {1, 3, 4}) {
    EXPECT_GT(Inked(full, ValueCell(row)), 20) << row;
    EXPECT_EQ(Inked(fast, ValueCell(row)), 0) << row;
    EXPECT_EQ(Inked(fast, VerdictCell(row)), 0) << row;
  }
  for (int row : {2, 5, 6}) {
    EXPECT_GT(Tinted(fast, ValueCell(row), kGreen), 10) << row;
    EXPECT_GT(Tinted(fast, VerdictCell(row), kGreen), 10) << row;
  }
  // The full measurement is bad by its diameter; the fast one is good.
  EXPECT_GT(Tinted(full, ValueCell(1), kRed), 10);
  EXPECT_GT(Count(full, kVerdictLines, kRed), 100);
  EXPECT_GT(Count(fast, kVerdictLines, kGreen), 100);
  EXPECT_EQ(Count(fast, kVerdictLines, kRed), 0);
}

// An accelerated record carries " уск" behind its name and a note below the
// verdict; a value the line did not measure is blank and cannot reject.
TEST_F(SheetTest, AnAcceleratedRecordIsToldApartAndItsUnmeasuredValueIsBlank) {
  MeasurementRecord r = Good("0001-05032009");
  const QImage full = Shown(r);
  r.Param[6].Value = 999;
  SetParameterMeasured(r, 6, false);
  SetRecordAccelerated(r, true);
  const QImage accelerated = Shown(r);
  KeepPicture(accelerated, "browser-accelerated.png");
  EXPECT_EQ(Inked(accelerated, ValueCell(6)), 0);
  EXPECT_EQ(Inked(accelerated, VerdictCell(6)), 0);
  EXPECT_GT(Count(accelerated, kVerdictLines, kGreen), 100);
  const QRect behindName(310, ListLine(1).top(), 60, ListLine(1).height());
  const QRect note(460, 544, 300, 22);
  // The line is highlighted: ink is what is neither white nor cyan.
  auto written = [&](const QImage& img) { return Inked(img, behindName) - Count(img, behindName, kCyan); };
  EXPECT_EQ(written(full), 0);
  EXPECT_GT(written(accelerated), 20);
  EXPECT_EQ(Count(full, note, kNavy), 0);
  EXPECT_GT(Count(accelerated, note, kNavy), 50);
}

TEST_F(SheetTest, ListedRowsFollowCalEnable1AndZam19) {
  const MeasurementRecord r = Good("0001-05032009");
  auto gridEnd = [](const QImage& img) {
    int y = 180;
    while (y < 400 && Rgb(img, 450, y) == kDarkGrey) ++y;
    return y;  // just below the last horizontal line
  };
  EXPECT_EQ(gridEnd(Shown(r)), 379);  // six rows

  Settings.Debug.CalEnable1 = true;
  const QImage five = Shown(r);
  EXPECT_EQ(gridEnd(five), 357);
  EXPECT_EQ(Rgb(five, 600, 356), kDarkGrey);
  EXPECT_EQ(Rgb(five, 600, 378), kWhite);
  // Row 5 is parameter 6: its value 50 is good.
  EXPECT_GT(Tinted(five, ValueCell(5), kGreen), 10);
  MeasurementRecord other = r;
  other.BogieType = 2;  // CalEnable1 leaves out parameter 5 of bogie type 1 only
  EXPECT_EQ(gridEnd(Shown(other)), 379);
  Settings.Debug.CalEnable1 = false;

  Settings.Global.Zam19 = true;
  MeasurementRecord shown2and6 = r;
  shown2and6.BogieType = 3;
  const QImage two = Shown(shown2and6);
  EXPECT_EQ(gridEnd(two), 291);
  EXPECT_EQ(Inked(two, ValueCell(3)), 0);
}

TEST_F(SheetTest, AnUnknownSpringTypeIsShownNotJudged) {
  MeasurementRecord r = Good("0001-05032009");
  r.BogieType = 9;  // the table holds three
  const QImage page = Shown(r);
  KeepPicture(page, "browser-unknown.png");
  EXPECT_FALSE(Judgement.Judged);
  // Six rows of values in black, no verdict in either colour.
  for (int row = 1; row <= 6; ++row) {
    EXPECT_GT(Tinted(page, ValueCell(row), kBlack), 5) << row;
    EXPECT_EQ(Inked(page, VerdictCell(row)), 0) << row;
  }
  EXPECT_EQ(Tinted(page, kSheet, kGreen) + Tinted(page, kSheet, kRed), 0);
  EXPECT_GT(Count(page, kVerdictLines, kNavy), 100);
  EXPECT_EQ(Count(page, kVerdictLines, kGreen) + Count(page, kVerdictLines, kRed), 0);
}

TEST_F(SheetTest, WagonNumbersWithVNenable) {
  const MeasurementRecord r = Good("0001-05032009");
  const QRect wagons(450, 380, 390, 36);
  EXPECT_EQ(Inked(Shown(r), wagons), 0);
  Settings.Global.VNenable = true;
  EXPECT_GT(Count(Shown(r), wagons, kBlack), 100);
}

TEST_F(BrowserTest, AnEmptyDatabaseListsNothingAndReadsNothing) {
  Store({});
  Browse(
      "1" "2" "7" "8" "4" "0" "*"  // moves, search, print, statistics: nothing
      "5" "-"                      // the date range opens; cancelled
      "-");
  const QImage& page = pages.front();
  KeepPicture(page, "browser-empty.png");
  EXPECT_EQ(states.front().count, 0);
  EXPECT_EQ(states.front().row, 0);
  // No highlight, no thumb, an empty sheet, and the line saying why.
  EXPECT_EQ(Count(page, QRect(100, 198, 195, 322), kCyan), 0);
  EXPECT_EQ(Count(page, QRect(373, 183, 22, 354), kGreen), 0);
  EXPECT_EQ(Inked(page, kSheet), 0);
  EXPECT_EQ(Inked(page, kVerdictLines), 0);
  EXPECT_GT(Count(page, QRect(70, 550, 280, 20), kBlack), 50);
  for (int k = 1; k <= 7; ++k)
    EXPECT_EQ(WithoutCorner(pages.at(k)), WithoutCorner(page)) << k;
  // Key 5 shades the page for the value entry, and its cancel gives it back.
  EXPECT_EQ(Rgb(pages.at(8), 7, 113), kSilver);
  EXPECT_EQ(WithoutCorner(pages.at(9)), WithoutCorner(page));
  EXPECT_FALSE(Database.RecordFilter.On);
  EXPECT_EQ(Screen(), covered);
  // Only the keys that act are lit: the date range, the sheet, the return.
  for (int k = 1; k <= 13; ++k) {
    Screen() = page.copy();
    DrawKeyButton(k, k == 5 || k == 9 || k == 13 ? 1 : 0);
    EXPECT_EQ(Screen(), page) << "key " << k;
  }
}

// A million records: the thumb keeps its length and still runs from the top
// of the bar to its foot with the position.
TEST_F(BrowserTest, TheScrollThumbOfAHugeListStaysVisibleAndMoves) {
  auto thumb = [](int cursor) {
    DrawListScrollBar(1000000, cursor);
    int top = -1, bottom = -1;
    for (int y = 183; y < 538; ++y)
      if (Rgb(Screen(), 384, y) == kGreen) bottom = y, top = top < 0 ? y : top;
    return std::make_pair(top, bottom);
  };
  const auto first = thumb(0), middle = thumb(500000), last = thumb(999999);
  for (const auto& t : {first, middle, last}) EXPECT_GE(t.second - t.first, 14);
  EXPECT_EQ(first.first, 184);
  EXPECT_LT(first.first, middle.first);
  EXPECT_LT(middle.first, last.first);
  EXPECT_GE(last.second, 530);
}

}  // namespace
