#include "print/printsheet.h"

#include <QFile>
#include <QFontMetrics>
#include <QPainter>
#include <QRegularExpression>
#include <algorithm>
#include <cstdio>
#include <optional>

#include "config/settings.h"
#include "database/records.h"
#include "desktop/desktop.h"
#include "measurement/judgement.h"
#include "platform/clock.h"
#include "platform/paths.h"
#include "platform/textfile.h"
#include "screen/fonts.h"
#include "screen/screen.h"
#include "springs/springtypes.h"

TPrintSheet PrintSheet;

namespace {

const QString kParameterNames = QStringLiteral("texts\\pparam.txt");
const QString kEmblem = QStringLiteral("BMP\\emblemp.bmp");
const QString kPictureFile = QStringLiteral("Temp\\printpage.bmp");
// Every report's files hold at least this many lines: a heading (or the
// total) and the six parameters.
constexpr int kReportLines = 7;

void Tell(const QString& text) {
  std::fprintf(stderr, "kalvor: %s\n", qPrintable(text));
  if (PrintSheet.ShowMessage) PrintSheet.ShowMessage(text);
}

// A report that cannot be made: nothing is drawn, the operator is told.
bool Refuse(const QString& text) {
  PrintSheet.LastError = text;
  Tell(text);
  return false;
}

// The first kReportLines lines of a report's text file, or nothing after
// the message naming the file.
std::optional<QStringList> ReportLines(const QString& file) {
  if (!QFile::exists(plat::MapPath(file))) {
    Refuse(QStringLiteral("Нет файла %1: отчет не добавлен в лист.").arg(file));
    return std::nullopt;
  }
  std::optional<QStringList> lines = plat::ReadTextLines(file);
  if (!lines) {
    Refuse(QStringLiteral("Файл %1 не читается: отчет не добавлен в лист.").arg(file));
    return std::nullopt;
  }
  if (lines->size() < kReportLines) {
    Refuse(QStringLiteral("В файле %1 меньше %2 строк: отчет не добавлен в лист.")
               .arg(file)
               .arg(kReportLines));
    return std::nullopt;
  }
  return lines;
}

void SetSheetFont(const QString& name, int size) {
  PrintSheet.FontName = name;
  PrintSheet.FontSize = size;
}

QFont SheetFont() {
  return PageFont(PrintSheet.FontName, PrintSheet.FontSize, false);
}

void PaintOp(QPainter& painter, const SheetOp& op) {
  if (!op.picture.isNull())
    painter.drawImage(op.at, op.picture);
  else
    PutTextCell(painter, op.font, kBlack, op.at.x(), op.at.y(), op.text);
}

// Draws the operation on the sheet's bitmap and keeps it for the replays.
void Record(SheetOp op) {
  QPainter painter(&PrintSheet.Sheet);
  PaintOp(painter, op);
  painter.end();
  PrintSheet.Drawing.push_back(std::move(op));
}

QStringList SplitLines(const QString& text) {
  static const QRegularExpression breaks(QStringLiteral("\r\n|\r|\n"));
  return text.split(breaks);
}

// The y of row r of the slot at q.
int SlotY(int q, int r) {
  return 4 * (q + r);
}

int SlotOffset() {
  return 250 * PrintSheet.SheetReportCount;
}

void SheetTextRight(int x, int y, int width, const QString& text) {
  SheetText(x, y, text.rightJustified(width, ' '));
}

QString Value(float v) {
  return QString::asprintf("%4.1f", static_cast<double>(v));
}

// A new sheet with its header. A missing emblem leaves its place empty and
// is named to the operator: the reports matter more than the picture.
void StartSheet() {
  PrintSheet.Sheet = QImage(kSheetWidth, kSheetHeight, QImage::Format_RGB888);
  PrintSheet.Sheet.fill(Qt::white);
  PrintSheet.Drawing.clear();
  SetSheetFont(QStringLiteral("TimesNewRoman"), 72);
  SheetCentredText(160, QStringLiteral("Автоматизированная линия измерения и сортировки\r"
                                       "пружин рессорного комплекта грузовых вагонов "
                                       "\"Kalvor-М\""));
  QImage emblem(plat::MapPath(kEmblem));
  if (emblem.isNull()) {
    const QString text = QStringLiteral("Нет рисунка %1: лист начат без эмблемы.").arg(kEmblem);
    PrintSheet.LastError = text;
    Tell(text);
  } else {
    SheetOp op;
    op.at = QPoint(160, 520);
    op.picture = emblem.convertToFormat(QImage::Format_RGB888);
    Record(std::move(op));
  }
  SetSheetFont(QStringLiteral("Courier"), 64);
  const auto& depo = Settings.Depo;
  SheetText(560, 560, depo.Depo1Name + "  " + depo.DepoName);
  SheetText(560, 680, QStringLiteral("Заводской номер системы: ") + depo.DeviceId);
}

bool FinishSheet();

// The common frame of every report: the sheet started when none is pending
// before the report is drawn, the separator and the count after it. A full
// sheet still pending (its copy could not be written) is finished first;
// while it cannot be, no report is added.
bool BeginReport() {
  PrintSheet.LastError.clear();
  if (PrintSheet.SheetReportCount == 4 && !FinishSheet())
    return Refuse(PrintSheet.LastError + QStringLiteral(" Отчет не добавлен: лист заполнен."));
  if (PrintSheet.SheetReportCount == 0) StartSheet();
  return true;
}

void EndReport(int q) {
  SheetText(200, SlotY(q, 434), QString(99, '-'));
  const bool full = PrintSheet.SheetReportCount == 3;
  ++PrintSheet.SheetReportCount;
  ScreenState.pendingPrintCount = PrintSheet.SheetReportCount;
  if (full) FinishSheet();
}

// Report\sheet-YYYYMMDD-HHMMSS.pdf, with -2, -3, ... when a sheet of the same
// second is there already.
QString ArchiveName() {
  const QString stem =
      "Report\\sheet-" + plat::CurrentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
  QString name = stem + ".pdf";
  for (int n = 2; QFile::exists(plat::MapPath(name)); ++n)
    name = stem + QStringLiteral("-%1.pdf").arg(n);
  return name;
}

// Lays the sheet on an A4 page and replays its drawing. The sheet keeps
// kSheetMarginMm clear of the paper's edges (the page's own margins count
// towards it), where printers clip, and keeps its proportions; matixScale
// then stretches its width, for a printer that squeezes what it prints.
void PaintSheetOnA4(QPainter& painter, const plat::PrintPage& page, double matixScale) {
  constexpr double kA4WidthMm = 210.0;
  constexpr double kSheetMarginMm = 10.0;
  const double pxPerMm = (page.pixels.width() + 2.0 * page.offset.x()) / kA4WidthMm;
  const double mx = std::max(0.0, kSheetMarginMm * pxPerMm - page.offset.x());
  const double my = std::max(0.0, kSheetMarginMm * pxPerMm - page.offset.y());
  const double w = page.pixels.width() - 2 * mx, h = page.pixels.height() - 2 * my;
  if (w <= 0 || h <= 0) return;
  const double scale = std::min(w / kSheetWidth, h / kSheetHeight);
  painter.translate(mx, my);
  painter.scale(scale * matixScale, scale);
  PaintSheet(painter, PrintSheet.Drawing);
}

// The archived copy: the sheet as it was drawn.
void PaintOnPage(QPainter& painter, const plat::PrintPage& page) {
  PaintSheetOnA4(painter, page, 1.0);
}

void PaintOnPrinterPage(QPainter& painter, const plat::PrintPage& page) {
  PaintSheetOnA4(painter, page, Settings.Global.MatixScale);
}

// The PDF copy under Report\; its system path, empty (with the reason in
// *error) when it could not be written.
QString ArchiveSheet(QString* error) {
  const QString name = ArchiveName();
  const QString path = plat::MapPath(name);
  if (!plat::EnsureParentDir(path)) {
    *error = QStringLiteral("no folder Report");
    return QString();
  }
  if (!plat::WritePdfPage(path, name.mid(name.lastIndexOf('\\') + 1), PaintOnPage, error)) {
    *error = name + ": " + *error;
    return QString();
  }
  return name;
}

void PutLe(char* at, quint32 v, int bytes) {
  for (int k = 0; k < bytes; ++k) at[k] = static_cast<char>(v >> (8 * k));
}

// The picture file of [Global] Print_in_file, written whole: a 24-bit BMP
// made row by row from the sheet (the format keeps the bottom row first and
// blue before red), so that no second picture of the sheet's 67 MB (nor a
// 90 MB one of 32 bits) is made in memory on the way.
bool SavePictureFile(QString* error) {
  const QImage sheet = PrintSheet.Sheet.convertToFormat(QImage::Format_RGB888);
  const int w = sheet.width(), h = sheet.height();
  const int stride = (w * 3 + 3) & ~3;
  const quint32 pixels = static_cast<quint32>(stride) * static_cast<quint32>(h);
  char header[54] = {'B', 'M'};
  PutLe(header + 2, 54 + pixels, 4);  // file size
  PutLe(header + 10, 54, 4);          // where the pixels start
  PutLe(header + 14, 40, 4);          // BITMAPINFOHEADER
  PutLe(header + 18, static_cast<quint32>(w), 4);
  PutLe(header + 22, static_cast<quint32>(h), 4);
  PutLe(header + 26, 1, 2);   // planes
  PutLe(header + 28, 24, 2);  // bits per pixel, no compression
  PutLe(header + 34, pixels, 4);
  PutLe(header + 38, static_cast<quint32>(sheet.dotsPerMeterX()), 4);
  PutLe(header + 42, static_cast<quint32>(sheet.dotsPerMeterY()), 4);
  plat::WholeFileWriter file(plat::MapPath(kPictureFile));
  if (!file.Open(error) || !file.Write(header, sizeof header, error)) return false;
  constexpr int kRowsAtOnce = 64;
  QByteArray rows(qsizetype(stride) * kRowsAtOnce, '\0');
  for (int top = h; top > 0; top -= kRowsAtOnce) {
    const int n = std::min(kRowsAtOnce, top);
    for (int k = 0; k < n; ++k) {
      const uchar* from = sheet.constScanLine(top - 1 - k);
      char* to = rows.data() + qsizetype(k) * stride;
      for (int x = 0; x < w; ++x, from += 3, to += 3) {
        to[0] = static_cast<char>(from[2]);
        to[1] = static_cast<char>(from[1]);
        to[2] = static_cast<char>(from[0]);
      }
    }
    if (!file.Write(rows.constData(), qsizetype(stride) * n, error)) return false;
  }
  // Renamed whole into place but not flushed to the disk first: the picture
  // is only shown, the sheet is kept by its PDF copy, written before.
  return file.Commit(error, false);
}

// Draws the foot of the sheet and writes its PDF copy under Report\. When
// the copy cannot be written the foot is taken off again, so the sheet stays
// pending as it was, and the reason is in *error.
QString WriteSheetCopy(QString* error) {
  const size_t before = PrintSheet.Drawing.size();
  SetSheetFont(QStringLiteral("Courier"), 72);
  SheetText(280, 5000,
            QStringLiteral("Дата печати: ") + plat::ShortDateString(plat::CurrentDateTime().date()) +
                "\r \r \r" + QStringLiteral("Ответственный:") + QString(5, ' ') +
                QString(28, '_'));
  const QString archive = ArchiveSheet(error);
  if (archive.isEmpty()) {
    PrintSheet.Drawing.resize(before);
    PrintSheet.Sheet.fill(Qt::white);
    QPainter painter(&PrintSheet.Sheet);
    PaintSheet(painter, PrintSheet.Drawing);
  }
  return archive;
}

void DropPendingSheet() {
  PrintSheet.SheetReportCount = 0;
  ScreenState.pendingPrintCount = 0;
  PrintSheet.Sheet = QImage();
  PrintSheet.Drawing.clear();
  PrintSheet.Drawing.shrink_to_fit();
}

// The copy first: a sheet goes to the printer only once it is kept, so that
// no sheet is lost and none is printed twice. A sheet whose copy cannot be
// written stays pending with its reports; the next "Новый лист" tries again.
bool FinishSheet() {
  QString archiveError;
  const QString archive = WriteSheetCopy(&archiveError);
  PrintSheet.LastArchivePath = archive;
  if (archive.isEmpty()) {
    PrintSheet.LastError =
        QStringLiteral("Лист не напечатан: его копия не записана в Report (%1). Отчеты листа "
                       "сохранены, печать повторится по клавише \"Новый лист\".")
            .arg(archiveError);
    Tell(PrintSheet.LastError);
    return false;
  }
  QStringList problems;
  if (Settings.Global.Print_in_file) {
    QString error;
    if (!SavePictureFile(&error)) {
      problems.prepend(QStringLiteral("Лист не записан в %1: %2.").arg(kPictureFile, error));
    } else if (!plat::OpenWithDefaultApp(plat::MapPath(kPictureFile))) {
      problems.prepend(
          QStringLiteral("Лист записан в %1, но открыть его нечем.").arg(kPictureFile));
    }
  } else {
    QString error;
    const QString job = archive.mid(archive.lastIndexOf('\\') + 1);
    if (plat::PrintPageOnDefaultPrinter(job, PaintOnPrinterPage, &error)) {
      if (PrintSheet.AfterPrint) PrintSheet.AfterPrint();
    } else {
      problems << error << QStringLiteral("Копия листа: %1").arg(archive);
    }
  }
  DropPendingSheet();
  if (!problems.isEmpty()) {
    PrintSheet.LastError = problems.join(' ');
    Tell(PrintSheet.LastError);
  }
  return true;
}

}  // namespace

int SheetText(int x, int y, const QString& text) {
  const QFont font = SheetFont();
  const int height = QFontMetrics(font).height();
  for (const QString& line : SplitLines(text)) {
    if (!line.isEmpty()) {
      SheetOp op;
      op.at = QPoint(x, y);
      op.text = line;
      op.font = font;
      Record(std::move(op));
    }
    y += height;
  }
  return y;
}

int SheetCentredText(int y, const QString& text) {
  const QFont font = SheetFont();
  const QFontMetrics metrics(font);
  for (const QString& line : SplitLines(text)) {
    const int x = kSheetWidth / 2 - metrics.horizontalAdvance(line) / 2;
    y = SheetText(x, y, line);
  }
  return y;
}

void PaintSheet(QPainter& painter, const std::vector<SheetOp>& drawing) {
  painter.save();
  painter.setClipRect(QRect(0, 0, kSheetWidth, kSheetHeight));
  for (const SheetOp& op : drawing) PaintOp(painter, op);
  painter.restore();
}

bool AddMeasurementReport(const MeasurementRecord& record) {
  const std::optional<QStringList> names = ReportLines(kParameterNames);
  if (!names) return false;
  JudgeMeasurement(record);
  const TJudgement judged = Judgement;
  const BogieType* bogie = FindBogieType(record.BogieType);
  const SpringType* type = FindSpringType(record.BogieType, record.SpringType);

  if (!BeginReport()) return false;
  const int q = SlotOffset();
  SetSheetFont(QStringLiteral("Times New Roman"), 48);
  // A record whose types this line's table does not hold is not judged; its
  // report says so instead of a verdict.
  const QString verdict = !judged.Judged     ? QStringLiteral(" Замер не оценен")
                          : judged.SpringGood ? QStringLiteral(" Норма")
                                              : QStringLiteral(" Брак");
  const QString note = RecordKindNote(record);
  SheetText(70, 4 * q + 970,
            QStringLiteral("Пружина № ") + record.Identifier + " ( " +
                (type ? type->AltName : QStringLiteral("?")) + QStringLiteral("  Тележка : ") +
                (bogie ? bogie->Name : QStringLiteral("?")) + " )  - " + verdict +
                (note.isEmpty() ? QString() : "  (" + note + ")"));
  SetSheetFont(QStringLiteral("TimesNewRoman"), 48);
  SheetText(280, SlotY(q, 280), QStringLiteral("Параметр"));
  SheetText(1480, SlotY(q, 280), QStringLiteral("Значение"));
  SheetText(2160, SlotY(q, 280), QStringLiteral("Заключение"));
  SetSheetFont(QStringLiteral("Courier"), 48);

  auto row = [&](int r, int p, const QString& name, bool withValue) {
    const int y = SlotY(q, 16 * r + 290);
    SheetText(280, y, name);
    if (!withValue) return;
    SheetText(1520, y, Value(record.Param[p].Value));
    if (judged.Judged)
      SheetText(2200, y, judged.Verdicts[p] ? QStringLiteral("Норма") : QStringLiteral("Брак"));
  };
  if (Settings.Global.Zam19 && type) {
    int r = 1;
    for (int p = 1; p <= 6; ++p) {
      if (!type->parameters[p].Show) continue;
      // The fast mode's kind blanks nothing here, but a value the record
      // marks as not measured is left blank.
      row(r, p, type->parameters[p].Name, ParameterMeasured(record, p));
      ++r;
    }
  } else {
    // With CalEnable1 the set of bogie type 1 has no parameter 5: parameter
    // 6 moves up into its row.
    const bool noFifth = Settings.Debug.CalEnable1 && record.BogieType == 1;
    int r = 1;
    for (int m = 1; m <= kReportLines; ++m) {
      if (noFifth && m == 6) continue;
      if (m >= 2) {
        const int p = m - 1;
        // What the line did not measure is left blank.
        row(r, p, names->at(m - 1), ValueMeasured(record, p));
      }
      ++r;
    }
  }
  if (Settings.Global.VNenable) {
    const int size = PrintSheet.FontSize;
    PrintSheet.FontSize = 42;
    const QString& id = record.Identifier;
    SheetText(70, SlotY(q, 263),
              QStringLiteral("Дата замера: ") + id.mid(5, 2) + "." + id.mid(7, 2) + "." +
                  id.mid(9, 4) + QStringLiteral("  Пружина снята с вагона № ") + record.WagonFrom +
                  QStringLiteral("   Пружина установлена на вагон № ") + record.WagonTo);
    PrintSheet.FontSize = size;
  }
  EndReport(q);
  return true;
}

bool AddStatisticsReport(StatisticsKind kind) {
  const bool shift = kind == StatisticsKind::Shift;
  const QString normsFile = shift ? QStringLiteral("Temp\\norms.txt") : QStringLiteral("Temp\\Ynorms.txt");
  const std::optional<QStringList> norms = ReportLines(normsFile);
  if (!norms) return false;
  const std::optional<QStringList> names = ReportLines(kParameterNames);
  if (!names) return false;

  if (!BeginReport()) return false;
  const int q = SlotOffset();
  SetSheetFont(QStringLiteral("TimesNewRoman"), 48);
  SheetText(280, SlotY(q, 260),
            shift ? QStringLiteral("Статистика за смену") : QStringLiteral("Статистика"));
  SheetText(280, SlotY(q, 280), QStringLiteral("Параметр"));
  SheetText(1480, SlotY(q, 280), QStringLiteral("Замеров в норме"));
  SetSheetFont(QStringLiteral("Courier"), 48);
  SheetText(200, SlotY(q, 418), QStringLiteral("Всего замеров:") + norms->at(0).trimmed());
  for (int i = 2; i <= kReportLines; ++i) {
    const int y = SlotY(q, 16 * i + 290);
    SheetText(280, y, names->at(i - 1));
    SheetTextRight(1520, y, 4, norms->at(i - 1).trimmed());
  }
  EndReport(q);
  return true;
}

bool AddSetReport(const SetRecord& record) {
  // The names are not printed, but the file belongs to every report.
  if (!ReportLines(kParameterNames)) return false;

  if (!BeginReport()) return false;
  const int q = SlotOffset();
  SetSheetFont(QStringLiteral("TimesNewRoman"), 56);
  SheetText(280, SlotY(q, 240),
            QStringLiteral("Подбор комплекта в тележку : №") + record.BogieNumber + "(" +
                record.BogieYear + ")" + record.BogieWorks);
  SheetText(280, SlotY(q, 260),
            QStringLiteral("Левая боковина: №") + record.Left.Number + "(" + record.Left.Year + ")" +
                record.Left.Works);
  SheetText(2200, SlotY(q, 260),
            QStringLiteral("Правая боковина: №") + record.Right.Number + "(" + record.Right.Year +
                ")" + record.Right.Works);
  SheetText(280, SlotY(q, 280), QStringLiteral("Наружная"));
  SheetText(1400, SlotY(q, 280), QStringLiteral("Внутренняя"));
  SheetText(2200, SlotY(q, 280), QStringLiteral("Наружная"));
  SheetText(3400, SlotY(q, 280), QStringLiteral("Внутренняя"));
  SetSheetFont(QStringLiteral("Courier"), 56);
  const char* const labels[] = {"3K", "5K", "1", "2", "4", "6", "7"};
  for (int k = 1; k <= 7; ++k) {
    const int y = SlotY(q, 16 * k + 290);
    SheetText(280, y, QString::fromLatin1(labels[k - 1]));
    SheetText(480, y, QString::number(record.Left.Outer[k]));
    SheetText(1600, y, QString::number(record.Left.Inner[k]));
    SheetText(2400, y, QString::number(record.Right.Outer[k]));
    SheetText(3600, y, QString::number(record.Right.Inner[k]));
  }
  EndReport(q);
  return true;
}

void PrintPendingSheet() {
  if (PrintSheet.SheetReportCount > 0) FinishSheet();
}

QString KeepPendingSheet() {
  PrintSheet.LastError.clear();
  if (PrintSheet.SheetReportCount == 0) return QString();
  QString error;
  const QString archive = WriteSheetCopy(&error);
  PrintSheet.LastArchivePath = archive;
  if (archive.isEmpty()) {
    PrintSheet.LastError = error;
    return QString();
  }
  DropPendingSheet();
  return archive;
}

void ResetPrintSheet() {
  PrintSheet = TPrintSheet();
  ScreenState.pendingPrintCount = 0;
}
