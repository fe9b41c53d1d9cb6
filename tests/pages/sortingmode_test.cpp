// The sorting mode driven key by key through the message pump, with the
// assembly form's buttons clicked while the selection page waits: the bogie
// data, both side frames, the finished page and the record in Report\Tel.bin
// read back byte for byte; the entries' limits; the pictures of the pages.
#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <QPushButton>
#include <deque>
#include <functional>

#include "config/settings.h"
#include "database/database.h"
#include "pages/pages.h"
#include "platform/clock.h"
#include "platform/paths.h"
#include "platform/pump.h"
#include "sbormeny/form2.h"
#include "screen/screen.h"
#include "sorting/springlists.h"
#include "springs/springtypes.h"
#include "keydriver.h"
#include "programhome.h"
#include "testsupport.h"

namespace {

using testsupport::KeepPicture;

QRgb Rgb(const QImage& img, int x, int y) {
  return img.pixel(x, y) & 0xFFFFFF;
}
int CountColour(const QImage& img, const QRect& r, QRgb colour) {
  int n = 0;
  for (int y = r.top(); y <= r.bottom(); ++y)
    for (int x = r.left(); x <= r.right(); ++x) n += Rgb(img, x, y) == colour;
  return n;
}

class SortingModeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    plat::UseVirtualClock(QDateTime(QDate(2026, 3, 5), QTime(10, 0)));
    ASSERT_TRUE(testsupport::OpenProgramHome(home.path() + "/inst"));
    Database.ShiftState.WagonFrom = "12345678";
    Database.ShiftState.WagonTo = "87654321";
    // The calling page: the main menu's grey with its keys.
    FillScreen(kSilver);
    DisableAllKeys();
    EnableKey(2);
    EnableKey(13);
    covered = Screen().copy();
    form = std::make_unique<TForm2>();
    Form2 = form.get();
  }
  void TearDown() override {
    plat::SetPumpHook({});
    Form2 = nullptr;
    form.reset();
    testsupport::ResetProgramModules();
  }

  // Keys at once; an action (a button of the form, a look at the canvas)
  // once its page polls.
  void Keys(const QString& keys) { steps.Type(keys); }
  void OnSelectionPage(std::function<void()> action) {
    steps.Do(std::move(action), SelectionPageWaits);
  }
  void OnFinishedPage(std::function<void()> action) {
    steps.Do(std::move(action), FinishedPageWaits);
  }
  void Click(QPushButton* button) {
    OnSelectionPage([button] { button->click(); });
  }
  void Run(const std::function<void()>& page) {
    steps.Run(page);
    EXPECT_TRUE(steps.Done()) << steps.Left() << " steps left";
  }
  // The selection page itself polls (not one of its question boxes).
  static bool SelectionPageWaits() {
    return ScreenState.assemblyFormFlag && KeyEnabled(4) && KeyEnabled(11) && !KeyEnabled(1);
  }
  static bool FinishedPageWaits() {
    return KeyEnabled(1) && KeyEnabled(5) && KeyEnabled(11) && !KeyEnabled(12) &&
           !KeyEnabled(2);
  }
  // The bogie's data: a cancel of the year goes back to the number, which is
  // typed again; the works numbers of the bogie and of the right side frame
  // are "00".
  void TypeBogieData() {
    Keys("1234*20//");
    Keys("/");  // nothing typed: back to the number, which is cleared
    Keys("5678*2019*00*");
    Keys("111111111112*2018*42*");  // the twelfth digit is beyond the limit
    Keys("77*2017*00*");
    Keys("0");  // "Продолжить"
  }

  std::vector<uint8_t> Groups(const QByteArray& rec, int offset) {
    return {rec.begin() + offset, rec.begin() + offset + 7};
  }
  static QByteArray Text(const char* chars) {
    return QByteArray(1, char(qstrlen(chars))) + chars;
  }

  testsupport::ScratchHome home;
  std::unique_ptr<TForm2> form;
  testsupport::KeyDriver steps;
  QImage covered;
};

TEST_F(SortingModeTest, ASetEnteredByKeysAndTheFormIsStoredAsProposed) {
  TypeBogieData();
  // Left side frame: one outer spring of group 7 (key 3), seven inner of
  // group 6 (key 4: +1 six times, -1 once, +1 once), then "7-4".
  Keys("357");
  Keys("436" "333333" "5" "3" "*");
  Click(form->Button4);
  QImage selection;
  OnSelectionPage([&] { selection = Screen().copy(); });
  Keys("/");
  // Right side frame: "9-6" and "4-1"; the proposal stays on 9..6.
  Click(form->Button1);
  Click(form->Button7);
  Keys("/");
  QImage finished, saved;
  OnFinishedPage([&] { finished = Screen().copy(); });
  Keys("5");
  // The page says the set is stored before the mode ends, no key lit.
  steps.Do([&] { saved = Screen().copy(); },
           [] { return !KeyEnabled(1) && !KeyEnabled(5) && !KeyEnabled(13); });
  Run(SortingMode);
  ASSERT_FALSE(saved.isNull());
  KeepPicture(saved, "sorting-saved.png");
  EXPECT_GT(CountColour(saved, QRect(40, 533, 500, 28), kGreen), 500);  // "Комплект сохранен ..."
  EXPECT_GT(CountColour(saved, QRect(40, 565, 400, 18), kBlack), 100);  // the file and the count

  // The calling page and its keys are back.
  EXPECT_EQ(Screen(), covered);
  EXPECT_TRUE(KeyEnabled(13));
  EXPECT_FALSE(KeyEnabled(5));
  EXPECT_FALSE(ScreenState.assemblyFormFlag);

  const QByteArray tel = home.read("inst/Report/Tel.bin");
  ASSERT_EQ(tel.size(), 206);
  EXPECT_EQ(tel.mid(0, 5), Text("5678"));
  EXPECT_EQ(tel.mid(16, 5), Text("____"));
  EXPECT_EQ(tel.mid(32, 5), Text("2019"));
  EXPECT_EQ(tel.mid(48, 12), Text("11111111111"));
  EXPECT_EQ(tel.mid(64, 3), Text("42"));
  EXPECT_EQ(tel.mid(80, 5), Text("2018"));
  // Outer: 7 and 7,7,6,6,5,5,4 sorted, the first seven; inner: 7,7 and the
  // seven sixes lead.
  EXPECT_EQ(Groups(tel, 96), (std::vector<uint8_t>{7, 7, 7, 6, 6, 5, 5}));
  EXPECT_EQ(Groups(tel, 103), (std::vector<uint8_t>{7, 7, 6, 6, 6, 6, 6}));
  EXPECT_EQ(tel.mid(110, 3), Text("77"));
  EXPECT_EQ(tel.mid(126, 5), Text("____"));
  EXPECT_EQ(tel.mid(142, 5), Text("2017"));
  EXPECT_EQ(Groups(tel, 158), (std::vector<uint8_t>{9, 9, 8, 8, 7, 7, 6}));
  EXPECT_EQ(Groups(tel, 165), (std::vector<uint8_t>{9, 9, 8, 8, 7, 7, 6}));
  EXPECT_EQ(tel.mid(172, 9), Text("05032026"));
  EXPECT_EQ(tel.mid(188, 9), Text("12345678"));
  EXPECT_EQ(tel.mid(197, 9), Text("87654321"));

  // The finished page shows exactly the stored set: drawing the stored
  // record over it changes no pixel.
  ASSERT_FALSE(finished.isNull());
  SetRecord stored;
  ASSERT_TRUE(ReadSet(0, stored));
  Screen() = finished.copy();
  DrawFinishedSet(stored);
  EXPECT_EQ(Screen(), finished);
  KeepPicture(finished, "sorting-finished.png");
  ASSERT_FALSE(selection.isNull());
  KeepPicture(selection, "sorting-selection.png");
}

TEST_F(SortingModeTest, AProposalBelowTheFirstEntriesIsWhatIsStoredAndShown) {
  TypeBogieData();
  // Seven outer and seven inner of group 5, and above them two outer and one
  // inner of group 9: nine down to five spans too many groups, so the set is
  // proposed from the third outer and the second inner entry.
  Keys("455" "333333" "*");
  Keys("435" "333333" "*");
  Keys("459" "3" "*");
  Keys("339");
  Keys("/");
  Click(form->Button3);  // "8-5" for the right side frame
  Keys("/");
  QImage finished;
  OnFinishedPage([&] { finished = Screen().copy(); });
  Keys("5");
  Run(SortingMode);

  const QByteArray tel = home.read("inst/Report/Tel.bin");
  ASSERT_EQ(tel.size(), 206);
  EXPECT_EQ(Groups(tel, 96), std::vector<uint8_t>(7, 5));
  EXPECT_EQ(Groups(tel, 103), std::vector<uint8_t>(7, 5));
  EXPECT_EQ(Groups(tel, 158), (std::vector<uint8_t>{8, 8, 7, 7, 6, 6, 5}));

  SetRecord stored;
  ASSERT_TRUE(ReadSet(0, stored));
  Screen() = finished.copy();
  DrawFinishedSet(stored);
  EXPECT_EQ(Screen(), finished);
  // The first entries of the lists would have shown otherwise.
  SetRecord firstEntries = stored;
  firstEntries.Left.Outer = {0, 9, 9, 5, 5, 5, 5, 5};
  firstEntries.Left.Inner = {0, 9, 5, 5, 5, 5, 5, 5};
  DrawFinishedSet(firstEntries);
  EXPECT_NE(Screen(), finished);
}

TEST_F(SortingModeTest, CancelsLeaveWithoutStoring) {
  // The first question cancelled leaves at once.
  Keys("/");
  Run(SortingMode);
  EXPECT_EQ(Screen(), covered);
  // "Отменить подбор" after the data; "Возврат" on the selection page, also
  // with a set proposed; "Возврат" on the finished page.
  TypeBogieData();
  steps.DropLast();
  Keys("7");
  Run(SortingMode);
  TypeBogieData();
  Click(form->Button1);
  Keys("*");
  Run(SortingMode);
  TypeBogieData();
  Click(form->Button1);
  Keys("/");
  Click(form->Button1);
  Keys("/*");
  Run(SortingMode);
  EXPECT_EQ(SetCount(), 0);
  EXPECT_EQ(Screen(), covered);
}

// A year of manufacture is four digits from 1950 to this year: "1", a year
// to come and 1949 are refused beside the field, and the entry goes on.
TEST_F(SortingModeTest, AYearOfManufactureOutsideItsRangeIsRefused) {
  Keys("12*1*");
  QImage refused;
  steps.Do([&] { refused = Screen().copy(); },
           [] { return CountColour(Screen(), QRect(250, 180, 185, 45), kRed) > 50; });
  Keys("/2027*////1949*////1950*00*");
  Keys("3*2026*5*4*2000*7*0");
  Click(form->Button1);
  Keys("/");
  Click(form->Button1);
  Keys("/5");
  Run(SortingMode);
  ASSERT_FALSE(refused.isNull());
  KeepPicture(refused, "sorting-year-refused.png");
  SetRecord r;
  ASSERT_TRUE(ReadSet(0, r));
  EXPECT_EQ(r.BogieNumber, "12");
  EXPECT_EQ(r.BogieYear, "1950");
  EXPECT_EQ(r.Left.Year, "2026");
  EXPECT_EQ(r.Right.Year, "2000");
}

TEST_F(SortingModeTest, ContinueNeedsAProposalAndEnteringAgainStartsOver) {
  TypeBogieData();
  Keys("/");  // no set yet: "Продолжить" does nothing
  Click(form->Button1);
  Keys("/");
  Click(form->Button1);
  Keys("/");
  Keys("1");  // "Повторить ввод" on the finished page: the data again
  Keys("99*1999*12*");
  Keys("21*2001*00*");
  Keys("22*2002*00*");
  Keys("0");
  Click(form->Button6);  // "5-2"
  Keys("/");
  Click(form->Button6);
  Keys("/5");
  Run(SortingMode);
  ASSERT_EQ(SetCount(), 1);
  SetRecord r;
  ASSERT_TRUE(ReadSet(0, r));
  EXPECT_EQ(r.BogieNumber, "99");
  EXPECT_EQ(r.BogieWorks, "12");
  EXPECT_EQ(r.Left.Number, "21");
  EXPECT_EQ(r.Right.Year, "2002");
  EXPECT_EQ(r.Left.Outer[1], 5);
  EXPECT_EQ(r.Right.Inner[7], 2);
}

// The selection page alone, on the bogie data of a record.
class SelectionPageTest : public SortingModeTest {
 protected:
  bool RunPage() {
    bool accepted = false;
    Run([&] { accepted = SelectionPage("    в левую боковину", SetRecord{}); });
    return accepted;
  }
  // Counts of both lists while the page waits.
  void ExpectCounts(int outer, int inner) {
    OnSelectionPage([outer, inner] {
      EXPECT_EQ(SpringCount(SpringKind::Outer), outer);
      EXPECT_EQ(SpringCount(SpringKind::Inner), inner);
    });
  }
};

TEST_F(SelectionPageTest, TheNumberOfAGroupRunsFrom1To31AndCancelAddsNothing) {
  Keys("455" + QString(40, '3') + "*");  // +1 forty times: 31
  ExpectCounts(31, 0);
  Keys("435" "55555" "*");  // -1 below 1: still 1
  ExpectCounts(31, 1);
  Keys("435" "33" "/");  // "Отмена"
  ExpectCounts(31, 1);
  Keys("5" "/");  // "Новый компл.", "Нет"
  ExpectCounts(31, 1);
  Keys("5" "1");  // "Да" empties both lists
  ExpectCounts(0, 0);
  Keys("*");
  EXPECT_FALSE(RunPage());
}

// Key 13 cancels the type and the group questions: nothing is added.
TEST_F(SelectionPageTest, TheTypeAndGroupQuestionsCancelWithKey13) {
  Keys("3-" "35-" "43-" "4-");
  ExpectCounts(0, 0);
  Keys("35" "7");
  ExpectCounts(1, 0);
  Keys("*");
  RunPage();
}

TEST_F(SelectionPageTest, AListTakesNoMoreThan190ByKeysOrByTheForm) {
  // Five groups of 31 and one of 31 more: 186 outer springs.
  for (int k = 0; k < 6; ++k) Keys("455" + QString(30, '3') + "*");
  ExpectCounts(186, 0);
  // A group of 4 would reach 190: key 4 takes a group only while the list
  // stays below 190.
  Keys("455333*");
  ExpectCounts(186, 0);
  Keys("45533*");  // 3 more: 189
  ExpectCounts(189, 0);
  Keys("354" "354");  // key 3 fills the list to 190, then takes no more
  ExpectCounts(190, 0);
  // The form's set goes into the inner list only.
  Click(form->Button1);
  ExpectCounts(190, 7);
  for (int k = 0; k < 26; ++k) Click(form->Button7);
  ExpectCounts(190, 189);
  Click(form->Button7);
  ExpectCounts(190, 189);
  OnSelectionPage([] { EXPECT_EQ(AvailableSprings.InnerPerGroup[1], 26); });
  Keys("*");
  RunPage();
}

TEST_F(SelectionPageTest, CounterAndStatusAtTheirPlaces) {
  const int x = 0;
  const QRect counter(x + 365, 567, 60, 16);  // below "подбора"
  auto counterText = [&](const QString& text) {
    const QImage keep = Screen().copy();
    DrawPanelBox(x + 290, 529, x + 490, 590);
    SetFontBold(false);
    SetTextStyle("Times New Roman", 12, kBlack);
    PutText(x + 373, 563, text);
    const QImage area = Screen().copy(counter);
    Screen() = keep;
    return area;
  };
  QImage empty, seven, many, status;
  OnSelectionPage([&] { empty = Screen().copy(counter); });
  Keys("354");
  Keys("436333333*");  // 1 outer of group 4, 7 inner of group 6 = 8
  OnSelectionPage([&] {
    seven = Screen().copy(counter);
    status = Screen().copy();
  });
  for (int k = 0; k < 4; ++k) Keys("455" + QString(30, '3') + "*");  // 4 x 31 outer
  Keys("435" + QString(30, '5') + "*");
  OnSelectionPage([&] { many = Screen().copy(counter); });
  Keys("*");
  RunPage();
  // 0, 8, and 8 + 124 + 1 = 133 springs.
  KeepPicture(empty, "counter-empty.png");
  KeepPicture(counterText("  ---"), "counter-ref.png");
  EXPECT_EQ(empty, counterText("  ---"));
  EXPECT_EQ(seven, counterText("  008"));
  EXPECT_EQ(many, counterText("  133"));
  EXPECT_NE(seven, counterText("  8"));

  // Per-group counts: group 4 outer and group 6 inner in blue, the others
  // in dark grey; no set, so the proposal column holds "---" in black.
  auto blueAt = [&](int cx, int g) {
    return CountColour(status, QRect(cx, 541 - 19 * g, 30, 19), kBlue);
  };
  auto greyAt = [&](int cx, int g) {
    return CountColour(status, QRect(cx, 541 - 19 * g, 30, 19), kDarkGrey);
  };
  EXPECT_GT(blueAt(800, 4), 0);
  EXPECT_EQ(greyAt(800, 4), 0);
  EXPECT_GT(blueAt(650, 6), 0);
  EXPECT_EQ(blueAt(650, 4), 0);
  EXPECT_GT(greyAt(650, 4), 0);
  EXPECT_GT(CountColour(status, QRect(640, 185, 60, 133), kBlack), 0);
}

TEST_F(SelectionPageTest, ThePageAtItsNamedPlaces) {
  QImage page;
  OnSelectionPage([&] { page = Screen().copy(); });
  Keys("*");
  RunPage();
  ASSERT_FALSE(page.isNull());
  EXPECT_EQ(Rgb(page, 12, 500), kSilver);           // the work area
  EXPECT_EQ(Rgb(page, 1000, 140), kBlue);           // band of the result table
  EXPECT_EQ(Rgb(page, 295, 150), kBlue);            // band of the scheme
  EXPECT_EQ(Rgb(page, 600, 300), kWhite);           // the proposal's field
  EXPECT_EQ(Rgb(page, 519, 119), kBlack);           // frame of the result table
  EXPECT_GT(CountColour(page, QRect(49, 533, 200, 45), kRed), 50);  // "KALVOR-М"
  EXPECT_GT(CountColour(page, QRect(35, 275, 220, 200), kDarkGrey), 100);  // legend
  EXPECT_GT(CountColour(page, QRect(170, 8, 500, 90), kBlue), 200);       // title
  // The scheme picture at its place.
  const QImage scheme(plat::MapPath("BMP\\dorlen.bmp"));
  ASSERT_FALSE(scheme.isNull());
  EXPECT_EQ(Rgb(page, 310 + 20, 185 + 20), scheme.pixel(20, 20) & 0xFFFFFF);
}

TEST_F(SelectionPageTest, TheLegendFollowsTheBogieType) {
  auto legend = [&](int bogieType) {
    CurrentBogieType() = bogieType;
    DrawSelectionPage("    в левую боковину", SetRecord{});
    return Screen().copy(QRect(30, 270, 240, 205));
  };
  const QImage one = legend(1), two = legend(2), three = legend(3);
  EXPECT_GT(CountColour(one, one.rect(), kDarkGrey), 100);
  EXPECT_NE(one, two);
  EXPECT_EQ(CountColour(three, three.rect(), kDarkGrey), 0);
  EXPECT_EQ(CountColour(three, three.rect(), kSilver), three.width() * three.height());
}

TEST_F(SelectionPageTest, ARightClickShowsTheFormOnlyWhileThePageIsOpen) {
  ScreenState.showAssembly = [this] { form->ShowBeside(); };
  OnSelectionPage([] { CanvasMouseDown(1, 500, 300); });
  OnSelectionPage([this] { EXPECT_FALSE(form->isVisible()); });
  OnSelectionPage([] { CanvasMouseDown(2, 500, 300); });
  OnSelectionPage([this] {
    EXPECT_TRUE(form->isVisible());
    // On the line's screen, where the operator can reach it.
    EXPECT_TRUE(QRect(0, 0, 1024, 768).contains(form->frameGeometry())) << form->pos().x();
  });
  Keys("*");
  RunPage();
  form->hide();
  CanvasMouseDown(2, 500, 300);
  EXPECT_FALSE(form->isVisible());
  // A button of a form left open changes nothing once the page is closed.
  const QImage before = Screen().copy();
  form->Button1->click();
  EXPECT_EQ(SpringCount(SpringKind::Inner), 0);
  EXPECT_EQ(Screen(), before);
  ScreenState.showAssembly = {};
}

TEST_F(SortingModeTest, FinishedPageAtItsNamedPlaces) {
  SetRecord r;
  r.BogieNumber = "5678";
  r.Left.Outer = {0, 9, 9, 8, 8, 7, 7, 6};
  r.Left.Inner = {0, 0, 0, 0, 0, 0, 0, 0};  // nothing stored: empty bounds
  QImage page;
  OnFinishedPage([&] { page = Screen().copy(); });
  Keys("*");
  Run([&] { EXPECT_EQ(FinishedSetPage(r), 11); });
  ASSERT_FALSE(page.isNull());
  EXPECT_EQ(Rgb(page, 12, 600), kSilver);
  EXPECT_EQ(Rgb(page, 595, 505), kWhite);  // the panel
  EXPECT_EQ(Rgb(page, 589, 199), kBlack);  // its frame
  const QImage picture(plat::MapPath("BMP\\prug2.bmp"));
  ASSERT_FALSE(picture.isNull());
  EXPECT_EQ(Rgb(page, 150 + 200, 190 + 150), picture.pixel(200, 150) & 0xFFFFFF);
  // The left outer cells are wider than the inner ones, which lack the bound.
  const int outerInk = CountColour(page, QRect(678, 258, 115, 98), kNavy);
  const int innerInk = CountColour(page, QRect(798, 258, 115, 98), kNavy);
  EXPECT_GT(outerInk, innerInk);
  EXPECT_GT(innerInk, 0);
  // The widest outer cell, "Гр.№ 9(255.0)", ends before the inner column.
  const QRect gap(794, 258, 4, 98);
  EXPECT_EQ(CountColour(page, gap, kWhite), gap.width() * gap.height());
  EXPECT_GT(CountColour(page, QRect(620, 200, 150, 20), kBlack), 20);  // "Параметры тележки №"
}

TEST_F(SortingModeTest, AShiftChangeEmptiesTheLists) {
  ASSERT_TRUE(AppendSprings(SpringKind::Outer, 5, 20));
  ASSERT_TRUE(AppendSprings(SpringKind::Inner, 5, 20));
  Database.ShiftChangeListener = SpringListsShiftChangeListener;  // as the program installs it
  Database.ShiftState.Day = 4;  // yesterday's shift
  Database.ShiftState.Month = 3;
  ASSERT_TRUE(SaveShiftState());
  ASSERT_TRUE(CheckShiftChange()) << qPrintable(DatabaseError());
  EXPECT_EQ(SpringCount(SpringKind::Outer), 0);
  EXPECT_EQ(SpringCount(SpringKind::Inner), 0);
  Database.ShiftChangeListener = {};
}

}  // namespace
