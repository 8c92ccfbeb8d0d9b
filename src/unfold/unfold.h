// Playing the token game into one unfolded graph, in segments that return to the initial
// marking.
#pragma once

#include "spec/net.h"
#include "unfold/graph.h"
#include "unfold/state.h"

namespace zelbo {

// Livelock bounds: the net sets none, so a run that would fire without end is stopped.
constexpr int kMaxSegmentFirings = 1000000;
constexpr int kMaxTailFirings = 1000000;
constexpr int kMaxSegmentsWithoutSource = 100000;

// One unfolding of the unfolder's model into its graph, from the initial marking.
void unfold(Unfolder& u);
void longer_phase_1(Unfolder& u);
void createSegment(Unfolder& u);
int returningToInitMarking(const Unfolder& u);
int numOccurrence(const UnfoldNet& graph, const Trans* trans);

}  // namespace zelbo
