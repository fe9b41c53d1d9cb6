// The print sheet: the reports at their places, four to a sheet, the
// variants of the measurement report, the statistics and set reports, the
// picture file, the PDF copy when no printer is there, and the fit of a
// sheet on a printer page.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QRegularExpression>

#include "config/settings.h"
#include "database/database.h"
#include "measurement/judgement.h"
#include "measurement/sequence.h"
#include "platform/clock.h"
#include "platform/paths.h"
#include "platform/textfile.h"
#include "print/printsheet.h"
#include "screen/screen.h"
#include "springs/springtypes.h"
#include "programhome.h"
#include "testsupport.h"

namespace {

// The y of row r in the slot of report k.
int RowY(int k, int r) {
  return 4 * (250 * k + r);
}

// Dark pixels in a rectangle of the sheet.
int Ink(const QImage& img, const QRect& r) {
  int n = 0;
  const QRect in = r.intersected(img.rect());
  for (int y = in.top(); y <= in.bottom(); ++y)
    for (int x = in.left(); x <= in.right(); ++x) n += qGray(img.pixel(x, y)) < 128;
  return n;
}

// The inside of a text line whose cell starts at y (rows are 64 px apart,
// and the cells of a 48 pt font a little higher: descenders reach into the
// next row's cell).
QRect Line(int x, int y, int width = 600, int height = 60) {
  return QRect(x, y + 6, width, height - 12);
}

// Bits per pixel of a BMP file.
int BmpDepth(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return -1;
  const QByteArray head = f.read(30);
  return head.size() < 30 ? -1 : static_cast<uint8_t>(head[28]) | static_cast<uint8_t>(head[29]) << 8;
}

class PrintSheetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // No print service: the sheets go to their copies only.
    qputenv("CUPS_SERVER", "/nonexistent/kalvor-cups.sock");
    plat::UseVirtualClock(QDateTime(QDate(2026, 12, 6), QTime(10, 0, 0)));
    ASSERT_TRUE(testsupport::OpenProgramHome(home.path() + "/inst"));
    PrintSheet.ShowMessage = [this](const QString& text) { messages << text; };
    PrintSheet.AfterPrint = [this] { ++afterPrint; };
  }
  void TearDown() override { testsupport::ResetProgramModules(); }

  static MeasurementRecord Record(int number, int springType = 1) {
    MeasurementRecord r = BuildSimulatedRecord(MeasurementIdentifier(number), springType);
    r.BogieType = 1;
    return r;
  }
  QString Mapped(const QString& systemPath) const { return plat::MapPath(systemPath); }
  QStringList Archives() const {
    return QDir(Mapped("Report")).entryList({"sheet-*.pdf"}, QDir::Files, QDir::Name);
  }
  // The sheet last written to Temp\printpage.bmp.
  QImage PictureFile() const { return QImage(Mapped("Temp\\printpage.bmp")); }
  static QString PdfText(const QString& path) {
    const auto r = testsupport::Run("pdftotext", {"-layout", path, "-"});
    EXPECT_TRUE(r.finished && r.exitCode == 0) << qPrintable(r.err);
    return r.out;
  }
  static int PdfPages(const QString& path) {
    const auto r = testsupport::Run("pdfinfo", {path});
    const auto m = QRegularExpression("Pages:\\s+(\\d+)").match(r.out);
    return m.hasMatch() ? m.captured(1).toInt() : -1;
  }
  // A sheet is kept at a size that shows the whole page on a screen.
  static void Keep(const QImage& img, const QString& name) {
    testsupport::KeepPicture(
        img.scaled(1000, 1400, Qt::IgnoreAspectRatio, Qt::SmoothTransformation), name);
  }

  testsupport::ScratchHome home;
  QStringList messages;
  int afterPrint = 0;
};

TEST_F(PrintSheetTest, FourReportsMakeOneSheetAndTheFifthStartsANewOne) {
  Settings.Global.Print_in_file = true;
  for (int n = 1; n <= 3; ++n) {
    ASSERT_TRUE(AddMeasurementReport(Record(n)));
    EXPECT_EQ(PrintSheet.SheetReportCount, n);
    EXPECT_EQ(ScreenState.pendingPrintCount, n);  // the clock box's count
  }
  EXPECT_FALSE(QFile::exists(Mapped("Temp\\printpage.bmp")));
  EXPECT_TRUE(Archives().isEmpty());
  const QImage before = PrintSheet.Sheet.copy();

  ASSERT_TRUE(AddMeasurementReport(Record(4)));
  EXPECT_EQ(PrintSheet.SheetReportCount, 0);
  EXPECT_EQ(ScreenState.pendingPrintCount, 0);
  EXPECT_TRUE(PrintSheet.Sheet.isNull());
  const QImage sheet = PictureFile();
  ASSERT_FALSE(sheet.isNull());
  Keep(sheet, "sheet-four.png");
  EXPECT_EQ(sheet.size(), QSize(4000, 5600));
  EXPECT_EQ(BmpDepth(Mapped("Temp\\printpage.bmp")), 24);
  // The three reports of before are still where they were.
  const QRect firstThree(0, 0, 4000, RowY(3, 0) + 900);
  EXPECT_EQ(sheet.copy(firstThree).convertToFormat(QImage::Format_RGB888),
            before.copy(firstThree));
  // Header: the two centred title lines, the emblem in its natural size,
  // the depot and the system number.
  EXPECT_GT(Ink(sheet, QRect(0, 160, 4000, 96)), 2000);
  EXPECT_EQ(Ink(sheet, QRect(0, 160, 400, 200)), 0);  // centred, not from the left
  const QImage emblem(Mapped("BMP\\emblemp.bmp"));
  ASSERT_FALSE(emblem.isNull());
  EXPECT_EQ(sheet.copy(QRect(QPoint(160, 520), emblem.size())).convertToFormat(QImage::Format_RGB32),
            emblem.convertToFormat(QImage::Format_RGB32));
  EXPECT_GT(Ink(sheet, Line(560, 560, 1500, 80)), 500);
  EXPECT_GT(Ink(sheet, Line(560, 680, 1500, 80)), 500);
  // Each slot: the title, the column heads, six parameter rows, the
  // separator; nothing in the gap above the next title.
  for (int k = 0; k < 4; ++k) {
    SCOPED_TRACE(k);
    EXPECT_GT(Ink(sheet, Line(70, 4 * 250 * k + 970, 2000)), 500);
    EXPECT_GT(Ink(sheet, Line(280, RowY(k, 280), 300)), 200);   // "Параметр"
    EXPECT_GT(Ink(sheet, Line(1480, RowY(k, 280), 300)), 200);  // "Значение"
    EXPECT_GT(Ink(sheet, Line(2160, RowY(k, 280), 300)), 200);  // "Заключение"
    EXPECT_EQ(Ink(sheet, Line(280, RowY(k, 16 + 290), 3000)), 0);  // row 1 stays empty
    for (int r = 2; r <= 7; ++r) {
      EXPECT_GT(Ink(sheet, Line(280, RowY(k, 16 * r + 290), 800)), 100) << r;
      EXPECT_GT(Ink(sheet, Line(1520, RowY(k, 16 * r + 290), 300)), 50) << r;
      EXPECT_GT(Ink(sheet, Line(2200, RowY(k, 16 * r + 290), 300)), 50) << r;
    }
    EXPECT_GT(Ink(sheet, Line(200, RowY(k, 434), 3700)), 1000);  // the dashes
    EXPECT_EQ(Ink(sheet, QRect(0, RowY(k, 434) + 70, 4000, 100)), 0);
  }
  // The footer: date line, two blank lines, the signature line.
  EXPECT_GT(Ink(sheet, Line(280, 5000, 1500, 96)), 500);
  EXPECT_EQ(Ink(sheet, QRect(0, 5110, 4000, 170)), 0);
  EXPECT_GT(Ink(sheet, Line(280, 5000 + 3 * 110, 1500, 110)), 500);

  // The fifth report starts a sheet with its header in the first slot.
  ASSERT_TRUE(AddMeasurementReport(Record(5)));
  EXPECT_EQ(PrintSheet.SheetReportCount, 1);
  const QImage fifth = PrintSheet.Sheet;
  EXPECT_EQ(fifth.copy(QRect(0, 0, 4000, 900)), sheet.copy(QRect(0, 0, 4000, 900)).convertToFormat(QImage::Format_RGB888));
  EXPECT_GT(Ink(fifth, Line(70, 970, 2000)), 500);
  EXPECT_EQ(Ink(fifth, QRect(0, RowY(1, 200), 4000, 5600 - RowY(1, 200))), 0);
  // Only that the picture file could not be opened here (no desktop).
  for (const QString& m : messages) EXPECT_TRUE(m.startsWith("Лист записан в Temp\\printpage.bmp")) << qPrintable(m);
}

TEST_F(PrintSheetTest, RowsFollowTheSwitchesOfTheLine) {
  Settings.Global.Print_in_file = true;
  const MeasurementRecord normal = Record(1);
  MeasurementRecord fast = Record(2);
  fast.Kind = 1;
  // Report 1: the normal rows; report 2: a fast measurement; report 3:
  // CalEnable1 with bogie type 1; report 4: Zam19 with parameters 1 and 5
  // shown, of a fast measurement.
  ASSERT_TRUE(AddMeasurementReport(normal));
  ASSERT_TRUE(AddMeasurementReport(fast));
  Settings.Debug.CalEnable1 = true;
  ASSERT_TRUE(AddMeasurementReport(normal));
  Settings.Debug.CalEnable1 = false;
  Settings.Global.Zam19 = true;
  SpringType& type = SpringTypeTable()[1].springTypes[fast.SpringType];
  for (int p = 1; p <= 6; ++p) type.parameters[p].Show = p == 1 || p == 5;
  ASSERT_TRUE(AddMeasurementReport(fast));
  const QImage sheet = PictureFile();
  ASSERT_FALSE(sheet.isNull());
  Keep(sheet, "sheet-variants.png");
  auto row = [&](int k, int r) {
    return sheet.copy(QRect(0, RowY(k, 16 * r + 290) + 6, 4000, 56));
  };
  auto cell = [&](int k, int r, int x) { return Ink(sheet, Line(x, RowY(k, 16 * r + 290), 300)); };

  // Fast: parameters 1, 3 and 4 (rows 2, 4, 5) have their name only.
  for (int r : {2, 4, 5}) {
    EXPECT_GT(cell(1, r, 280), 100) << r;
    EXPECT_EQ(cell(1, r, 1520), 0) << r;
    EXPECT_EQ(cell(1, r, 2200), 0) << r;
  }
  for (int r : {3, 6, 7}) EXPECT_GT(cell(1, r, 1520), 50) << r;
  // CalEnable1, bogie type 1: parameter 6 stands in parameter 5's row, the
  // last row stays empty; the rows above are the normal ones.
  EXPECT_EQ(row(2, 6), row(0, 7));
  EXPECT_EQ(Ink(sheet, QRect(0, RowY(2, 16 * 7 + 290) + 6, 4000, 52)), 0);
  for (int r = 2; r <= 5; ++r) EXPECT_EQ(row(2, r), row(0, r)) << r;
  // Zam19: the two shown parameters from row 1 on, with their values even
  // in a fast measurement; nothing below them.
  for (int r : {1, 2}) {
    EXPECT_GT(cell(3, r, 280), 100) << r;
    EXPECT_GT(cell(3, r, 1520), 50) << r;
    EXPECT_GT(cell(3, r, 2200), 50) << r;
  }
  const int below = RowY(3, 16 * 3 + 290) + 6;
  EXPECT_EQ(Ink(sheet, QRect(0, below, 4000, RowY(3, 434) - below)), 0);

  // A value marked as not measured is blank in both layouts; an accelerated
  // record says so in its title line.
  MeasurementRecord accelerated = Record(5);
  SetParameterMeasured(accelerated, 5, false);
  SetRecordAccelerated(accelerated, true);
  ASSERT_TRUE(AddMeasurementReport(accelerated));
  Settings.Global.Zam19 = false;
  ASSERT_TRUE(AddMeasurementReport(accelerated));
  PrintPendingSheet();
  const QImage marked = PictureFile();
  Keep(marked, "sheet-marked.png");
  EXPECT_EQ(Ink(marked, Line(1520, RowY(0, 16 * 2 + 290), 300)), 0);
  EXPECT_GT(Ink(marked, Line(1520, RowY(1, 16 * 5 + 290), 300)), 50);  // p4 measured here
  EXPECT_EQ(Ink(marked, Line(1520, RowY(1, 16 * 6 + 290), 300)), 0);
  EXPECT_GT(Ink(marked, Line(0, RowY(1, 0) + 970, 4000)),
            Ink(sheet, Line(0, RowY(0, 0) + 970, 4000)) + 500);
}

TEST_F(PrintSheetTest, StatisticsAndSetReportsAtTheirPlaces) {
  Settings.Global.Print_in_file = true;
  ASSERT_TRUE(plat::WriteTextLines("Temp\\norms.txt", {"12", "11", "10", "9", "8", "7", "6"}));
  ASSERT_TRUE(plat::WriteTextLines("Temp\\Ynorms.txt", {"1234", "1", "2", "3", "4", "5", "6"}));
  ASSERT_TRUE(AddStatisticsReport(StatisticsKind::Shift));
  ASSERT_TRUE(AddStatisticsReport(StatisticsKind::Period));
  SetRecord set;
  set.BogieNumber = "4711";
  set.BogieYear = "2019";
  set.BogieWorks = "12";
  set.Left.Number = "77";
  set.Right.Number = "78";
  for (int k = 1; k <= 7; ++k) {
    set.Left.Outer[k] = k;
    set.Left.Inner[k] = 9;
    set.Right.Outer[k] = 8;
    set.Right.Inner[k] = k % 3;
  }
  ASSERT_TRUE(AddSetReport(set));
  ASSERT_TRUE(AddMeasurementReport(Record(1)));
  const QImage sheet = PictureFile();
  ASSERT_FALSE(sheet.isNull());
  Keep(sheet, "sheet-stat-set.png");
  const QString text = PdfText(Mapped(PrintSheet.LastArchivePath));
  for (int k : {0, 1}) {
    SCOPED_TRACE(k);
    EXPECT_GT(Ink(sheet, Line(280, RowY(k, 260), 500)), 200);       // title
    EXPECT_GT(Ink(sheet, Line(1480, RowY(k, 280), 500)), 200);      // "Замеров в норме"
    EXPECT_GT(Ink(sheet, Line(200, RowY(k, 418), 800)), 200);       // the total
    for (int i = 2; i <= 7; ++i) {
      EXPECT_GT(Ink(sheet, Line(280, RowY(k, 16 * i + 290), 800)), 100) << i;
      // A count right-aligned in four places: its last character cell.
      EXPECT_GT(Ink(sheet, Line(1520 + 3 * 38, RowY(k, 16 * i + 290), 38)), 10) << i;
    }
  }
  EXPECT_TRUE(text.contains("Статистика за смену"));
  EXPECT_TRUE(text.contains("Всего замеров:12"));
  EXPECT_TRUE(text.contains("Всего замеров:1234"));
  // The set: the bogie and side-frame lines, the column heads and the seven
  // positions with the four groups each.
  EXPECT_GT(Ink(sheet, Line(280, RowY(2, 240), 1500)), 300);
  EXPECT_GT(Ink(sheet, Line(2200, RowY(2, 260), 1000)), 300);
  for (int x : {280, 1400, 2200, 3400}) EXPECT_GT(Ink(sheet, Line(x, RowY(2, 280), 300)), 200) << x;
  for (int k = 1; k <= 7; ++k)
    for (int x : {280, 480, 1600, 2400, 3600})
      EXPECT_GT(Ink(sheet, Line(x, RowY(2, 16 * k + 290), 40, 70)), 10) << k << " " << x;
  EXPECT_TRUE(text.contains("Подбор комплекта в тележку : №4711(2019)12"));
  EXPECT_TRUE(text.contains("Правая боковина: №78"));
}

TEST_F(PrintSheetTest, MissingTextFilesAddNothingAndSayWhich) {
  ASSERT_TRUE(AddMeasurementReport(Record(1)));
  const QImage pending = PrintSheet.Sheet.copy();
  // No statistics of the period yet.
  EXPECT_FALSE(AddStatisticsReport(StatisticsKind::Period));
  ASSERT_EQ(messages.size(), 1);
  EXPECT_TRUE(messages[0].contains("Temp\\Ynorms.txt")) << qPrintable(messages[0]);
  EXPECT_EQ(PrintSheet.LastError, messages[0]);
  // A parameter-name file cut short.
  ASSERT_TRUE(plat::WriteTextLines("texts\\pparam.txt", {"Параметры", "Диаметр", "Высота"}));
  EXPECT_FALSE(AddMeasurementReport(Record(2)));
  EXPECT_FALSE(AddSetReport(SetRecord{}));
  ASSERT_EQ(messages.size(), 3);
  EXPECT_TRUE(messages[1].contains("texts\\pparam.txt"));
  // Gone altogether.
  QFile::remove(Mapped("texts\\pparam.txt"));
  EXPECT_FALSE(AddMeasurementReport(Record(2)));
  EXPECT_TRUE(messages.last().contains("texts\\pparam.txt"));
  // The pending sheet is as it was, its count too, and nothing was printed.
  EXPECT_EQ(PrintSheet.SheetReportCount, 1);
  EXPECT_EQ(ScreenState.pendingPrintCount, 1);
  EXPECT_EQ(PrintSheet.Sheet, pending);
  EXPECT_TRUE(Archives().isEmpty());
}

TEST_F(PrintSheetTest, AMissingEmblemLeavesItsPlaceEmpty) {
  Settings.Global.Print_in_file = true;
  QFile::remove(Mapped("BMP\\emblemp.bmp"));
  EXPECT_TRUE(AddMeasurementReport(Record(1)));
  ASSERT_EQ(messages.size(), 1);
  EXPECT_TRUE(messages[0].contains("BMP\\emblemp.bmp"));
  EXPECT_EQ(PrintSheet.SheetReportCount, 1);
  PrintPendingSheet();
  const QImage sheet = PictureFile();
  ASSERT_FALSE(sheet.isNull());
  EXPECT_EQ(Ink(sheet, QRect(160, 520, 360, 360)), 0);
  EXPECT_GT(Ink(sheet, Line(560, 560, 1500, 80)), 500);
  EXPECT_GT(Ink(sheet, Line(70, 970, 2000)), 500);
}

TEST_F(PrintSheetTest, NewSheetWithNothingPendingDoesNothing) {
  PrintPendingSheet();
  Settings.Global.Print_in_file = true;
  PrintPendingSheet();
  EXPECT_TRUE(Archives().isEmpty());
  EXPECT_FALSE(QFile::exists(Mapped("Temp\\printpage.bmp")));
  EXPECT_TRUE(messages.isEmpty());
  EXPECT_EQ(afterPrint, 0);
}

TEST_F(PrintSheetTest, WithoutAPrinterTheSheetIsKeptAsPdfAndTheOperatorTold) {
  const MeasurementRecord record = Record(3);
  ASSERT_TRUE(AddMeasurementReport(record));
  PrintPendingSheet();
  EXPECT_EQ(PrintSheet.SheetReportCount, 0);
  EXPECT_EQ(afterPrint, 0);
  ASSERT_EQ(Archives(), QStringList{"sheet-20261206-100000.pdf"});
  EXPECT_EQ(PrintSheet.LastArchivePath, "Report\\sheet-20261206-100000.pdf");
  ASSERT_EQ(messages.size(), 1);
  EXPECT_TRUE(messages[0].contains("Принтер не установлен"));
  EXPECT_TRUE(messages[0].contains("Report\\sheet-20261206-100000.pdf"));
  const QString pdf = Mapped(PrintSheet.LastArchivePath);
  EXPECT_EQ(PdfPages(pdf), 1);
  JudgeMeasurement(record);
  const QString text = PdfText(pdf);
  const auto title = QRegularExpression("Пружина № (\\S+) .*-\\s+(\\S+)").match(text);
  ASSERT_TRUE(title.hasMatch()) << qPrintable(text);
  EXPECT_EQ(title.captured(1), record.Identifier);
  EXPECT_EQ(title.captured(2), Judgement.SpringGood ? "Норма" : "Брак");
  EXPECT_TRUE(text.contains("Дата печати: 06.12.2026"));
  // A second sheet within the same second gets a name of its own.
  ASSERT_TRUE(AddMeasurementReport(record));
  PrintPendingSheet();
  EXPECT_EQ(Archives(),
            (QStringList{"sheet-20261206-100000-2.pdf", "sheet-20261206-100000.pdf"}));
}

// The archived copy keeps 10 mm (28.3 pt) clear of every edge of the A4 page
// and is not squeezed by MatixScale, which is the printer's alone.
TEST_F(PrintSheetTest, TheArchivedSheetKeepsItsMarginAndItsProportions) {
  auto words = [this](double matixScale) {
    Settings.Global.MatixScale = matixScale;
    EXPECT_TRUE(AddMeasurementReport(Record(3)));
    PrintPendingSheet();
    const auto r = testsupport::Run("pdftotext", {"-bbox", Mapped(PrintSheet.LastArchivePath), "-"});
    EXPECT_TRUE(r.finished && r.exitCode == 0) << qPrintable(r.err);
    static const QRegularExpression word(
        "xMin=\"([\\d.]+)\" yMin=\"([\\d.]+)\" xMax=\"([\\d.]+)\" yMax=\"([\\d.]+)\"");
    QList<QRectF> boxes;
    for (auto it = word.globalMatch(r.out); it.hasNext();) {
      const auto m = it.next();
      boxes << QRectF(QPointF(m.captured(1).toDouble(), m.captured(2).toDouble()),
                      QPointF(m.captured(3).toDouble(), m.captured(4).toDouble()));
    }
    return boxes;
  };
  const QList<QRectF> plain = words(1.0), squeezed = words(0.8);
  ASSERT_GT(plain.size(), 20);
  QRectF all;
  for (const QRectF& b : plain) all |= b;
  EXPECT_GE(all.left(), 28.0);
  EXPECT_GE(all.top(), 28.0);
  EXPECT_LE(all.right(), 595.3 - 28.0);
  EXPECT_LE(all.bottom(), 841.9 - 28.0);
  EXPECT_EQ(plain, squeezed);
}

}  // namespace

TEST_F(PrintSheetTest, ASheetWhoseCopyCannotBeWrittenStaysPendingAndIsKeptLater) {
  Settings.Global.Print_in_file = true;
  ASSERT_TRUE(AddMeasurementReport(Record(1)));
  const QImage pending = PrintSheet.Sheet.copy();
  // A file where the folder Report\ should be: no copy can be written.
  const QString report = Mapped("Report");
  ASSERT_TRUE(QDir().rename(report, report + ".away"));
  home.write("inst/Report", "not a folder");
  PrintPendingSheet();
  ASSERT_EQ(messages.size(), 1);
  EXPECT_TRUE(messages[0].contains("Лист не напечатан")) << qPrintable(messages[0]);
  EXPECT_EQ(PrintSheet.SheetReportCount, 1);
  EXPECT_EQ(ScreenState.pendingPrintCount, 1);
  EXPECT_EQ(PrintSheet.Sheet, pending);  // without the foot drawn for the copy
  EXPECT_FALSE(QFile::exists(Mapped("Temp\\printpage.bmp")));  // nor printed
  // A full sheet that cannot be kept takes no fifth report.
  for (int n = 2; n <= 4; ++n) EXPECT_TRUE(AddMeasurementReport(Record(n)));
  EXPECT_EQ(PrintSheet.SheetReportCount, 4);
  EXPECT_FALSE(AddMeasurementReport(Record(5)));
  EXPECT_EQ(KeepPendingSheet(), QString());
  EXPECT_FALSE(PrintSheet.LastError.isEmpty());

  // Report\ back: the end of the program keeps the sheet as its copy.
  ASSERT_TRUE(QFile::remove(report));
  ASSERT_TRUE(QDir().rename(report + ".away", report));
  EXPECT_EQ(KeepPendingSheet(), "Report\\sheet-20261206-100000.pdf");
  EXPECT_EQ(PrintSheet.SheetReportCount, 0);
  EXPECT_FALSE(QFile::exists(Mapped("Temp\\printpage.bmp")));
  const QString text = PdfText(Mapped("Report\\sheet-20261206-100000.pdf"));
  EXPECT_EQ(text.count("Пружина №"), 4) << qPrintable(text);
  EXPECT_EQ(KeepPendingSheet(), QString());  // nothing pending
  EXPECT_TRUE(PrintSheet.LastError.isEmpty());
}
