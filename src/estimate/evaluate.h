// Delays, firing times and the separations of the TSE instances of one unfolding.
#pragma once

#include "unfold/graph.h"

// A delay for every condition, newest first; a bad sample ends the run.
void assignDelay(UnfoldNet* graph);
// Marks the cone of the reference event and checks every target event against it.
void conScan(EventId refEvent, int refIndex, int& incomplete);
// The group sum of the unfolding; `incomplete` is 1 when a reference misses a target event.
double upperBound2(int& incomplete);
