#include "flowsupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <cstdlib>
#include <QRegularExpression>
#include <gtest/gtest.h>
#include <unistd.h>

#include "platform/cp1251.h"
#include "platform/inifile.h"
#include "testpaths.h"

QString FlowProgram() {
  static const QString path = [] {
    const QString built = KALVOR_BUILT_EXE;
    const QString buildDir = built.left(built.lastIndexOf('/'));
    // Named as the built one (the backup tool knows the program by its name),
    // in a folder of this process, with the tools reached through it as
    // beside the built one.
    static const QString dir = QStringLiteral("%1/flowbin-%2").arg(buildDir).arg(::getpid());
    const QString own = dir + "/kalvor";
    QDir(dir).removeRecursively();
    if (!QDir().mkpath(dir) || !QFile::link(buildDir + "/tools", dir + "/tools") ||
        (::link(QFile::encodeName(built).constData(), QFile::encodeName(own).constData()) != 0 &&
         !QFile::copy(built, own)))
      return built;  // shared with other flow tests: their second copies are refused
    QFile::setPermissions(own, QFile::permissions(built));
    std::atexit([] { QDir(dir).removeRecursively(); });
    return own;
  }();
  return path;
}

FlowHome::FlowHome(const QString& setupExtra) {
  EXPECT_TRUE(testsupport::MakeInstallation(dir_.path())) << "mkinstall failed";
  if (!setupExtra.isEmpty()) {
    // Every key in one write of setup.ini: each write is synced to the disk.
    const plat::IniFile extra = plat::IniFile::FromText(setupExtra);
    plat::IniFile setup = plat::IniFile::Load(file("setup.ini"));
    for (const QString& section : extra.Sections())
      for (const QString& key : extra.Keys(section))
        setup.WriteString(section, key, *extra.Value(section, key));
    QString reason;
    EXPECT_TRUE(setup.Save(file("setup.ini"), &reason)) << reason.toStdString();
  }
}

void FlowHome::Set(const QString& section, const QString& key, const QString& value) {
  plat::IniWriteString(file("setup.ini"), section, key, value);
}

testsupport::RunResult FlowHome::Play(const QString& script, const QStringList& extraArgs,
                                      int timeoutMs) {
  const QString scriptPath = file("test.play");
  QFile f(scriptPath);
  f.open(QIODevice::WriteOnly);
  f.write(script.toUtf8());
  f.close();
  QStringList args = {"--home", path(), "-platform", "offscreen", "--virtual-clock",
                      "--play", scriptPath};
  if (!SimulatedLine::Clock().isEmpty()) args << "--line-clock" << SimulatedLine::Clock();
  args += extraArgs;
  const QStringList env = faults_.isEmpty() ? QStringList() : testsupport::FaultEnvironment(faults_);
  if (ordinaryUser_ && ::geteuid() == 0)
    return testsupport::Run(
        "setpriv",
        QStringList{"--bounding-set=-dac_override,-dac_read_search,-fowner,-linux_immutable",
                    KALVOR_EXE} + args,
        timeoutMs, env);
  return testsupport::Run(KALVOR_EXE, args, timeoutMs, env);
}

QString FlowHome::Text(const QString& name) const {
  QFile f(file(name));
  if (!f.open(QIODevice::ReadOnly)) return QString();
  const QByteArray bytes = f.readAll();
  return plat::FromCp1251(bytes.constData(), bytes.size());
}

int CountColour(const QImage& img, const QRect& r, QRgb colour) {
  int n = 0;
  for (int y = r.top(); y <= r.bottom(); ++y)
    for (int x = r.left(); x <= r.right(); ++x)
      if (x >= 0 && y >= 0 && x < img.width() && y < img.height() && Rgb(img, x, y) == colour) ++n;
  return n;
}

namespace {
QString g_lineClock;  // the clock of the line of the running test
}  // namespace

SimulatedLine::SimulatedLine(const QStringList& options, bool withBoard) {
  QString exe = KALVOR_EXE;
  const QString linesim = exe.left(exe.lastIndexOf('/')) + "/tools/linesim";
  proc_.setProcessChannelMode(QProcess::SeparateChannels);
  const QStringList board = withBoard ? QStringList{} : QStringList{"--no-board"};
  // The line keeps the time of a program that FlowHome::Play starts; its
  // own delays are shortened for a program started otherwise, which leaves
  // the line on the real clock. A test that is about the real timing passes
  // its own options after.
  proc_.start(linesim, board + QStringList{"--for", "300", "--quick", "--clock",
                                           clockDir_.filePath("clock")} + options);
  if (!proc_.waitForStarted(10000)) return;
  // The ports are printed one a line before the line is ready.
  QString out;
  QElapsedTimer t;
  t.start();
  while (!out.contains("ready") && t.elapsed() < 10000 && proc_.state() == QProcess::Running) {
    proc_.waitForReadyRead(200);
    out += QString::fromLocal8Bit(proc_.readAllStandardOutput());
  }
  const auto com = QRegularExpression("Com=(\\S+)").match(out);
  if (com.hasMatch()) {
    port_ = com.captured(1);
    g_lineClock = clockDir_.filePath("clock");
  }
  const auto ckt = QRegularExpression("\\[Ckt\\] Port=(\\S+)").match(out);
  if (ckt.hasMatch()) boardPort_ = ckt.captured(1);
}

QString SimulatedLine::Clock() { return g_lineClock; }

SimulatedLine::~SimulatedLine() {
  if (g_lineClock == clockDir_.filePath("clock")) g_lineClock.clear();
  proc_.kill();
  proc_.waitForFinished(5000);
}

QStringList TextLines(const QString& text) {
  QStringList lines = text.split('\n');
  for (QString& l : lines)
    if (l.endsWith('\r')) l.chop(1);
  return lines;
}

QStringList DumpLines(const QString& dump, const QString& name) {
  QStringList lines;
  const QString prefix = name + '\t';
  for (const QString& l : TextLines(dump))
    if (l.startsWith(prefix)) lines << l.mid(prefix.size());
  return lines;
}

void PrintTo(const QString& text, std::ostream* os) {
  *os << '"' << text.toStdString() << '"';
}

std::vector<MeasurementRecord> ShiftRecords(const FlowHome& home, QByteArray* raw) {
  QFile f(home.file("Report/day.bin"));
  std::vector<MeasurementRecord> out;
  if (!f.open(QIODevice::ReadOnly)) return out;
  const QByteArray bytes = f.readAll();
  if (raw) *raw = bytes;
  for (int at = 0; at + kMeasurementRecordSize <= bytes.size(); at += kMeasurementRecordSize)
    out.push_back(DecodeMeasurementRecord(bytes.constData() + at));
  return out;
}
