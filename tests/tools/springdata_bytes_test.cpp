// The export's bytes: every CSV row equals the row formed field by field the
// plain way, through QDate, QTime and QString, over a mixed set of records
// that reaches the odd corners (dates that are no number or lie outside the
// common years, a time of day that rounds up to midnight, values that are
// no number, texts that need quotes or are not ASCII, types the bogie file
// does not hold, preset verdicts).

#include <QDate>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTime>
#include <QRegularExpression>
#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "database/records.h"
#include "measurement/judgement.h"
#include "sorting/heightgroup.h"
#include "springdata/lib/exportwriter.h"
#include "springdata/lib/source.h"
#include "springs/springtypes.h"
#include "testsupport.h"

using namespace springdata;

namespace {

QByteArray Field(QByteArray f) {
  // A text a spreadsheet would run as a formula stays text.
  static const QRegularExpression kNumber(QStringLiteral("^[+-]?(\\d+([.,]\\d*)?|[.,]\\d+)([eE][+-]?\\d+)?$"));
  if (!f.isEmpty() && (QByteArray("=@\t\r").contains(f[0]) ||
                       (QByteArray("+-").contains(f[0]) && !kNumber.match(QString::fromUtf8(f)).hasMatch())))
    f.prepend('\'');
  if (!f.contains(';') && !f.contains('"') && !f.contains('\r') && !f.contains('\n')) return f;
  QByteArray q = f;
  q.replace("\"", "\"\"");
  return '"' + q + '"';
}

QByteArray Float(float v, char point) {
  char buf[32];
  const auto res = std::to_chars(buf, buf + sizeof buf, v);
  return QByteArray(buf, res.ptr - buf).replace('.', point);
}

// The date the plain way: QDate from the day number, QTime from the fraction.
QByteArray Date(double days, bool iso) {
  if (!std::isfinite(days) || std::fabs(days) > 3.0e6) return {};
  double whole = 0;
  const double fraction = std::fabs(std::modf(days, &whole));
  qint64 ms = static_cast<qint64>(fraction * 86400000.0 + 0.5);
  if (ms >= 86400000) ms = 86399999;
  const QDate d = QDate(1899, 12, 30).addDays(static_cast<qint64>(whole));
  const QTime t = QTime::fromMSecsSinceStartOfDay(static_cast<int>(ms));
  return QString::asprintf(iso ? "%04d-%02d-%02dT%02d:%02d:%02d" : "%02d.%02d.%04d %02d:%02d:%02d",
                           iso ? d.year() : d.day(), d.month(), iso ? d.day() : d.year(), t.hour(),
                           t.minute(), t.second())
      .toUtf8();
}

QByteArray Row(const MeasurementRecord& r, qint64 position, char point) {
  JudgeMeasurement(r);
  const SpringType* type = Judgement.Judged ? RecordSpringType(r) : nullptr;
  const bool fast = r.Kind == 1;
  QList<QByteArray> f;
  f << "day" << QByteArray::number(position + 1) << r.Identifier.toUtf8() << Date(r.Date, false)
    << QByteArray::number(r.BogieType) << (type ? RecordBogieType(r)->Name.toUtf8() : "")
    << QByteArray::number(r.SpringType) << (type ? type->Name.toUtf8() : "")
    << (type ? type->AltName.toUtf8() : "")
    << (RecordAccelerated(r) ? "ускоренный"
        : r.Kind == 0        ? "полный"
        : r.Kind == 1        ? "быстрый"
                             : QByteArray::number(r.Kind));
  for (int p = 1; p <= 6; ++p) {
    const bool measured = !(fast && (p == 1 || p == 3 || p == 4)) && ParameterMeasured(r, p);
    f << (type ? type->parameters[p].Name.toUtf8() : "")
      << (measured && r.Param[p].JudgeMode == 0 ? Float(r.Param[p].Value, point) : "")
      << (Judgement.Judged && measured ? (Judgement.Verdicts[p] ? "Норма" : "Брак") : "");
  }
  f << (Judgement.Judged ? (Judgement.SpringGood ? "Норма" : "Брак") : "Не оценен");
  const int group = Judgement.Judged && Judgement.SpringGood
                        ? BogieHeightGroup(r.Param[2].Value, r.BogieType)
                        : -1;
  f << (group >= 0 ? QByteArray::number(group) : "") << r.WagonFrom.toUtf8() << r.WagonTo.toUtf8()
    << (RecordEmulated(r) ? "да" : "нет") << (RecordAccelerated(r) ? "да" : "нет");
  QByteArray row;
  for (const QByteArray& x : f) row += Field(x) + ';';
  row.chop(1);
  return row + "\r\n";
}

std::vector<MeasurementRecord> MixedRecords(const SpringType& known) {
  std::mt19937 rng(20090305);
  auto pick = [&](auto const& pool) { return pool[rng() % std::size(pool)]; };
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const double days[] = {nan, inf, -inf, 0.0, -0.0, -0.5, -1.25, 0.9999999999, 1 - 1e-12,
                         60.0, 61.5, 39877.3333333, 3.0e6, -3.0e6, 3.0e6 + 1, -693594.0,
                         -693595.75, -693960.0, 2958465.99999, 2958466.0, 45000.999994};
  const float fnan = std::numeric_limits<float>::quiet_NaN();
  const float finf = std::numeric_limits<float>::infinity();
  const float values[] = {fnan, finf, -finf, 0.f, -0.f, 1e-7f, 3.4e38f, 247.3f, 0.1f, 1e20f,
                          -12.5f, 100.f, std::numeric_limits<float>::denorm_min(),
                          // all nine digits, the edges of the short formatting, a power of two
                          1234.5677f, 9999.999f, 0.0010000001f, 0.001f, 10000.f, -0.00099999f,
                          0.1f + 1e-8f, 256.f, 199.99f};
  const QString texts[] = {"", "5301", "Вх;1\"2", "Ёлка", "a\r\nb", "\"", ";", "x\ny",
                           QString::fromUtf8("😀 ю"), "ok-05032009", QString(QChar(0xD800)),
                           "=1+2", "-12", "+x", "\tx", "@a", "-"};
  // The marks come from a generator of their own: the records without them
  // stay those of the plain export before the marks existed.
  std::mt19937 marks(22);
  std::vector<MeasurementRecord> rs;
  for (int i = 0; i < 20000; ++i) {
    MeasurementRecord r;
    r.Identifier = pick(texts);
    r.WagonFrom = pick(texts);
    r.WagonTo = pick(texts);
    r.BogieType = static_cast<uint8_t>(rng() % 4);
    r.SpringType = static_cast<uint8_t>(rng() % 4);
    r.Kind = static_cast<uint8_t>(rng() % 7 == 0 ? 2 + rng() % 250 : rng() % 2);
    r.Date = rng() % 3 ? pick(days)
                       : (static_cast<double>(rng()) / rng.max() - 0.5) * 6.2e6;
    for (int p = 1; p <= 6; ++p) {
      ParameterSlot& s = r.Param[p];
      s.JudgeMode = static_cast<uint8_t>(rng() % 9 == 0 ? 1 + rng() % 2 : 0);
      s.Verdict = static_cast<uint8_t>(rng() % 2);
      // Half the values inside the norm, so that good springs get a group.
      const SpringParameter& n = known.parameters[p];
      s.Value = rng() % 2 ? pick(values)
                          : static_cast<float>(n.Min + (n.Max - n.Min) * (rng() % 1000) / 1000.0);
      if (marks() % 4 == 0) SetParameterMeasured(r, p, false);
    }
    SetRecordEmulated(r, marks() % 3 == 0);
    SetRecordAccelerated(r, marks() % 3 == 0);
    rs.push_back(r);
  }
  return rs;
}

class ExportBytes : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(testsupport::MakeInstallation(home.path()));
    QString error;
    QStringList warnings;
    ASSERT_TRUE(OpenInstallation(home.path(), error, warnings)) << qPrintable(error);
  }
  // From the records in memory, or (fromBytes) from their stored bytes as the
  // export command streams them.
  QByteArray Export(const std::vector<MeasurementRecord>& rs, Format format, char point,
                    bool fromBytes = false) {
    const QString out = home.file("out");
    std::FILE* f = std::fopen(QFile::encodeName(out).constData(), "wb");
    EXPECT_NE(f, nullptr);
    {
      Sink sink(f);
      MeasurementWriter w(sink, format, point);
      w.Header();
      for (size_t i = 0; i < rs.size(); ++i) {
        if (!fromBytes) {
          w.Write(rs[i], "day", static_cast<qint64>(i));
          continue;
        }
        const QByteArray stored = EncodeMeasurementRecord(rs[i]);
        w.Write(stored.constData(), DecodeMeasurementValues(stored.constData()), "day",
                static_cast<qint64>(i));
      }
    }
    std::fclose(f);
    return home.read("out");
  }
  testsupport::ScratchHome home;
};

}  // namespace

TEST_F(ExportBytes, CsvRowsEqualThePlainFormatting) {
  ASSERT_NE(FindSpringType(1, 1), nullptr);
  const auto mixed = MixedRecords(*FindSpringType(1, 1));
  // The stored texts are those the file can hold (CP1251, cut to length).
  std::vector<MeasurementRecord> stored;
  for (const MeasurementRecord& r : mixed)
    stored.push_back(DecodeMeasurementRecord(EncodeMeasurementRecord(r).constData()));
  for (const auto& [point, fromBytes] : {std::pair{',', false}, {'.', false}, {',', true}}) {
    const auto& rs = fromBytes ? stored : mixed;
    const QByteArray bytes = Export(mixed, Format::Csv, point, fromBytes);
    const qsizetype headerEnd = bytes.indexOf("\r\n") + 2;
    ASSERT_GT(headerEnd, 2);
    qsizetype at = headerEnd;
    int judged = 0, grouped = 0;
    for (size_t i = 0; i < rs.size(); ++i) {
      const QByteArray want = Row(rs[i], static_cast<qint64>(i), point);
      judged += Judgement.Judged;
      grouped += Judgement.Judged && Judgement.SpringGood;
      ASSERT_EQ(bytes.mid(at, want.size()), want) << "record " << i;
      at += want.size();
    }
    EXPECT_EQ(at, bytes.size()) << "bytes behind the last row";
    // The set reaches judged, good and unjudged records alike.
    EXPECT_GT(judged, 1000);
    EXPECT_GT(grouped, 10);
    EXPECT_LT(judged, 19000);
  }
}

TEST_F(ExportBytes, JsonDatesEqualThePlainFormatting) {
  ASSERT_NE(FindSpringType(1, 1), nullptr);
  const auto rs = MixedRecords(*FindSpringType(1, 1));
  const QList<QByteArray> lines = Export(rs, Format::Jsonl, '.').split('\n');
  ASSERT_EQ(lines.size(), static_cast<qsizetype>(rs.size()) + 1);  // the last one empty
  for (size_t i = 0; i < rs.size(); ++i) {
    const QJsonObject o = QJsonDocument::fromJson(lines[i]).object();
    const QByteArray want = Date(rs[i].Date, true);
    if (want.isEmpty()) EXPECT_TRUE(o["datetime"].isNull()) << "record " << i;
    else EXPECT_EQ(o["datetime"].toString().toUtf8(), want) << "record " << i;
  }
}
