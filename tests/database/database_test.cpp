// Record operations, the record filter, the state files and the names.

#include "dbtest.h"

#include <QFile>

#include <limits>

#include "platform/cp1251.h"
#include "platform/textfile.h"

namespace {

using RecordFiles = DatabaseTest;

TEST_F(RecordFiles, MissingFilesAreEmptyAndTheFirstAppendCreatesThem) {
  EXPECT_EQ(MeasurementCount(), 0);
  EXPECT_EQ(ShiftMeasurementCount(), 0);
  EXPECT_EQ(SetCount(), 0);
  EXPECT_TRUE(DatabaseError().isEmpty());
  MeasurementRecord r;
  EXPECT_FALSE(ReadMeasurement(0, r));  // reading past the end is an error
  EXPECT_FALSE(DatabaseError().isEmpty());

  ASSERT_TRUE(AppendMeasurement(Numbered(1)));
  ASSERT_TRUE(AppendShiftMeasurement(Numbered(2)));
  SetRecord s;
  s.BogieNumber = "77";
  ASSERT_TRUE(AppendSet(s));
  EXPECT_EQ(home->read("Report/base.bin").size(), 298);
  EXPECT_EQ(home->read("Report/day.bin").size(), 298);
  EXPECT_EQ(home->read("Report/Tel.bin").size(), 206);
  SetRecord back;
  ASSERT_TRUE(ReadSet(0, back));
  EXPECT_EQ(back.BogieNumber, "77");
}

TEST_F(RecordFiles, AppendsKeepOrderAndClearEmpties) {
  for (int n = 1; n <= 5; ++n) ASSERT_TRUE(AppendShiftMeasurement(Numbered(n)));
  ASSERT_EQ(ShiftMeasurementCount(), 5);
  for (int i = 0; i < 5; ++i) {
    MeasurementRecord r;
    ASSERT_TRUE(ReadShiftMeasurement(i, r));
    EXPECT_EQ(r.Identifier, MeasurementIdentifier(i + 1));
  }
  ASSERT_TRUE(ClearShiftMeasurements());
  EXPECT_EQ(ShiftMeasurementCount(), 0);
  EXPECT_TRUE(QFile::exists(home->file("Report/day.bin")));
}

TEST_F(RecordFiles, FilesWithABrokenTailHoldTheirWholeRecords) {
  ASSERT_TRUE(AppendMeasurement(Numbered(1)));
  ASSERT_TRUE(AppendMeasurement(Numbered(2)));
  // The line lost power while a third record was being written.
  QByteArray bytes = home->read("Report/base.bin");
  bytes += QByteArray(100, 'x');
  home->write("Report/base.bin", bytes);
  EXPECT_EQ(MeasurementCount(), 2);
  MeasurementRecord r;
  EXPECT_FALSE(ReadMeasurement(2, r));

  ASSERT_TRUE(AppendMeasurement(Numbered(3)));
  EXPECT_EQ(home->read("Report/base.bin").size(), 3 * 298);
  ASSERT_TRUE(ReadMeasurement(2, r));
  EXPECT_EQ(r.Identifier, MeasurementIdentifier(3));

  // The same for a set archive cut in the middle of its only record.
  home->write("Report/Tel.bin", QByteArray(150, '\0'));
  EXPECT_EQ(SetCount(), 0);
  ASSERT_TRUE(AppendSet(SetRecord()));
  EXPECT_EQ(home->read("Report/Tel.bin").size(), 206);

  // Each dropped tail is logged with the file, the offset and the count.
  const QStringList expected = {
      "Report\\base.bin: отброшено 100 байт со смещения 596 (неполная запись в конце файла)",
      "Report\\Tel.bin: отброшено 150 байт со смещения 0 (неполная запись в конце файла)"};
  EXPECT_EQ(Database.Dropped, expected);
  EXPECT_EQ(QString::fromLatin1(home->read("Report/dropped.log")).count("2009-03-05 10:00:00 "), 2);
  EXPECT_EQ(plat::FromCp1251(home->read("Report/dropped.log")),
            "2009-03-05 10:00:00 " + expected[0] + "\r\n2009-03-05 10:00:00 " + expected[1] + "\r\n");
}

// What the start check finds in the record files: a broken tail and what
// will be done with it, a last record no line writes, and whole files.
TEST_F(RecordFiles, TheStartCheckNamesDamagedFilesAndWhatWillBeDone) {
  QString found;
  EXPECT_TRUE(RecordFilesWhole(found)) << qPrintable(found);  // none there: empty
  ASSERT_TRUE(AppendShiftMeasurement(Numbered(1)));
  ASSERT_TRUE(AppendSet(SetRecord()));
  EXPECT_TRUE(RecordFilesWhole(found)) << qPrintable(found);
  home->write("Report/day.bin", home->read("Report/day.bin") + QByteArray(149, 'x'));
  QByteArray noise(102400, '\0');
  for (int i = 0; i < noise.size(); ++i) noise[i] = static_cast<char>((i * 7919 + 13) % 251);
  home->write("Report/base.bin", noise);
  EXPECT_FALSE(RecordFilesWhole(found));
  const QStringList lines = found.split('\n');
  ASSERT_EQ(lines.size(), 2) << qPrintable(found);
  EXPECT_TRUE(lines[0].startsWith("Report\\base.bin: в конце 186 байт неполной записи (со смещения "
                                  "102214), они будут отброшены при следующей записи в файл; "
                                  "последняя запись (№343, со смещения 101916) не читается: "))
      << qPrintable(lines[0]);
  EXPECT_EQ(lines[1], "Report\\day.bin: в конце 149 байт неполной записи (со смещения 298), они "
                      "будут отброшены при следующей записи в файл");
  // A set with a group no sorting gives.
  QByteArray set = home->read("Report/Tel.bin");
  set[96] = 12;
  home->write("Report/Tel.bin", set);
  home->write("Report/base.bin", QByteArray());
  EXPECT_FALSE(RecordFilesWhole(found));
  EXPECT_TRUE(found.contains("Report\\Tel.bin: последняя запись (№1, со смещения 0) не читается: "
                             "группа 12 со смещения 96")) << qPrintable(found);
}

// The installation's folders must take a file and the disk must have room.
TEST_F(RecordFiles, TheInstallationFolderIsTriedForWritingAndRoom) {
  QString reason;
  EXPECT_FALSE(InstallationFolderWritable(reason));  // no Temp folder in this home
  EXPECT_TRUE(reason.startsWith("Нельзя записать в папку " + home->file("Temp") +
                                ": No such file or directory")) << qPrintable(reason);
  for (const char* folder : {"Temp", "STORAGE", "texts"}) QDir(home->path()).mkpath(folder);
  EXPECT_TRUE(InstallationFolderWritable(reason)) << qPrintable(reason);
  EXPECT_EQ(QDir(home->file("Report")).entryList(QDir::Files | QDir::Hidden), QStringList());
  EXPECT_TRUE(InstallationHasFreeSpace(1, reason));
  EXPECT_FALSE(InstallationHasFreeSpace(std::numeric_limits<qint64>::max(), reason));
  EXPECT_TRUE(reason.contains("свободно ") && reason.contains(" МБ, нужно не меньше "))
      << qPrintable(reason);
}

TEST_F(RecordFiles, MissingFolderIsReportedNotCreated) {
  QDir(home->file("Report")).removeRecursively();
  EXPECT_FALSE(AppendMeasurement(Numbered(1)));
  EXPECT_TRUE(DatabaseError().contains("base.bin"));
}

TEST_F(RecordFiles, FilterCountsItsListAndReadsThroughIt) {
  for (int n = 1; n <= 6; ++n) ASSERT_TRUE(AppendMeasurement(Numbered(n)));
  SetRecordFilter({4, 1, 5});
  EXPECT_EQ(MeasurementCount(), 3);
  EXPECT_EQ(SetCount(), 3);
  ASSERT_TRUE(AppendMeasurement(Numbered(7)));  // the database grows meanwhile
  EXPECT_EQ(MeasurementCount(), 3);
  MeasurementRecord r;
  ASSERT_TRUE(ReadMeasurement(0, r));
  EXPECT_EQ(r.Identifier, MeasurementIdentifier(5));
  ASSERT_TRUE(ReadMeasurement(2, r));
  EXPECT_EQ(r.Identifier, MeasurementIdentifier(6));

  // A position beyond the file leaves the caller's record as it was.
  SetRecordFilter({1, 99});
  ASSERT_TRUE(ReadMeasurement(0, r));
  EXPECT_FALSE(ReadMeasurement(1, r));
  EXPECT_EQ(r.Identifier, MeasurementIdentifier(2));
  EXPECT_TRUE(Database.RecordFilter.On);  // still on after the failed read

  RecordFilterOff();
  EXPECT_EQ(MeasurementCount(), 7);
  ASSERT_TRUE(ReadMeasurement(0, r));
  EXPECT_EQ(r.Identifier, MeasurementIdentifier(1));
  std::vector<MeasurementRecord> all;
  ASSERT_TRUE(ReadMeasurementRange(0, 7, all));
  ASSERT_EQ(all.size(), 7u);
  EXPECT_EQ(all[6].Identifier, MeasurementIdentifier(7));
}

// Walks read in blocks: runs that cross blocks, start inside one, and a
// list out of order with gaps visit exactly the records asked for.
TEST_F(RecordFiles, WalksVisitEveryAskedRecordAcrossBlocks) {
  constexpr int kRecords = 1500;  // more than three blocks
  QByteArray bytes;
  for (int n = 1; n <= kRecords; ++n) bytes += EncodeMeasurementRecord(Numbered(n));
  QFile base(home->file("Report/base.bin"));
  ASSERT_TRUE(base.open(QIODevice::WriteOnly));
  base.write(bytes + "tail");  // a broken tail is no record
  base.close();
  auto value = [](const char* record) { return static_cast<int>(DecodeMeasurementValues(record).Param[1].Value); };

  std::vector<int> seen;
  ASSERT_TRUE(ScanMeasurements(300, 1000, [&](const char* record, int position) {
    EXPECT_EQ(value(record), position + 1);
    seen.push_back(position);
  }));
  ASSERT_EQ(seen.size(), 1000u);
  EXPECT_EQ(seen.front(), 300);
  EXPECT_EQ(seen.back(), 1299);
  EXPECT_FALSE(ScanMeasurements(1000, kRecords - 999, [](const char*, int) {}));
  EXPECT_TRUE(DatabaseError().contains("чтение за концом файла")) << qPrintable(DatabaseError());

  std::vector<int> list{1499, 0, 2, 3};
  for (int k = 5; k < 1400; k += 3) list.push_back(k);
  list.push_back(7);
  SetRecordFilter(list);
  std::vector<MeasurementRecord> listed;
  ASSERT_TRUE(ReadListedMeasurements(1, static_cast<int>(list.size()) - 1, listed, RecordParts::Values));
  ASSERT_EQ(listed.size(), list.size() - 1);
  for (size_t i = 0; i < listed.size(); ++i)
    ASSERT_EQ(listed[i].Param[1].Value, list[i + 1] + 1) << i;
  SetRecordFilter({3, kRecords});
  EXPECT_FALSE(ReadListedMeasurements(0, 2, listed));
  EXPECT_FALSE(ReadListedMeasurements(1, 2, listed));
  EXPECT_TRUE(DatabaseError().contains("позиция за концом списка")) << qPrintable(DatabaseError());
}

using Names = DatabaseTest;

TEST_F(Names, IdentifierPadsTheNumberAndAddsTheDate) {
  EXPECT_EQ(MeasurementIdentifier(7), "0007-05032009");
  EXPECT_EQ(MeasurementIdentifier(42), "0042-05032009");
  EXPECT_EQ(MeasurementIdentifier(123), "0123-05032009");
  EXPECT_EQ(MeasurementIdentifier(9999), "9999-05032009");
  EXPECT_EQ(MeasurementIdentifier(12345), "12345-05032009");
  SetToday(2026, 12, 31);
  EXPECT_EQ(MeasurementIdentifier(1), "0001-31122026");
  EXPECT_EQ(MakeSetDate(), "31122026");
  SetToday(2009, 3, 5);
  EXPECT_EQ(MakeSetDate(), "05032009");
}

using StateFiles = DatabaseTest;

TEST_F(StateFiles, ShiftStateRoundTripsAndCutsLongWagonNumbers) {
  plat::WriteTextLines("Config\\now.txt", {"17", "-3", "0", "1", "12", "5", "3",
                                           QString::fromUtf8("Вагон12345"), "99"});
  ASSERT_TRUE(LoadShiftState()) << qPrintable(DatabaseError());
  const TShiftState& s = Database.ShiftState;
  EXPECT_EQ(s.Reserved1, 17);
  EXPECT_EQ(s.Reserved2, -3);
  EXPECT_EQ(s.CurrentIndex, 12);
  EXPECT_EQ(s.Day, 5);
  EXPECT_EQ(s.Month, 3);
  EXPECT_EQ(s.WagonFrom, QString::fromUtf8("Вагон123"));
  EXPECT_EQ(s.WagonTo, "99");

  ASSERT_TRUE(SaveShiftState());
  EXPECT_EQ(home->read("Config/now.txt"),
            QByteArray("17\r\n-3\r\n0\r\n1\r\n12\r\n5\r\n3\r\n") +
                QByteArray::fromHex("c2e0e3eeed313233") + "\r\n99\r\n");
}

TEST_F(StateFiles, ModeStateReadsWordsAndNumbersAndWritesMinusOne) {
  plat::WriteTextLines("Config\\tekstat.lm4", {"True", "200", "14", "2", " 5 "});
  ASSERT_TRUE(LoadModeState()) << qPrintable(DatabaseError());
  const TModeState& m = Database.ModeState;
  EXPECT_TRUE(m.FastMode);
  EXPECT_EQ(m.Reserved, 200);
  EXPECT_EQ(m.ShiftCount, 14);
  EXPECT_EQ(m.BogieType, 2);
  EXPECT_TRUE(m.AcceleratedMode);
  ASSERT_TRUE(SaveModeState());
  EXPECT_EQ(home->read("Config/tekstat.lm4"), QByteArray("-1\r\n200\r\n14\r\n2\r\n-1\r\n"));

  plat::WriteTextLines("Config\\tekstat.lm4", {"false", "0", "0", "1", "0"});
  ASSERT_TRUE(LoadModeState());
  EXPECT_FALSE(Database.ModeState.FastMode);
  EXPECT_FALSE(Database.ModeState.AcceleratedMode);
}

TEST_F(StateFiles, MissingFilesAreCreatedWithTheStartValues) {
  EXPECT_EQ(InitDatabaseModule(), QString());
  EXPECT_EQ(InitModeState(), QString());
  EXPECT_EQ(home->read("Config/tekstat.lm4"), QByteArray("0\r\n0\r\n0\r\n1\r\n0\r\n"));
  const auto lines = plat::ReadTextLines("Config\\now.txt");
  ASSERT_TRUE(lines);
  ASSERT_EQ(lines->size(), 9);
  // Day 0 matches no date: the first shift change starts the first shift.
  EXPECT_EQ(lines->at(5), "0");
}

TEST_F(StateFiles, ALineThatDoesNotConvertStopsTheStartWithItsName) {
  plat::WriteTextLines("Config\\now.txt", {"0", "0", "0", "1", "1", "5", "март", "1", "2"});
  const QString err = InitDatabaseModule();
  EXPECT_TRUE(err.contains("now.txt")) << qPrintable(err);
  EXPECT_TRUE(err.contains(QString::fromUtf8("строка 7"))) << qPrintable(err);
  EXPECT_EQ(DatabaseStartupError(), err);
  EXPECT_EQ(Database.ShiftState.Month, 0);  // nothing half-read is kept

  plat::WriteTextLines("Config\\tekstat.lm4", {"0", "0", "0", "1", "Yes"});
  EXPECT_FALSE(LoadModeState());
  EXPECT_TRUE(DatabaseError().contains("tekstat.lm4"));
  EXPECT_TRUE(DatabaseError().contains(QString::fromUtf8("строка 5")));

  plat::WriteTextLines("Config\\tekstat.lm4", {"0", "0"});  // cut short
  EXPECT_FALSE(LoadModeState());
  EXPECT_TRUE(DatabaseError().contains(QString::fromUtf8("строка 3")));
}

TEST_F(StateFiles, EmptyingSwitchesApplyInStartUpOrder) {
  for (int n = 1; n <= 3; ++n) {
    ASSERT_TRUE(AppendMeasurement(Numbered(n)));
    ASSERT_TRUE(AppendShiftMeasurement(Numbered(n)));
    ASSERT_TRUE(AppendSet(SetRecord()));
  }
  plat::WriteTextLines("Config\\now.txt", {"0", "0", "0", "1", "1", "5", "3", "W1", "W2"});
  home->write("setup.ini", "[Global]\r\nDestroyDayDbNow=1\r\nDestroyTelDbNow=1\r\n");
  ASSERT_EQ(InitDatabaseModule(), QString());
  EXPECT_EQ(Database.ShiftState.WagonFrom, "W1");
  LoadSettings();
  ApplyDatabaseSettings();
  EXPECT_EQ(Database.ShiftState.WagonFrom, "?");
  EXPECT_EQ(ShiftMeasurementCount(), 0);  // emptied, not moved
  EXPECT_EQ(MeasurementCount(), 3);
  EXPECT_EQ(SetCount(), 3);               // not yet: the set archive comes later
  ASSERT_EQ(InitModeState(), QString());
  EXPECT_EQ(SetCount(), 0);
  EXPECT_EQ(DatabaseStartupError(), QString());
  // The stored wagon numbers stay on disk for the main page to load.
  ASSERT_TRUE(LoadShiftState());
  EXPECT_EQ(Database.ShiftState.WagonTo, "W2");
}

}  // namespace
