#pragma once
// The configuration of the line: every key of setup.ini under its section,
// read once at start-up and then only read (Zam19 alone is switched around
// accelerated-mode pages).

#include <QString>
#include <array>
#include <cstdint>
#include <vector>

namespace plat {
class IniFile;
}

// The password of the settings menu when setup.ini names none.
constexpr int kDefaultPassword = 7;

struct TSettings {
  struct {
    bool Emul = true;
    bool Volhov = false;
    bool DEMO34 = false;
    bool Zam19 = false;
    bool RTedit = false;
    bool ukz_enable = false;
    bool PowerOFF = false;
    QString SoftVer = "1.0";
    bool VNenable = false;
    double MatixScale = 1.0;
    bool Poverka = false;
    bool DestroyDbNow = false;
    bool DestroyDayDbNow = false;
    bool DestroyTelDbNow = false;
    bool Print_in_file = false;
    int Turbo = 1;
  } Global;

  struct {
    QString DepoName = QStringLiteral("Не назначен");
    QString Depo1Name = QStringLiteral("Не назначен");
    QString DeviceId = QStringLiteral("Не назначен");
    int Password = kDefaultPassword;
    int r4_mmm = 4;
    bool PasswordEnable = false;
    bool ProgressChassieEnabled = false;
    bool Confirmation = false;
  } Depo;

  struct {
    bool ShowCursor = false;
    bool nohard = false;
    bool notiny = false;
    bool Vred = false;  // the key " Vred", with its leading blank
    bool nocurve = false;
    bool CalEnable = false;
    bool CalEnable1 = false;
    bool DebugMessages = false;
    bool DebugMMsaveMessages = false;
    bool ShowMousePos = false;
    int KeyPressDelay = 100;
  } Debug;

  struct {
    QString ChassieIniFilename = QStringLiteral("Не назначен");
    bool BrakGenerate = false;
    int BrakPersent = 33;
  } Params;

  struct {
    QString Com = "COM0";
    bool TerminalEnable = false;
    bool TerminalStart = false;
    int TimeoutCk = 10;
    int ups = 100;
    int ProtectMaxZamer = 1400;
    bool ProtectGeomErrorsEnable = false;
    bool Cam2off = false;
    std::array<int, 5> Shutter{0, 1000, 1000, 1000, 1000};  // [1..4]
    std::array<int, 5> Porog{0, 100, 100, 100, 100};        // [1..4]
  } Hard;

  struct {
    bool newmetod = false;
    bool debugB = false;
    bool MathVisEnable = false;
    bool MathVisStart = false;
    int NMCam = 1;
    bool DalnomerEnable = false;
    std::array<int, 17> k{};  // k13..k16 at [13..16], default 100500
    int Kalp = 101;
    bool kp2 = false;
    bool kp1 = false;
    bool kp0 = false;
    std::array<double, 5> dmm{0, 0, 0, 0, 0};     // [1..4]
    std::array<double, 5> gx{0, 80, 80, 80, 80};  // [1..4]
    double Va = 360.0;
    double Vb = 360.0;
    bool LightShild = false;
  } Mathem;

  // Sections [k1]..[k4]: filter constants k1..k12 of camera 1..4, K[cam][n].
  std::array<std::array<int, 13>, 5> K{};

  struct {
    bool Enable = false;
    QString Port = "Com99";
  } Ckt;

  struct {
    bool FullScreen = false;
    bool KeyLight = false;
    int KeyFont = 1;
    bool AlphaEnable = false;
    int AlphaKo = 1;
    bool CaptionEnable = false;
    bool HD = false;
  } Visual;

  TSettings();
};

extern TSettings Settings;

// A key of setup.ini whose value could not be read as its type asks (a
// word for a flag, "0 ; comment" for a number): it keeps its default.
struct TUnreadableSetting {
  QString section;  // "Global"
  QString key;      // "Emul"
  QString value;    // as the file holds it
  QString taken;    // the default that was taken, as the file would write it
};

// Reads a setup.ini text into a settings record with the file's rules
// (anything missing or unreadable keeps its default). The keys whose value
// could not be read go to *unreadable, in file order of the keys.
TSettings ReadSettings(const plat::IniFile& ini,
                       std::vector<TUnreadableSetting>* unreadable = nullptr);

// Reads setup.ini from the program's folder into Settings (a missing file
// gives every default). Runs once; later calls do nothing. Loading the bogie
// and spring-type file and applying the database-emptying switches are the
// start-up's steps after it.
void LoadSettings();

// The keys that the last LoadSettings could not read, one line each:
// [Global] Emul = "0 ; line": не число, взято по умолчанию 1
QStringList UnreadableSettingsLines();

// Tests: forget that the settings were loaded and put back every default.
void ResetSettingsModule();

// Every key of a settings record as "[section] key=value" lines, in file order
// (comparing two records, showing the settings to service staff).
QString SettingsText(const TSettings& settings);

// Writes a setup.ini text that lists every key with its default, each with
// a comment in the operator's language (used by the installation writer).
QString DefaultSetupIniText();

// The length of a scaled pause of ms milliseconds: ms / [Global] Turbo,
// whole milliseconds. A Turbo below 1 counts as 1 (0 would divide by zero,
// a negative one would wait for ages).
uint32_t ScaledPauseMs(uint32_t ms);
