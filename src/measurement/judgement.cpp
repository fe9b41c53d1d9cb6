#include "measurement/judgement.h"

#include <algorithm>

#include "config/settings.h"
#include "springs/springtypes.h"

TJudgement Judgement;

const SpringType* RecordSpringType(const MeasurementRecord& record) {
  const TSpringTypeTable& table = SpringTypeTable();
  const int bogies = std::min<int>(table.MaxChNum, kMaxBogieTypes);
  const int b = record.BogieType;
  if (b < 1 || b > bogies) return nullptr;
  const BogieType& bogie = table[b];
  const int springs = std::min<int>(bogie.MaxSprings, kMaxSpringTypes);
  const int s = record.SpringType;
  if (s < 1 || s > springs) return nullptr;
  return &bogie.springTypes[s];
}

void JudgeMeasurement(const MeasurementRecord& record) {
  Judgement = TJudgement{};
  const SpringType* type = RecordSpringType(record);
  if (!type) return;

  for (int p = 1; p <= 6; ++p) {
    const ParameterSlot& slot = record.Param[p];
    const SpringParameter& norm = type->parameters[p];
    bool good;
    if (slot.JudgeMode == 0) {
      const double value = slot.Value;
      good = value > norm.Min - type->E && value < norm.Max + type->E;
    } else {
      good = slot.Verdict != 0;
    }
    if (Settings.Global.Zam19 && !norm.Analiz) good = true;
    Judgement.Verdicts[p] = good;
  }
  if (record.Kind == 1) {
    // Diameter, non-perpendicularity and coil gap are not measured in the
    // fast mode.
    Judgement.Verdicts[1] = Judgement.Verdicts[3] = Judgement.Verdicts[4] = true;
  }
  if (Settings.Debug.CalEnable1 && record.BogieType == 1) Judgement.Verdicts[5] = true;

  Judgement.SpringGood = true;
  for (int p = 1; p <= 6; ++p) Judgement.SpringGood = Judgement.SpringGood && Judgement.Verdicts[p];
  Judgement.Judged = true;
}

void ResetJudgement() {
  Judgement = TJudgement{};
}
