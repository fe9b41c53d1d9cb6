#pragma once
// What the profile mathematics reports as it works: each step over the
// profile store and each result of the geometry goes to one observer. In the
// program the visualiser is that observer (the start-up installs it), so the
// measurement runs the chains without knowing who watches, and the
// visualiser's buttons run the same steps as the chains. Without an observer
// the steps run unseen.

#include <functional>

enum class MathemStep {
  ProfilesChanged,           // the profiles were loaded or a filter ran over them
  PeaksFound,                // FindPeak chose the peak of every chosen coil
  DiameterFound,             // CoilResults: MeasuredDiameter, T1, T2
  NonPerpendicularityFound,  // CoilResults: MeasuredNonPerpendicularity, B1, B2
  SpringSearched,            // the spring search ran (it finds no spring)
};

extern std::function<void(MathemStep)> MathemObserver;

// Tells the observer, when there is one.
void ReportMathemStep(MathemStep step);

// One processing step as its button runs it: the step, then its report
// (FindPeak reports the peaks, every other step new profiles).
void RunStepAndReport(void (*step)());
