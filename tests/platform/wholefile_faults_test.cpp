// The whole-file writer under a failure at every step it takes (creating the
// temporary, writes cut at several byte counts, the file's sync, its close,
// the rename, the folder's sync), with ENOSPC and EIO, over an old file and
// over none: the target holds the old bytes or the new ones, nothing else,
// and no temporary is left.

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstring>
#include <gtest/gtest.h>

#include "testsupport.h"
#include "testpaths.h"

namespace {

struct Point {
  QString name;
  QStringList settings;  // KALVOR_FAULT_* besides the path and the error
  bool folder = false;   // the pattern names the folder, not the file
  bool writes = false;   // the writer still succeeds (the fault is after the rename)
};

QByteArray Pattern(char a, int n) {
  QByteArray b(n, a);
  for (int i = 0; i < n; i += 97) b[i] = '\n';
  return b;
}

bool WriteRaw(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

}  // namespace

TEST(WholeFileFaults, OldOrNewContentNeverAnythingElse) {
  const QByteArray oldBytes = Pattern('o', 10000);
  const QByteArray newBytes = Pattern('n', 20000);
  std::vector<Point> points = {{"create the temporary", {"KALVOR_FAULT_OPS=open"}},
                               {"fsync of the file", {"KALVOR_FAULT_OPS=fsync"}},
                               {"close", {"KALVOR_FAULT_OPS=close"}},
                               {"rename", {"KALVOR_FAULT_OPS=rename"}},
                               {"fsync of the folder", {"KALVOR_FAULT_OPS=fsync"}, true, true}};
  for (int after : {0, 1, 4095, 4096, 10000, 19999})
    points.push_back({QString("write after %1 bytes").arg(after),
                      {"KALVOR_FAULT_OPS=write", QString("KALVOR_FAULT_AFTER=%1").arg(after)}});

  int runs = 0, passed = 0;
  for (const char* err : {"ENOSPC", "EIO"}) {
    const QString text = QString::fromLocal8Bit(std::strerror(std::strcmp(err, "EIO") ? ENOSPC : EIO));
    for (bool hadOld : {true, false}) {
      for (const Point& p : points) {
        SCOPED_TRACE(QString("%1, %2, %3").arg(p.name, err, hadOld ? "old file" : "no file").toStdString());
        QTemporaryDir dir;
        const QString folder = dir.filePath("Config");
        const QString target = folder + "/now.txt";
        const QString source = dir.filePath("new.bin");
        const QString log = dir.filePath("faults.log");
        ASSERT_TRUE(QDir().mkpath(folder));
        ASSERT_TRUE(WriteRaw(source, newBytes));
        if (hadOld) {
          ASSERT_TRUE(WriteRaw(target, oldBytes));
        }
        const QStringList env = testsupport::FaultEnvironment(
            QStringList{"KALVOR_FAULT_PATH=" + (p.folder ? folder : target + ".*"),
                        QString("KALVOR_FAULT_ERRNO=") + err, "KALVOR_FAULT_LOG=" + log} +
            p.settings);
        const auto r = testsupport::Run(KALVOR_WHOLEFILE_PROBE, {target, source}, 30000, env);
        ++runs;
        const QFile logFile(log);
        const bool injected = logFile.exists() && logFile.size() > 0;
        QFile t(target);
        const bool exists = t.open(QIODevice::ReadOnly);
        const QByteArray now = exists ? t.readAll() : QByteArray();
        const QStringList left = QDir(folder).entryList({"now.txt.*"}, QDir::Files | QDir::Hidden);
        const bool ok =
            injected && left.isEmpty() &&
            (p.writes ? r.exitCode == 0 && now == newBytes
                      : r.exitCode == 1 && r.out.trimmed() == "failed: " + text &&
                            exists == hadOld && now == (hadOld ? oldBytes : QByteArray()));
        EXPECT_TRUE(ok) << "injected " << injected << ", exit " << r.exitCode << ", "
                        << qPrintable(r.out.trimmed()) << ", target " << now.size()
                        << " bytes, temporaries left " << qPrintable(left.join(' '));
        passed += ok;
      }
    }
  }
  std::printf("whole-file writer: %d injection points, %d passed\n", runs, passed);
  EXPECT_EQ(passed, runs);
}

// Without a fault the same run writes the new bytes (the library is loaded
// and changes nothing that is not asked for).
TEST(WholeFileFaults, UnmatchedPathsAreLeftAlone) {
  QTemporaryDir dir;
  const QString target = dir.filePath("Calibrate.txt");
  const QString source = dir.filePath("new.bin");
  ASSERT_TRUE(WriteRaw(source, "1\r\n2\r\n"));
  const auto r = testsupport::Run(KALVOR_WHOLEFILE_PROBE, {target, source}, 30000,
                                  testsupport::FaultEnvironment({"KALVOR_FAULT_PATH=*/other*",
                                                                 "KALVOR_FAULT_OPS=write,fsync,close,rename"}));
  EXPECT_EQ(r.exitCode, 0) << qPrintable(r.out + r.err);
  QFile t(target);
  ASSERT_TRUE(t.open(QIODevice::ReadOnly));
  EXPECT_EQ(t.readAll(), QByteArray("1\r\n2\r\n"));
}
