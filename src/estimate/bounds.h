// The estimation loop.
#pragma once

// Each discarded unfolding makes the later ones longer (the skip count grows by a tenth),
// so a net in which some reference event never leads to the TSE events would grow them
// without end: the run ends at this many discarded unfoldings.
constexpr int kMaxDiscardedUnfoldings = 50;

// Runs the whole estimation; returns the average TSE (of the pair as stored).
double bounds(int& unpaired);
// Puts the model's run-time fields back into the initial marking. Call it before the
// unfolded graph is cleared: after the first reset, only the records that the graph's events
// and conditions name have changed, and only they are reset.
void clear_gNet();

// The intermediate report after n accepted samples holding m TSE instances whose group sums
// total s; `required` is the group-average series' required count, negative while unknown.
void writeIntermediateReport(int n, int m, double s, int required);
