#pragma once
// The capability report on paper and for spreadsheets: a PDF of one A4 page
// per spring type (the table of the numbers, a histogram of every measured
// parameter with its limits, and for the free height the height-group bands
// and the good springs per group), each histogram and each page also as a
// PNG picture, and the numbers as CSV (the same conventions as the export).

#include <QString>
#include <QStringList>

#include "capability.h"

namespace springdata {

struct ReportInfo {
  QString sources;  // e.g. "base.bin, day.bin"
  QString range;    // the filter in words, empty for everything
};

// Writes into the folder `outDir` (created when missing):
//   capability.pdf               one page per spring type
//   capability.csv               one row per bogie, spring and parameter
//   capability-groups.csv        good springs per height group
//   page-b<b>-s<s>.png           each page as a picture
//   hist-b<b>-s<s>-p<p>.png      each histogram
// Files are written whole or not at all. A run without any measurement
// writes a one-page PDF that says so. False with `error` on a write failure.
bool WriteCapabilityReport(const Capability& capability, const ReportInfo& info,
                           const QString& outDir, char decimalPoint, QStringList& written,
                           QString& error);

}  // namespace springdata
