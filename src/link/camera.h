#pragma once
// The four line cameras on the controller's line (port 1, addresses 1..4):
// reset, shutter and threshold set-up, enable, presence and the read-out of a
// scan into the camera files cmr<n>.txt and STORAGE\<N>-cmr<n>.txt.
//
// Camera number 12, and camera 2 with [Hard] Cam2off, are skipped by the
// reset, set-up and read-out commands: nothing is sent, nothing written,
// nothing shown, and the result is false. The enable command skips camera 2
// under Cam2off as well; the presence check skips nothing.

#include <QString>
#include <QStringList>
#include <cstdint>

#include "link/commands.h"
#include "link/framing.h"

constexpr uint8_t kCamReset = 0x8A;
constexpr uint8_t kCamResetB = 0x8D;
constexpr uint8_t kCamThreshold = 0x84;
constexpr uint8_t kCamShutter = 0x86;
constexpr uint8_t kCamEnable = 0x8B;  // also the presence check, with a shorter body
constexpr uint8_t kCamReadOut = 0x8C;
constexpr int kCameraSkipped = 12;

// A read-out reply: the camera, the command, three header bytes, then four
// bytes per point; the header is kScanHeaderBase + 4 x the number of points.
constexpr int kReadOutHeadBytes = 5;
constexpr int kScanPointBytes = 4;
constexpr int kScanHeaderBase = 2048;
// While the LIR drives a scan a camera takes one reading per
// kLirCountsPerReading counts (the synchronisation test: 80 bursts of 100
// pulses give 1000 readings).
constexpr int kLirCountsPerReading = 8;
// The most points one read-out reply can carry whole in the frame buffer; a
// header counting more is a damaged one (the profile processing takes at
// most its own number of them).
constexpr int kCameraMaxReadings = (kFrameBufferSize - 2 - kReadOutHeadBytes) / kScanPointBytes;

// Each returns ok: a whole reply came that names the camera's number and
// the command.
bool CameraReset(int n);
bool CameraResetB(int n);
bool CameraSetThreshold(int n);
bool CameraSetShutter(int n);
bool CameraPresent(int n);
// Also writes cmr<n>.txt and its copy STORAGE\<storageName>-cmr<n>.txt (the
// caller names the measurement: its position in the shift file). Ok also
// needs the reply to hold exactly the points its header counts, at most
// kCameraMaxReadings; a reply that does not count writes both files empty.
// A file that cannot be written is shown as a disk error and named in
// diskError (empty when both were written); it does not change the ok of
// the exchange.
bool CameraReadOut(int n, const QString& storageName, QString& diskError);
// The same, the disk error only shown.
bool CameraReadOut(int n, const QString& storageName);
bool CameraReadOut(int n, int storageIndex);
// "2", "3" and "4" select those cameras, any other text camera 1. Sets
// CameraNoReply when no reply counted.
void CameraEnable(const QString& camera, bool on);
// Reset, shutter, threshold: the set-up every caller uses before a scan.
void CameraSetup(int n);

// The camera file's lines for the reply now in the frame buffer: the body
// from its third byte on, one decimal number per byte.
QStringList CameraProfileLines();
// The scan header of the reply in the frame buffer and the number of points
// that follow it.
int ScanHeader();
int ScanLengthFromHeader(int header);
// "cmr<n>.txt" and "STORAGE\<index>-cmr<n>.txt".
QString CameraFileName(int n);
QString CameraStorageFileName(int index, int n);
QString CameraStorageFileName(const QString& storageName, int n);

// The name the service terminal's own scans give their copies under
// STORAGE\ (STORAGE\terminal-cmr<n>.txt): they belong to no measurement,
// so they never replace the files kept for a stored one.
inline const QString kTerminalScanName = QStringLiteral("terminal");
