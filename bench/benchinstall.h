#pragma once
// An installation for the benchmarks over many records: two bogie types of
// two spring types each, six parameters with norms 10 mm wide, and as many
// measurements in base.bin as asked, about 2000 a day from 5 March 2009.

#include <QDir>
#include <QFile>
#include <QString>

#include "database/records.h"

namespace bench {

// Measurement i of the series: the identifiers of the line's counter, the
// four types in turn, every tenth a fast one.
inline MeasurementRecord Record(int i) {
  MeasurementRecord r;
  r.Identifier = QString("%1-05032009").arg(i % 9999 + 1, 4, 10, QChar('0'));
  r.BogieType = uint8_t(1 + i % 2);
  r.SpringType = uint8_t(1 + (i / 2) % 2);
  r.Kind = i % 10 == 0 ? 1 : 0;
  r.Date = 39877.0 + i / 2000.0;
  for (int p = 1; p <= 6; ++p) r.Param[p].Value = float(p * 10 + (i * 7 + p * 13) % 900 / 100.0);
  r.WagonFrom = "5301";
  r.WagonTo = "7702";
  return r;
}

// Appends measurements first .. first + count - 1 to the record file.
inline void AppendRecords(const QString& path, int first, int count) {
  QFile f(path);
  f.open(QIODevice::Append);
  QByteArray block;
  for (int i = first; i < first + count; ++i) {
    block += EncodeMeasurementRecord(Record(i));
    if (block.size() > (8 << 20)) f.write(block), block.clear();
  }
  f.write(block);
}

// Writes the installation into `dir` with `records` measurements in base.bin
// and empty day.bin and Tel.bin.
inline void WriteInstallation(const QString& dir, int records) {
  auto write = [&](const QString& rel, const QByteArray& bytes) {
    QFile f(QDir(dir).filePath(rel));
    f.open(QIODevice::WriteOnly);
    f.write(bytes);
  };
  QDir(dir).mkpath("Report");
  write("setup.ini", "[Params]\nChassieIniFilename=Chassie.ini\n");
  QByteArray ini = "[Global]\nMaxChNum=2\n";
  for (int b = 1; b <= 2; ++b)
    ini += QString("[Chassie%1]\nName=18-%2\nMaxSprings=2\nSpring1=1\nSpring2=2\n").arg(b).arg(b * 100).toUtf8();
  for (int s = 1; s <= 2; ++s) {
    ini += QString("[Spring%1]\nName=Пружина %1\nAltName=Тип %1\nE=0.1\nNparam=6\n").arg(s).toUtf8();
    for (int p = 1; p <= 6; ++p)
      ini += QString("P%1Name=Параметр %1\nP%1Min=%2\nP%1Max=%3\n").arg(p).arg(p * 10).arg(p * 10 + 8).toUtf8();
  }
  write("Chassie.ini", ini);
  write("Report/day.bin", {});
  write("Report/Tel.bin", {});
  write("Report/base.bin", {});
  AppendRecords(QDir(dir).filePath("Report/base.bin"), 0, records);
}

}  // namespace bench
