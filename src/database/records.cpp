#include "database/records.h"

#include <QtEndian>
#include <algorithm>
#include <bit>
#include <cstring>

#include "platform/cp1251.h"

namespace {

void PutU8(QByteArray& rec, int offset, uint8_t v) { rec[offset] = static_cast<char>(v); }

uint8_t GetU8(const char* rec, int offset) { return static_cast<uint8_t>(rec[offset]); }

void PutI32(QByteArray& rec, int offset, int32_t v) {
  qToLittleEndian<qint32>(v, rec.data() + offset);
}

int32_t GetI32(const char* rec, int offset) { return qFromLittleEndian<qint32>(rec + offset); }

void PutF32(QByteArray& rec, int offset, float v) {
  qToLittleEndian<quint32>(std::bit_cast<quint32>(v), rec.data() + offset);
}

float GetF32(const char* rec, int offset) {
  return std::bit_cast<float>(qFromLittleEndian<quint32>(rec + offset));
}

void PutF64(QByteArray& rec, int offset, double v) {
  qToLittleEndian<quint64>(std::bit_cast<quint64>(v), rec.data() + offset);
}

double GetF64(const char* rec, int offset) {
  return std::bit_cast<double>(qFromLittleEndian<quint64>(rec + offset));
}

void PutSlot(QByteArray& rec, int base, const ParameterSlot& s) {
  PutU8(rec, base + slot_offset::JudgeMode, s.JudgeMode);
  PutF32(rec, base + slot_offset::Value, s.Value);
  PutU8(rec, base + slot_offset::Verdict, s.Verdict);
  for (int i = 0; i < static_cast<int>(s.Reserved.size()); ++i)
    PutU8(rec, base + slot_offset::Reserved + i, s.Reserved[i]);
  PutU8(rec, base + slot_offset::Tail, s.Tail);
}

void GetSlot(const char* rec, int base, ParameterSlot& s) {
  s.JudgeMode = GetU8(rec, base + slot_offset::JudgeMode);
  s.Value = GetF32(rec, base + slot_offset::Value);
  s.Verdict = GetU8(rec, base + slot_offset::Verdict);
  std::memcpy(s.Reserved.data(), rec + base + slot_offset::Reserved, s.Reserved.size());
  s.Tail = GetU8(rec, base + slot_offset::Tail);
}

// Group numbers of positions 1..7.
void PutGroups(QByteArray& rec, int offset, const std::array<uint8_t, 8>& g) {
  for (int p = 1; p <= 7; ++p) PutU8(rec, offset + p - 1, g[p]);
}

std::array<uint8_t, 8> GetGroups(const char* rec, int offset) {
  std::array<uint8_t, 8> g{};
  for (int p = 1; p <= 7; ++p) g[p] = GetU8(rec, offset + p - 1);
  return g;
}

}  // namespace

namespace {

uint8_t& MarkByte(ParameterSlot& s, int offsetInSlot) {
  return s.Reserved[offsetInSlot - slot_offset::Reserved];
}

void SetBits(uint8_t& byte, uint8_t bits, bool on) {
  byte = on ? (byte | bits) : (byte & ~bits);
}

}  // namespace

void SetParameterMeasured(MeasurementRecord& r, int p, bool measured) {
  SetBits(MarkByte(r.Param[p], slot_mark::ParameterOffset), slot_mark::NotMeasured, !measured);
}

void SetRecordEmulated(MeasurementRecord& r, bool emulated) {
  SetBits(MarkByte(r.Param[1], slot_mark::RecordOffset), slot_mark::Emulated, emulated);
}

void SetRecordAccelerated(MeasurementRecord& r, bool accelerated) {
  SetBits(MarkByte(r.Param[1], slot_mark::RecordOffset), slot_mark::Accelerated, accelerated);
}

void PutRecordText(QByteArray& rec, int offset, int chars, const QString& text) {
  const QByteArray bytes = plat::ToCp1251(text.left(chars)).left(chars);
  PutU8(rec, offset, static_cast<uint8_t>(bytes.size()));
  // The bytes behind the used length are undefined in the format; zeros keep
  // the files reproducible.
  std::memset(rec.data() + offset + 1, 0, chars);
  std::memcpy(rec.data() + offset + 1, bytes.constData(), bytes.size());
}

QString GetRecordText(const char* rec, int offset, int chars) {
  int len = GetU8(rec, offset);
  if (len > chars) len = chars;
  return plat::FromCp1251(rec + offset + 1, len);
}

QByteArray EncodeMeasurementRecord(const MeasurementRecord& r) {
  namespace o = measurement_offset;
  QByteArray rec(o::Size, '\0');
  PutRecordText(rec, o::Identifier, o::IdentifierChars, r.Identifier);
  PutU8(rec, o::SpringType, r.SpringType);
  PutF64(rec, o::Date, r.Date);
  PutU8(rec, o::Kind, r.Kind);
  for (int p = 1; p <= 6; ++p) PutSlot(rec, o::FirstSlot + slot_offset::Size * (p - 1), r.Param[p]);
  PutU8(rec, o::BogieType, r.BogieType);
  for (int n = 1; n <= 10; ++n) {
    PutI32(rec, o::Chart + 4 * (n - 1), r.Chart[n]);
    PutI32(rec, o::Aux + 4 * (n - 1), r.Aux[n]);
  }
  PutRecordText(rec, o::WagonFrom, o::WagonChars, r.WagonFrom);
  PutRecordText(rec, o::WagonTo, o::WagonChars, r.WagonTo);
  return rec;
}

void DecodeMeasurementValues(const char* rec, MeasurementRecord& r) {
  namespace o = measurement_offset;
  r.SpringType = GetU8(rec, o::SpringType);
  r.Date = GetF64(rec, o::Date);
  r.Kind = GetU8(rec, o::Kind);
  for (int p = 1; p <= 6; ++p) GetSlot(rec, o::FirstSlot + slot_offset::Size * (p - 1), r.Param[p]);
  r.BogieType = GetU8(rec, o::BogieType);
}

MeasurementRecord DecodeMeasurementValues(const char* rec) {
  MeasurementRecord r;
  DecodeMeasurementValues(rec, r);
  return r;
}

QByteArrayView MeasurementIdentifierBytes(const char* rec) {
  namespace o = measurement_offset;
  return QByteArrayView(rec + o::Identifier + 1, std::min<int>(GetU8(rec, o::Identifier), o::IdentifierChars));
}

MeasurementRecord DecodeMeasurementRecord(const char* rec) {
  namespace o = measurement_offset;
  MeasurementRecord r = DecodeMeasurementValues(rec);
  r.Identifier = GetRecordText(rec, o::Identifier, o::IdentifierChars);
  for (int n = 1; n <= 10; ++n) {
    r.Chart[n] = GetI32(rec, o::Chart + 4 * (n - 1));
    r.Aux[n] = GetI32(rec, o::Aux + 4 * (n - 1));
  }
  r.WagonFrom = GetRecordText(rec, o::WagonFrom, o::WagonChars);
  r.WagonTo = GetRecordText(rec, o::WagonTo, o::WagonChars);
  return r;
}

QByteArray EncodeSetRecord(const SetRecord& r) {
  namespace o = set_offset;
  QByteArray rec(o::Size, '\0');
  PutRecordText(rec, o::BogieNumber, o::TextChars, r.BogieNumber);
  PutRecordText(rec, o::BogieWorks, o::TextChars, r.BogieWorks);
  PutRecordText(rec, o::BogieYear, o::TextChars, r.BogieYear);
  PutRecordText(rec, o::LeftNumber, o::TextChars, r.Left.Number);
  PutRecordText(rec, o::LeftWorks, o::TextChars, r.Left.Works);
  PutRecordText(rec, o::LeftYear, o::TextChars, r.Left.Year);
  PutGroups(rec, o::LeftOuter, r.Left.Outer);
  PutGroups(rec, o::LeftInner, r.Left.Inner);
  PutRecordText(rec, o::RightNumber, o::TextChars, r.Right.Number);
  PutRecordText(rec, o::RightWorks, o::TextChars, r.Right.Works);
  PutRecordText(rec, o::RightYear, o::TextChars, r.Right.Year);
  PutGroups(rec, o::RightOuter, r.Right.Outer);
  PutGroups(rec, o::RightInner, r.Right.Inner);
  PutRecordText(rec, o::Date, o::TextChars, r.Date);
  PutRecordText(rec, o::WagonFrom, o::WagonChars, r.WagonFrom);
  PutRecordText(rec, o::WagonTo, o::WagonChars, r.WagonTo);
  return rec;
}

SetRecord DecodeSetRecord(const char* rec) {
  namespace o = set_offset;
  SetRecord r;
  r.BogieNumber = GetRecordText(rec, o::BogieNumber, o::TextChars);
  r.BogieWorks = GetRecordText(rec, o::BogieWorks, o::TextChars);
  r.BogieYear = GetRecordText(rec, o::BogieYear, o::TextChars);
  r.Left.Number = GetRecordText(rec, o::LeftNumber, o::TextChars);
  r.Left.Works = GetRecordText(rec, o::LeftWorks, o::TextChars);
  r.Left.Year = GetRecordText(rec, o::LeftYear, o::TextChars);
  r.Left.Outer = GetGroups(rec, o::LeftOuter);
  r.Left.Inner = GetGroups(rec, o::LeftInner);
  r.Right.Number = GetRecordText(rec, o::RightNumber, o::TextChars);
  r.Right.Works = GetRecordText(rec, o::RightWorks, o::TextChars);
  r.Right.Year = GetRecordText(rec, o::RightYear, o::TextChars);
  r.Right.Outer = GetGroups(rec, o::RightOuter);
  r.Right.Inner = GetGroups(rec, o::RightInner);
  r.Date = GetRecordText(rec, o::Date, o::TextChars);
  r.WagonFrom = GetRecordText(rec, o::WagonFrom, o::WagonChars);
  r.WagonTo = GetRecordText(rec, o::WagonTo, o::WagonChars);
  return r;
}

namespace {

bool LengthFits(const char* rec, int offset, int chars, QString& error) {
  const int length = GetU8(rec, offset);
  if (length <= chars) return true;
  error = QStringLiteral("длина текста со смещения %1 равна %2, больше %3").arg(offset).arg(length).arg(chars);
  return false;
}

}  // namespace

bool MeasurementBytesReadable(const char* data, QString& error) {
  namespace m = measurement_offset;
  if (!LengthFits(data, m::Identifier, m::IdentifierChars, error) ||
      !LengthFits(data, m::WagonFrom, m::WagonChars, error) ||
      !LengthFits(data, m::WagonTo, m::WagonChars, error))
    return false;
  // Days up to 31 December 9999.
  const double date = GetF64(data, m::Date);
  if (!(date >= 0 && date <= 2958465)) {
    error = QStringLiteral("дата %1 не день календаря").arg(date);
    return false;
  }
  if (GetU8(data, m::Kind) > 1) {
    error = QStringLiteral("вид замера %1").arg(GetU8(data, m::Kind));
    return false;
  }
  for (int p = 1; p <= 6; ++p) {
    const int mode = GetU8(data, m::FirstSlot + slot_offset::Size * (p - 1) + slot_offset::JudgeMode);
    if (mode > 2) {
      error = QStringLiteral("способ оценки параметра %1 равен %2").arg(p).arg(mode);
      return false;
    }
  }
  return true;
}

bool SetBytesReadable(const char* data, QString& error) {
  namespace s = set_offset;
  for (int offset : {s::BogieNumber, s::BogieWorks, s::BogieYear, s::LeftNumber, s::LeftWorks,
                     s::LeftYear, s::RightNumber, s::RightWorks, s::RightYear, s::Date})
    if (!LengthFits(data, offset, s::TextChars, error)) return false;
  if (!LengthFits(data, s::WagonFrom, s::WagonChars, error) ||
      !LengthFits(data, s::WagonTo, s::WagonChars, error))
    return false;
  for (int offset : {s::LeftOuter, s::LeftInner, s::RightOuter, s::RightInner})
    for (int k = 0; k < 7; ++k)
      if (GetU8(data, offset + k) > 9) {
        error = QStringLiteral("группа %1 со смещения %2").arg(GetU8(data, offset + k)).arg(offset + k);
        return false;
      }
  return true;
}
