#pragma once
// The pseudo-random generator of the emulated measurements and of the
// values the measurement draws (defects, substitutions, chart points). The
// key poll reseeds it from the clock, so that each measurement draws a
// sequence of its own; tests seed it to draw a known one.

#include <QRandomGenerator>

namespace plat {

QRandomGenerator& EmulationRandom();

// A uniformly distributed integer 0..n-1 from EmulationRandom(); 0 when n
// is below 1 (there is nothing to draw from).
int Random(int n);

}  // namespace plat
