// Delays, firing times and the separations of the TSE instances of one unfolding.
#pragma once

#include "estimate/sampler.h"

namespace zelbo {

// A delay for every condition of the sampler's graph, newest first; a bad sample ends the run.
// Formerly assignDelay.
void drawDelaysNewestFirst(Sampler& s);
// The group sum of the unfolding; `incomplete` is 1 when a reference misses a target event.
// The reference events' times are 0 afterwards. (Formerly upperBound2.)
double evaluateUnfolding(Sampler& s, int& incomplete);
// The same for a graph whose firing times and first cones are computed.
//
// The evaluation takes each reference event's time as 0; keepReferenceTimes, before it, and
// restoreReferenceTimes, after it, give the events their computed times back, for what reads
// the graph afterwards.
double evaluateTimedUnfolding(Sampler& s, int& incomplete);
void keepReferenceTimes(Sampler& s);
void restoreReferenceTimes(Sampler& s);

}  // namespace zelbo
