#include <gtest/gtest.h>

#include <QDir>
#include <QImage>

#include "config/settings.h"
#include "database/database.h"
#include "database/records.h"
#include "measurement/judgement.h"
#include "pages/pages.h"
#include "platform/cp1251.h"
#include "screen/screen.h"
#include "springs/springtypes.h"
#include "testsupport.h"

namespace {

constexpr QRgb kCream = 0xF5F5DC;
constexpr QRgb kOrange = 0xFF8C00;

// Bogie type 1 "18-100" with one spring type, bogie type 2 "18-578" with its
// own, ten millimetres higher; E 0.1 and every parameter shown and judged.
const char* kFile =
    "[Global]\r\nMaxChNum=2\r\n"
    "[Chassie1]\r\nName=18-100\r\nMaxSprings=1\r\nSpring1=1\r\n"
    "[Chassie2]\r\nName=18-578\r\nMaxSprings=1\r\nSpring1=2\r\n"
    "[Spring1]\r\nAltName=Наружная\r\nE=0.1\r\nNparam=6\r\nPrValue=2650\r\nPrEd=\" кгс\"\r\n"
    "PrVisible=1\r\n"
    "P1Name=Наружный диаметр, мм\r\nP1Show=1\r\nP1Analiz=1\r\nP1Max=204\r\nP1Min=196\r\n"
    "P2Name=Высота свободная, мм\r\nP2Show=1\r\nP2Analiz=1\r\nP2Max=255\r\nP2Min=246\r\n"
    "P3Name=Неперпендикулярность, мм\r\nP3Show=1\r\nP3Analiz=1\r\nP3Max=5\r\nP3Min=0\r\n"
    "P4Name=Зазор между витками, мм\r\nP4Show=1\r\nP4Analiz=1\r\nP4Max=22\r\nP4Min=15\r\n"
    "P5Name=Остаточная деформация, мм\r\nP5Show=1\r\nP5Analiz=1\r\nP5Max=2\r\nP5Min=0\r\n"
    "P6Name=Прогиб под нагрузкой, мм\r\nP6Show=1\r\nP6Analiz=1\r\nP6Max=54\r\nP6Min=44\r\n"
    "[Spring2]\r\nAltName=Наружная2\r\nE=0.1\r\nNparam=6\r\n"
    "P1Max=204\r\nP1Min=196\r\nP2Max=265\r\nP2Min=256\r\nP3Max=5\r\nP3Min=0\r\n"
    "P4Max=22\r\nP4Min=15\r\nP5Max=2\r\nP5Min=0\r\nP6Max=54\r\nP6Min=44\r\n";

// Top of the cell of row r (the spring type's row is r = 0).
int CellTop(int r) {
  return 32 * r + 204;
}

QRgb Rgb(const QImage& img, int x, int y) {
  return img.pixel(x, y) & 0xFFFFFF;
}

bool Near(const QImage& img, int x, int y, QRgb colour) {
  for (int dy = -1; dy <= 1; ++dy)
    for (int dx = -1; dx <= 1; ++dx)
      if ((img.pixel(x + dx, y + dy) & 0xFFFFFF) == colour) return true;
  return false;
}

int Count(const QImage& img, const QRect& r, QRgb colour) {
  int n = 0;
  for (int y = r.top(); y <= r.bottom(); ++y)
    for (int x = r.left(); x <= r.right(); ++x) n += (img.pixel(x, y) & 0xFFFFFF) == colour;
  return n;
}

class ResultPageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetSettingsModule();
    ResetSpringTypesModule();
    ResetDatabaseModule();
    ResetScreenModule();
    ResetJudgement();
    QDir(home.path()).mkpath("Report");
    home.write("chassie.ini", plat::ToCp1251(kFile));
    Settings.Params.ChassieIniFilename = "chassie.ini";
    LoadSpringTypes();
    FillScreen(kGrey);
  }
  void TearDown() override {
    ResetJudgement();
    ResetScreenModule();
    ResetDatabaseModule();
    ResetSpringTypesModule();
    ResetSettingsModule();
  }

  // A good spring of bogie type 1 with a free height of 247.5 mm.
  static MeasurementRecord Good() {
    MeasurementRecord r;
    r.Identifier = "0007-05032009";
    r.BogieType = 1;
    r.SpringType = 1;
    const float values[7] = {0, 200.0f, 247.5f, 5.0f, 18.0f, 0.5f, 48.0f};
    for (int p = 1; p <= 6; ++p) r.Param[p].Value = values[p];
    r.Chart[1] = 30;
    r.Chart[2] = 60;
    r.Chart[3] = 90;
    r.WagonFrom = "1234";
    r.WagonTo = "5678";
    return r;
  }

  // What a region looks like when drawn alone with the page operations, for
  // comparing texts pixel by pixel; the canvas is left as it was.
  template <typename Draw>
  static QImage Expected(const QRect& region, Draw draw) {
    const QImage saved = Screen().copy();
    SetFontBold(false);
    draw();
    const QImage part = Screen().copy(region);
    Screen() = saved;
    return part;
  }
  static QImage TitleBand(const QString& title) {
    return Expected(QRect(438, 122, 565, 38), [&] {
      FillBox(438, 122, 1003, 160, kBlue);
      SetTextStyle("Times New Roman", 16, kWhite);
      PutShadowText(444, 128, title, 1, 1, kBlack);
    });
  }
  static QRect CellRect(int r) { return QRect(782, CellTop(r), 182, 30); }
  static QImage Cell(int r, bool bad, QRgb ink, const QString& text) {
    return Expected(CellRect(r), [&] {
      FillBox(782, CellTop(r), 964, CellTop(r) + 30, bad ? kOrange : kCream);
      SetTextStyle("Times New Roman", 18, ink);
      PutShadowText(850, CellTop(r) + 2, text, 1, 1, kSilver);
    });
  }
  static void Keep(const QString& name) { testsupport::KeepPicture(Screen(), name); }

  testsupport::ScratchHome home;
};

TEST_F(ResultPageTest, GoodSpringShowsItsGroupGreenValuesGridAndChart) {
  ShowResultPage(Good());
  Keep("result-good.png");
  const QImage img = Screen().copy();

  EXPECT_TRUE(img.copy(QRect(438, 122, 565, 38)) ==
              TitleBand("Результат замера пружины №:0007-05032009(18-100) Гр:№2"));
  // "Параметры замера:НОРМА" in green, the shift's count below it.
  EXPECT_GT(Count(img, QRect(26, 510, 380, 36), kGreen), 300);
  EXPECT_EQ(Count(img, QRect(26, 510, 380, 36), kRed), 0);
  // Every cell cream with its value in green; " 5.0" right-aligned.
  EXPECT_EQ(Rgb(img, 785, CellTop(0) + 1), kCream);
  EXPECT_TRUE(img.copy(CellRect(2)) == Cell(2, false, kGreen, "247.5"));
  EXPECT_TRUE(img.copy(CellRect(3)) == Cell(3, false, kGreen, " 5.0"));
  for (int r = 1; r <= 6; ++r) {
    EXPECT_EQ(Rgb(img, 785, CellTop(r) + 1), kCream) << r;
    EXPECT_GT(Count(img, CellRect(r), kGreen), 30) << r;
    EXPECT_EQ(Count(img, CellRect(r), kOrange), 0) << r;
  }
  // The grid: eight lines under the top line, three columns down to 426.
  for (int i = 0; i <= 8; ++i) EXPECT_EQ(Rgb(img, 600, 170 + 32 * i), kBlack) << i;
  for (int vx : {480, 780, 964}) {
    EXPECT_EQ(Rgb(img, vx, 300), kBlack) << vx;
    EXPECT_EQ(Rgb(img, vx, 425), kBlack) << vx;
    EXPECT_EQ(Rgb(img, vx, 428), kWhite) << vx;
  }
  EXPECT_EQ(Rgb(img, 600, 458), kWhite);  // no ninth line
  // The chart: white field, axes, silver scale, the blue line through the
  // three points (30, 60 and 90 pixels above the base line).
  EXPECT_EQ(Rgb(img, 470, 440), kWhite);
  EXPECT_EQ(Rgb(img, 790, 500), kBlack);
  EXPECT_EQ(Rgb(img, 880, 586), kBlack);
  EXPECT_EQ(Rgb(img, 950, 586 - 18), kSilver);
  EXPECT_TRUE(Near(img, 792, 583, kBlue));
  EXPECT_TRUE(Near(img, 819, 568, kBlue));
  EXPECT_TRUE(Near(img, 846, 553, kBlue));
  EXPECT_TRUE(Near(img, 900, 523, kBlue));
  EXPECT_TRUE(Near(img, 954, 494, kBlue));
  EXPECT_FALSE(Near(img, 846, 500, kBlue));
  // The test load, "2650 кгс", at (880, 568).
  EXPECT_GT(Count(img, QRect(880, 568, 60, 16), kBlack), 20);
  // No wagon lines without VNenable.
  EXPECT_EQ(Count(img, QRect(450, 560, 300, 34), kBlack), 0);
}

TEST_F(ResultPageTest, BadSpringShowsOrangeCellsRedTextAndNoGroup) {
  MeasurementRecord r = Good();
  r.Param[6].Value = 60.0f;
  r.Param[1].Value = 190.0f;
  ShowResultPage(r);
  Keep("result-bad.png");
  const QImage img = Screen().copy();

  EXPECT_TRUE(img.copy(QRect(438, 122, 565, 38)) ==
              TitleBand("Результат замера пружины №:0007-05032009(18-100)"));
  EXPECT_GT(Count(img, QRect(26, 510, 380, 36), kRed), 300);
  EXPECT_EQ(Count(img, QRect(26, 510, 380, 36), kGreen), 0);
  EXPECT_TRUE(img.copy(CellRect(1)) == Cell(1, true, kRed, "190.0"));
  EXPECT_TRUE(img.copy(CellRect(6)) == Cell(6, true, kRed, "60.0"));
  EXPECT_TRUE(img.copy(CellRect(2)) == Cell(2, false, kGreen, "247.5"));
  EXPECT_EQ(Rgb(img, 785, CellTop(6) + 1), kOrange);
  EXPECT_EQ(Rgb(img, 785, CellTop(5) + 1), kCream);
}

TEST_F(ResultPageTest, BogieTypeTwoIsGroupedTenMillimetresLower) {
  MeasurementRecord r = Good();
  r.BogieType = 2;
  r.Param[2].Value = 257.5f;
  ShowResultPage(r);
  EXPECT_TRUE(Screen().copy(QRect(438, 122, 565, 38)) ==
              TitleBand("Результат замера пружины №:0007-05032009(18-578) Гр:№2"));
}

TEST_F(ResultPageTest, PresetVerdictsAreShownAsWords) {
  MeasurementRecord r = Good();
  r.Param[1].JudgeMode = 1;
  r.Param[1].Verdict = 0;
  r.Param[2].JudgeMode = 2;
  r.Param[2].Verdict = 0;
  r.Param[3].JudgeMode = 1;
  r.Param[3].Verdict = 1;
  ShowResultPage(r);
  EXPECT_TRUE(Screen().copy(CellRect(1)) == Cell(1, true, kRed, "Не норма"));
  EXPECT_TRUE(Screen().copy(CellRect(2)) == Cell(2, true, kRed, "Брак"));
  EXPECT_TRUE(Screen().copy(CellRect(3)) == Cell(3, false, kGreen, "Норма"));
}

TEST_F(ResultPageTest, FastModeLeavesTheUnmeasuredCellsEmptyAndTheChartUnfilled) {
  MeasurementRecord r = Good();
  r.Kind = 1;
  r.Param[1].Value = 0.0f;  // not measured
  r.Param[3].Value = 0.0f;
  r.Param[4].Value = 99.0f;
  ShowResultPage(r);
  const QImage img = Screen().copy();
  EXPECT_GT(Count(img, QRect(26, 510, 380, 36), kGreen), 300);  // good
  for (int row : {1, 3, 4}) EXPECT_TRUE(img.copy(CellRect(row)) == Cell(row, false, kGreen, ""));
  EXPECT_GT(Count(img, CellRect(2), kGreen), 30);
}

TEST_F(ResultPageTest, CalEnable1LeavesTheSetOutOfBogieTypeOne) {
  Settings.Debug.CalEnable1 = true;
  MeasurementRecord r = Good();
  r.Param[5].Value = 9.0f;  // would be bad
  ShowResultPage(r);
  const QImage img = Screen().copy();
  EXPECT_GT(Count(img, QRect(26, 510, 380, 36), kGreen), 300);
  // Five rows: the fifth is the deflection; the grid has seven lines.
  EXPECT_TRUE(img.copy(CellRect(5)) == Cell(5, false, kGreen, "48.0"));
  for (int i = 0; i <= 7; ++i) EXPECT_EQ(Rgb(img, 600, 170 + 32 * i), kBlack) << i;
  EXPECT_EQ(Rgb(img, 600, 426), kWhite);
  EXPECT_EQ(Rgb(img, 780, 393), kBlack);
  EXPECT_EQ(Rgb(img, 780, 410), kWhite);
  EXPECT_EQ(Rgb(img, 785, CellTop(6) + 1), kWhite);  // no sixth cell
}

TEST_F(ResultPageTest, Zam19ListsTheShownParametersOnly) {
  Settings.Global.Zam19 = true;
  SpringType& type = SpringTypeTable()[1].springTypes[1];
  for (int p = 1; p <= 6; ++p) type.parameters[p].Show = p == 2 || p == 6;
  MeasurementRecord r = Good();
  r.Param[6].Value = 70.0f;
  ShowResultPage(r);
  const QImage img = Screen().copy();
  EXPECT_TRUE(img.copy(CellRect(1)) == Cell(1, false, kGreen, "247.5"));
  EXPECT_TRUE(img.copy(CellRect(2)) == Cell(2, true, kRed, "70.0"));
  // A line under the head, the spring type and each row; the columns end
  // under the last row, at 298.
  for (int i = 0; i <= 4; ++i) EXPECT_EQ(Rgb(img, 600, 170 + 32 * i), kBlack) << i;
  EXPECT_EQ(Rgb(img, 600, 330), kWhite);
  EXPECT_EQ(Rgb(img, 964, 297), kBlack);
  EXPECT_EQ(Rgb(img, 964, 310), kWhite);

  // The accelerated mode's single row (the free height) has its grid too.
  for (int p = 1; p <= 6; ++p) type.parameters[p].Show = p == 2;
  FillScreen(kWhite);
  ShowResultPage(r);
  const QImage one = Screen().copy();
  for (int i = 0; i <= 3; ++i) EXPECT_EQ(Rgb(one, 600, 170 + 32 * i), kBlack) << i;
  EXPECT_EQ(Rgb(one, 780, 265), kBlack);
  EXPECT_EQ(Rgb(one, 780, 280), kWhite);
}

TEST_F(ResultPageTest, AcceleratedModeDrawsNoChartAndVNenableNamesTheWagons) {
  Database.ModeState.AcceleratedMode = true;
  Settings.Global.VNenable = true;
  ShowResultPage(Good());
  const QImage img = Screen().copy();
  EXPECT_EQ(Rgb(img, 790, 500), kWhite);
  EXPECT_EQ(Count(img, QRect(460, 430, 522, 170), kBlue), 0);
  EXPECT_TRUE(img.copy(QRect(450, 560, 330, 36)) == Expected(QRect(450, 560, 330, 36), [] {
                FillBox(450, 560, 780, 596, kWhite);
                SetTextStyle("Times New Roman", 12, kBlack);
                PutShadowText(450, 560, "Пружина снята с вагона № 1234", 1, 1, kSilver);
                PutShadowText(450, 578, "Пружина установлена на вагон № 5678", 1, 1, kSilver);
              }));
}

// A value the line did not measure leaves its cell empty and cannot make
// the spring bad; an accelerated record says so where the chart would be.
TEST_F(ResultPageTest, AnAcceleratedRecordLeavesTheUnmeasuredBlankAndSaysSo) {
  MeasurementRecord r = Good();
  r.Param[6].Value = 999.0f;
  SetParameterMeasured(r, 6, false);
  SetRecordAccelerated(r, true);
  ShowResultPage(r);
  Keep("result-accelerated.png");
  const QImage img = Screen().copy();
  EXPECT_TRUE(Judgement.SpringGood);
  EXPECT_TRUE(img.copy(CellRect(6)) == Cell(6, false, kGreen, ""));
  EXPECT_EQ(Count(img, QRect(460, 430, 522, 170), kBlue), 0);
  EXPECT_GT(Count(img, QRect(490, 440, 300, 26), kNavy), 100);
}

TEST_F(ResultPageTest, RecordOutsideTheTableIsShownAsNotJudged) {
  for (int bogie : {3, 17, 200}) {
    FillScreen(kGrey);
    MeasurementRecord r = Good();
    r.BogieType = static_cast<uint8_t>(bogie);
    ShowResultPage(r);
    const QImage img = Screen().copy();
    EXPECT_FALSE(Judgement.Judged) << bogie;
    EXPECT_GT(Count(img, QRect(26, 510, 380, 36), kNavy), 300) << bogie;
    // Values in black on cream: no verdict colour anywhere in the table.
    EXPECT_EQ(Count(img, QRect(782, 204, 182, 222), kGreen), 0) << bogie;
    EXPECT_EQ(Count(img, QRect(782, 204, 182, 222), kRed), 0) << bogie;
    EXPECT_EQ(Count(img, QRect(782, 204, 182, 222), kOrange), 0) << bogie;
    EXPECT_TRUE(img.copy(CellRect(2)) == Cell(2, false, kBlack, "247.5")) << bogie;
    EXPECT_TRUE(img.copy(QRect(438, 122, 565, 38)) ==
                TitleBand("Результат замера пружины №:0007-05032009(?)"))
        << bogie;
  }
  MeasurementRecord r = Good();
  r.SpringType = 2;
  ShowResultPage(r);
  EXPECT_FALSE(Judgement.Judged);
}

TEST_F(ResultPageTest, DamagedChartPointsStayOnTheChart) {
  MeasurementRecord r = Good();
  r.Chart[1] = 1000000000;
  r.Chart[2] = -5000;
  r.Chart[3] = INT32_MIN;
  ShowResultPage(r);
  const QImage img = Screen().copy();
  EXPECT_EQ(Count(img, QRect(792, 300, 170, 145), kBlue), 0);
  EXPECT_EQ(Count(img, QRect(792, 587, 170, 30), kBlue), 0);
  EXPECT_TRUE(Near(img, 846, 446, kBlue));  // held to the top of the axis
  EXPECT_TRUE(Near(img, 900, 583, kBlue));  // and to its base
}

TEST_F(ResultPageTest, ShiftCountIsTheNumberOfStoredRecords) {
  // The measurement shown is stored before its page is drawn: two records.
  MeasurementRecord stored = Good();
  ASSERT_TRUE(AppendShiftMeasurement(stored));
  ASSERT_TRUE(AppendShiftMeasurement(stored));
  ShowResultPage(Good());
  const QImage withTwo = Screen().copy(QRect(16, 554, 400, 40));
  const QImage expected = Expected(QRect(16, 554, 400, 40), [] {
    DrawPanelBox(8, 464, 420, 604);
    SetTextStyle("Impact", 24, kGreen);
    PutShadowText(16, 554, "Всего замеров за смену:2", 1, 1, kSilver);
  });
  EXPECT_TRUE(withTwo == expected);
}

}  // namespace
