#pragma once
// Whole-file reads and writes of the system's CP1251 text files. Each call
// opens, reads or writes and closes the file; nothing stays open.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

namespace plat {

// Reads a file (system path) as CP1251 lines; line ends CR LF or LF. A final
// line end does not add an empty line. Empty optional when it can't be read.
std::optional<QStringList> ReadTextLines(const QString& systemPath);

// Writes lines as CP1251, each ended by CR LF, creating the folder when
// missing. The data reaches the disk (flush and fsync) before it returns.
bool WriteTextLines(const QString& systemPath, const QStringList& lines);

// Raw bytes of a file (system path).
std::optional<QByteArray> ReadFileBytes(const QString& systemPath);
// Writes raw bytes, through a temporary file renamed over the old one, synced.
bool WriteFileBytes(const QString& systemPath, const QByteArray& bytes);

// The same on file-system paths that are already mapped.
std::optional<QByteArray> ReadMappedBytes(const QString& path);
bool WriteMappedBytes(const QString& path, const QByteArray& bytes);

// Forces a written file's data to the disk.
bool SyncFile(const QString& mappedPath);

}  // namespace plat
