// Playing the token game into one unfolded graph, in segments that return to the initial
// marking.
#pragma once

#include "spec/net.h"
#include "unfold/graph.h"

// Livelock bounds: the net sets none, so a run that would fire without end is stopped.
constexpr int kMaxSegmentFirings = 1000000;
constexpr int kMaxTailFirings = 1000000;
constexpr int kMaxSegmentsWithoutSource = 100000;

void unfold(Net* net);
void longer_phase_1();
void createSegment();
int returningToInitMarking();
int numOccurrence(const UnfoldNet& graph, const Trans* trans);
