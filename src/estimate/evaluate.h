// Delays, firing times and the separations of the TSE instances of one unfolding.
#pragma once

#include "estimate/sampler.h"

namespace zelbo {

// A delay for every condition of the sampler's graph, newest first; a bad sample ends the run.
void drawDelaysNewestFirst(Sampler& s);
// The group sum of the unfolding; `incomplete` is 1 when a reference misses a target event.
// The events keep their computed firing times. (Formerly upperBound2.)
double evaluateUnfolding(Sampler& s, int& incomplete);
// The same for a graph whose firing times and first cones are computed.
double evaluateTimedUnfolding(Sampler& s, int& incomplete);

}  // namespace zelbo
