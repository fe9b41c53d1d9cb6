#pragma once
// The single-byte Cyrillic code page of every file and record of the system.
// Conversion happens only at the file boundary; in memory every text is a
// QString.

#include <QByteArray>
#include <QString>
#include <string>

namespace plat {

// Characters with no CP1251 byte become '?'.
QByteArray ToCp1251(const QString& text);
QString FromCp1251(const QByteArray& bytes);
QString FromCp1251(const char* bytes, int length);
char ToCp1251Char(QChar c);
QChar FromCp1251Char(unsigned char b);
// Appends the UTF-8 bytes of CP1251 `bytes` to `out`: for writers that put
// a record's texts into UTF-8 files without a QString for each.
void AppendCp1251AsUtf8(std::string& out, const char* bytes, int length);

}  // namespace plat
