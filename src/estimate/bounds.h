// The estimation loop.
#pragma once

// Runs the whole estimation; returns the average TSE (of the pair as stored).
double bounds(int& unpaired);
// Puts the model's run-time fields back into the initial marking. Call it before the
// unfolded graph is cleared: after the first reset, only the records that the graph's events
// and conditions name have changed, and only they are reset.
void clear_gNet();

// The intermediate report after n accepted samples holding m TSE instances whose group sums
// total s; `required` is the group-average series' required count, negative while unknown.
void writeIntermediateReport(int n, int m, double s, int required);
