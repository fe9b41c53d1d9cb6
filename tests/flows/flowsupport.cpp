#include "flowsupport.h"

#include <QFile>
#include <gtest/gtest.h>
#include <unistd.h>

#include "platform/cp1251.h"
#include "platform/inifile.h"

FlowHome::FlowHome(const QString& setupExtra) {
  EXPECT_TRUE(testsupport::MakeInstallation(dir_.path())) << "mkinstall failed";
  if (!setupExtra.isEmpty()) {
    const plat::IniFile extra = plat::IniFile::FromText(setupExtra);
    for (const QString& section : extra.Sections())
      for (const QString& key : extra.Keys(section)) Set(section, key, *extra.Value(section, key));
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
  args += extraArgs;
  if (ordinaryUser_ && ::geteuid() == 0)
    return testsupport::Run(
        "setpriv",
        QStringList{"--bounding-set=-dac_override,-dac_read_search,-fowner,-linux_immutable",
                    KALVOR_EXE} + args,
        timeoutMs);
  return testsupport::Run(KALVOR_EXE, args, timeoutMs);
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
