#include <gtest/gtest.h>

#include <QApplication>

// The camera range form is a window, so the tests run inside an
// application object; without a display (test discovery runs without the
// CTest environment) the offscreen platform stands in.
int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
