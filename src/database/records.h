#pragma once
// The two record layouts of the line's database files. A record file is the
// plain sequence of its records with no header; every field sits at a fixed
// offset, numbers little-endian, texts as one length byte followed by a fixed
// area of CP1251 characters. Records are encoded and decoded field by field
// here and nowhere else.

#include <QByteArray>
#include <QString>
#include <array>
#include <cstdint>

// One measured parameter of a spring inside a MeasurementRecord.
struct ParameterSlot {
  // 0: Value is judged against the norms of the spring type; 1 or 2: Verdict
  // stands for the judgement. Measurements always write 0.
  uint8_t JudgeMode = 0;
  float Value = 0.0f;
  // For judge modes 1 and 2: non-zero means within the norm.
  uint8_t Verdict = 1;
  // Reserved area; only its first byte has a fixed value (0). The rest is
  // carried through unchanged so that a record read and written again keeps
  // its bytes.
  std::array<uint8_t, 21> Reserved{};
  uint8_t Tail = 1;  // reserved, written as 1
};

// Offsets inside one ParameterSlot.
namespace slot_offset {
constexpr int JudgeMode = 0;
constexpr int Value = 1;
constexpr int Verdict = 5;
constexpr int Reserved = 6;
constexpr int Tail = 27;
constexpr int Size = 28;
}  // namespace slot_offset

// What the layout of a record does not say is kept in the reserved area of
// its slots. Files written before these marks existed hold 0 there, which
// reads as "measured on the line, full measurement".
//   slot byte 7 of parameter p (record offset 38 + 28 * (p - 1)):
//     0x01  the value of parameter p was not measured by the line (simulated,
//           or its step was skipped); it never decides a verdict on its own
//   slot byte 8 of parameter 1 (record offset 39): marks of the whole record
//     0x01  made in emulation (no line was measured)
//     0x02  accelerated measurement
namespace slot_mark {
constexpr int ParameterOffset = 7;  // offset inside the slot
constexpr int RecordOffset = 8;     // offset inside the slot of parameter 1
constexpr uint8_t NotMeasured = 0x01;
constexpr uint8_t Emulated = 0x01;
constexpr uint8_t Accelerated = 0x02;
}  // namespace slot_mark

// One spring measurement, as stored in Report\base.bin and Report\day.bin.
// Arrays are indexed from 1 like the parameters and points they hold; index 0
// is unused.
struct MeasurementRecord {
  QString Identifier;     // MeasurementIdentifier, at most 20 characters
  uint8_t SpringType = 0; // within the bogie type, 1-based
  double Date = 0.0;      // days since 30 December 1899
  uint8_t Kind = 0;       // 1 = fast measurement
  std::array<ParameterSlot, 7> Param{};  // [1..6]
  uint8_t BogieType = 0;  // 1-based
  std::array<int32_t, 11> Chart{};       // chart points [1..10]
  std::array<int32_t, 11> Aux{};         // auxiliary values [1..10]
  QString WagonFrom;      // wagon the spring was taken from, at most 8 characters
  QString WagonTo;        // wagon the spring is fitted to, at most 8 characters
};

namespace measurement_offset {
constexpr int Identifier = 0;   // length byte + 20 characters
constexpr int IdentifierChars = 20;
constexpr int SpringType = 21;
constexpr int Date = 22;
constexpr int Kind = 30;
constexpr int FirstSlot = 31;   // slot of parameter p at FirstSlot + 28 * (p - 1)
constexpr int BogieType = 199;
constexpr int Chart = 200;      // 10 x int32
constexpr int Aux = 240;        // 10 x int32
constexpr int WagonFrom = 280;  // length byte + 8 characters
constexpr int WagonTo = 289;
constexpr int WagonChars = 8;
constexpr int Size = 298;
}  // namespace measurement_offset

constexpr int kMeasurementRecordSize = measurement_offset::Size;

// The springs placed on one side frame of a bogie and its markings.
struct SideFrameSet {
  QString Number;  // at most 15 characters
  QString Works;
  QString Year;
  // Height groups of the springs at positions 1..7 (3K, 5K, 1, 2, 4, 6, 7),
  // 0 where none was placed. Index 0 is unused.
  std::array<uint8_t, 8> Outer{};
  std::array<uint8_t, 8> Inner{};
};

// One assembled spring set of a bogie, as stored in Report\Tel.bin.
struct SetRecord {
  QString BogieNumber;  // at most 15 characters each
  QString BogieWorks;
  QString BogieYear;
  SideFrameSet Left;
  SideFrameSet Right;
  QString Date;         // DDMMYYYY (MakeSetDate), in a 15-character area
  QString WagonFrom;    // at most 8 characters
  QString WagonTo;
};

namespace set_offset {
constexpr int TextChars = 15;    // the 16-byte text fields
constexpr int BogieNumber = 0;
constexpr int BogieWorks = 16;
constexpr int BogieYear = 32;
constexpr int LeftNumber = 48;
constexpr int LeftWorks = 64;
constexpr int LeftYear = 80;
constexpr int LeftOuter = 96;    // 7 bytes
constexpr int LeftInner = 103;
constexpr int RightNumber = 110;
constexpr int RightWorks = 126;
constexpr int RightYear = 142;
constexpr int RightOuter = 158;
constexpr int RightInner = 165;
constexpr int Date = 172;
constexpr int WagonFrom = 188;   // length byte + 8 characters
constexpr int WagonTo = 197;
constexpr int WagonChars = 8;
constexpr int Size = 206;
}  // namespace set_offset

constexpr int kSetRecordSize = set_offset::Size;

// The marks above, read and set on a record in memory. The readers run for
// every record of a walk over the database.
inline bool ParameterMeasured(const MeasurementRecord& r, int p) {
  return !(r.Param[p].Reserved[slot_mark::ParameterOffset - slot_offset::Reserved] & slot_mark::NotMeasured);
}
inline bool RecordEmulated(const MeasurementRecord& r) {
  return r.Param[1].Reserved[slot_mark::RecordOffset - slot_offset::Reserved] & slot_mark::Emulated;
}
inline bool RecordAccelerated(const MeasurementRecord& r) {
  return r.Param[1].Reserved[slot_mark::RecordOffset - slot_offset::Reserved] & slot_mark::Accelerated;
}
void SetParameterMeasured(MeasurementRecord& r, int p, bool measured);
void SetRecordEmulated(MeasurementRecord& r, bool emulated);
void SetRecordAccelerated(MeasurementRecord& r, bool accelerated);

// Encoding always gives exactly the record size. Texts longer than their area
// are cut to it; characters without a CP1251 byte become '?'.
QByteArray EncodeMeasurementRecord(const MeasurementRecord& r);
QByteArray EncodeSetRecord(const SetRecord& r);

// Decoding needs at least the record size of bytes at `data`. A length byte
// larger than its area is taken as the whole area.
MeasurementRecord DecodeMeasurementRecord(const char* data);
// What the judgement and the counts of a record need (types, date, kind and
// the parameter slots) without its texts, chart and auxiliary values: for
// walks over the whole database.
MeasurementRecord DecodeMeasurementValues(const char* data);
// The same into a record the caller keeps across a walk, so that a walk over
// a million records builds no record of its own per step; the other fields
// of `into` are left as they are.
void DecodeMeasurementValues(const char* data, MeasurementRecord& into);
// The identifier's stored characters (CP1251, at most 20) as they stand, for
// scans that look at a few of its characters in every record.
QByteArrayView MeasurementIdentifierBytes(const char* data);
SetRecord DecodeSetRecord(const char* data);

// Whether the record_size bytes at `data` can be a record of the line: every
// length byte within its area, the date a day of the calendar (or 0), the
// kind and the judge modes among those the line writes, the groups 0..9.
// False with what is wrong in `error`.
bool MeasurementBytesReadable(const char* data, QString& error);
bool SetBytesReadable(const char* data, QString& error);

// A length-prefixed text field of `chars` characters at `offset`.
void PutRecordText(QByteArray& rec, int offset, int chars, const QString& text);
QString GetRecordText(const char* rec, int offset, int chars);
