#include "measurement/judgement.h"

#include <QStringList>
#include <algorithm>

#include "config/settings.h"
#include "quality/limits.h"
#include "quality/measured.h"
#include "springs/springtypes.h"

TJudgement Judgement;

void JudgeMeasurement(const MeasurementRecord& record) {
  // Judged into a local and stored once: the statistics and the export judge
  // every record of the database.
  TJudgement j;
  const SpringType* type = RecordSpringType(record);
  // A type the bogie file gives no norms for is not judged: zero limits
  // would call every spring bad.
  if (!type || !type->MissingNorms.isEmpty()) {
    Judgement = j;
    return;
  }
  const bool zam19 = Settings.Global.Zam19;
  const double e = type->E;
  bool all = true;
  for (int p = 1; p <= 6; ++p) {
    const ParameterSlot& slot = record.Param[p];
    const SpringParameter& norm = type->parameters[p];
    // Worked out without branches: the verdicts of a database are not
    // predictable.
    const bool within = quality::WithinJudgementLimits(slot.Value, norm.Min, norm.Max, e);
    bool good = slot.JudgeMode == 0 ? within : slot.Verdict != 0;
    good |= zam19 & !norm.Analiz;
    good |= !quality::ValueMeasured(record.Kind, p, ParameterMeasured(record, p));
    good |= p == 5 && Settings.Debug.CalEnable1 && record.BogieType == 1;
    j.Verdicts[p] = good;
    all &= good;
  }
  j.SpringGood = all;
  j.Judged = true;
  Judgement = j;
}

std::vector<int> ListedParameters(const MeasurementRecord& record) {
  const SpringType* type = RecordSpringType(record);
  std::vector<int> rows;
  for (int p = 1; p <= 6; ++p) {
    if (Settings.Global.Zam19 && type) {
      if (type->parameters[p].Show) rows.push_back(p);
    } else if (!(p == 5 && Settings.Debug.CalEnable1 && record.BogieType == 1)) {
      rows.push_back(p);
    }
  }
  return rows;
}

bool ValueMeasured(const MeasurementRecord& record, int p) {
  return quality::ValueMeasured(record.Kind, p, ParameterMeasured(record, p));
}

QString RecordKindNote(const MeasurementRecord& record) {
  QStringList notes;
  if (RecordAccelerated(record)) notes << QStringLiteral("Ускоренный замер");
  if (RecordEmulated(record)) notes << QStringLiteral("Режим эмуляции");
  return notes.join(QStringLiteral(", "));
}

void ResetJudgement() {
  Judgement = TJudgement{};
}
