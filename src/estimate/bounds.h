// The estimation loop.
#pragma once

#include "estimate/sampler.h"
#include "zelbo/zelbo.h"

namespace zelbo {

// Each discarded unfolding makes the later ones longer (the skip count grows by a tenth),
// so a net in which some reference event never leads to the TSE events would grow them
// without end: the run ends at this many discarded unfoldings in a row.
constexpr int kMaxDiscardedUnfoldings = 50;

// Runs the whole estimation on one sampler, reporting at the settings' print period; fills
// `result` (the bound as asked) and returns the average TSE of the pair as stored.
double bounds(Sampler& s, double halfAlpha, const ReportCallback& onReport, Result& result);
// Puts the sampler's run state back into the initial marking. Call it before the unfolded
// graph is cleared: after the first reset, only the records that the graph's events and
// conditions name have changed, and only they are reset.
void clear_gNet(Unfolder& u);

}  // namespace zelbo
