#pragma once
// Shared helpers of every test program: scratch folders, running the
// program and the tools, keeping pictures. They use the platform layer only;
// programhome.h and keydriver.h serve the tests that reach further.

#include <QImage>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace testsupport {

// A fresh scratch folder that becomes the program and working folder of the
// platform layer for the length of the test.
class ScratchHome {
 public:
  ScratchHome();
  // A scratch folder from a QTemporaryDir template, e.g. on a RAM disk for
  // tests that write many thousands of synced files.
  explicit ScratchHome(const QString& templatePath);
  ~ScratchHome();
  QString path() const { return dir_.path(); }
  QString file(const QString& rel) const { return dir_.filePath(rel); }
  void write(const QString& rel, const QByteArray& bytes) const;
  QByteArray read(const QString& rel) const;

 private:
  QTemporaryDir dir_;
};

// Writes a complete installation folder with the mkinstall tool.
bool MakeInstallation(const QString& dir);

struct RunResult {
  int exitCode = -1;
  bool finished = false;
  QString out;
  QString err;
};
// Runs a program with arguments, waiting at most timeoutMs; `env` adds
// NAME=VALUE entries to its environment.
RunResult Run(const QString& program, const QStringList& args, int timeoutMs = 120000,
              const QStringList& env = {});
// The environment entries that run a program under the fault-injection
// library (tests/support/faultfs.cpp) with its KALVOR_FAULT_* `settings`.
QStringList FaultEnvironment(const QStringList& settings);

// A TCP connection to `port` on the loopback, or -1.
int DialLoopback(int port);
// Whether a server listens on `port` of the loopback within `ms`, polled at
// short steps.
bool WaitForLoopbackPort(int port, int ms = 10000);

// With KALVOR_KEEP_PICTURES=DIR, keeps `img` as DIR/name for a look by eye;
// nothing otherwise.
void KeepPicture(const QImage& img, const QString& name);

}  // namespace testsupport
