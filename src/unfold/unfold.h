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

// One unfolding of the unfolder's model into its graph, from the initial marking: segments
// until every target of the run has skipped its leading instances and has at least one
// instance, then, for positive separations, firings until each destination has caught up.
void unfold(Unfolder& u);
// The segments of one unfolding. Formerly longer_phase_1.
void unfoldSegments(Unfolder& u);
// Leading source occurrences the target skips: its skip count, and for a negative separation
// as many more.
int skipOf(const TargetRun& target);
// Keeps the events of `trans` in a list of UnfoldedGraph::watched; returns the list's slot,
// whose events eventsOf gives.
std::int32_t watch(Unfolder& u, std::int32_t trans);
const std::vector<EventId>& eventsOf(const Unfolder& u, std::int32_t slot);
// A condition for each token of the initial marking, the first of each place a reference.
void createInitialConditions(Unfolder& u);
void createSegment(Unfolder& u);
// Formerly returningToInitMarking.
int backAtInitialMarking(const Unfolder& u);
int occurrenceCount(const UnfoldedGraph& graph, const Trans* trans);

}  // namespace zelbo
