// The link's tests run on the virtual clock, so the link's waits cost no
// real time; a core application lets the real serial port run without any
// window (the link then has no message boxes to show).
#include <QCoreApplication>
#include <gtest/gtest.h>

#include "platform/clock.h"

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  plat::UseVirtualClock();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
