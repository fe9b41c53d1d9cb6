#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include "config/settings.h"
#include "database/database.h"
#include "measurement/judgement.h"
#include "measurement/sequence.h"
#include "platform/paths.h"
#include "platform/pump.h"
#include "print/printsheet.h"
#include "screen/screen.h"
#include "sorting/springlists.h"
#include "springs/springtypes.h"

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

bool OpenProgramHome(const QString& dir) {
  if (!MakeInstallation(dir)) return false;
  plat::SetHome(dir);
  ResetProgramModules();
  LoadSettings();
  InitScreenModule();  // the page offset follows the settings
  Settings.Debug.KeyPressDelay = 0;
  LoadSpringTypes();
  return true;
}

void ResetProgramModules() {
  plat::SetPumpHook({});
  ResetPrintSheet();
  ResetAvailableSprings();
  ResetScreenModule();
  ResetJudgement();
  ResetMeasurementModule();
  ResetDatabaseModule();
  ResetSpringTypesModule();
  ResetSettingsModule();
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
