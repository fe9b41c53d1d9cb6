#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include "platform/paths.h"
#include "testpaths.h"

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

bool MakeInstallation(const QString& dir) {
  const RunResult r = Run(KALVOR_MKINSTALL, {dir});
  return r.finished && r.exitCode == 0;
}

void KeepPicture(const QImage& img, const QString& name) {
  const QString dir = qEnvironmentVariable("KALVOR_KEEP_PICTURES");
  if (!dir.isEmpty()) img.save(QDir(dir).filePath(name));
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
