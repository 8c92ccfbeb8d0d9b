// Firing times and reference cones of the unfolded graph.
#pragma once

#include "estimate/sampler.h"

namespace zelbo {

// Gives every event of the sampler's graph its firing time: the latest arrival over its
// produced input tokens.
// Formerly the prefixed ComputeEventFiringTime.
void computeFiringTimes(Sampler& s);
// Computes the firing time of `event` and, first, of every event fired before it.
// Formerly the prefixed ComputeEventFiringTimeRecur.
void computeFiringTimesThrough(Sampler& s, EventId event);
// Raises the target events' reference counters to refIndex where the fan-out cone of `event`
// holds them.
// Formerly the prefixed UpdateRefCounterForFanoutCone.
void raiseReferenceCounters(Sampler& s, EventId event, int refIndex);
// Forgets the reachability of the previous unfolding, and chooses how the current one's is
// kept (its target events must be paired).
void resetReferenceCones(Sampler& s);
// The pairs evaluated are another target's: the targets' reach, where the references use it,
// is built again for them.
void forgetTargetReach(Sampler& s);
// Every firing time, as computeFiringTimes gives them, after forgetting the previous
// reachability; the same pass builds the cones of the first 256 references.
void computeFiringTimesAndCones(Sampler& s);
// What drawDelaysNewestFirst and then computeFiringTimesAndCones do, in one pass over the
// conditions, for a graph without firing times. False, with the stream where it was, when a
// delay is bad or the model's delays cannot be drawn that way: the two steps then draw them
// and report what is wrong.
bool drawDelaysTimesAndCones(Sampler& s);
// Whether every reference of a consumed token reaches both events of every paired instance, as
// the cones built by either of the two say, or the targets' reach where the references use it;
// false when they cannot say (no cones built, cones of more than 8 references, a reach of more
// than 32 pairs).
bool everyReferenceReachesEveryInstance(Sampler& s);

}  // namespace zelbo
