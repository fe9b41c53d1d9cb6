#include "testsupport.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDate>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>

#include "platform/paths.h"
#include "testpaths.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>

namespace testsupport {

ScratchHome::ScratchHome() { plat::SetHome(dir_.path()); }

ScratchHome::ScratchHome(const QString& templatePath) : dir_(templatePath) {
  plat::SetHome(dir_.path());
}

ScratchHome::~ScratchHome() = default;

void ScratchHome::write(const QString& rel, const QByteArray& bytes) const {
  const QString p = dir_.filePath(rel);
  QDir().mkpath(QFileInfo(p).absolutePath());
  QFile f(p);
  f.open(QIODevice::WriteOnly);
  f.write(bytes);
}

QByteArray ScratchHome::read(const QString& rel) const {
  QFile f(dir_.filePath(rel));
  if (!f.open(QIODevice::ReadOnly)) return {};
  return f.readAll();
}

QStringList FaultEnvironment(const QStringList& settings) {
  return QStringList{QStringLiteral("LD_PRELOAD=") + KALVOR_FAULTFS} + settings;
}

RunResult Run(const QString& program, const QStringList& args, int timeoutMs,
              const QStringList& extra) {
  RunResult r;
  QProcess p;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("QT_QPA_PLATFORM", "offscreen");
  for (const QString& e : extra) env.insert(e.section('=', 0, 0), e.section('=', 1));
  p.setProcessEnvironment(env);
  p.start(program, args);
  r.finished = p.waitForFinished(timeoutMs);
  if (!r.finished) {
    p.kill();
    p.waitForFinished(5000);
  }
  r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
  r.out = QString::fromLocal8Bit(p.readAllStandardOutput());
  r.err = QString::fromLocal8Bit(p.readAllStandardError());
  return r;
}

namespace {

// Copies the files and folders under `from` into `to` (made where missing),
// with their permissions; the files get the time of the copy, as a fresh
// write would give them.
bool CopyTree(const QString& from, const QString& to) {
  if (!QDir().mkpath(to)) return false;
  QDirIterator it(from, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                  QDirIterator::Subdirectories);
  const QDir base(from);
  while (it.hasNext()) {
    const QFileInfo entry(it.next());
    const QString target = QDir(to).filePath(base.relativeFilePath(entry.filePath()));
    if (entry.isDir() ? !QDir().mkpath(target) : !QFile::copy(entry.filePath(), target))
      return false;
  }
  return true;
}

}  // namespace

// mkinstall draws every picture with fonts, which costs a GUI application
// and most of a test's CPU; its output depends only on the tool and the day
// (the shift state is dated the installation day). So one installation per
// build of the tool and day is written beside the temporary folders, made
// complete under another name and renamed in one step (a test beside this one
// never copies half of it), and every test copies it into its empty folder.
// Into a folder that holds something mkinstall runs itself: it fits the
// installation to what is there.
bool MakeInstallation(const QString& dir) {
  if (!QDir(dir).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)) {
    const RunResult r = Run(KALVOR_MKINSTALL, {dir});
    return r.finished && r.exitCode == 0;
  }
  const QFileInfo tool(KALVOR_MKINSTALL);
  const QString day = QDate::currentDate().toString("yyyyMMdd");
  const QString prefix =
      "kalvor-installation-" +
      QCryptographicHash::hash(tool.absoluteFilePath().toUtf8(), QCryptographicHash::Md5)
          .toHex()
          .left(10) +
      "-";
  const QString made = QDir::temp().filePath(
      prefix + QString("%1-%2-%3")
                   .arg(tool.lastModified().toMSecsSinceEpoch())
                   .arg(tool.size())
                   .arg(day));
  if (!QFileInfo::exists(made)) {
    // Threads of one test may make it side by side too.
    static std::atomic<int> makings{0};
    const QString making = made + "." + QString::number(QCoreApplication::applicationPid()) + "-" +
                           QString::number(makings++);
    QDir(making).removeRecursively();
    const RunResult r = Run(KALVOR_MKINSTALL, {making});
    if (!r.finished || r.exitCode != 0) {
      QDir(making).removeRecursively();
      return false;
    }
    // Written across midnight: the shift state may carry either day.
    if (QDate::currentDate().toString("yyyyMMdd") != day) {
      const bool copied = CopyTree(making, dir);
      QDir(making).removeRecursively();
      return copied;
    }
    if (::rename(QFile::encodeName(making).constData(), QFile::encodeName(made).constData()) != 0)
      QDir(making).removeRecursively();  // a test beside this one was first
    // Earlier builds' and days' installations.
    for (const QFileInfo& old : QDir::temp().entryInfoList({prefix + "*"}, QDir::Dirs))
      if (old.absoluteFilePath() != made && !old.fileName().contains('.'))
        QDir(old.absoluteFilePath()).removeRecursively();
  }
  return CopyTree(made, dir);
}

void KeepPicture(const QImage& img, const QString& name) {
  const QString dir = qEnvironmentVariable("KALVOR_KEEP_PICTURES");
  if (!dir.isEmpty()) img.save(QDir(dir).filePath(name));
}

int DialLoopback(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) return fd;
  close(fd);
  return -1;
}

bool WaitForLoopbackPort(int port, int ms) {
  QElapsedTimer t;
  t.start();
  while (true) {
    if (const int fd = DialLoopback(port); fd >= 0) {
      close(fd);
      return true;
    }
    if (t.elapsed() >= ms) return false;
    QThread::msleep(20);
  }
}

}  // namespace testsupport

// The tests' entry: an application object for fonts, pictures and widgets on
// the offscreen platform. Weak, so a test folder may bring its own.
#include <QApplication>
#include <gtest/gtest.h>

__attribute__((weak)) int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
