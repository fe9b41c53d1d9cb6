#pragma once
// Shared set-up of the profile mathematics and visualiser tests: a scratch
// working folder, default settings, fault reporting caught instead of shown,
// and the visualiser observing the mathematics as in the program.

#include <gtest/gtest.h>

#include <QStringList>
#include <vector>

#include "config/settings.h"
#include "database/database.h"
#include "mathem/coilgeometry.h"
#include "mathem/mathobserver.h"
#include "mathem/profiles.h"
#include "sim/springmodel.h"
#include "springs/springtypes.h"
#include "testsupport.h"
#include "visualiser/visualiser.h"

class MathemTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetSettingsModule();
    ResetDatabaseModule();
    ResetSpringTypesModule();
    ResetProfileStore();
    ResetCoilResults();
    ResetVisualiser();
    ProfileStore.errorPage = [this](int code) { errorPages.push_back(code); };
    ProfileStore.message = [this](const QString& text) { messages << text; };
    ConnectVisualiser();
  }
  void TearDown() override {
    MathemObserver = nullptr;
    ResetProfileStore();
    ResetSettingsModule();
  }

  // Writes camera n's file with the readings (element 0 is reading 1).
  static void WriteCamera(int n, const std::vector<int>& readings) {
    ASSERT_TRUE(WriteCameraFile(n, readings));
  }
  // Loads camera 1 with the readings and the other cameras empty.
  static void LoadCamera1(const std::vector<int>& readings, uint8_t mode = 0) {
    WriteCamera(1, readings);
    for (int n = 2; n <= 4; ++n) WriteCamera(n, {});
    LoadProfiles(mode);
  }
  // Readings j = 1..count of camera n.
  static std::vector<int> Values(int n) {
    std::vector<int> v;
    for (int j = 1; j <= ProfileStore.count[n]; ++j) v.push_back(ProfileValue(n, j));
    return v;
  }
  // Filter constants of every camera.
  static void SetK(int i, int value) {
    for (int n = 1; n <= 4; ++n) Settings.K[n][i] = value;
  }

  testsupport::ScratchHome home;
  std::vector<int> errorPages;
  QStringList messages;
};
