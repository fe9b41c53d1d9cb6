// The engineers' data-out tool: the export read back field by field, the
// capability numbers against a direct computation, the PDF's pages and text,
// and the command line's answers to a missing, foreign or damaged folder.

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <vector>

#include "config/settings.h"
#include "database/records.h"
#include "springdata/lib/capability.h"
#include "springdata/lib/capabilityreport.h"
#include "springdata/lib/exportwriter.h"
#include "springdata/lib/source.h"
#include "measurement/judgement.h"
#include "platform/clock.h"
#include "platform/cp1251.h"
#include "sorting/heightgroup.h"
#include "springs/springtypes.h"
#include "testsupport.h"
#include "testpaths.h"

using namespace springdata;
using testsupport::ScratchHome;

namespace {

// An RFC 4180 reader: ";" between fields, quoted fields with doubled quotes,
// CRLF between rows.
std::vector<QStringList> ParseCsv(const QByteArray& bytes) {
  std::vector<QStringList> rows;
  QStringList row;
  QByteArray field;
  bool quoted = false;
  for (qsizetype i = 0; i < bytes.size(); ++i) {
    const char c = bytes[i];
    if (quoted) {
      if (c == '"' && i + 1 < bytes.size() && bytes[i + 1] == '"') field += '"', ++i;
      else if (c == '"') quoted = false;
      else field += c;
    } else if (c == '"') {
      quoted = true;
    } else if (c == ';') {
      row << QString::fromUtf8(field);
      field.clear();
    } else if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') {
      row << QString::fromUtf8(field);
      field.clear();
      rows.push_back(row);
      row.clear();
      ++i;
    } else {
      field += c;
    }
  }
  EXPECT_TRUE(field.isEmpty() && row.isEmpty()) << "the last row does not end with CRLF";
  return rows;
}

MeasurementRecord Record(int n, int bogie, int spring, std::array<float, 7> v, uint8_t kind = 0) {
  MeasurementRecord r;
  r.Identifier = QString("%1-05032009").arg(n, 4, 10, QChar('0'));
  r.BogieType = static_cast<uint8_t>(bogie);
  r.SpringType = static_cast<uint8_t>(spring);
  r.Kind = kind;
  r.Date = plat::DateTimeToDays(QDateTime(QDate(2009, 3, 5), QTime(8, 0, 0))) + n / 1440.0;
  for (int p = 1; p <= 6; ++p) r.Param[p].Value = v[p];
  r.WagonFrom = "5301";
  r.WagonTo = "7702";
  return r;
}

void WriteRecords(const ScratchHome& home, const QString& rel, const std::vector<MeasurementRecord>& rs,
                  const QByteArray& tail = {}) {
  QByteArray bytes;
  for (const auto& r : rs) bytes += EncodeMeasurementRecord(r);
  home.write(rel, bytes + tail);
}

// An installation by mkinstall (bogie types "18-100" and "18-578").
class Installed : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(testsupport::MakeInstallation(home.path()));
    QString error;
    QStringList warnings;
    ASSERT_TRUE(OpenInstallation(home.path(), error, warnings)) << qPrintable(error);
    EXPECT_TRUE(warnings.isEmpty()) << qPrintable(warnings.join('\n'));
  }
  ScratchHome home;
};

// The records of the export tests: good and bad springs of both bogie types,
// a fast measurement, a record of a bogie type the file does not hold, and
// texts that need quoting and carry Cyrillic.
std::vector<MeasurementRecord> Mixed() {
  std::vector<MeasurementRecord> rs;
  rs.push_back(Record(1, 1, 2, {0, 199.25f, 247.5f, 1.2f, 18.f, 0.5f, 47.f}));
  rs.push_back(Record(2, 1, 1, {0, 150.f, 249.1f, 6.f, 12.f, 0.1f, 50.f}));          // bad p1, p3
  rs.push_back(Record(3, 2, 2, {0, 144.f, 257.3f, 0.4f, 18.f, 0.f, 52.f}));          // group of 247.3
  rs.push_back(Record(4, 1, 3, {0, 500.f, 250.f, 99.f, 99.f, 1.f, 40.f}, 1));        // fast
  rs.push_back(Record(5, 9, 1, {0, 1.f, 2.f, 3.f, 4.f, 5.f, 6.f}));                  // unknown
  rs[0].WagonFrom = "Вх;1\"2";
  rs[1].WagonTo = "Ёлка";
  return rs;
}

}  // namespace

TEST_F(Installed, CsvExportReadsBackFieldByField) {
  const auto rs = Mixed();
  WriteRecords(home, "Report/base.bin", rs);
  const QString out = home.file("out.csv");
  std::FILE* f = std::fopen(QFile::encodeName(out).constData(), "wb");
  ASSERT_NE(f, nullptr);
  StreamReport report;
  QString error;
  {
    Sink sink(f);
    MeasurementWriter w(sink, Format::Csv);
    w.Header();
    ASSERT_TRUE(StreamMeasurements(BasePath(), RecordFilter{},
                                   [&](const MeasurementRecord& r, qint64 pos) { w.Write(r, "base", pos); },
                                   report, error));
  }
  std::fclose(f);
  QByteArray bytes = home.read("out.csv");
  ASSERT_TRUE(bytes.startsWith("\xEF\xBB\xBF"));
  const auto rows = ParseCsv(bytes.mid(3));
  ASSERT_EQ(rows.size(), rs.size() + 1);
  const QStringList& head = rows[0];
  for (size_t i = 0; i < rs.size(); ++i) {
    const MeasurementRecord& r = rs[i];
    const QStringList& row = rows[i + 1];
    ASSERT_EQ(row.size(), head.size()) << "row " << i;
    auto col = [&](const QString& name) {
      const int k = head.indexOf(name);
      EXPECT_GE(k, 0) << qPrintable(name);
      return k >= 0 ? row[k] : QString();
    };
    EXPECT_EQ(col("Файл"), "base");
    EXPECT_EQ(col("Позиция").toInt(), int(i) + 1);
    EXPECT_EQ(col("Идентификатор"), r.Identifier);
    EXPECT_EQ(col("Дата и время"),
              plat::DaysToDateTime(r.Date).toString("dd.MM.yyyy HH:mm:ss"));
    EXPECT_EQ(col("Тип тележки №").toInt(), r.BogieType);
    EXPECT_EQ(col("Тип пружины №").toInt(), r.SpringType);
    EXPECT_EQ(col("Снята с вагона №"), r.WagonFrom);
    EXPECT_EQ(col("Установлена на вагон №"), r.WagonTo);
    JudgeMeasurement(r);
    const SpringType* type = RecordSpringType(r);
    if (!type) {
      EXPECT_EQ(col("Тип тележки"), "");
      EXPECT_EQ(col("Оценка замера"), "Не оценен");
      EXPECT_EQ(col("Оценка 2"), "");
    } else {
      EXPECT_EQ(col("Тип тележки"), RecordBogieType(r)->Name);
      EXPECT_EQ(col("Тип пружины"), type->Name);
      EXPECT_EQ(col("Обозначение"), type->AltName);
      EXPECT_EQ(col("Оценка замера"), Judgement.SpringGood ? "Норма" : "Брак");
      const int group = Judgement.SpringGood ? BogieHeightGroup(r.Param[2].Value, r.BogieType) : -1;
      EXPECT_EQ(col("Группа по высоте"), group >= 0 ? QString::number(group) : QString());
    }
    EXPECT_EQ(col("Вид замера"), r.Kind == 1 ? "быстрый" : "полный");
    for (int p = 1; p <= 6; ++p) {
      const QString n = QString::number(p);
      const bool skipped = r.Kind == 1 && (p == 1 || p == 3 || p == 4);
      if (skipped) {
        EXPECT_EQ(col("Значение " + n), "") << "fast record, parameter " << p;
        EXPECT_EQ(col("Оценка " + n), "");
        continue;
      }
      QString value = col("Значение " + n);
      EXPECT_FALSE(value.contains('.')) << "decimal comma expected";
      EXPECT_EQ(value.replace(',', '.').toFloat(), r.Param[p].Value) << "row " << i << " p" << p;
      if (type) {
        EXPECT_EQ(col("Параметр " + n), type->parameters[p].Name);
        EXPECT_EQ(col("Оценка " + n), Judgement.Verdicts[p] ? "Норма" : "Брак");
      }
    }
  }
  // The second spring is bad on its diameter, the third is grouped on H - 10.
  EXPECT_EQ(rows[2][head.indexOf("Оценка 1")], "Брак");
  EXPECT_EQ(rows[3][head.indexOf("Группа по высоте")], "2");
  ReportUnknownTypes(report);
  ASSERT_EQ(report.findings.size(), 1);
  EXPECT_TRUE(report.findings[0].contains("bogie type 9"));
}

TEST_F(Installed, JsonLinesAndFilters) {
  const auto rs = Mixed();
  WriteRecords(home, "Report/day.bin", rs);
  RecordFilter filter;
  QString error;
  ASSERT_TRUE(ResolveTypes("18-100", "", filter, error));
  EXPECT_EQ(filter.bogieType, 1);
  const QString out = home.file("out.jsonl");
  std::FILE* f = std::fopen(QFile::encodeName(out).constData(), "wb");
  StreamReport report;
  {
    Sink sink(f);
    MeasurementWriter w(sink, Format::Jsonl);
    ASSERT_TRUE(StreamMeasurements(DayPath(), filter,
                                   [&](const MeasurementRecord& r, qint64 pos) { w.Write(r, "day", pos); },
                                   report, error));
  }
  std::fclose(f);
  const QList<QByteArray> lines = home.read("out.jsonl").split('\n');
  ASSERT_EQ(lines.size(), 4);  // three records of bogie type 1 and the end
  const QJsonObject fast = QJsonDocument::fromJson(lines[2]).object();
  EXPECT_EQ(fast["identifier"].toString(), rs[3].Identifier);
  EXPECT_EQ(fast["spring_type_designation"].toString(), "Подклиновая");
  const QJsonArray params = fast["parameters"].toArray();
  EXPECT_TRUE(params[0].toObject()["value"].isNull());
  EXPECT_EQ(float(params[1].toObject()["value"].toDouble()), rs[3].Param[2].Value);
  EXPECT_EQ(QJsonDocument::fromJson(lines[0]).object()["wagon_from"].toString(), "Вх;1\"2");

  // A named spring type without a bogie type exists under both: refused.
  RecordFilter both;
  EXPECT_FALSE(ResolveTypes("", "Наружная", both, error));
  EXPECT_TRUE(error.contains("--bogie"));
  EXPECT_FALSE(ResolveTypes("7", "", both, error));
  EXPECT_TRUE(error.contains("18-578")) << qPrintable(error);

  // A date range keeps whole days.
  RecordFilter days;
  days.fromDay = ParseDay("2009-03-05");
  days.untilDay = ParseDay("2009-03-05");
  EXPECT_TRUE(days.Accepts(rs[0]));
  days.fromDay = ParseDay("2009-03-06");
  EXPECT_FALSE(days.Accepts(rs[0]));
}

TEST_F(Installed, SetsExportReadsBack) {
  SetRecord s;
  s.BogieNumber = "Т-17;а";
  s.BogieWorks = "____";
  s.BogieYear = "2008";
  s.Left.Number = "Л1";
  s.Right.Number = "П2";
  for (int k = 1; k <= 7; ++k) s.Left.Outer[k] = uint8_t(k), s.Right.Inner[k] = uint8_t(9 - k);
  s.Date = "05032009";
  s.WagonFrom = "123";
  home.write("Report/Tel.bin", EncodeSetRecord(s) + EncodeSetRecord(SetRecord{}));
  const auto r = testsupport::Run(KALVOR_SPRINGDATA, {"sets", "--home", home.path(), "--quiet"});
  ASSERT_EQ(r.exitCode, 0) << qPrintable(r.err);
  const auto rows = ParseCsv(r.out.toUtf8().mid(3));
  ASSERT_EQ(rows.size(), 3u);
  const QStringList& h = rows[0];
  EXPECT_EQ(rows[1][h.indexOf("Тележка №")], "Т-17;а");
  EXPECT_EQ(rows[1][h.indexOf("Дата комплекта")], "05.03.2009");
  EXPECT_EQ(rows[1][h.indexOf("Левая рама №")], "Л1");
  EXPECT_EQ(rows[1][h.indexOf("Левая наружная 3К")], "1");
  EXPECT_EQ(rows[1][h.indexOf("Правая внутренняя 7")], "2");
  EXPECT_EQ(rows[1][h.indexOf("Снята с вагона №")], "123");
  EXPECT_EQ(rows[2][h.indexOf("Левая наружная 3К")], "0");
}

TEST_F(Installed, CommandLineReportsDamageAndUnknowns) {
  const auto rs = Mixed();
  WriteRecords(home, "Report/base.bin", rs, QByteArray(17, 'x'));
  const auto r = testsupport::Run(KALVOR_SPRINGDATA,
                                  {"export", "--home", home.path(), "--files", "base", "--format", "jsonl"});
  ASSERT_EQ(r.exitCode, 0) << qPrintable(r.err);
  EXPECT_EQ(r.out.count('\n'), int(rs.size()));
  EXPECT_TRUE(r.err.contains("5 whole records")) << qPrintable(r.err);
  // A command that draws nothing starts no window system: a platform that
  // does not exist does not stop it.
  const auto headless = testsupport::Run(KALVOR_SPRINGDATA, {"export", "--home", home.path(), "--quiet"}, 120000,
                                         {"QT_QPA_PLATFORM=kalvor-none"});
  EXPECT_EQ(headless.exitCode, 0) << qPrintable(headless.err);
  EXPECT_EQ(headless.out.toUtf8(), testsupport::Run(KALVOR_SPRINGDATA, {"export", "--home", home.path(), "--quiet"}).out.toUtf8());
  EXPECT_TRUE(r.err.contains("17 bytes")) << qPrintable(r.err);
  EXPECT_TRUE(r.err.contains("bogie type 9")) << qPrintable(r.err);

  const auto missing = testsupport::Run(KALVOR_SPRINGDATA, {"export", "--home", home.file("none")});
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_TRUE(missing.err.contains("does not exist")) << qPrintable(missing.err);
  QDir().mkpath(home.file("foreign"));
  const auto foreign = testsupport::Run(KALVOR_SPRINGDATA, {"export", "--home", home.file("foreign")});
  EXPECT_EQ(foreign.exitCode, 1);
  EXPECT_TRUE(foreign.err.contains("not an installation")) << qPrintable(foreign.err);
  const auto unknown = testsupport::Run(KALVOR_SPRINGDATA,
                                        {"export", "--home", home.path(), "--bogie", "18-999"});
  EXPECT_EQ(unknown.exitCode, 1);
  EXPECT_TRUE(unknown.err.contains("18-100")) << qPrintable(unknown.err);
  // The folder is read, never written.
  EXPECT_EQ(home.read("Report/base.bin").size(), qsizetype(rs.size()) * kMeasurementRecordSize + 17);
  EXPECT_FALSE(QFile::exists(home.file("Report/base.bin.part")));
}

// A disk that fills up within an export of several blocks: the write that
// fails is the writer thread's, and the command still says so and leaves the
// file of the export before as it was.
TEST_F(Installed, ExportOntoAFullDiskKeepsTheFileBefore) {
  std::vector<MeasurementRecord> rs;
  const auto mixed = Mixed();
  for (int i = 0; i < 20000; ++i) rs.push_back(mixed[i % mixed.size()]);
  WriteRecords(home, "Report/base.bin", rs);
  home.write("out.csv", "before");
  const QStringList args{"export", "--home", home.path(), "--files", "base", "--quiet", "--out", home.file("out.csv")};
  const auto full = testsupport::Run(
      KALVOR_SPRINGDATA, args, 120000,
      testsupport::FaultEnvironment({"KALVOR_FAULT_PATH=*/out.csv*", "KALVOR_FAULT_AFTER=2500000"}));
  EXPECT_EQ(full.exitCode, 1);
  EXPECT_TRUE(full.err.contains("cannot write") && full.err.contains(QString::fromLocal8Bit(std::strerror(ENOSPC))))
      << qPrintable(full.err);
  EXPECT_EQ(home.read("out.csv"), "before");
  EXPECT_EQ(QDir(home.path()).entryList({"out.csv*"}, QDir::Files), QStringList{"out.csv"});
  // With room on the disk every row is written, more than the blocks above.
  ASSERT_EQ(testsupport::Run(KALVOR_SPRINGDATA, args).exitCode, 0);
  const QByteArray written = home.read("out.csv");
  EXPECT_EQ(written.count("\r\n"), qsizetype(rs.size()) + 1);
  EXPECT_GT(written.size(), 4 * (1 << 20));
}

// Writes of every size, rows put together in place and pieces larger than a
// block, arrive in their order, whole.
TEST(ExportSink, WritesOfAnySizeArriveInOrder) {
  ScratchHome home;
  std::FILE* f = std::fopen(QFile::encodeName(home.file("out")).constData(), "wb");
  ASSERT_NE(f, nullptr);
  QByteArray want;
  {
    Sink sink(f);
    for (int i = 0; i < 200; ++i) {
      const QByteArray piece(i % 25 == 7 ? 2500000 + i : 1 + i * 97 % 70000, char('a' + i % 26));
      if (i % 2) {
        sink.Write(piece);
      } else {
        char* at = sink.Room(size_t(piece.size()));
        std::memcpy(at, piece.constData(), size_t(piece.size()));
        sink.Put(at + piece.size());
      }
      want += piece;
    }
    EXPECT_TRUE(sink.Flush());
  }
  std::fclose(f);
  const QByteArray got = home.read("out");
  EXPECT_EQ(got.size(), want.size());
  EXPECT_TRUE(got == want) << "the bytes differ";
}

// The same on standard output (a stdio stream): the writer thread's failed
// write is the sink's answer.
TEST(ExportSink, AFailedWriteOfTheWriterThreadIsReported) {
  std::FILE* full = std::fopen("/dev/full", "wb");
  ASSERT_NE(full, nullptr);
  {
    Sink sink(full);
    const std::string rows(300000, 'x');
    for (int i = 0; i < 20; ++i) sink.Write(rows);
    EXPECT_FALSE(sink.Flush());
    EXPECT_TRUE(sink.Failed());
  }
  std::fclose(full);
}

// ---------------------------------------------------------------------------
// Capability against a direct computation on a known data set.

namespace {

const char* const kBogieFile =
    "[Global]\nMaxChNum=3\n"
    "[Chassie1]\nName=Первая\nMaxSprings=3\nSpring1=1\nSpring2=2\nSpring3=3\n"
    "[Chassie2]\nName=Вторая\nMaxSprings=1\nSpring1=1\n"
    "[Chassie3]\nName=Третья\nMaxSprings=1\nSpring1=1\n"
    // P5 has no Min: a one-sided limit.
    "[Spring1]\nName=Пружина А\nAltName=А\nE=0.1\nNparam=6\n"
    "P1Name=Диаметр\nP1Min=190\nP1Max=200\nP2Name=Высота\nP2Min=246\nP2Max=255\n"
    "P3Name=Неперп.\nP3Min=0\nP3Max=5\nP4Name=Зазор\nP4Min=10\nP4Max=20\n"
    "P5Name=Осадка\nP5Max=2\nP6Name=Прогиб\nP6Min=44\nP6Max=54\n"
    "[Spring2]\nName=Пружина Б\nAltName=Б\nE=0\nNparam=6\nP2Min=246\nP2Max=255\n"
    "[Spring3]\nName=Пружина В\nAltName=В\nE=0.5\nNparam=6\nP2Min=246\nP2Max=255\n";

class CapabilityData : public ::testing::Test {
 protected:
  void SetUp() override {
    home.write("setup.ini", "[Params]\nChassieIniFilename=Bogies.ini\n");
    // Text files of the line are CP1251.
    home.write("Bogies.ini", plat::ToCp1251(QString::fromUtf8(kBogieFile).replace("\n", "\r\n")));
    QDir().mkpath(home.file("Report"));
    QString error;
    QStringList warnings;
    ASSERT_TRUE(OpenInstallation(home.path(), error, warnings)) << qPrintable(error);
  }
  ScratchHome home;
};

struct Direct {
  double n = 0, mean = 0, sd = 0, min = 0, max = 0;
};
Direct Compute(const std::vector<double>& v) {
  Direct d;
  d.n = double(v.size());
  if (v.empty()) return d;
  d.min = *std::min_element(v.begin(), v.end());
  d.max = *std::max_element(v.begin(), v.end());
  for (double x : v) d.mean += x;
  d.mean /= d.n;
  double ss = 0;
  for (double x : v) ss += (x - d.mean) * (x - d.mean);
  d.sd = v.size() > 1 ? std::sqrt(ss / (d.n - 1)) : 0;
  return d;
}

}  // namespace

TEST_F(CapabilityData, NumbersEqualADirectComputation) {
  // Spring type А of bogie 1: full measurements with spread, two fast ones.
  std::vector<MeasurementRecord> rs;
  const float heights[] = {246.2f, 247.5f, 248.0f, 251.3f, 254.9f, 255.05f, 255.2f, 245.8f};
  for (int k = 0; k < 8; ++k)
    rs.push_back(Record(k + 1, 1, 1,
                        {0, 195.f + k * 0.7f, heights[k], 0.5f * k, 12.f + k, 0.25f * k, 48.f + k}));
  rs.push_back(Record(20, 1, 1, {0, 999.f, 250.f, 999.f, 999.f, 0.1f, 50.f}, 1));
  rs.push_back(Record(21, 1, 1, {0, 999.f, 252.4f, 999.f, 999.f, 0.2f, 51.f}, 1));
  // A deflection the line did not measure counts nowhere.
  rs.push_back(Record(22, 1, 1, {0, 199.f, 250.1f, 1.f, 13.f, 0.3f, 999.f}));
  SetParameterMeasured(rs.back(), 6, false);
  // Spring type Б: one record. Spring type В: three equal heights (σ = 0).
  rs.push_back(Record(30, 1, 2, {0, 1.f, 250.f, 1.f, 1.f, 1.f, 1.f}));
  for (int k = 0; k < 3; ++k) rs.push_back(Record(40 + k, 1, 3, {0, 1.f, 249.f, 1.f, 1.f, 1.f, 1.f}));
  // Bogie 3: fast only, so parameters 1, 3, 4 have n = 0; no height groups.
  rs.push_back(Record(50, 3, 1, {0, 195.f, 250.f, 1.f, 15.f, 1.f, 50.f}, 1));
  rs.push_back(Record(51, 3, 1, {0, 196.f, 251.f, 1.f, 15.f, 1.f, 51.f}, 1));

  Capability cap;
  for (const auto& r : rs) EXPECT_TRUE(cap.Add(r));
  EXPECT_FALSE(cap.Add(Record(60, 5, 1, {})));  // unknown: not counted
  // A record made in emulation measured nothing: left out whole.
  MeasurementRecord emulated = Record(61, 1, 1, {0, 999.f, 999.f, 999.f, 999.f, 999.f, 999.f});
  SetRecordEmulated(emulated, true);
  EXPECT_TRUE(cap.Add(emulated));
  EXPECT_EQ(cap.Emulated(), 1);
  ASSERT_EQ(cap.Types().size(), 4u);

  const SpringStats& a = cap.Types().at({1, 1});
  EXPECT_EQ(a.records, 11);
  EXPECT_EQ(a.fast, 2);
  const SpringType& ta = *FindSpringType(1, 1);
  for (int p = 1; p <= 6; ++p) {
    std::vector<double> values;
    qint64 good = 0;
    for (const auto& r : rs) {
      if (r.BogieType != 1 || r.SpringType != 1) continue;
      if (r.Kind == 1 && (p == 1 || p == 3 || p == 4)) continue;
      if (!ParameterMeasured(r, p)) continue;
      values.push_back(r.Param[p].Value);
      JudgeMeasurement(r);
      good += Judgement.Verdicts[p];
    }
    const Direct d = Compute(values);
    const ParameterStats& ps = a.param[p];
    SCOPED_TRACE(p);
    EXPECT_EQ(ps.moments.n, qint64(d.n));
    EXPECT_NEAR(ps.moments.mean, d.mean, 1e-9);
    EXPECT_NEAR(*ps.moments.Sd(), d.sd, 1e-9);
    EXPECT_EQ(ps.moments.min, d.min);
    EXPECT_EQ(ps.moments.max, d.max);
    EXPECT_EQ(ps.withinNorm, good);
    EXPECT_EQ(ps.histogram.Total(), qint64(d.n));
    const Limits l = JudgementLimits(ta, p);
    const Indices ix = CapabilityIndices(ps.moments, l);
    const double lo = ta.parameters[p].Min - ta.E, hi = ta.parameters[p].Max + ta.E;
    if (p == 5) {
      // No lower limit: no Cp, Cpk on the upper limit alone.
      EXPECT_FALSE(l.lower);
      EXPECT_FALSE(ix.cp);
      EXPECT_NEAR(*ix.cpk, (hi - d.mean) / (3 * d.sd), 1e-9);
    } else {
      EXPECT_NEAR(*ix.cp, (hi - lo) / (6 * d.sd), 1e-9);
      EXPECT_NEAR(*ix.cpk, std::min(hi - d.mean, d.mean - lo) / (3 * d.sd), 1e-9);
    }
  }
  // Good springs per group, counted directly.
  std::array<qint64, 10> groups{};
  for (const auto& r : rs) {
    if (r.BogieType != 1 || r.SpringType != 1) continue;
    JudgeMeasurement(r);
    if (Judgement.SpringGood) ++groups[HeightGroup(r.Param[2].Value)];
  }
  EXPECT_EQ(a.groups, groups);

  const SpringStats& b = cap.Types().at({1, 2});  // n = 1
  EXPECT_EQ(b.param[2].moments.n, 1);
  EXPECT_EQ(b.param[2].moments.mean, 250.0);
  EXPECT_FALSE(b.param[2].moments.Sd());
  EXPECT_FALSE(CapabilityIndices(b.param[2].moments, JudgementLimits(*FindSpringType(1, 2), 2)).cp);

  const SpringStats& c = cap.Types().at({1, 3});  // σ = 0
  EXPECT_EQ(*c.param[2].moments.Sd(), 0.0);
  const Indices cx = CapabilityIndices(c.param[2].moments, JudgementLimits(*FindSpringType(1, 3), 2));
  EXPECT_FALSE(cx.cp);
  EXPECT_FALSE(cx.cpk);

  const SpringStats& f = cap.Types().at({3, 1});  // fast only
  EXPECT_EQ(f.param[1].moments.n, 0);
  EXPECT_EQ(f.param[3].moments.n, 0);
  EXPECT_EQ(f.param[2].moments.n, 2);
  EXPECT_EQ(f.good, 2);
  EXPECT_EQ(f.groups, (std::array<qint64, 10>{}));  // bogie type 3 is not grouped
}

TEST(CapabilityHistogram, WideningKeepsEveryCount) {
  Histogram h;
  std::vector<double> values = {250, 250.01, 251, 240, 1e4, -3e3, 250.5, 249.9};
  for (double v : values) h.Add(v, 246.0, 255.0);
  EXPECT_EQ(h.Total(), qint64(values.size()));
  for (double v : values) {
    const int bin = int(std::floor((v - h.origin) / h.width));
    ASSERT_GE(bin, 0);
    ASSERT_LT(bin, Histogram::kBins);
    EXPECT_GT(h.counts[bin], 0) << v;
  }
}

TEST_F(CapabilityData, PdfHasOnePagePerSpringTypeWithItsText) {
  std::vector<MeasurementRecord> rs;
  for (int k = 0; k < 40; ++k)
    rs.push_back(Record(k + 1, 1, 1,
                        {0, 194.f + (k % 7), 247.f + (k % 9) * 0.8f, 0.1f * (k % 5), 13.f + k % 4,
                         0.05f * (k % 6), 46.f + k % 7}));
  rs.push_back(Record(90, 2, 1, {0, 195.f, 257.5f, 1.f, 15.f, 0.5f, 50.f}));
  WriteRecords(home, "Report/base.bin", rs);
  home.write("Report/day.bin", {});
  const QString out = home.file("report");
  const auto r = testsupport::Run(KALVOR_SPRINGDATA, {"capability", "--home", home.path(), "--out", out});
  ASSERT_EQ(r.exitCode, 0) << qPrintable(r.err);
  const QString pdf = out + "/capability.pdf";
  const auto info = testsupport::Run("pdfinfo", {pdf});
  ASSERT_EQ(info.exitCode, 0) << qPrintable(info.err);
  EXPECT_TRUE(info.out.contains(QRegularExpression("Pages:\\s+2\\n"))) << qPrintable(info.out);
  const auto text = testsupport::Run("pdftotext", {"-layout", pdf, "-"});
  ASSERT_EQ(text.exitCode, 0);
  const QStringList pages = text.out.split('\f');
  ASSERT_GE(pages.size(), 2);
  EXPECT_TRUE(pages[0].contains("Тележка Первая, пружина А (Пружина А)")) << qPrintable(pages[0]);
  EXPECT_TRUE(pages[0].contains("Замеров: 40")) << qPrintable(pages[0]);
  EXPECT_TRUE(pages[0].contains("Cpk"));
  EXPECT_TRUE(pages[0].contains("НГ = Min − E"));
  EXPECT_TRUE(pages[0].contains("Годные пружины по группам высоты"));
  EXPECT_TRUE(pages[1].contains("Тележка Вторая, пружина А")) << qPrintable(pages[1]);
  EXPECT_TRUE(pages[1].contains("257,0–258,0")) << "bogie type 2's bands lie 10 mm higher";
  // The numbers' CSV has six rows per spring type, the pictures are there.
  QFile numbers(out + "/capability.csv");
  ASSERT_TRUE(numbers.open(QIODevice::ReadOnly));
  const auto rows = ParseCsv(numbers.readAll().mid(3));
  ASSERT_EQ(rows.size(), 13u);
  EXPECT_EQ(rows[2][rows[0].indexOf("n")], "40");
  EXPECT_TRUE(QFile::exists(out + "/page-b1-s1.png"));
  EXPECT_TRUE(QFile::exists(out + "/hist-b2-s1-p6.png"));
}

TEST_F(CapabilityData, EmptyDatabaseGivesAOnePageReport) {
  home.write("Report/base.bin", {});
  home.write("Report/day.bin", {});
  const QString out = home.file("empty");
  const auto r = testsupport::Run(KALVOR_SPRINGDATA, {"capability", "--home", home.path(), "--out", out});
  ASSERT_EQ(r.exitCode, 0) << qPrintable(r.err);
  const auto text = testsupport::Run("pdftotext", {out + "/capability.pdf", "-"});
  EXPECT_TRUE(text.out.contains("нет замеров")) << qPrintable(text.out);
}

// The report is drawn by springdata-capability, which springdata runs in its
// place with the same arguments: springdata links no GUI library, a wrong
// argument and the exit code pass through, and a missing program is named.
TEST_F(CapabilityData, SpringdataRunsTheReportApartAndLinksNoGui) {
  const auto linked = testsupport::Run("readelf", {"-d", KALVOR_SPRINGDATA});
  ASSERT_EQ(linked.exitCode, 0);
  EXPECT_TRUE(linked.out.contains("libQt6Core")) << qPrintable(linked.out);
  EXPECT_FALSE(linked.out.contains("libQt6Gui")) << qPrintable(linked.out);
  const auto wrong = testsupport::Run(KALVOR_SPRINGDATA, {"capability", "--home", home.path()});
  EXPECT_EQ(wrong.exitCode, 2);
  EXPECT_TRUE(wrong.err.contains("capability needs --out FOLDER")) << qPrintable(wrong.err);
  const QString alone = home.file("alone/springdata");
  ASSERT_TRUE(QDir().mkpath(home.file("alone")));
  ASSERT_TRUE(QFile::copy(KALVOR_SPRINGDATA, alone));
  const auto missing = testsupport::Run(alone, {"capability", "--home", home.path(), "--out", home.file("r")});
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_TRUE(missing.err.contains("cannot run " + alone + "-capability")) << qPrintable(missing.err);
}
