// Writes one file through the program's whole-file writer, for the tests
// that run it under the fault-injection library:
//   wholefileprobe TARGET SOURCE   the bytes of SOURCE become TARGET
// Prints "written" or "failed: <reason>"; exit code 0 or 1.

#include <QFile>
#include <cstdio>

#include "platform/textfile.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fputs("usage: wholefileprobe TARGET SOURCE\n", stderr);
    return 2;
  }
  QFile source(QFile::decodeName(argv[2]));
  if (!source.open(QIODevice::ReadOnly)) return 2;
  const QByteArray bytes = source.readAll();
  source.close();
  QString reason;
  if (plat::WriteWholeFile(QFile::decodeName(argv[1]), bytes, &reason)) {
    std::puts("written");
    return 0;
  }
  std::printf("failed: %s\n", reason.toLocal8Bit().constData());
  return 1;
}
