#include "installation.h"

#include <QDir>
#include <QFileInfo>

#include "database/database.h"
#include "desktop/desktop.h"
#include "installtexts.h"
#include "pictures.h"
#include "platform/clock.h"
#include "platform/cp1251.h"
#include "platform/paths.h"
#include "platform/textfile.h"

namespace {

// The folders every start of the program relies on.
const char* const kFolders[] = {"Report", "Config", "Temp", "BMP", "Errors", "STORAGE", "Tabl1",
                                "texts"};

class Writer {
 public:
  TInstallResult result;

  bool Fail(const QString& what) {
    result.ok = false;
    result.message = what;
    return false;
  }

  bool Folder(const QString& systemPath) {
    // An existing folder in other letter case ("TEMP") is the same folder.
    const QString mapped = plat::MapPath(systemPath);
    if (!QDir().mkpath(mapped)) return Fail("Не удается создать папку " + mapped);
    return true;
  }

  // Site data: written only when the file does not exist yet.
  bool Keep(const QString& systemPath, bool programFolder = false) {
    const QString mapped = programFolder ? plat::MapProgramPath(systemPath)
                                         : plat::MapPath(systemPath);
    if (QFileInfo::exists(mapped)) {
      result.kept << systemPath;
      return true;
    }
    return false;
  }

  bool Lines(const QString& systemPath, const QStringList& lines) {
    QString reason;
    if (!plat::WriteTextLines(systemPath, lines, &reason))
      return Fail("Не удается записать " + systemPath + ": " + reason);
    result.written << systemPath;
    return true;
  }

  bool Bytes(const QString& systemPath, const QByteArray& bytes) {
    QString reason;
    if (!plat::WriteFileBytes(systemPath, bytes, &reason))
      return Fail("Не удается записать " + systemPath + ": " + reason);
    result.written << systemPath;
    return true;
  }

  // The state files through the database module's own writers: the start
  // values of a shift change, dated the installation day (so the first start
  // opens no new shift), no wagon numbers yet; full measurement, bogie type 1.
  bool ShiftState() {
    ResetDatabaseModule();
    const QDate today = plat::CurrentDateTime().date();
    Database.ShiftState.Day = today.day();
    Database.ShiftState.Month = today.month();
    if (!SaveShiftState()) return Fail(DatabaseError());
    result.written << kShiftStateFile;
    return true;
  }

  bool ModeState() {
    ResetDatabaseModule();
    if (!SaveModeState()) return Fail(DatabaseError());
    result.written << kModeStateFile;
    return true;
  }

  bool Picture(const TPicture& pic) {
    const QString systemPath = "BMP\\" + pic.name;
    const QString mapped = plat::MapPath(systemPath);
    QImage img = pic.draw();
    if (img.width() != pic.width || img.height() != pic.height)
      return Fail("Неверный размер рисунка " + pic.name);
    // 24-bit colour without alpha, the form every BMP reader takes.
    img = img.convertToFormat(QImage::Format_RGB888);
    // Pictures are redrawn by --force; they are not synced one by one.
    QString reason;
    if (!plat::WriteImageFile(mapped, img, "BMP", &reason, false))
      return Fail("Не удается записать " + systemPath + ": " + reason);
    result.written << systemPath;
    return true;
  }
};

}  // namespace

TInstallResult WriteInstallation(const QString& dir, bool force) {
  Writer w;
  if (!QDir().mkpath(dir)) {
    w.result.message = "Не удается создать папку " + dir;
    return w.result;
  }
  plat::SetHome(dir);

  if (QFileInfo::exists(plat::MapProgramPath("setup.ini")) && !force) {
    w.result.refused = true;
    w.result.message = "В папке " + QDir(dir).absolutePath() +
                       " уже есть установка (setup.ini); она не изменена. "
                       "Ключ --force дописывает недостающие файлы и обновляет рисунки и тексты, "
                       "не трогая настройки и данные.";
    return w.result;
  }

  for (const char* f : kFolders)
    if (!w.Folder(f)) return w.result;

  // Site settings and data.
  if (!w.Keep("setup.ini", true)) {
    const QString mapped = plat::MapProgramPath("setup.ini");
    QString reason;
    if (!plat::WriteMappedBytes(mapped, plat::ToCp1251(SetupIniText()), &reason)) {
      w.Fail("Не удается записать setup.ini: " + reason);
      return w.result;
    }
    w.result.written << "setup.ini";
  }
  if (!w.Keep(kChassieFileName, true)) {
    QString reason;
    if (!plat::WriteMappedBytes(plat::MapProgramPath(kChassieFileName),
                                plat::ToCp1251(ChassieIniLines().join("\r\n") + "\r\n"), &reason)) {
      w.Fail("Не удается записать " + kChassieFileName + ": " + reason);
      return w.result;
    }
    w.result.written << kChassieFileName;
  }
  for (int cam = 1; cam <= 4; ++cam) {
    const QString path = QString("Tabl1\\cal%1.txt").arg(cam);
    if (!w.Keep(path) && !w.Lines(path, CalibrationTableLines(cam))) return w.result;
  }
  if (!w.Keep("Calibrate.txt") && !w.Lines("Calibrate.txt", CalibrateLines())) return w.result;
  if (!w.Keep(kShiftStateFile) && !w.ShiftState()) return w.result;
  if (!w.Keep(kModeStateFile) && !w.ModeState()) return w.result;
  if (!w.Keep("Config\\pov.dat") &&
      !w.Bytes("Config\\pov.dat", VerificationDateRecord(plat::Now())))
    return w.result;
  for (const char* rec : {"Report\\base.bin", "Report\\day.bin", "Report\\Tel.bin"})
    if (!w.Keep(rec) && !w.Bytes(rec, QByteArray())) return w.result;

  // The program's own data: always written anew.
  for (const TErrorText& e : ErrorTexts())
    if (!w.Lines(QString("Errors\\%1.err").arg(e.code), e.lines)) return w.result;
  if (!w.Lines("texts\\pparam.txt", ParameterNameLines())) return w.result;
  for (const TPicture& pic : AllPictures())
    if (!w.Picture(pic)) return w.result;

  w.result.ok = true;
  return w.result;
}
