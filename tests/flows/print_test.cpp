// Printing from the measurement page through a real print service: a CUPS
// scheduler of the test's own (tests/print/cups-queue.sh) whose queue keeps
// every job as the PDF the program sent. A measurement in emulation, key 7
// ("Печать замера") and key 9 ("Новый лист") give one page that holds the
// record's identifier and verdict as text; without a print service the
// operator is told and the copy under Report\ holds the same; with
// Print_in_file nothing reaches the queue.
#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

#include "config/settings.h"
#include "flowsupport.h"
#include "measurement/judgement.h"
#include "platform/paths.h"
#include "springs/springtypes.h"
#include "testpaths.h"

namespace {

constexpr int kStartupMs = 13000;
const QString kNow = "2026-12-06T10:00:00";
const QString kScript = QString("wait %1\nkey 2\nwait 10000\nkey 7\nwait 300\nkey 9\nwait 1000\n")
                            .arg(kStartupMs);

// The private print service for as long as the test runs; the program
// reaches it through CUPS_SERVER and prints on its default queue.
class PrintService {
 public:
  PrintService() {
    const auto r = testsupport::Run(
        "sh", {QString(KALVOR_SOURCE_DIR) + "/tests/print/cups-queue.sh", "start", dir_.path()});
    started_ = r.finished && r.exitCode == 0;
    EXPECT_TRUE(started_) << r.finished << " " << r.exitCode << qPrintable(r.out + r.err);
    qputenv("CUPS_SERVER", (dir_.path() + "/cups.sock").toLocal8Bit());
  }
  ~PrintService() {
    testsupport::Run("sh", {QString(KALVOR_SOURCE_DIR) + "/tests/print/cups-queue.sh", "stop",
                            dir_.path()});
    qunsetenv("CUPS_SERVER");
  }
  bool started() const { return started_; }
  // The jobs the scheduler took, done or not (its own list): the program
  // hands a job over before it goes on, so after its exit the list is whole.
  QStringList Accepted() const {
    const auto r = testsupport::Run("lpstat", {"-W", "all", "-o"}, 30000,
                                    {"LC_ALL=C", "CUPS_SERVER=" + dir_.path() + "/cups.sock"});
    EXPECT_TRUE(r.finished && r.exitCode == 0) << qPrintable(r.err);
    return r.out.split('\n', Qt::SkipEmptyParts);
  }
  // The jobs that reached the queue's backend, waiting up to waitMs for the
  // first.
  QStringList Jobs(int waitMs) const {
    QElapsedTimer t;
    t.start();
    QStringList jobs;
    do {
      jobs = QDir(dir_.path() + "/out").entryList({"job-*.pdf"}, QDir::Files, QDir::Name);
      if (!jobs.isEmpty()) break;
      QThread::msleep(100);
    } while (t.elapsed() < waitMs);
    for (QString& j : jobs) j = dir_.path() + "/out/" + j;
    return jobs;
  }

 private:
  QTemporaryDir dir_;
  bool started_ = false;
};

QString PdfText(const QString& path) {
  const auto r = testsupport::Run("pdftotext", {"-layout", path, "-"});
  EXPECT_TRUE(r.finished && r.exitCode == 0) << qPrintable(r.err);
  return r.out;
}

int PdfPages(const QString& path) {
  const auto r = testsupport::Run("pdfinfo", {path});
  const auto m = QRegularExpression("Pages:\\s+(\\d+)").match(r.out);
  return m.hasMatch() ? m.captured(1).toInt() : -1;
}

// The verdict the program's judgement gives the record, read with the
// installation's bogie file.
QString Verdict(const FlowHome& home, const MeasurementRecord& record) {
  plat::SetHome(home.path());
  ResetSettingsModule();
  LoadSettings();
  ResetSpringTypesModule();
  LoadSpringTypes();
  JudgeMeasurement(record);
  const QString verdict = Judgement.SpringGood ? "Норма" : "Брак";
  ResetSpringTypesModule();
  ResetSettingsModule();
  return verdict;
}

// The report's title line on a printed page: identifier and verdict.
void ExpectReport(const QString& text, const MeasurementRecord& record, const QString& verdict) {
  const auto title = QRegularExpression("Пружина № (\\S+) \\(.*\\)\\s+-\\s+(\\S+)").match(text);
  ASSERT_TRUE(title.hasMatch()) << qPrintable(text);
  EXPECT_EQ(title.captured(1), record.Identifier);
  EXPECT_EQ(title.captured(2), verdict);
  EXPECT_TRUE(text.contains("Дата печати: 06.12.2026")) << qPrintable(text);
}

QStringList Archives(const FlowHome& home) {
  QStringList files = QDir(home.file("Report")).entryList({"sheet-*.pdf"}, QDir::Files);
  for (QString& f : files) f = home.file("Report/" + f);
  return files;
}

TEST(PrintFlow, KeysSevenAndNinePrintOnePageOnTheQueue) {
  PrintService service;
  ASSERT_TRUE(service.started());
  FlowHome home;
  const auto run = home.Play(kScript + "snap page.png\nexit\n", {"--now", kNow});
  ASSERT_TRUE(run.finished) << qPrintable(run.err);
  const auto records = ShiftRecords(home);
  ASSERT_EQ(records.size(), 1u);
  const QString verdict = Verdict(home, records[0]);

  EXPECT_EQ(service.Accepted().size(), 1);
  const QStringList jobs = service.Jobs(20000);
  ASSERT_EQ(jobs.size(), 1) << qPrintable(run.err);
  EXPECT_EQ(PdfPages(jobs[0]), 1);
  ExpectReport(PdfText(jobs[0]), records[0], verdict);
  // The copy kept under Report\ says the same; no message was needed.
  const QStringList kept = Archives(home);
  ASSERT_EQ(kept.size(), 1);
  EXPECT_TRUE(QFileInfo(kept[0]).fileName().startsWith("sheet-20261206-"));
  ExpectReport(PdfText(kept[0]), records[0], verdict);
  EXPECT_FALSE(run.err.contains("лист не напечатан")) << qPrintable(run.err);
}

TEST(PrintFlow, WithoutAPrintServiceTheOperatorIsToldWhereTheCopyIs) {
  qputenv("CUPS_SERVER", "/nonexistent/kalvor-cups.sock");
  FlowHome home;
  const auto run =
      home.Play(kScript + "dump box.txt\npress OK\nwait 300\nexit\n", {"--now", kNow});
  qunsetenv("CUPS_SERVER");
  ASSERT_TRUE(run.finished) << qPrintable(run.err);
  const auto records = ShiftRecords(home);
  ASSERT_EQ(records.size(), 1u);
  const QStringList kept = Archives(home);
  ASSERT_EQ(kept.size(), 1);
  const QString box = home.Text("box.txt");
  EXPECT_TRUE(box.startsWith("QMessageBox")) << qPrintable(box);
  EXPECT_TRUE(box.contains("Принтер не установлен")) << qPrintable(box);
  EXPECT_TRUE(box.contains("Report\\" + QFileInfo(kept[0]).fileName())) << qPrintable(box);
  EXPECT_EQ(PdfPages(kept[0]), 1);
  ExpectReport(PdfText(kept[0]), records[0], Verdict(home, records[0]));
}

TEST(PrintFlow, PrintInFileWritesThePictureAndSendsNothing) {
  PrintService service;
  ASSERT_TRUE(service.started());
  FlowHome home("[Global]\nPrint_in_file=1\n");
  // Without a desktop the picture cannot be opened; the program says so.
  const auto run =
      home.Play(kScript + "dump box.txt\npress OK\nwait 300\nexit\n", {"--now", kNow});
  ASSERT_TRUE(run.finished) << qPrintable(run.err);
  const QImage sheet(home.file("Temp/printpage.bmp"));
  ASSERT_FALSE(sheet.isNull());
  EXPECT_EQ(sheet.size(), QSize(4000, 5600));
  EXPECT_TRUE(home.Text("box.txt").contains("Temp\\printpage.bmp"));
  EXPECT_EQ(Archives(home).size(), 1);
  EXPECT_EQ(service.Accepted(), QStringList());
}

}  // namespace
