// The TSE instances of an unfolding and the number of leading instances to skip.
#pragma once

#include <cstdio>
#include <vector>

#include "estimate/sampler.h"

namespace zelbo {

// Pairs the source and destination events of each of the target's instances in the current
// unfolding into `pairs`; false when some instance lacks one of them.
// Formerly identifyTargetEventPair.
bool pairTargetEvents(const Sampler& s, const TargetRun& target, std::vector<EventPair>& pairs);
// Raises the target's skip count by max(1, a tenth of it) and reports it to `out` (none: not).
// Formerly the prefixed IncreaseSegmentHistory.
void growSkipCount(Sampler& s, TargetRun& target, FILE* out);

}  // namespace zelbo
