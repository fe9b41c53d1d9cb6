// The line verification form at start-up: its fields, the equipment code,
// the date of Config\pov.dat, and a start that goes on without that date.

#include <QFile>
#include <QtEndian>
#include <cstring>
#include <gtest/gtest.h>

#include "flowsupport.h"

namespace {

void WriteVerificationDate(const FlowHome& home, double days, int size = 8) {
  QByteArray bytes(8, '\0');
  quint64 bits = 0;
  std::memcpy(&bits, &days, sizeof bits);
  qToLittleEndian(bits, bytes.data());
  QFile f(home.file("Config/pov.dat"));
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(bytes.left(size) + (size > 8 ? QByteArray(size - 8, 'x') : QByteArray()));
}

const char* const kScript = "wait 300\ndump forma.txt\ngrab forma.png\nclose\nwait 13000\nsnap menu.png\nexit\n";

}  // namespace

TEST(VerificationForm, ShowsTheIdentityTheCodeAndTheDateThenTheStartGoesOn) {
  FlowHome home("[Global]\nPoverka=1\n[Depo]\nDepo1Name=a\nDepoName=b\nDeviceId=c\n");
  WriteVerificationDate(home, 46000.75, 16);  // 9 December 2025, an evening; a longer file
  const auto r = home.Play(kScript);
  ASSERT_TRUE(r.finished);
  EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
  const QStringList dump = home.Text("forma.txt").split("\r\n");
  ASSERT_GE(dump.size(), 11) << home.Text("forma.txt").toStdString();
  EXPECT_EQ(dump[0], "TForma");
  EXPECT_EQ(dump[1], "Форма поверки линии Kalvor-М");
  // The identity and the date are shown, not edited: their fields are disabled.
  for (const char* line :
       {"Label1\tНаименование:", "Edit1\ta\t(disabled)", "Edit2\tb\t(disabled)",
        "Label2\t№ ID", "Edit3\tc\t(disabled)", "Label3\tПоверка проведена:",
        "Edit4\t09.12.2025\t(disabled)", "Label4\tКод оборудования:", "Edit5\t294"})
    EXPECT_TRUE(dump.contains(line)) << line;
  // The main menu followed once the form was closed.
  EXPECT_GT(CountColour(home.Snap("menu.png"), QRect(56, 450, 350, 140), 0x0000FF), 500);
  const QImage form(home.file("forma.png"));
  EXPECT_EQ(form.size(), QSize(645, 310));
}

TEST(VerificationForm, CyrillicIdentityIsCountedInItsCodePageAndDayZeroIsShown) {
  // "Я" is 0xDF (223) in CP1251, "№" 0xB9 (185).
  FlowHome home("[Global]\nPoverka=1\n[Depo]\nDepo1Name=Я\nDepoName=\nDeviceId=№\n");
  WriteVerificationDate(home, 0.0);
  const auto r = home.Play(kScript);
  ASSERT_TRUE(r.finished);
  const QString dump = home.Text("forma.txt");
  EXPECT_TRUE(dump.contains("Edit5\t408")) << dump.toStdString();
  EXPECT_TRUE(dump.contains("Edit4\t30.12.1899")) << dump.toStdString();
}

// A missing or short pov.dat does not stop the line, with the form shown or
// not; the field says the date is unknown and standard error names the file.
TEST(VerificationForm, AMissingOrShortDateFileDoesNotStopTheStart) {
  for (const int size : {-1, 0, 5}) {
    SCOPED_TRACE(size);
    FlowHome home("[Global]\nPoverka=1\n");
    if (size < 0) ASSERT_TRUE(QFile::remove(home.file("Config/pov.dat")));
    else WriteVerificationDate(home, 46000, size);
    const auto r = home.Play(kScript);
    ASSERT_TRUE(r.finished);
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(home.Text("forma.txt").contains("Edit4\tдата неизвестна"));
    EXPECT_TRUE(r.err.contains("pov.dat")) << r.err.toStdString();
    EXPECT_GT(CountColour(home.Snap("menu.png"), QRect(56, 450, 350, 140), 0x0000FF), 500);
  }
  FlowHome home;  // Poverka off: the form is not shown, the start goes on
  ASSERT_TRUE(QFile::remove(home.file("Config/pov.dat")));
  const auto r = home.Play("wait 13000\nsnap menu.png\nexit\n");
  EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
  EXPECT_TRUE(r.err.contains("pov.dat"));
  EXPECT_GT(CountColour(home.Snap("menu.png"), QRect(56, 450, 350, 140), 0x0000FF), 500);
}
