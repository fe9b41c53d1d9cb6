// mkinstall: writes a complete installation folder of the line's program.
//   mkinstall [--force] [--contact-sheet FILE.png] DIR

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <cstdio>

#include "desktop/desktop.h"
#include "installation.h"
#include "pictures.h"
#include "platform/optionreader.h"
#include "platform/owner.h"
#include "platform/paths.h"
#include "platform/textfile.h"

namespace {

void Print(FILE* to, const QString& text) {
  std::fprintf(to, "%s\n", text.toLocal8Bit().constData());
}

const char* const kUsage =
    "usage: mkinstall [--force] [--as-owner] [--contact-sheet FILE.png] DIR\n"
    "  Writes an installation folder of the line's program into DIR.\n"
    "  --force          DIR already holds an installation: add what is missing and\n"
    "                   renew the pictures and texts; settings, calibration, state\n"
    "                   and record files that exist are kept.\n"
    "  --contact-sheet  also write one PNG with every picture, to check them by eye.\n"
    "  --as-owner       run by root on another user's DIR: become that user first\n"
    "                   (without it, a DIR of another user is refused).\n";

}  // namespace

int main(int argc, char** argv) {
  // The pictures are drawn with fonts, which need a GUI application; without
  // a display the offscreen platform serves.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
      qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);

  plat::OptionReader reader;
  reader.Flag("--force").Value("--contact-sheet").Flag("--help").Flag("-h").Positionals(1);
  reader.Flag(plat::kAsOwnerOption);
  QString error;
  if (!reader.Read(app.arguments().mid(1), error)) {
    Print(stderr, "mkinstall: " + error);
    std::fputs(kUsage, stderr);
    return 2;
  }
  if (reader.Has("--help") || reader.Has("-h")) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (reader.Positional().isEmpty()) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  const QString dir = reader.Positional().first();
  const QString sheet = reader.Get("--contact-sheet");
  const bool force = reader.Has("--force");
  if (!plat::RunAsInstallationOwner(dir, reader.Has(plat::kAsOwnerOption), "kalvor-mkinstall",
                                    error)) {
    Print(stderr, "mkinstall: " + error);
    return 1;
  }

  const TInstallResult r = WriteInstallation(dir, force);
  if (r.refused) {
    Print(stderr, "mkinstall: " + r.message);
    return 1;
  }
  if (!r.ok) {
    Print(stderr, "mkinstall: " + r.message);
    return 2;
  }
  Print(stdout, QString("mkinstall: installation written to %1 (%2 files)")
                    .arg(QDir(dir).absolutePath())
                    .arg(r.written.size()));
  if (!r.kept.isEmpty())
    Print(stdout, "mkinstall: kept as they were: " + r.kept.join(", "));

  if (!sheet.isEmpty()) {
    // Read back what was written, so the sheet shows the files themselves.
    std::vector<std::pair<QString, QImage>> pics;
    // The key panel as a page shows it: background, then the thirteen keys
    // (every third pressed, the even ones disabled), at their page places.
    QImage panel(1024, 150, QImage::Format_RGB32);
    panel.fill(Qt::black);
    {
      QPainter p(&panel);
      p.drawImage(1, 0, QImage(plat::MapPath("BMP\\panel1024.bmp")));
      const QString chars = "1234567890z#a";
      for (int k = 1; k <= 13; ++k) {
        const QString state = k % 3 == 0 ? "p" : (k % 2 == 0 ? "_np" : "np");
        const QString name = state == "_np" ? "_" + chars.mid(k - 1, 1) + "np.bmp"
                                            : chars.mid(k - 1, 1) + state + ".bmp";
        p.drawImage(74 * k - 28, 679 - 618, QImage(plat::MapPath("BMP\\" + name)));
      }
    }
    pics.emplace_back("key panel as drawn", panel);
    for (const TPicture& p : AllPictures())
      pics.emplace_back(p.name, QImage(plat::MapPath("BMP\\" + p.name)));
    QString reason;
    if (!plat::WriteImageFile(QFileInfo(sheet).absoluteFilePath(), ContactSheet(pics), "PNG",
                              &reason)) {
      Print(stderr, "mkinstall: cannot write " + sheet + ": " + reason);
      return 2;
    }
    Print(stdout, "mkinstall: contact sheet " + sheet);
  }
  return 0;
}
