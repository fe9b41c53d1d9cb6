// The press against the measurement's formulas: the readings of 0x0E, 0x0F
// and 0x11, taken in the measurement's order, give back the modelled
// spring.
#include <gtest/gtest.h>

#include <cmath>

#include "simdriver.h"

using simtest::SimDriver;

namespace {

QByteArray Hex(const char* hex) {
  return QByteArray::fromHex(hex);
}

// The measurement's conversions of the three readings.
double P5(int raw) {
  return DisplacementFromRaw(raw) * 0.0396;
}
double P6(int raw) {
  return raw * 0.04;
}
double P2(int raw) {
  return 258.5 - (65535 - raw - 8733) * 0.03996 + 0.7;
}

constexpr uint32_t kLongWait = 500;  // enough for every press command

int Force(SimDriver& d, int level) {
  return d.ControllerReading(kCmdForce, level & 0xFF, level >> 8, kLongWait);
}

struct Case {
  double height, stiffness;
  int first, second;  // force levels, ADC units
};

TEST(SimPress, TheMeasurementsOrderRecoversTheModel) {
  for (const Case& c : {Case{249.0, 300, 26000, 14000}, Case{246.03, 163.3, 14000, 7500},
                        Case{255.17, 237.5, 18000, 9500}, Case{259.2, 300, 30000, 16000},
                        Case{230.77, 410, 400, 2000}}) {
    SimpleSpring s;
    s.freeHeight = c.height;
    s.stiffness = c.stiffness;
    SimDriver d({}, s);
    ASSERT_FALSE(d.Controller(kCmdInitLine, 0, 0, kLongWait).isEmpty());
    Force(d, c.first);
    Force(d, c.first);
    d.Controller(kCmdResetLir);
    Force(d, c.first);
    // The spring takes no set in the model: the same load again moves
    // nothing.
    EXPECT_EQ(P5(d.ControllerReading(kCmdDisplacement, 0, 0, kLongWait)), 0.0) << c.height;
    const double p6 = P6(Force(d, c.second));
    EXPECT_NEAR(p6, d.spring->Deflection(c.second), 0.02) << c.height;
    EXPECT_NEAR(p6, c.second / c.stiffness, 0.02) << c.height;
    d.Controller(kCmdRelayUp, 0, 0, kLongWait);
    const double p2 = P2(d.ControllerReading(kCmdPosition, 0, 0, kLongWait));
    EXPECT_NEAR(p2, c.height, 0.05) << c.height;
  }
}

// p5 is the press's travel since the LIR was zeroed, both ways.
TEST(SimPress, DisplacementIsTheTravelSinceTheLirReset) {
  SimDriver d;
  d.Controller(kCmdResetLir);
  Force(d, 14000);
  EXPECT_NEAR(P5(d.ControllerReading(kCmdDisplacement, 0, 0, kLongWait)), 14000 / 300.0, 0.02);
  // Between two loads both positions are whole counts: within one count.
  d.Controller(kCmdResetLir);
  Force(d, 20000);
  EXPECT_NEAR(P5(d.ControllerReading(kCmdDisplacement, 0, 0, kLongWait)), 6000 / 300.0, 0.0396);
  // Going up counts below zero; the complement rule loses one count.
  d.Controller(kCmdResetLir);
  d.Controller(kCmdRelayUp, 0);
  const int raw = d.ControllerReading(kCmdDisplacement, 0, 0, kLongWait);
  EXPECT_GT(raw, 32000);
  EXPECT_NEAR(P5(raw), 20000 / 300.0, 0.0396 * 1.5);
}

TEST(SimPress, ReplyBytes) {
  SimpleSpring s;
  s.freeHeight = 259.2;
  SimDriver d({}, s);
  // At rest the press stands at the free height: 65535 - 8733 = 0xDDE2.
  EXPECT_EQ(d.ControllerRaw(kCmdPosition), Hex("7E F0 11 00 DD E2 7E"));
  // 14000 units on 300 units/mm: 46.67 mm, 1167 steps of 0.04 mm; the ADC
  // then reads the level.
  d.Send(1, simtest::Bytes({0xF0, kCmdForce, 14000 & 0xFF, 14000 >> 8, 0}));
  EXPECT_TRUE(d.Wait(1, d.sim->Timing().forceMs - 1).isEmpty());
  EXPECT_EQ(d.Wait(1, 1), Hex("7E F0 0E 00 04 8F 7E"));
  EXPECT_EQ(d.ControllerRaw(kCmdReadAdc), Hex("7E F0 06 00 36 B0 7E"));
  EXPECT_NEAR(d.sim->PressState().deflection, 46.667, 0.001);
  // Pressed, the position reads lower by the deflection.
  EXPECT_NEAR(P2(d.ControllerReading(kCmdPosition)), 259.2 - 46.667, 0.03);
  // 0x02 raises the press off the spring.
  d.Controller(kCmdRelayUp, 0);
  EXPECT_EQ(d.ControllerRaw(kCmdPosition), Hex("7E F0 11 00 DD E2 7E"));
  EXPECT_EQ(d.ControllerReading(kCmdReadAdc), 0);
}

// A load beyond what the coils take stops at solid height.
TEST(SimPress, ASpringPressedSolidStopsAtItsSolidHeight) {
  SimDriver d;  // 249 mm, wire 30, pitch 48: solid at 155.6 mm
  const double solid = 249.0 * 30 / 48;
  EXPECT_NEAR(P6(Force(d, 60000)), 249.0 - solid, 0.02);
  EXPECT_NEAR(P2(d.ControllerReading(kCmdPosition)), solid, 0.05);
}

}  // namespace
