#pragma once
// Shared set-up of the database tests: a scratch installation with the
// Report and Config folders, the database and settings modules reset, and the
// clock fixed on a chosen day.

#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <memory>

#include "config/settings.h"
#include "database/database.h"
#include "platform/clock.h"
#include "testsupport.h"

class DatabaseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    home = std::make_unique<testsupport::ScratchHome>();
    QDir(home->path()).mkpath("Report");
    QDir(home->path()).mkpath("Config");
    ResetDatabaseModule();
    ResetSettingsModule();
    SetToday(2009, 3, 5);
  }
  void TearDown() override { ResetDatabaseModule(); }

  static void SetToday(int y, int m, int d) {
    plat::UseVirtualClock(QDateTime(QDate(y, m, d), QTime(10, 0)));
  }

  // A measurement whose name and first value tell it apart.
  static MeasurementRecord Numbered(int number) {
    MeasurementRecord r;
    r.Identifier = MeasurementIdentifier(number);
    r.Param[1].Value = static_cast<float>(number);
    r.Date = plat::Now();
    return r;
  }

  std::unique_ptr<testsupport::ScratchHome> home;
};
