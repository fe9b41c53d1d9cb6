#pragma once
// The single-byte Cyrillic code page of every file and record of the system.
// Conversion happens only at the file boundary; in memory every text is a
// QString.

#include <QByteArray>
#include <QString>

namespace plat {

// Characters with no CP1251 byte become '?'.
QByteArray ToCp1251(const QString& text);
QString FromCp1251(const QByteArray& bytes);
QString FromCp1251(const char* bytes, int length);
char ToCp1251Char(QChar c);
QChar FromCp1251Char(unsigned char b);

}  // namespace plat
