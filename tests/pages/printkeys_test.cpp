// The print keys of the database pages reach the print sheet: the browser's
// "Печать замера" and "Новый лист", and the period statistics opened from the
// browser with its own print key, whose report reads back the counts file
// the statistics page has just written. Without a print service every sheet
// is kept as a PDF under Report\, which is read back here.
#include <gtest/gtest.h>

#include <QDir>
#include <QRegularExpression>
#include <functional>

#include "config/settings.h"
#include "database/database.h"
#include "measurement/judgement.h"
#include "measurement/sequence.h"
#include "pages/pages.h"
#include "platform/clock.h"
#include "platform/paths.h"
#include "platform/pump.h"
#include "print/printsheet.h"
#include "screen/screen.h"
#include "springs/springtypes.h"
#include "keydriver.h"
#include "programhome.h"
#include "testsupport.h"

namespace {

class PrintKeysTest : public ::testing::Test {
 protected:
  void SetUp() override {
    qputenv("CUPS_SERVER", "/nonexistent/kalvor-cups.sock");
    plat::UseVirtualClock(QDateTime(QDate(2026, 12, 7), QTime(9, 30, 0)));
    ASSERT_TRUE(testsupport::OpenProgramHome(home.path() + "/inst"));
    PrintSheet.ShowMessage = [this](const QString& text) { messages << text; };
  }
  void TearDown() override { testsupport::ResetProgramModules(); }

  // The browser lights key 1, the statistics page only 7 and 12 once it has
  // counted: each key is typed only when the page it is meant for waits.
  static bool InBrowser() { return KeyEnabled(1) && KeyEnabled(13); }
  static bool InStatistics() { return KeyEnabled(12) && KeyEnabled(7) && !KeyEnabled(1); }
  struct Step {
    QChar key;
    std::function<bool()> ready;
  };
  void Play(std::vector<Step> steps) {
    for (const Step& s : steps) script.Type(s.key, s.ready);
    script.Start();
  }

  QStringList Sheets() const {
    return QDir(plat::MapPath("Report")).entryList({"sheet-*.pdf"}, QDir::Files, QDir::Name);
  }
  QString SheetText(const QString& name) const {
    const auto r = testsupport::Run("pdftotext", {"-layout", plat::MapPath("Report") + "/" + name, "-"});
    EXPECT_TRUE(r.finished && r.exitCode == 0) << qPrintable(r.err);
    return r.out;
  }

  testsupport::ScratchHome home;
  QStringList messages;
  testsupport::KeyDriver script;
};

TEST_F(PrintKeysTest, BrowserPrintsTheCurrentMeasurementAndThePeriodStatistics) {
  // Five measurements; the newest is the browser's current one.
  for (int k = 1; k <= 5; ++k) {
    MeasurementRecord r = BuildSimulatedRecord(MeasurementIdentifier(k), 1);
    r.BogieType = 1;
    ASSERT_TRUE(AppendMeasurement(r));
  }
  MeasurementRecord newest;
  ASSERT_TRUE(ReadMeasurement(4, newest));
  JudgeMeasurement(newest);
  const QString verdict = Judgement.SpringGood ? "Норма" : "Брак";

  // Key 10 puts the newest on the sheet, key 9 prints it; key 11 counts the
  // five, 7 puts the statistics on a new sheet, 12 goes back, 9 prints.
  Play({{'0', InBrowser},
        {'9', InBrowser},
        {'*', InBrowser},
        {'7', InStatistics},
        {'/', InStatistics},
        {'9', InBrowser},
        {'-', InBrowser}});
  BrowseMeasurements();
  EXPECT_TRUE(script.Done());
  EXPECT_EQ(PrintSheet.SheetReportCount, 0);
  EXPECT_EQ(ScreenState.pendingPrintCount, 0);

  // No print service: both sheets kept, and the operator told each time.
  const QStringList sheets = Sheets();
  // (Named by the time each was finished: the statistics page waits 1.5 s.)
  ASSERT_EQ(sheets.size(), 2);
  EXPECT_EQ(messages.size(), 2);

  const QString measurement = SheetText(sheets[0]);
  const auto title = QRegularExpression("Пружина № (\\S+) .*-\\s+(\\S+)").match(measurement);
  ASSERT_TRUE(title.hasMatch()) << qPrintable(measurement);
  EXPECT_EQ(title.captured(1), newest.Identifier);
  EXPECT_EQ(title.captured(2), verdict);

  // The statistics report reads Temp\Ynorms.txt as the page left it.
  QFile counts(plat::MapPath("Temp\\Ynorms.txt"));
  ASSERT_TRUE(counts.open(QIODevice::ReadOnly));
  const QStringList lines = QString::fromLatin1(counts.readAll()).split("\r\n", Qt::SkipEmptyParts);
  ASSERT_EQ(lines.size(), 7);
  EXPECT_EQ(lines[0], "5");
  const QString statistics = SheetText(sheets[1]);
  EXPECT_TRUE(statistics.contains("Статистика")) << qPrintable(statistics);
  EXPECT_FALSE(statistics.contains("Статистика за смену"));
  EXPECT_TRUE(statistics.contains(QRegularExpression("Всего замеров:\\s*5")));
  // The six counts in the order of the parameter names.
  const auto rows = QRegularExpression("мм\\s+(\\d+)\\s*$", QRegularExpression::MultilineOption)
                        .globalMatch(statistics);
  QStringList got;
  for (auto it = rows; it.hasNext();) got << it.next().captured(1);
  EXPECT_EQ(got, lines.mid(1));
}

TEST_F(PrintKeysTest, ShiftStatisticsPrintTheShiftsCounts) {
  for (int k = 1; k <= 3; ++k) {
    MeasurementRecord r = BuildSimulatedRecord(MeasurementIdentifier(k), 1);
    r.BogieType = 1;
    ASSERT_TRUE(AppendShiftMeasurement(r));
  }
  FillScreen(kSilver);
  DisableAllKeys();
  EnableKey(2);
  Play({{'7', InStatistics}, {'/', InStatistics}});
  ShowShiftStatistics();
  EXPECT_EQ(PrintSheet.SheetReportCount, 1);
  EXPECT_EQ(ScreenState.pendingPrintCount, 1);
  PrintPendingSheet();
  const QStringList sheets = Sheets();
  ASSERT_EQ(sheets.size(), 1);
  const QString text = SheetText(sheets[0]);
  EXPECT_TRUE(text.contains("Статистика за смену")) << qPrintable(text);
  EXPECT_TRUE(text.contains(QRegularExpression("Всего замеров:\\s*3")));
}

}  // namespace
