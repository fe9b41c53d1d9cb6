// What the start and the end of a run must not hide: a clock behind the
// shift, a setup.ini value that does not read, a set archive that cannot be
// read, a print sheet still pending at the shutdown.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "flowsupport.h"

namespace {

QString ToolPath(const QString& name) {
  const QString exe = KALVOR_EXE;
  return exe.left(exe.lastIndexOf('/')) + "/tools/" + name;
}

QByteArray Bytes(const FlowHome& home, const QString& rel) {
  QFile f(home.file(rel));
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(missing)");
}

constexpr int kStartupMs = 13000;

}  // namespace

TEST(StartChecks, AClockBehindTheShiftMovesNothingAndSaysSoUntilConfirmed) {
  FlowHome home;
  // Three measurements of the shift of 2 March 2026.
  for (const QStringList& args :
       {QStringList{"--now", "2026-03-02T08:00:00", "start"},
        QStringList{"--now", "2026-03-02T09:00:00", "fill", "3"}})
    ASSERT_EQ(testsupport::Run(ToolPath("dbtool"), QStringList{"--home", home.path()} + args).exitCode, 0);
  const QByteArray base = Bytes(home, "Report/base.bin"), day = Bytes(home, "Report/day.bin"),
                   now = Bytes(home, "Config/now.txt");
  const QStringList yesterday = {"--now", "2026-03-01T09:00:00"};

  // The operator ends the program to set the clock right.
  auto r = home.Play("wait 1500\nsnap clock.png\nkey 12\nwait 1000\nkey 1\n", yesterday);
  ASSERT_TRUE(r.finished);
  EXPECT_EQ(r.exitCode, 0) << qPrintable(r.err);
  EXPECT_TRUE(r.err.contains("Часы компьютера показывают 01.03.2026, это раньше текущей смены "
                             "02.03.2026")) << qPrintable(r.err);
  const QImage page = home.Snap("clock.png");
  EXPECT_GT(CountColour(page, QRect(40, 136, 560, 50), 0xFF0000), 1500);  // the red title
  EXPECT_GT(CountColour(page, QRect(40, 334, 700, 60), 0x0000FF), 800);   // what each key does
  EXPECT_GT(CountColour(page, QRect(40, 214, 500, 50), 0x000000), 500);   // both dates
  // Nothing of the status strip's mode picture below the box.
  EXPECT_EQ(CountColour(page, QRect(860, 615, 40, 1), 0xC0C0C0), 40);
  EXPECT_EQ(Bytes(home, "Report/base.bin"), base);
  EXPECT_EQ(Bytes(home, "Report/day.bin"), day);
  EXPECT_EQ(Bytes(home, "Config/now.txt"), now);

  // Going on: the measurement continues the stored shift's names.
  r = home.Play(QString("wait 1500\nkey 3\nwait %1\nkey 2\nwait 10000\nexit\n").arg(kStartupMs),
                yesterday);
  ASSERT_TRUE(r.finished);
  EXPECT_EQ(r.exitCode, 0) << qPrintable(r.err);
  const auto records = ShiftRecords(home);
  ASSERT_EQ(records.size(), 4u);
  EXPECT_EQ(records[3].Identifier, "0004-02032026");
  EXPECT_EQ(Bytes(home, "Report/day.bin").left(day.size()), day);
  EXPECT_EQ(Bytes(home, "Report/base.bin"), base);
  EXPECT_EQ(Bytes(home, "Config/now.txt").split('\n').mid(5, 2), now.split('\n').mid(5, 2));
}

TEST(StartChecks, AnUnreadableEmulIsNamedAndEmulationIsSaidInWords) {
  FlowHome home;
  home.Set("Global", "Emul", "0 ; линия");
  const auto r = home.Play(QString("wait 600\nsnap start.png\nwait %1\nsnap menu.png\nexit\n")
                               .arg(kStartupMs));
  ASSERT_TRUE(r.finished);
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_TRUE(r.err.contains("setup.ini: [Global] Emul = \"0 ; линия\": не число, взято по "
                             "умолчанию 1")) << qPrintable(r.err);
  const QImage start = home.Snap("start.png");
  EXPECT_GT(CountColour(start, QRect(440, 130, 560, 36), 0xFF0000), 300);  // the two lines
  EXPECT_GT(CountColour(start, QRect(88, 288, 320, 22), 0xFF0000), 300);   // emulation, in words
  const QImage menu = home.Snap("menu.png");
  EXPECT_GT(CountColour(menu, QRect(56, 570, 350, 22), 0xFF0000), 300);    // under "готова"
}

TEST(StartChecks, ASetArchiveThatCannotBeReadIsNotAnEmptyOne) {
  FlowHome home;
  // A Tel.bin that is not a file is named at the start check first.
  const QString script = QString("wait %1\nkey 11\nwait 500\nkey 10\nwait 500\nkey 7\nwait 500\nsnap sets.png\n"
                                 "key 13\nwait 300\nexit\n").arg(kStartupMs);
  const QRect details(460, 160, 500, 60);
  // A folder in the place of Report\Tel.bin: the reason, named.
  ASSERT_TRUE(QFile::remove(home.file("Report/Tel.bin")));
  ASSERT_TRUE(QDir(home.path()).mkpath("Report/Tel.bin"));
  auto r = home.Play(script);
  ASSERT_TRUE(r.finished);
  EXPECT_TRUE(r.err.contains("проверка системы: Report\\Tel.bin не читается")) << qPrintable(r.err);
  EXPECT_TRUE(r.err.contains("Tel.bin: не является файлом")) << qPrintable(r.err);
  EXPECT_GT(CountColour(home.Snap("sets.png"), details, 0xFF0000), 200);
  // Missing altogether, as on a new installation: no sets, in black.
  ASSERT_TRUE(QDir(home.file("Report/Tel.bin")).removeRecursively());
  r = home.Play(script);
  ASSERT_TRUE(r.finished);
  const QImage empty = home.Snap("sets.png");
  EXPECT_EQ(CountColour(empty, details, 0xFF0000), 0);
  EXPECT_GT(CountColour(empty, details, 0x000000), 200);
}

TEST(StartChecks, APendingSheetIsKeptAsItsCopyAtTheShutdown) {
  FlowHome home;
  const auto r = home.Play(QString("wait %1\nkey 2\nwait 10000\nkey 7\nwait 300\nkey 13\n"
                                   "wait 500\nkey 12\nwait 1000\nsnap end.png\nkey 1\n")
                               .arg(kStartupMs),
                           {"--now", "2026-12-06T10:00:00"});
  ASSERT_TRUE(r.finished);
  EXPECT_EQ(r.exitCode, 0) << qPrintable(r.err);
  const QStringList kept = QDir(home.file("Report")).entryList({"sheet-*.pdf"}, QDir::Files);
  ASSERT_EQ(kept.size(), 1);
  EXPECT_TRUE(r.err.contains("Неотпечатанный лист (отчетов: 1) сохранен в файле Report\\" +
                             kept[0])) << qPrintable(r.err);
  const auto text = testsupport::Run("pdftotext", {home.file("Report/" + kept[0]), "-"});
  EXPECT_TRUE(text.out.contains(ShiftRecords(home).at(0).Identifier)) << qPrintable(text.out);
  EXPECT_GT(CountColour(home.Snap("end.png"), QRect(40, 480, 900, 24), 0x000000), 300);
}

// A line whose every reply is cut short answers nothing: the check writes
// "X" for the controller and the cameras it asks, and ends on the error page
// (camera 2 always passes, so code 8), never on "Линия готова к работе !".
TEST(StartChecks, ALineOfCutRepliesIsNotReady) {
  SimulatedLine line({"--cut", "3"});
  ASSERT_FALSE(line.port().isEmpty());
  FlowHome home(QString("[Global]\nEmul=0\n[Hard]\nCom=%1\n").arg(line.port()));
  const auto r =
      home.Play("wait 6500\nsnap check.png\nwait 25000\nsnap error.png\nkey 11\nwait 20000\n");
  ASSERT_TRUE(r.finished);
  EXPECT_TRUE(r.err.contains("error page 8\n")) << r.err.toStdString();
  // "X" in red on the controller's line and camera 1's.
  const QImage check = home.Snap("check.png");
  for (int y : {502, 518}) EXPECT_GE(CountColour(check, QRect(370, y, 30, 16), 0xFF0000), 3) << y;
  EXPECT_EQ(Rgb(home.Snap("error.png"), 5, 300), 0x0000FFu);
}

// The start check looks at the files: a base.bin of random bytes is named
// with what is wrong ("X" on the database line, the reason beside the box,
// standard error), the operator goes on with key 11, and nothing of the file
// is changed; a folder the program cannot write is named too, and measuring
// is refused while it stays so.
TEST(StartChecks, DamagedRecordsAndAFolderThatCannotBeWrittenAreNamedAtTheCheck) {
  FlowHome home;
  QByteArray noise(100 * 1024, '\0');
  quint32 seed = 12345;
  for (char& c : noise) c = static_cast<char>((seed = seed * 1103515245u + 12345u) >> 24);
  QFile base(home.file("Report/base.bin"));
  ASSERT_TRUE(base.open(QIODevice::WriteOnly) && base.write(noise) == noise.size());
  base.close();
  const QString script = "wait 13000\nsnap check.png\nkey 2\nkey 11\nwait 1000\nsnap menu.png\n"
                         "key 2\nwait 10000\nsnap measured.png\nexit\n";
  auto r = home.Play(script);
  ASSERT_TRUE(r.finished);
  EXPECT_EQ(r.exitCode, 0) << qPrintable(r.err);
  EXPECT_TRUE(r.err.contains("проверка системы: Report\\base.bin: в конце 186 байт неполной "
                             "записи (со смещения 102214)") &&
              r.err.contains("последняя запись (№343, со смещения 101916) не читается"))
      << qPrintable(r.err);
  const QImage check = home.Snap("check.png");
  EXPECT_GT(CountColour(check, QRect(370, 470, 20, 16), 0x008000), 4);  // file system "Ок"
  EXPECT_GT(CountColour(check, QRect(370, 486, 20, 16), 0xFF0000), 3);  // database "X"
  EXPECT_EQ(CountColour(check, QRect(370, 486, 20, 16), 0x008000), 0);
  EXPECT_GT(CountColour(check, QRect(440, 440, 300, 20), 0xFF0000), 200);  // the findings' title
  EXPECT_GT(CountColour(check, QRect(440, 462, 400, 130), 0x000000), 300);  // and the reasons
  const QImage menu = home.Snap("menu.png");
  EXPECT_GT(CountColour(menu, QRect(30, 440, 370, 26), 0xFF0000), 300);  // "... замечания"
  EXPECT_EQ(menu.copy(QRect(440, 462, 400, 130)), check.copy(QRect(440, 462, 400, 130)));
  // Key 2 before key 11 did nothing; then the measurement went into the
  // shift, and base.bin is as it was.
  EXPECT_EQ(ShiftRecords(home).size(), 1u);
  EXPECT_EQ(Bytes(home, "Report/base.bin"), noise);

  // Report read-only to the program: named at the check, and no measurement.
  ASSERT_TRUE(QFile::setPermissions(home.file("Report"), QFile::ReadOwner | QFile::ExeOwner));
  home.RunAsOrdinaryUser(true);
  r = home.Play(script);
  ASSERT_TRUE(QFile::setPermissions(home.file("Report"),
                                    QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
  ASSERT_TRUE(r.finished);
  EXPECT_TRUE(r.err.contains("проверка системы: Нельзя записать в папку " + home.file("Report") +
                             ": Permission denied. Замеры запрещены"))
      << qPrintable(r.err);
  EXPECT_GT(CountColour(home.Snap("check.png"), QRect(370, 470, 20, 16), 0xFF0000), 3);
  EXPECT_GT(CountColour(home.Snap("measured.png"), QRect(16, 470, 380, 36), 0xFF0000), 300);
  EXPECT_EQ(ShiftRecords(home).size(), 1u);
}
