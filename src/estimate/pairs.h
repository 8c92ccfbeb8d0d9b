// The TSE instances of an unfolding and the number of leading instances to skip.
#pragma once

#include "unfold/graph.h"

struct EventPair {
  EventId source = kNone;
  EventId destination = kNone;
};

// Pairs source and destination events of each instance into gTargetEventPair; `unpaired`
// is 1 when some instance lacks one of them.
void identifyTargetEventPair(int& unpaired);
// Raises gRequiredHeadingTSE by max(1, a tenth of it) and reports it.
void PRYXIncreaseSegmentHistory();
