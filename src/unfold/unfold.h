// Playing the token game into one unfolded graph, in segments that return to the initial
// marking.
#pragma once

#include "net/net.h"
#include "unfold/graph.h"
#include "unfold/state.h"

namespace zelbo {

// Livelock bounds: the net sets none, so a run that would fire without end is stopped.
constexpr int kMaxSegmentFirings = 1000000;
constexpr int kMaxTailFirings = 1000000;
constexpr int kMaxSegmentsWithoutSource = 100000;

// One unfolding of the unfolder's model into its graph, from the initial marking.
void unfold(Unfolder& u);
// Formerly longer_phase_1.
void unfoldSegments(Unfolder& u);
void createSegment(Unfolder& u);
// Formerly returningToInitMarking.
int backAtInitialMarking(const Unfolder& u);
int occurrenceCount(const UnfoldedGraph& graph, const Trans* trans);

}  // namespace zelbo
