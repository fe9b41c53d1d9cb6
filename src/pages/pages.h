#pragma once
// The operator's pages of the keypad screen. Each page lives in a file of its
// own in this folder, draws itself with the page operations of screen/ and,
// where it waits for keys, runs its own key loop. A page that covers the one
// it was called from keeps what it covers with a PageGuard.

#include <QDate>
#include <QStringList>
#include <array>
#include <initializer_list>

struct MeasurementRecord;

// --- Start page (startpage.cpp) ----------------------------------------------
// The first page: the header, the about box, what the loaders could not take
// as written, the clock box and the key panel with the main menu's captions.
void DrawStartPage();

// --- About box (about.cpp) ---------------------------------------------------
// Draws the about box with its corner at (ScreenOffsetX + x, y).
void AboutBox(int x, int y);
// The maker's lines of the about box.
extern const char* const kMakerLines[3];
// What the main page says in emulation (the about box says the first words).
extern const char* const kEmulationText;

// --- System-check page (systemcheck.cpp) -------------------------------------
// Draws the check box and runs the check: the file system (the folders the
// program writes take a file; kMinFreeSpace free) and the database (whole
// record files, bytes dropped, norms for every spring type), both also in
// emulation, then the line's devices. A failed device check or
// initialisation ends in the error page; what the file system and database
// checks find is written "X", listed beside the box and on standard error,
// and the operator goes on to the menu with key 11. Returns true.
bool SystemCheckPage();
// What the last check found, one line each; empty when every line passed.
struct TStartCheck {
  QStringList findings;
};
extern TStartCheck StartCheck;
// The error page a failed check of the line leads to, from the results of
// the controller and cameras 1..4 (true = passed).
int SystemCheckErrorCode(bool controller, const std::array<bool, 5>& camera);

// --- Line-ready page (lineready.cpp) -----------------------------------------
// "Линия готова к работе !" over the check box; after a check with findings
// the box keeps its lines and says that there are findings.
void LineReadyPage();

// --- Main menu (mainmenu.cpp) ------------------------------------------------
// The captions of the main menu's keys (also on the start page).
void DrawMainMenuCaptions();
// Lights the main menu's keys and draws the panel with their captions.
void DrawMainMenu();

// --- Spring-type page (springtype.cpp) ---------------------------------------
// The page "mpass": the operator picks the spring type of the bogie type by
// key. Returns the spring type (1..MaxSprings) or 0. With requireValidType
// only the spring types' keys are accepted, so the result is 0 only when the
// bogie type offers no spring type that a key can pick; without it any key
// enabled on the calling page ends the page, with 0 when it picks no type.
int ChooseSpringType(int bogie, bool requireValidType = false);

// --- Error page (errorpage.cpp) ----------------------------------------------
// Shows the error page of a fault of the line and ends through the shutdown
// page; never returns.
[[noreturn]] void ShowErrorPage(int code);
// The lines the error page shows for a code: the lines of Errors\<code>.err,
// or a line saying why they can't be shown.
QStringList ErrorPageLines(int code);

// --- Clock page (clockbehind.cpp) --------------------------------------------
// The clock shows an earlier day than the stored shift: says so, with what
// going on means. Key 3 goes on in the stored shift (true); key 12 leads to
// the shutdown page, so that the clock can be set right.
bool ClockBehindPage(const QDate& shift, const QDate& today);

// --- Shutdown page (shutdown.cpp) --------------------------------------------
// The last page of every run but the Escape key; never returns.
[[noreturn]] void ShutdownPage();

// --- Status strip (statusstrip.cpp) ------------------------------------------
// The status row at the bottom right of the main page: the measurement mode,
// the printer, the shift's count, the bogie type in use and the wagon
// numbers, each as the settings ask. Re-reads the shift and mode state first.
void StatusStrip();

// --- Settings menu (settingsmenu.cpp) ----------------------------------------
// The page "setup" of main-menu key 4: the date and the time, the limit
// sizes (with [Global] RTedit), the measurement type and the calibration
// mode (with [Debug] CalEnable). Key 11 closes it, and so does the closing
// key of the date, limits and measurement-type pages.
void SettingsMenu();
// The prompt box of the menus at the foot of the work area, its text in
// "Impact" 42 at (ScreenOffsetX + textX, 522).
void DrawPromptBox(const QString& prompt, int textX = 110);

// --- Date and time notice (datetimepage.cpp) ---------------------------------
// The page "Dsetup": the date and the time are not set here. Leaves key 11
// in LastKey.
void DateTimePage();
// One line of a notice box: its place (x before ScreenOffsetX) and text.
struct NoticeLine {
  int x;
  int y;
  const char* text;
};
// The notice box over the work area, its lines in "Impact" 42 grey.
void DrawNoticeBox(std::initializer_list<NoticeLine> lines);

// --- Limit sizes (limitspage.cpp) --------------------------------------------
// The page "Esetup": the parameter editor with [Debug] " Vred", else a
// notice. Leaves key 11 in LastKey.
void LimitsPage();

// --- Measurement type (measurementtype.cpp) ----------------------------------
// The page "Zsetup": full, fast or (with [Global] ukz_enable) accelerated
// measurement, each saved in the mode state at once. Leaves key 11 in
// LastKey.
void MeasurementTypePage();
// Writes the mode state after a change and redraws the status strip from
// the file; a file that can't be written is named on standard error.
void SaveModeChange();

// --- Bogie choice (bogiechoice.cpp) ------------------------------------------
// The page "SCsetup" of main-menu key 6: one key per bogie type of the bogie
// file, saved in the mode state at once; key 11 closes it.
void BogieChoicePage();

// --- Archive choice (archivechoice.cpp) --------------------------------------
// The page "bselect" of main-menu key 10: 1 the year's measurements, 2 the
// set archive, 3 the shift's measurements (offered only when the shift holds
// any), 0 back.
int ArchiveChoicePage();

// --- Password (passwordpage.cpp) ---------------------------------------------
// The entry box "pass": the digits typed (at most 8, shown as "#"), or -1
// when none were.
int PasswordPage();

// --- Result page (resultpage.cpp) --------------------------------------------
// Draws the result of a measurement over the current page: the identifier,
// the spring type, every listed parameter coloured by its verdict, the
// overall verdict, the shift's count and the load chart. Waits for no key.
// A stored measurement shown again says so, with its stored date and time,
// in place of the finished measurement's line and of the stage pictures.
enum class ResultShown { JustMeasured, Stored };
void ShowResultPage(const MeasurementRecord& record,
                    ResultShown shown = ResultShown::JustMeasured);
// The load chart of the result page.
void DrawLoadChart(const MeasurementRecord& record);

// --- Wagon numbers (wagonnumbers.cpp) ----------------------------------------
// The page "vselect" of main-menu key 8: the operator enters the wagon the
// springs are taken from and the wagon they are fitted to; both are kept in
// the shift state.
void WagonNumbersPage();
// The entry box "vpass": the digits typed (at most 8), or "НЕ ЗАДАН" when
// none were.
QString WagonNumberEntry();

// --- Calibration pages (calibration.cpp) -------------------------------------
// The page "mcal" of settings key 7: the reference measurement (key 1) or
// the check measurement (key 5) of the reference cylinder, or back (13).
void CalibrationModePage();
// The page "mcal1": measures the cylinder and stores known height − measured
// height as the correction in Calibrate.txt (not in emulation).
void ReferenceMeasurementPage();
// The page "mcal2": measures the cylinder and shows "H= " and the height
// corrected by Calibrate.txt.
void CheckMeasurementPage();
// The corrected height as the check page writes it: width 4, one decimal.
QString CheckHeightText(float height);

// --- Measurement number (measurementnumber.cpp) ------------------------------
// The entry box "npass": the measurement number typed, or -1 when none was.
int MeasurementNumberPage();

// --- Process page (processpage.cpp) ------------------------------------------
// The page a measurement runs on: grey, the title, the picture box with the
// four stage pictures waiting. The confirmation of a measurement draws on it
// too.
void DrawProcessPage();
// The box "ИДЕТ" / "ЗАМЕР" below the stage pictures.
void DrawMeasuringBox();
// In the same box: the measurement was not made, and why (the text names
// the file that could not be written or read); also on standard error.
void ShowMeasurementStopped(const QString& text);
// Makes the process page the observer of the measurement: stage pictures,
// the box, the markers, the spring-type page, the error pages and the
// visualiser.
void InstallMeasurementObserver();

// --- Measurement page (measurementpage.cpp) ----------------------------------
// One measurement: the shift change, the process page, the measurement, the
// shift state, the result page and the record appended to the shift file,
// then the keys of the measurement page. True when the record was stored.
bool RunMeasurement();
// Main-menu key 2: measures at once, then runs the page's keys until key 13.
void MeasurementPage();
// The shift's measurements without measuring, from the last one.
void ViewMeasurementsPage();
// "Всего замеров за смену:" and the shift's count in its white box.
void ShowShiftCounter();

// --- Page titles (pagetitle.cpp) ---------------------------------------------
// The header of the database pages: kind 2 "Работа с базой данных замеров",
// kind 3 "Выдача статистики", each with its work panel.
void DrawPageTitle(int kind);

// --- Database browser (browser.cpp) ------------------------------------------
// The page "Работа с базой данных замеров": the measurements of Report\base.bin
// (or of the date range while the record filter is on), 14 to a page, with
// the measurement sheet of the current one.
void BrowseMeasurements();
// The measurement sheet of one record to the right of the list.
void DrawMeasurementSheet(const MeasurementRecord& record);
// The number box of the search.
void ShowSearchNumber(const QString& text);
// The date-range entry: true when a non-empty record filter was built and
// switched on.
bool EnterDateRange();
// The value entry of the date range: the chosen value, or 0 when cancelled.
int EnterValue(const QString& prompt, int initial, int min, int max, int continueKey,
               int cancelKey, int decreaseKey, int increaseKey);

// --- Statistics (statistics.cpp) ---------------------------------------------
// The statistics of the shift (Report\day.bin, Temp\norms.txt), from the
// measurement page's key "Статистика".
void ShowShiftStatistics();
// The statistics of the browser's positions 0 .. count - 1 (Temp\Ynorms.txt).
void ShowPeriodStatistics(int count);
// The column heads of the statistics table.
void DrawStatisticsHeader();

// --- Sorting mode (sortingmode.cpp, digitentry.cpp, selectionpage.cpp,
// finishedset.cpp) -------------------------------------------------------------
#include <cstdint>

struct SetRecord;
struct SideFrameSet;

// Main-menu key 13: the bogie's data, the sets of both side frames on the
// selection page, the finished set and its saving into Report\Tel.bin.
void SortingMode();
// The digit-entry box at height y: at most `maximum` digits; "Далее" takes
// them once one is typed and `accept`, when given, agrees; otherwise its
// reason stands beside the field and the entry goes on. Empty when the
// operator cancelled. A hint, when given, stands beside the field.
using DigitsCheck = bool (*)(const QString& typed, QString& error);
QString EnterDigits(const QString& prompt, int y, int maximum, const QString& hint = QString(),
                    DigitsCheck accept = nullptr);
// The selection page of one side frame with its subtitle: true when the
// operator accepted a proposed set ("Продолжить"), false on "Возврат".
// The record gives the bogie's data shown on the page.
bool SelectionPage(const QString& subtitle, const SetRecord& record);
// Draws the whole selection page and empties the spring lists.
void DrawSelectionPage(const QString& subtitle, const SetRecord& record);
// The springs per group and the proposed set (runs SelectSet first).
void DrawSelectionStatus();
// The counter of springs entered: three digits, "---" for none.
void DrawSpringCount();
// The assembly form's ready-made set: appended to both lists, sorted, and
// the status and the counter redrawn. Does nothing (false) unless the
// selection page is open.
bool AddReadySetToSelection(const std::array<uint8_t, 7>& groups);
// Copies the proposed set of the lists into one side frame (0 everywhere
// when no set is proposed).
void TakeProposedSet(SideFrameSet& side);
// The finished page: both side frames' data and sets of the record; what
// could not be stored, when given, in a box below. Returns key 1 (enter
// again), 5 (save) or 11 (leave).
int FinishedSetPage(const SetRecord& record, const QString& notStored = QString());
// On the finished page: the set is stored, with the archive's count; the
// page stays for kSetSavedMs with no key lit before the mode ends.
void ShowSetSaved();
constexpr int kSetSavedMs = 3000;
// The data and the groups of both side frames on the finished page.
void DrawFinishedSet(const SetRecord& record);

// --- Set archive (setarchive.cpp) --------------------------------------------
struct SetRecord;
// The page "Работа с базой комплектов": the spring sets of Report\Tel.bin
// listed by their bogie numbers, 14 to a page, the selected set in full
// beside the list, and printing it on the print sheet. Runs until key 13.
// An empty archive shows an empty list with a line that says so.
void SetArchivePage();
// The page of 14 sets around the cursor, the selected set, the total, the
// scroll bar and (with VNenable) the selected set's wagon numbers.
void DrawSetList();
// One set in full on the right-hand panel; it becomes the selected set.
void DrawSetDetails(const SetRecord& record);
// Mark or unmark the cursor's row of the list (cyan band).
void HighlightRow(int row);
void UnhighlightRow(int row);
