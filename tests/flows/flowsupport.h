#pragma once
// Running the program on a scratch installation with a playback script.

#include <QImage>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <ostream>
#include <vector>

#include "database/records.h"
#include "testsupport.h"

// The program the flow tests start: a hard link (or copy) of the built
// binary in a folder of the test process. The single-instance check compares
// executable paths, so flow tests in different processes may run side by
// side, while a test that starts two copies on purpose still starts one path
// twice. The tools are found beside it as beside the built one.
QString FlowProgram();

class FlowHome {
 public:
  // A complete installation (mkinstall) with extra setup.ini lines appended
  // to their sections.
  explicit FlowHome(const QString& setupExtra = QString());
  QString path() const { return dir_.path(); }
  QString file(const QString& rel) const { return dir_.filePath(rel); }
  // Sets one key of setup.ini.
  void Set(const QString& section, const QString& key, const QString& value);
  // Runs the program with the script on the virtual clock.
  testsupport::RunResult Play(const QString& script, const QStringList& extraArgs = {},
                              int timeoutMs = 120000);
  QImage Snap(const QString& name) const { return QImage(file(name)); }
  // A text file the program wrote (a dump), decoded from CP1251.
  QString Text(const QString& name) const;
  // Runs the program without the super-user's right to ignore file
  // permissions, so that a read-only folder is read-only to it even when the
  // tests run as root (setpriv drops the capabilities).
  void RunAsOrdinaryUser(bool on) { ordinaryUser_ = on; }
  // The next runs go under the fault-injection library with these
  // KALVOR_FAULT_* settings (none: no injection).
  void InjectFaults(const QStringList& settings) { faults_ = settings; }

 private:
  QTemporaryDir dir_;
  bool ordinaryUser_ = false;
  QStringList faults_;
};

// The simulated line (tools/linesim) on pseudo-terminals, for as long as the
// test runs: the controller and the cameras, and the CKT test board when
// asked for.
class SimulatedLine {
 public:
  explicit SimulatedLine(const QStringList& options, bool withBoard = false);
  ~SimulatedLine();
  QString port() const { return port_; }            // [Hard] Com
  QString boardPort() const { return boardPort_; }  // [Ckt] Port, empty without the board
  // The clock the line shares: FlowHome::Play runs the program with
  // --line-clock on the line of the test, so the line keeps the program's
  // virtual time. A program started otherwise leaves the line on its own
  // clock.
  static QString Clock();

 private:
  QTemporaryDir clockDir_;
  QProcess proc_;
  QString port_;
  QString boardPort_;
};

// The records of the shift file Report\day.bin, in their order; the file's
// bytes in *raw when asked.
std::vector<MeasurementRecord> ShiftRecords(const FlowHome& home, QByteArray* raw = nullptr);

// The lines of a dump (or any text the program wrote), without their CR LF.
QStringList TextLines(const QString& text);
// The lines of a dump that belong to one control, without the name.
QStringList DumpLines(const QString& dump, const QString& name);
// Texts in the messages of failed expectations.
void PrintTo(const QString& text, std::ostream* os);

// The pixel colour without alpha.
inline QRgb Rgb(const QImage& img, int x, int y) {
  return img.pixel(x, y) & 0xFFFFFF;
}
// How many pixels of a colour lie in a rectangle.
int CountColour(const QImage& img, const QRect& r, QRgb colour);
