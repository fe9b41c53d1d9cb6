#include "mathem/mathobserver.h"

#include "mathem/profiles.h"

std::function<void(MathemStep)> MathemObserver;

void ReportMathemStep(MathemStep step) {
  if (MathemObserver) MathemObserver(step);
}

void RunStepAndReport(void (*step)()) {
  step();
  ReportMathemStep(step == FindPeak ? MathemStep::PeaksFound : MathemStep::ProfilesChanged);
}
