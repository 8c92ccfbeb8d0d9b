// The estimation loop.
#pragma once

// Runs the whole estimation; returns the average TSE (of the pair as stored).
double bounds(int& unpaired);
// Puts the model's run-time fields back into the initial marking.
void clear_gNet();
