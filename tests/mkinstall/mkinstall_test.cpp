// The installation writer: the folder it writes must hold every file the
// program opens, in the formats the program reads, and a second run must not
// destroy anything.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QImageReader>
#include <QSet>
#include <QTemporaryDir>
#include <QtEndian>
#include <cmath>
#include <gtest/gtest.h>

#include "DALNOMER/calibration.h"
#include "config/settings.h"
#include "database/database.h"
#include "platform/clock.h"
#include "platform/cp1251.h"
#include "platform/inifile.h"
#include "platform/paths.h"
#include "platform/textfile.h"
#include "testsupport.h"
#include "testpaths.h"

namespace {

// One installation for the read-only checks; it takes a moment to draw.
class MkInstallFolder : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new QTemporaryDir;
    ok_ = testsupport::MakeInstallation(dir_->path());
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }
  void SetUp() override {
    ASSERT_TRUE(ok_) << "mkinstall failed";
    plat::SetHome(dir_->path());
  }
  static QString Path(const QString& systemPath) { return plat::MapPath(systemPath); }
  static QStringList Lines(const QString& systemPath) {
    const auto l = plat::ReadTextLines(systemPath);
    return l ? *l : QStringList();
  }
  static inline QTemporaryDir* dir_ = nullptr;
  static inline bool ok_ = false;
};

const int kErrorCodes[] = {1, 2, 3, 4, 6, 7, 8, 9, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21};

TEST_F(MkInstallFolder, HoldsEveryFolderAndFileTheProgramOpens) {
  for (const char* f : {"Report", "Config", "Temp", "BMP", "Errors", "STORAGE", "Tabl1", "texts"})
    EXPECT_TRUE(QFileInfo(Path(f)).isDir()) << f;
  for (const char* f : {"setup.ini", "Chassie.ini", "Calibrate.txt", "Config\\now.txt",
                        "Config\\tekstat.lm4", "Config\\pov.dat", "texts\\pparam.txt"})
    EXPECT_TRUE(QFileInfo(Path(f)).isFile()) << f;
  for (const char* f : {"Report\\base.bin", "Report\\day.bin", "Report\\Tel.bin"}) {
    EXPECT_TRUE(QFileInfo(Path(f)).isFile()) << f;
    EXPECT_EQ(QFileInfo(Path(f)).size(), 0) << f;
  }
  for (int code : kErrorCodes)
    EXPECT_TRUE(QFileInfo(Path(QString("Errors\\%1.err").arg(code))).isFile()) << code;
  // The shutdown ignores a missing poweroff.exe; the installation brings none.
  EXPECT_FALSE(QFileInfo::exists(Path("poweroff.exe")));
}

// Sizes follow the places the pages draw the pictures at.
struct ExpectedPicture {
  QString name;
  QSize size;
};

std::vector<ExpectedPicture> ExpectedPictures() {
  std::vector<ExpectedPicture> list;
  const QString chars = "1234567890z#abcd";
  for (const QChar c : chars)  // key click area: 57 x 63 at y 679..741
    for (const QString& n : {"_" + QString(c) + "np", QString(c) + "np", QString(c) + "p"})
      list.push_back({n + ".bmp", {57, 63}});
  list.push_back({"panel1024.bmp", {1023, 150}});  // (1, 618) to the bottom
  list.push_back({"hst.bmp", {1024, 110}});
  list.push_back({"HD2.bmp", {1360, 110}});
  list.push_back({"emblem.bmp", {110, 100}});      // about box, (40, 312)
  list.push_back({"emblemp.bmp", {360, 360}});     // print sheet, (160, 520)
  list.push_back({"Kalvor.bmp", {240, 280}});      // process panel, (168, 150)
  for (int s = 1; s <= 4; ++s)                    // stages 72 pixels apart from (20, 140)
    for (int st = 1; st <= 3; ++st) list.push_back({QString("PROC%1_%2.bmp").arg(s).arg(st), {140, 68}});
  for (const char* n : {"mimim.bmp", "nomimim.bmp", "fast.bmp", "printik.bmp", "printikf.bmp"})
    list.push_back({n, {40, 40}});                // status strip, x 860..900
  list.push_back({"spring.bmp", {40, 42}});        // (975, 532)
  list.push_back({"miniVNE.bmp", {86, 62}});       // wagon box, (495, 542)
  list.push_back({"Miniprinter.bmp", {26, 20}});   // clock box, (964, 78)
  list.push_back({"redj.bmp", {950, 380}});        // calibration box, (40, 122)
  list.push_back({"nori.bmp", {350, 350}});        // (40, 142), left of the texts at 410
  list.push_back({"dorlen.bmp", {186, 118}});      // scheme panel and set archive
  list.push_back({"prug2.bmp", {400, 300}});       // (150, 190), left of the panel at 590
  list.push_back({"nopage.bmp", {300, 110}});      // statistics, (120, 220)
  list.push_back({"perror.bmp", {360, 116}});      // statistics, (72, 340), totals at y 460
  return list;
}

TEST_F(MkInstallFolder, EveryPictureIsABmpOfItsSizeAndDrawn) {
  for (const ExpectedPicture& e : ExpectedPictures()) {
    const QString path = Path("BMP\\" + e.name);
    QImageReader reader(path);
    EXPECT_EQ(reader.format(), "bmp") << e.name.toStdString();
    const QImage img = reader.read();
    ASSERT_FALSE(img.isNull()) << e.name.toStdString();
    EXPECT_EQ(img.size(), e.size) << e.name.toStdString();
    EXPECT_FALSE(img.hasAlphaChannel()) << e.name.toStdString();
    // Not a blank: a drawn picture has many colours.
    QSet<QRgb> colours;
    for (int y = 0; y < img.height() && colours.size() < 16; y += 2)
      for (int x = 0; x < img.width(); x += 2) colours.insert(img.pixel(x, y));
    EXPECT_GE(colours.size(), 8) << e.name.toStdString();
  }
  EXPECT_EQ(QDir(Path("BMP")).entryList(QDir::Files).size(),
            static_cast<int>(ExpectedPictures().size()));
}

double MeanLuma(const QImage& img) {
  double sum = 0;
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x) sum += qGray(img.pixel(x, y));
  return sum / (img.width() * img.height());
}

TEST_F(MkInstallFolder, KeyStatesLookDifferentAndDisabledIsGrey) {
  const QString chars = "1234567890z#abcd";
  for (const QChar c : chars) {
    const QImage off(Path("BMP\\_" + QString(c) + "np.bmp"));
    const QImage on(Path("BMP\\" + QString(c) + "np.bmp"));
    const QImage pressed(Path("BMP\\" + QString(c) + "p.bmp"));
    EXPECT_NE(off, on) << QString(c).toStdString();
    EXPECT_NE(on, pressed) << QString(c).toStdString();
    // Greyed: the disabled key is darker than the lit one and has no colour.
    EXPECT_LT(MeanLuma(off), MeanLuma(on) - 20) << QString(c).toStdString();
    const QColor mid = off.pixelColor(off.width() / 2, 8);
    EXPECT_LT(std::abs(mid.red() - mid.blue()), 24) << QString(c).toStdString();
    // The key shows its own character: two different keys differ in the same state.
  }
  EXPECT_NE(QImage(Path("BMP\\1np.bmp")), QImage(Path("BMP\\7np.bmp")));
  EXPECT_NE(QImage(Path("BMP\\znp.bmp")), QImage(Path("BMP\\#np.bmp")));
}

TEST_F(MkInstallFolder, SetupIniHoldsTheDefaultsAndNamesTheBogieFile) {
  const auto bytes = plat::ReadFileBytes("setup.ini");
  ASSERT_TRUE(bytes);
  const QString text = plat::FromCp1251(*bytes);
  EXPECT_TRUE(text.contains(QString::fromUtf8("Не назначен")));  // CP1251, not UTF-8
  EXPECT_TRUE(bytes->contains("\r\n"));

  const TSettings installed = ReadSettings(plat::IniFile::FromText(text));
  const TSettings defaults = ReadSettings(plat::IniFile());
  QStringList a = SettingsText(installed).split('\n');
  QStringList b = SettingsText(defaults).split('\n');
  ASSERT_EQ(a.size(), b.size());
  int differing = 0;
  for (int i = 0; i < a.size(); ++i) {
    if (a[i] == b[i]) continue;
    ++differing;
    EXPECT_TRUE(a[i].contains("ChassieIniFilename")) << a[i].toStdString();
  }
  EXPECT_EQ(differing, 1);
  EXPECT_TRUE(installed.Global.Emul);
  EXPECT_EQ(installed.Params.ChassieIniFilename, "Chassie.ini");
  EXPECT_NE(defaults.Params.ChassieIniFilename, "Chassie.ini");
  // Every key is written out, not left to the defaults.
  const plat::IniFile ini = plat::IniFile::FromText(text);
  for (const char* key : {"Emul", "Turbo", "SoftVer"}) EXPECT_TRUE(ini.HasKey("Global", key));
  EXPECT_TRUE(ini.HasKey("k4", "k12"));
  EXPECT_TRUE(ini.HasKey("Debug", " Vred"));
}

TEST_F(MkInstallFolder, CalibrationTablesFallOverTheSpringsRange) {
  const TSettings s = ReadSettings(plat::IniFile::Load(Path("setup.ini")));
  for (int cam = 1; cam <= 4; ++cam) {
    const QStringList lines = Lines(QString("Tabl1\\cal%1.txt").arg(cam));
    ASSERT_EQ(lines.size(), 2048) << cam;
    double previous = 1e9;
    std::vector<double> v;
    for (const QString& l : lines) {
      EXPECT_FALSE(l.contains(','));
      const auto d = plat::ParseFloat(l);
      ASSERT_TRUE(d) << l.toStdString();
      EXPECT_LT(*d, previous) << "camera " << cam;  // nearer as the position rises
      previous = *d;
      v.push_back(*d);
    }
    // The positions a camera reports (lines 65..2047) must reach the near
    // surface of the springs the line takes, coil diameters of 130..230 mm
    // standing half-way between the camera bases: seen along the configured
    // line of sight gx where it meets the coil, and seen through the centre.
    const double base = (cam == 1 || cam == 3) ? s.Mathem.Vb : s.Mathem.Va;
    const double centre = base / 2;
    int seen = 0;
    for (double D : {130.0, 180.0, 230.0}) {
      const double R = D / 2;
      for (double off : {std::fabs(s.Mathem.gx[cam] - centre), 0.0}) {
        if (off >= R) continue;
        const double near = centre - std::sqrt(R * R - off * off);
        EXPECT_LT(near, v[65]) << "camera " << cam << " D " << D;
        EXPECT_GT(near, v[2047]) << "camera " << cam << " D " << D;
        ++seen;
      }
    }
    EXPECT_GE(seen, 4);
    EXPECT_LT(v[0], base);  // nothing beyond the opposite camera
    // The program's lookup reads the same table.
    QString error;
    EXPECT_FLOAT_EQ(CalibrationLookup(cam, 1982, &error).value_or(-1), float(v[2047]))
        << error.toStdString();
    EXPECT_FLOAT_EQ(CalibrationLookup(cam, 0, &error).value_or(-1), float(v[65]));
  }
}

TEST_F(MkInstallFolder, CalibrateTxtHoldsCylinderAndCorrection) {
  const QStringList lines = Lines("Calibrate.txt");
  ASSERT_EQ(lines.size(), 2);
  EXPECT_EQ(lines[0], " 2.50000000000000E+0002");
  EXPECT_EQ(lines[1], " 0.00000000000000E+0000");
  EXPECT_DOUBLE_EQ(plat::ParseFloat(lines[0]).value_or(-1), 250.0);
  EXPECT_DOUBLE_EQ(plat::ParseFloat(lines[1]).value_or(-1), 0.0);
}

TEST_F(MkInstallFolder, ErrorTextsAreRussianAndFitTheErrorPage) {
  // Drawn in "Courier" 16 (a monospaced face, 16 points at 96 dpi) from
  // x = 340 to the page edge, 18 pixels apart from y = 327 above the error
  // code at y = 485.
  QFont courier("Liberation Mono");
  courier.setPixelSize(21);
  const QFontMetrics fm(courier);
  for (int code : kErrorCodes) {
    const auto bytes = plat::ReadFileBytes(QString("Errors\\%1.err").arg(code));
    ASSERT_TRUE(bytes) << code;
    EXPECT_TRUE(QString::fromUtf8(*bytes).contains(QChar(0xFFFD))) << "UTF-8 text in " << code;
    const QStringList lines = Lines(QString("Errors\\%1.err").arg(code));
    ASSERT_GE(lines.size(), 2) << code;
    EXPECT_LE(lines.size(), 7) << code;
    int cyrillic = 0;
    for (const QString& l : lines) {
      EXPECT_LE(fm.horizontalAdvance(l), 1010 - 340) << code << ": " << l.toStdString();
      for (QChar c : l) cyrillic += (c >= QChar(0x410) && c <= QChar(0x44F)) ? 1 : 0;
    }
    EXPECT_GT(cyrillic, 20) << code;
  }
  // Camera faults name their camera.
  for (int cam = 1; cam <= 4; ++cam)
    EXPECT_TRUE(Lines(QString("Errors\\%1.err").arg(12 + cam)).join(' ').contains(
        QString::fromUtf8("№%1").arg(cam)));
}

TEST_F(MkInstallFolder, ParameterNamesAndStateFilesHaveTheirFormats) {
  const QStringList names = Lines("texts\\pparam.txt");
  ASSERT_GE(names.size(), 7);
  for (int i = 1; i <= 6; ++i) EXPECT_FALSE(names[i].trimmed().isEmpty()) << i;

  // The state files load through the database module: the shift of the
  // installation day, no wagon numbers, full measurement on bogie type 1.
  ResetDatabaseModule();
  ASSERT_TRUE(LoadShiftState()) << DatabaseError().toStdString();
  const QDate today = plat::CurrentDateTime().date();
  EXPECT_EQ(Database.ShiftState.Day, today.day());
  EXPECT_EQ(Database.ShiftState.Month, today.month());
  EXPECT_EQ(Database.ShiftState.WagonFrom, "?");
  ASSERT_TRUE(LoadModeState()) << DatabaseError().toStdString();
  EXPECT_FALSE(Database.ModeState.FastMode);
  EXPECT_FALSE(Database.ModeState.AcceleratedMode);
  EXPECT_EQ(Database.ModeState.BogieType, 1);
  EXPECT_EQ(Lines("Config\\now.txt").size(), 9);
  EXPECT_EQ(Lines("Config\\tekstat.lm4").size(), 5);
  ResetDatabaseModule();

  const auto pov = plat::ReadFileBytes("Config\\pov.dat");
  ASSERT_TRUE(pov);
  ASSERT_EQ(pov->size(), 8);
  const double days = qFromLittleEndian<double>(pov->constData());
  EXPECT_NEAR(days, plat::Now(), 1.0);
}

// The bogie and spring-type file, read with the rules the program uses.
class MkInstallBogieFile : public MkInstallFolder {
 protected:
  void SetUp() override {
    MkInstallFolder::SetUp();
    ini_ = plat::IniFile::Load(plat::MapProgramPath("Chassie.ini"));
  }
  double Real(int section, const QString& key) const {
    const auto v = ini_.Value(QString("Spring%1").arg(section), key);
    EXPECT_TRUE(v) << section << " " << key.toStdString();
    const auto d = v ? plat::ParseFloat(*v) : std::nullopt;
    EXPECT_TRUE(d) << section << " " << key.toStdString();
    return d.value_or(NAN);
  }
  int Int(int section, const QString& key) const {
    const auto v = ini_.Value(QString("Spring%1").arg(section), key);
    const auto i = v ? plat::ParseInteger(*v) : std::nullopt;
    EXPECT_TRUE(i) << section << " " << key.toStdString();
    return i.value_or(-1);
  }
  plat::IniFile ini_;
};

TEST_F(MkInstallBogieFile, HasTheSectionsTheParameterEditorWrites) {
  EXPECT_EQ(ini_.ReadInteger("Global", "MaxChNum", 0), 2);
  EXPECT_EQ(ini_.ReadInteger("Chassie1", "MaxSprings", 0), 3);
  EXPECT_EQ(ini_.ReadInteger("Chassie2", "MaxSprings", 0), 2);
  for (int s = 1; s <= 3; ++s) EXPECT_EQ(ini_.ReadInteger("Chassie1", QString("Spring%1").arg(s), 0), s);
  for (int s = 1; s <= 2; ++s)
    EXPECT_EQ(ini_.ReadInteger("Chassie2", QString("Spring%1").arg(s), 0), 3 + s);
  for (int b = 1; b <= 2; ++b) {
    const QString name = ini_.ReadString(QString("Chassie%1").arg(b), "Name", "");
    EXPECT_FALSE(name.isEmpty());
    EXPECT_LE(name.size(), 8);  // it fits the bogie box of the status strip
  }
  const QStringList springKeys = {"Tip", "Name", "AltName", "KeyMini", "E", "Adc3", "Adc1", "Odf",
                                  "Line", "ScanLine", "LineValue", "Gst", "Gpt", "Nparam",
                                  "PrValue", "PrEd", "PrVisible", "prm"};
  const QStringList paramKeys = {"Name", "Show", "Analiz", "Max", "Min",
                                 "e",    "Midl", "t",      "Mul", "Add"};
  for (int n = 1; n <= 5; ++n) {
    const QString sec = QString("Spring%1").arg(n);
    for (const QString& k : springKeys) EXPECT_TRUE(ini_.HasKey(sec, k)) << n << k.toStdString();
    EXPECT_EQ(Int(n, "Nparam"), 6);
    for (int p = 1; p <= 6; ++p)
      for (const QString& k : paramKeys)
        EXPECT_TRUE(ini_.HasKey(sec, QString("P%1").arg(p) + k)) << n << " P" << p << k.toStdString();
    EXPECT_EQ(ini_.ReadString(sec, "PrEd", ""), QString::fromUtf8(" кгс"));
  }
  // Choice keys: distinct within a bogie type and keys of the panel.
  for (const std::vector<int>& bogie : {std::vector<int>{1, 2, 3}, std::vector<int>{4, 5}}) {
    QSet<int> keys;
    for (int n : bogie) {
      const int k = Int(n, "KeyMini");
      EXPECT_TRUE(k >= 1 && k <= 13) << n;
      keys.insert(k);
    }
    EXPECT_EQ(keys.size(), static_cast<int>(bogie.size()));
  }
}

TEST_F(MkInstallBogieFile, NormsAreConsistentWithTheHeightGroups) {
  for (int n = 1; n <= 5; ++n) {
    const double E = Real(n, "E");
    EXPECT_GT(E, 0.0);
    // Strong pressure first, weak second; both fit the 16-bit set-point.
    const int adc3 = Int(n, "Adc3"), adc1 = Int(n, "Adc1");
    EXPECT_GT(adc3, adc1);
    EXPECT_GT(adc1, 0);
    EXPECT_LE(adc3, 65535);
    for (int p = 1; p <= 6; ++p) {
      const QString P = QString("P%1").arg(p);
      const double max = Real(n, P + "Max"), min = Real(n, P + "Min"), midl = Real(n, P + "Midl");
      const int t = Int(n, P + "t");
      EXPECT_LT(min, max) << n << " " << p;
      // The demonstration values Midl .. Midl + t (t = 0: Midl .. Midl + 0.4)
      // are good springs.
      EXPECT_GT(midl, min - E) << n << " " << p;
      EXPECT_LT(midl + (t == 0 ? 0.4 : t), max + E) << n << " " << p;
      EXPECT_DOUBLE_EQ(Real(n, P + "Mul"), 1.0);
      EXPECT_DOUBLE_EQ(Real(n, P + "Add"), 0.0);
    }
    // A good free height always has a height group 1..9: 245.9 <= H < 255.1
    // for bogie type 1, ten millimetres higher for bogie type 2.
    const double shift = n <= 3 ? 0.0 : 10.0;
    EXPECT_GE(Real(n, "P2Min") - E, 245.9 - 1e-9 + shift) << n;
    EXPECT_LE(Real(n, "P2Max") + E, 255.1 + 1e-9 + shift) << n;
    EXPECT_GE(Real(n, "P2Max") - Real(n, "P2Min"), 8.0) << n;
    // The deflection feeds the load chart, which shows 15..70.
    EXPECT_GE(Real(n, "P6Min"), 15.0);
    EXPECT_LE(Real(n, "P6Max"), 70.0);
  }
  // The reported diameters the line forces for bogie type 1 spring type 3
  // (137.5 .. 138.2) and bogie type 2 spring type 2 (144.1 .. 144.8) are good.
  EXPECT_LT(Real(3, "P1Min") - Real(3, "E"), 137.5);
  EXPECT_GT(Real(3, "P1Max") + Real(3, "E"), 138.2);
  EXPECT_LT(Real(5, "P1Min") - Real(5, "E"), 144.1);
  EXPECT_GT(Real(5, "P1Max") + Real(5, "E"), 144.8);
}

TEST(MkInstall, RefusesAnExistingInstallationAndForceKeepsData) {
  QTemporaryDir dir;
  ASSERT_TRUE(testsupport::MakeInstallation(dir.path()));
  const QString setup = dir.filePath("setup.ini");
  const QString base = dir.filePath("Report/base.bin");
  const QString cal = dir.filePath("Calibrate.txt");
  auto write = [](const QString& path, const QByteArray& b) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(b);
  };
  auto read = [](const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
  };
  const QByteArray site = "[Global]\r\nEmul=0\r\n";
  const QByteArray record(298, '\x5A');
  write(setup, site);
  write(base, record);
  write(cal, " 2.50000000000000E+0002\r\n 5.00000000000000E-0001\r\n");
  QFile::remove(dir.filePath("BMP/5np.bmp"));
  QFile::remove(dir.filePath("Errors/9.err"));

  const auto again = testsupport::Run(KALVOR_MKINSTALL, {dir.path()});
  ASSERT_TRUE(again.finished);
  EXPECT_EQ(again.exitCode, 1);
  EXPECT_FALSE(again.err.trimmed().isEmpty());
  EXPECT_EQ(read(setup), site);
  EXPECT_EQ(read(base), record);
  EXPECT_FALSE(QFileInfo::exists(dir.filePath("BMP/5np.bmp")));

  const auto forced = testsupport::Run(KALVOR_MKINSTALL, {"--force", dir.path()});
  ASSERT_TRUE(forced.finished);
  EXPECT_EQ(forced.exitCode, 0) << forced.err.toStdString();
  EXPECT_EQ(read(setup), site);
  EXPECT_EQ(read(base), record);
  EXPECT_TRUE(read(cal).contains("5.00000000000000E-0001"));
  EXPECT_TRUE(QFileInfo::exists(dir.filePath("BMP/5np.bmp")));
  EXPECT_TRUE(QFileInfo::exists(dir.filePath("Errors/9.err")));
}

TEST(MkInstall, ReusesFoldersThatDifferOnlyInLetterCase) {
  QTemporaryDir dir;
  ASSERT_TRUE(QDir(dir.path()).mkpath("TEMP"));
  ASSERT_TRUE(QDir(dir.path()).mkpath("bmp"));
  ASSERT_TRUE(testsupport::MakeInstallation(dir.path()));
  const QStringList entries = QDir(dir.path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
  EXPECT_TRUE(entries.contains("TEMP"));
  EXPECT_FALSE(entries.contains("Temp"));
  EXPECT_FALSE(entries.contains("BMP"));
  EXPECT_TRUE(QFileInfo::exists(dir.filePath("bmp/1np.bmp")));
}

TEST(MkInstall, WrongCommandLineIsRefused) {
  const auto none = testsupport::Run(KALVOR_MKINSTALL, {});
  EXPECT_EQ(none.exitCode, 2);
  const auto unknown = testsupport::Run(KALVOR_MKINSTALL, {"--frobnicate", "/tmp/x"});
  EXPECT_EQ(unknown.exitCode, 2);
}

}  // namespace
