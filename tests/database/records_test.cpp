// Byte layout of the two record kinds: every field at its offset, written and
// read back. The expected bytes are spelled out by hand so that a wrong offset
// constant cannot hide behind itself.

#include <gtest/gtest.h>

#include <QByteArray>
#include <cstring>

#include "database/records.h"

namespace {

void Put(QByteArray& b, int offset, std::initializer_list<int> bytes) {
  for (int v : bytes) b[offset++] = static_cast<char>(v);
}

void PutText(QByteArray& b, int offset, const QByteArray& cp1251) {
  b[offset] = static_cast<char>(cp1251.size());
  std::memcpy(b.data() + offset + 1, cp1251.constData(), cp1251.size());
}

MeasurementRecord SampleMeasurement() {
  MeasurementRecord r;
  r.Identifier = "0007-05032009";
  r.SpringType = 3;
  r.Date = 39877.5;  // 5 March 2009, noon
  r.Kind = 1;
  for (int p = 1; p <= 6; ++p) r.Param[p].Value = 0.0f;
  r.Param[2].Value = 250.5f;
  r.Param[6].Value = -1.25f;
  r.Param[4].JudgeMode = 2;
  r.Param[4].Verdict = 0;
  r.BogieType = 2;
  r.Chart[1] = 30;
  r.Chart[2] = 60;
  r.Chart[3] = 126;
  r.Chart[10] = -1;
  r.Aux[1] = 12;
  r.Aux[9] = 3;
  r.WagonFrom = QString::fromUtf8("5321ТЕ");
  r.WagonTo = "12345678";
  return r;
}

QByteArray SampleMeasurementBytes() {
  QByteArray b(298, '\0');
  PutText(b, 0, "0007-05032009");
  Put(b, 21, {3});
  Put(b, 22, {0x00, 0x00, 0x00, 0x00, 0xb0, 0x78, 0xe3, 0x40});
  Put(b, 30, {1});
  for (int p = 1; p <= 6; ++p) {
    const int slot = 31 + 28 * (p - 1);
    Put(b, slot + 5, {1});   // verdict
    Put(b, slot + 27, {1});  // closing reserved byte
  }
  Put(b, 32 + 28 * 1, {0x00, 0x80, 0x7a, 0x43});  // parameter 2 = 250.5
  Put(b, 32 + 28 * 5, {0x00, 0x00, 0xa0, 0xbf});  // parameter 6 = -1.25
  Put(b, 31 + 28 * 3, {2});                       // parameter 4 judge mode
  Put(b, 31 + 28 * 3 + 5, {0});                   // and its verdict
  Put(b, 199, {2});
  Put(b, 200, {30, 0, 0, 0, 60, 0, 0, 0, 126, 0, 0, 0});
  Put(b, 236, {0xff, 0xff, 0xff, 0xff});
  Put(b, 240, {12, 0, 0, 0});
  Put(b, 272, {3, 0, 0, 0});
  PutText(b, 280, QByteArray("5321") + QByteArray::fromHex("d2c5"));
  PutText(b, 289, "12345678");
  return b;
}

TEST(MeasurementRecordLayout, EveryFieldAtItsOffset) {
  const QByteArray encoded = EncodeMeasurementRecord(SampleMeasurement());
  const QByteArray expected = SampleMeasurementBytes();
  ASSERT_EQ(encoded.size(), 298);
  for (int i = 0; i < 298; ++i)
    EXPECT_EQ(static_cast<uint8_t>(encoded[i]), static_cast<uint8_t>(expected[i])) << "offset " << i;
}

TEST(MeasurementRecordLayout, DecodesEveryField) {
  const QByteArray bytes = SampleMeasurementBytes();
  const MeasurementRecord r = DecodeMeasurementRecord(bytes.constData());
  const MeasurementRecord s = SampleMeasurement();
  EXPECT_EQ(r.Identifier, s.Identifier);
  EXPECT_EQ(r.SpringType, 3);
  EXPECT_DOUBLE_EQ(r.Date, 39877.5);
  EXPECT_EQ(r.Kind, 1);
  EXPECT_FLOAT_EQ(r.Param[2].Value, 250.5f);
  EXPECT_FLOAT_EQ(r.Param[6].Value, -1.25f);
  EXPECT_EQ(r.Param[4].JudgeMode, 2);
  EXPECT_EQ(r.Param[4].Verdict, 0);
  EXPECT_EQ(r.Param[1].Tail, 1);
  EXPECT_EQ(r.BogieType, 2);
  EXPECT_EQ(r.Chart[3], 126);
  EXPECT_EQ(r.Chart[10], -1);
  EXPECT_EQ(r.Aux[9], 3);
  EXPECT_EQ(r.WagonFrom, QString::fromUtf8("5321ТЕ"));
  EXPECT_EQ(r.WagonTo, "12345678");
  // Written again, the bytes come out the same.
  EXPECT_EQ(EncodeMeasurementRecord(r), bytes);
}

TEST(MeasurementRecordLayout, TextsAreCutToTheirAreaAndBadLengthBytesAreClamped) {
  MeasurementRecord r;
  r.Identifier = QString(25, 'A');
  r.WagonFrom = QString::fromUtf8("Вагон12345");  // 10 characters
  QByteArray b = EncodeMeasurementRecord(r);
  EXPECT_EQ(static_cast<uint8_t>(b[0]), 20);
  EXPECT_EQ(static_cast<uint8_t>(b[280]), 8);
  EXPECT_EQ(b.mid(281, 8), QByteArray::fromHex("c2e0e3eeed313233"));
  EXPECT_EQ(static_cast<uint8_t>(b[21]), 0);  // the next field is untouched

  // A length byte beyond its area (a damaged record) reads as the whole area.
  b[289] = static_cast<char>(200);
  std::memcpy(b.data() + 290, "ABCDEFGH", 8);
  EXPECT_EQ(DecodeMeasurementRecord(b.constData()).WagonTo, "ABCDEFGH");
}

TEST(MeasurementRecordLayout, MarksSitInTheReservedBytesAndOldRecordsReadAsMeasured) {
  const MeasurementRecord old = DecodeMeasurementRecord(SampleMeasurementBytes().constData());
  for (int p = 1; p <= 6; ++p) EXPECT_TRUE(ParameterMeasured(old, p));
  EXPECT_FALSE(RecordEmulated(old));
  EXPECT_FALSE(RecordAccelerated(old));

  MeasurementRecord r = SampleMeasurement();
  SetParameterMeasured(r, 4, false);
  SetParameterMeasured(r, 6, false);
  SetRecordEmulated(r, true);
  SetRecordAccelerated(r, true);
  QByteArray expected = SampleMeasurementBytes();
  Put(expected, 38 + 28 * 3, {1});
  Put(expected, 38 + 28 * 5, {1});
  Put(expected, 39, {3});
  const QByteArray encoded = EncodeMeasurementRecord(r);
  for (int i = 0; i < 298; ++i)
    EXPECT_EQ(static_cast<uint8_t>(encoded[i]), static_cast<uint8_t>(expected[i])) << "offset " << i;

  const MeasurementRecord back = DecodeMeasurementRecord(encoded.constData());
  EXPECT_FALSE(ParameterMeasured(back, 4));
  EXPECT_TRUE(ParameterMeasured(back, 5));
  EXPECT_TRUE(RecordEmulated(back));
  SetRecordEmulated(r, false);
  EXPECT_FALSE(RecordEmulated(r));
  EXPECT_TRUE(RecordAccelerated(r));
}

TEST(SetRecordLayout, EveryFieldAtItsOffset) {
  SetRecord r;
  r.BogieNumber = "1234";
  r.BogieWorks = "____";
  r.BogieYear = "2008";
  r.Left.Number = QString::fromUtf8("Л-77");
  r.Left.Works = "5";
  r.Left.Year = "2007";
  r.Right.Number = QString(20, 'R');  // cut to 15
  r.Right.Works = "6";
  r.Right.Year = "2006";
  for (int p = 1; p <= 7; ++p) {
    r.Left.Outer[p] = static_cast<uint8_t>(p);
    r.Left.Inner[p] = static_cast<uint8_t>(10 + p);
    r.Right.Outer[p] = static_cast<uint8_t>(20 + p);
    r.Right.Inner[p] = static_cast<uint8_t>(30 + p);
  }
  r.Date = "05032009";
  r.WagonFrom = QString::fromUtf8("ВагонА");
  r.WagonTo = "87654321";

  QByteArray e(206, '\0');
  PutText(e, 0, "1234");
  PutText(e, 16, "____");
  PutText(e, 32, "2008");
  PutText(e, 48, QByteArray::fromHex("cb") + "-77");
  PutText(e, 64, "5");
  PutText(e, 80, "2007");
  Put(e, 96, {1, 2, 3, 4, 5, 6, 7});
  Put(e, 103, {11, 12, 13, 14, 15, 16, 17});
  PutText(e, 110, QByteArray(15, 'R'));
  PutText(e, 126, "6");
  PutText(e, 142, "2006");
  Put(e, 158, {21, 22, 23, 24, 25, 26, 27});
  Put(e, 165, {31, 32, 33, 34, 35, 36, 37});
  PutText(e, 172, "05032009");
  PutText(e, 188, QByteArray::fromHex("c2e0e3eeedc0"));
  PutText(e, 197, "87654321");

  const QByteArray encoded = EncodeSetRecord(r);
  ASSERT_EQ(encoded.size(), 206);
  for (int i = 0; i < 206; ++i)
    EXPECT_EQ(static_cast<uint8_t>(encoded[i]), static_cast<uint8_t>(e[i])) << "offset " << i;

  const SetRecord d = DecodeSetRecord(e.constData());
  EXPECT_EQ(d.Left.Number, QString::fromUtf8("Л-77"));
  EXPECT_EQ(d.Right.Number, QString(15, 'R'));
  EXPECT_EQ(d.Right.Inner[7], 37);
  EXPECT_EQ(d.Left.Outer[1], 1);
  EXPECT_EQ(d.Date, "05032009");
  EXPECT_EQ(d.WagonFrom, QString::fromUtf8("ВагонА"));
  EXPECT_EQ(EncodeSetRecord(d), e);
}

}  // namespace
