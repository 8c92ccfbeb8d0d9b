// The TSE instances of an unfolding and the number of leading instances to skip.
#pragma once

#include "estimate/sampler.h"

namespace zelbo {

// Pairs source and destination events of each instance into the sampler's eventPairs;
// `unpaired` is 1 when some instance lacks one of them.
// Formerly identifyTargetEventPair.
void pairTargetEvents(Sampler& s, int& unpaired);
// Raises the sampler's skipCount by max(1, a tenth of it) and reports it.
// Formerly the prefixed IncreaseSegmentHistory.
void growSkipCount(Sampler& s);

}  // namespace zelbo
