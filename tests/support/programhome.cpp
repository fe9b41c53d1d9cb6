#include "programhome.h"

#include "config/settings.h"
#include "database/database.h"
#include "measurement/judgement.h"
#include "measurement/sequence.h"
#include "platform/paths.h"
#include "platform/pump.h"
#include "print/printsheet.h"
#include "screen/screen.h"
#include "sorting/springlists.h"
#include "springs/springtypes.h"
#include "testsupport.h"

namespace testsupport {

bool OpenProgramHome(const QString& dir) {
  if (!MakeInstallation(dir)) return false;
  plat::SetHome(dir);
  ResetProgramModules();
  LoadSettings();
  InitScreenModule();  // the page offset follows the settings
  Settings.Debug.KeyPressDelay = 0;
  LoadSpringTypes();
  return true;
}

void ResetProgramModules() {
  plat::SetPumpHook({});
  ResetPrintSheet();
  ResetAvailableSprings();
  ResetScreenModule();
  ResetJudgement();
  ResetMeasurementModule();
  ResetDatabaseModule();
  ResetSpringTypesModule();
  ResetSettingsModule();
}

}  // namespace testsupport
