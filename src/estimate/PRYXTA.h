// Firing times and reference cones of the unfolded graph.
#pragma once

#include "unfold/graph.h"

// Gives every event its firing time: the latest arrival over its produced input tokens.
void PRYXComputeEventFiringTime(UnfoldNet* graph);
// Computes the firing time of `event` and, first, of every event it depends on.
void PRYXComputeEventFiringTimeRecur(UnfoldNet* graph, EventId event);
// Raises refCounter to refIndex on the target events in the fan-out cone of `event`.
void PRYXUpdateRefCounterForFanoutCone(EventId event, int refIndex);
// Forgets the reachability of the previous unfolding.
void resetReferenceCones();
