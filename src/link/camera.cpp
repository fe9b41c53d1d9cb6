#include "link/camera.h"

#include <QDir>
#include <QFile>

#include "config/settings.h"
#include "link/link.h"
#include "platform/paths.h"
#include "platform/textfile.h"

namespace {

// Pauses that give a camera time to take a request and to start its reply.
constexpr uint32_t kCameraBeforeMs = 100;
constexpr uint32_t kCameraAfterMs = 120;
constexpr uint32_t kReadOutAfterMs = 500;

bool Skipped(int n) { return n == kCameraSkipped || (n == 2 && Settings.Hard.Cam2off); }

// A camera's reply counts when it came whole and names the camera and the
// command of the request.
bool Echoed(int n, uint8_t code) {
  return ReplyEchoes(static_cast<uint8_t>(n), code);
}

// A read-out reply whose body holds exactly the points its header counts,
// no more than a camera keeps: the number of points cannot be told from a
// reply cut short or with a damaged header.
bool ReadOutWhole() {
  const int header = ScanHeader();
  const int points = ScanLengthFromHeader(header);
  return header >= kScanHeaderBase && (header - kScanHeaderBase) % kScanPointBytes == 0 &&
         points <= kCameraMaxReadings &&
         ControllerLink.FrameLength - 2 == kReadOutHeadBytes + kScanPointBytes * points;
}

// The exchange every set-up command makes: pause, drain, request, pause, reply.
void CameraExchange(std::initializer_list<uint8_t> body, uint32_t afterMs) {
  Delay(kCameraBeforeMs);
  DrainInput(kControllerPort);
  PutRequestBody(body);
  SendRequest(kControllerPort);
  Delay(afterMs);
  ReceiveFrame(kControllerPort);
}

uint8_t Cam(int n) { return static_cast<uint8_t>(n); }

// Writes one read-out file; when it can't, reports the disk error naming the
// file (once per read-out) and keeps it in diskError.
bool WriteCameraFile(const QString& systemPath, const QStringList& lines, QString& diskError) {
  QString reason;
  if (plat::WriteTextLines(systemPath, lines, &reason)) return true;
  // A file that could not be rewritten must not leave the previous scan
  // behind for the profile processing to take as this one.
  QFile::remove(plat::MapPath(systemPath));
  if (diskError.isEmpty()) {
    diskError = QStringLiteral("Ошибка записи на диск: файл %1 не записан: %2")
                    .arg(QDir::toNativeSeparators(plat::MapPath(systemPath)), reason);
    LinkDiskError(diskError);
  }
  return false;
}

}  // namespace

bool CameraReset(int n) {
  if (Skipped(n)) return false;
  CameraExchange({Cam(n), kCamReset, 0, 0, 0}, kCameraAfterMs);
  const bool ok = Echoed(n, kCamReset);
  if (!ok) LinkMessage(QStringLiteral("Ошибка сброса камеры №") + QString::number(n));
  return ok;
}

bool CameraResetB(int n) {
  if (Skipped(n)) return false;
  CameraExchange({Cam(n), kCamResetB, 0, 0, 0}, kCameraAfterMs);
  const bool ok = Echoed(n, kCamResetB);
  if (!ok) LinkMessage(QStringLiteral("Ошибка сброса камеры №") + QString::number(n));
  return ok;
}

bool CameraSetThreshold(int n) {
  if (Skipped(n)) return false;
  const int porog = n >= 1 && n <= 4 ? Settings.Hard.Porog[n] : 0;
  CameraExchange({Cam(n), kCamThreshold, static_cast<uint8_t>(porog & 0xFF), 0}, kCameraAfterMs);
  const bool ok = Echoed(n, kCamThreshold);
  if (!ok) LinkMessage(QStringLiteral("Ошибка установки порога камеры №") + QString::number(n));
  return ok;
}

bool CameraSetShutter(int n) {
  if (Skipped(n)) return false;
  const int shutter = n >= 1 && n <= 4 ? Settings.Hard.Shutter[n] : 0;
  CameraExchange({Cam(n), kCamShutter, static_cast<uint8_t>(shutter & 0xFF),
                  static_cast<uint8_t>((shutter >> 8) & 0xFF), 1},
                 kCameraAfterMs);
  const bool ok = Echoed(n, kCamShutter);
  if (!ok) LinkMessage(QStringLiteral("Ошибка установки шаттера камеры №") + QString::number(n));
  return ok;
}

bool CameraPresent(int n) {
  CameraExchange({Cam(n), kCamEnable, 0, 0}, kCameraAfterMs);
  return Echoed(n, kCamEnable);
}

void CameraEnable(const QString& camera, bool on) {
  int n = 1;
  if (camera == "2") n = 2;
  else if (camera == "3") n = 3;
  else if (camera == "4") n = 4;
  if (n == 2 && Settings.Hard.Cam2off) return;
  DrainInput(kControllerPort);
  PutRequestBody({Cam(n), kCamEnable, static_cast<uint8_t>(on ? 1 : 0), 0, 0});
  SendRequest(kControllerPort);
  ReceiveFrame(kControllerPort);
  ControllerLink.CameraNoReply = !Echoed(n, kCamEnable);
}

void CameraSetup(int n) {
  CameraReset(n);
  CameraSetShutter(n);
  CameraSetThreshold(n);
}

QStringList CameraProfileLines() {
  const int32_t length = ControllerLink.FrameLength;
  // A complete frame ends with its delimiter, which is not part of the body;
  // a frame cut short by silence ends with the last byte that arrived.
  const int32_t last = ControllerLink.FrameComplete ? length - 2 : length - 1;
  QStringList lines;
  for (int32_t k = 3; k <= last && k < kFrameBufferSize; ++k)
    lines << QString::number(ControllerLink.FrameBuffer[k]);
  return lines;
}

namespace {
// Reply byte k when it arrived in the last reception, else 0: the buffer
// beyond the reply still holds older bytes that are no part of it.
int ReceivedByte(int32_t k) {
  const int32_t length = ControllerLink.FrameLength;
  const int32_t last = ControllerLink.FrameComplete ? length - 2 : length - 1;
  return k <= last ? ControllerLink.FrameBuffer[k] : 0;
}
}  // namespace

int ScanHeader() { return ReceivedByte(3) + 256 * ReceivedByte(4) + 4096 * ReceivedByte(5); }

int ScanLengthFromHeader(int header) { return (header - 2048) / 4; }

QString CameraFileName(int n) { return QStringLiteral("cmr%1.txt").arg(n); }

QString CameraStorageFileName(int index, int n) {
  return CameraStorageFileName(QString::number(index), n);
}

QString CameraStorageFileName(const QString& storageName, int n) {
  return QStringLiteral("STORAGE\\%1-%2").arg(storageName, CameraFileName(n));
}

bool CameraReadOut(int n, int storageIndex) {
  return CameraReadOut(n, QString::number(storageIndex));
}

bool CameraReadOut(int n, const QString& storageName) {
  QString diskError;
  return CameraReadOut(n, storageName, diskError);
}

bool CameraReadOut(int n, const QString& storageName, QString& diskError) {
  diskError.clear();
  if (Skipped(n)) return false;
  CameraExchange({Cam(n), kCamReadOut, 0, 0, 0}, kReadOutAfterMs);
  const bool ok = Echoed(n, kCamReadOut) && ReadOutWhole();
  if (!ok) LinkMessage(QStringLiteral("Ошибка считывания данных с камеры №") + QString::number(n));
  // The files are written whatever came, so that a reply that does not
  // count shows as an empty profile rather than the previous scan or part
  // of this one. A file that can't be written is a disk error of its own,
  // not a fault of the camera.
  const QStringList lines = ok ? CameraProfileLines() : QStringList();
  WriteCameraFile(CameraFileName(n), lines, diskError);
  WriteCameraFile(CameraStorageFileName(storageName, n), lines, diskError);
  ControllerLink.LastScanLength = ok ? ScanLengthFromHeader(ScanHeader()) : 0;
  TerminalLine(QStringLiteral("Камера №%1   %2").arg(n).arg(ControllerLink.LastScanLength));
  return ok;
}
