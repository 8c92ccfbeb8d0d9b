#include "estimate/evaluate.h"

#include <cmath>
#include <cstdio>
#include <vector>

#include "base/format.h"
#include "base/texts.h"
#include "delay/delay.h"
#include "estimate/firing_times.h"
#include "net/net.h"
#include "zelbo/error.h"

namespace zelbo {

namespace {

void checkDelay(const Sampler& s, const Cond& cond, int errorFlag) {
  const char* name = s.net.placeById[cond.place]->name.c_str();
  if (cond.delay < 0)
    throw Error(Error::Kind::run, formatted(text::kSampledDelay, name, cond.delay))
        .note(Error::Note::Kind::error, text::kCheckDelaySpec);
  if (errorFlag > 0)
    throw Error(Error::Kind::run, formatted(text::kSampledInError, name))
        .note(Error::Note::Kind::error, text::kCheckDelaySpec);
}

// Every sample location + scale * U, U in [0, 1), is at least the location and at most
// location + scale: rounding keeps order.
bool uniformInRange(const DelaySpec& spec) {
  return delayInRange(spec.location) && spec.scale > 0.0 && delayInRange(spec.location + spec.scale);
}

}  // namespace

std::vector<PlaceDelay> placeDelays(const Net& net) {
  std::vector<PlaceDelay> delays(net.placeById.size());
  for (const Place* p : net.placeById) {
    PlaceDelay& d = delays[p->id];
    d.type = p->delayType;
    d.spec = p->delaySpec;
    if (!d.spec) continue;
    if (d.type == DelayType::uniform && uniformInRange(*d.spec)) d.kind = PlaceDelay::Kind::uniform;
    if (d.type == DelayType::exponential) d.kind = PlaceDelay::Kind::exponential;
    d.location = d.spec->location;
    d.scale = d.spec->scale;
    d.lambda = d.spec->lambda;
    d.draws = d.type == DelayType::fixed || (d.type == DelayType::uniform && d.scale == 0.0) ? 0 : 1;
    if (d.type == DelayType::fixed && delayInRange(d.location)) d.kind = PlaceDelay::Kind::fixed;
  }
  return delays;
}

bool drawCountsKnown(const std::vector<PlaceDelay>& delays) {
  for (const PlaceDelay& d : delays)
    if (!d.spec || !isKnown(d.type)) return false;
  return true;
}

bool everyPlaceDraws(const std::vector<PlaceDelay>& delays) {
  for (const PlaceDelay& d : delays)
    if (d.draws != 1) return false;
  return true;
}

void drawDelaysNewestFirst(Sampler& s) {
  // Newest condition first: the order fixes which draw of the random stream goes to which token.
  // The uniform and exponential delays, the most common ones, are drawn here without the call,
  // and checked by one comparison that fails for a negative, infinite or undefined sample.
  const PlaceDelay* delays = s.delays.data();
  for (auto cond = s.graph.conds.rbegin(); cond != s.graph.conds.rend(); ++cond) {
    const PlaceDelay& d = delays[cond->place];
    if (d.kind == PlaceDelay::Kind::other || d.kind == PlaceDelay::Kind::fixed) {
      int errorFlag = 0;
      cond->delay = delaySample(d.type, d.spec, errorFlag, s.rng, s.settings.diagnostics);
      checkDelay(s, *cond, errorFlag);
      continue;
    }
    const double sample = d.kind == PlaceDelay::Kind::uniform ? uniformDelay(d.location, d.scale, s.rng)
                                                         : expDelay(d.location, d.scale, d.lambda, s.rng);
    cond->delay = sample;
    if (!delayInRange(sample)) [[unlikely]]
      checkDelay(s, *cond, std::isfinite(sample) ? 0 : 1);
  }
}

namespace {

void reportMissed(FILE* out, const Event& ref, int instance, const char* role, const Event& target, int refCounter,
                  int refIndex) {
  fprintf(out, text::kReferenceMisses, ref.trans->name.c_str(), ref.index, instance, role, target.trans->name.c_str(),
          target.index);
  fprintf(out, text::kReferenceCounters, refCounter, refIndex);
}

const char* infiniteBound(const Sampler& s, bool sourceSide) {
  // Reaching only the source leaves the separation unbounded below; only the destination,
  // unbounded above. A lower-bound target is stored mirrored, so the signs swap.
  const bool minus = sourceSide != (s.net.target->lowerBound != 0);
  return minus ? text::kBoundReachesMinusInf : text::kBoundReachesPlusInf;
}

// Takes the separations of the instances whose both events the reference `refIndex` reaches;
// false when some instance has an event it does not reach.
bool evaluateInstances(Sampler& s, int refIndex, bool firstReference) {
  const Event* events = s.graph.events.data();
  bool allReached = true;
  for (std::size_t j = 0; j < s.eventPairs.size(); ++j) {
    const EventPair& pair = s.eventPairs[j];
    if (pair.sourceRefCounter == refIndex && pair.destinationRefCounter == refIndex) {
      const double separation = events[pair.destination].firingTime - events[pair.source].firingTime;
      if (firstReference || separation > s.instanceValue[j]) s.instanceValue[j] = separation;
      s.instanceEvaluated[j] = 1;
    } else {
      allReached = false;
    }
  }
  return allReached;
}

// The instances with only one event reached have an unbounded separation.
void reportUnbounded(const Sampler& s, int refIndex) {
  for (const EventPair& pair : s.eventPairs) {
    const bool sourceReached = pair.sourceRefCounter == refIndex;
    if (sourceReached != (pair.destinationRefCounter == refIndex))
      fputs(infiniteBound(s, sourceReached), s.settings.diagnostics);
  }
}

// Reports each target event the reference misses; 1 when there is one.
int reportMisses(const Sampler& s, EventId refEvent, int refIndex) {
  int incomplete = 0;
  const UnfoldedGraph& graph = s.graph;
  const Event& ref = graph.events[refEvent];
  FILE* out = s.settings.diagnostics;
  for (std::size_t j = 0; j < s.eventPairs.size(); ++j) {
    const EventPair& pair = s.eventPairs[j];
    if (pair.sourceRefCounter != refIndex) {
      reportMissed(out, ref, static_cast<int>(j), text::kSourceRole, graph.events[pair.source], pair.sourceRefCounter, refIndex);
      incomplete = 1;
    }
    if (pair.destinationRefCounter != refIndex) {
      reportMissed(out, ref, static_cast<int>(j), text::kDestinationRole, graph.events[pair.destination],
                   pair.destinationRefCounter, refIndex);
      incomplete = 1;
    }
  }
  return incomplete;
}

double sumOfInstances(const Sampler& s) {
  double groupSum = 0.0;
  for (std::size_t j = 0; j < s.instanceValue.size(); ++j) {
    if (!s.instanceEvaluated[j])
      fputs(text::kInstanceNotComputed, s.settings.diagnostics);
    groupSum += s.instanceValue[j];
  }
  return groupSum;
}

}  // namespace

void keepReferenceTimes(Sampler& s) {
  s.keptTimes.clear();
  const UnfoldedGraph& graph = s.graph;
  for (const CondId c : graph.initConds)
    if (const EventId ref = graph.conds[c].consumer; ref != kNone) s.keptTimes.push_back({ref, graph.events[ref].firingTime});
}

void restoreReferenceTimes(Sampler& s) {
  for (const auto& [ref, time] : s.keptTimes) s.graph.events[ref].firingTime = time;
}

double evaluateUnfolding(Sampler& s, int& incomplete) {
  computeFiringTimesAndCones(s);
  return evaluateTimedUnfolding(s, incomplete);
}

namespace {

// While the references are taken, each reference event's time counts as 0 from its turn on.
void zeroReferenceTime(Sampler& s, EventId ref) { s.graph.events[ref].firingTime = 0.0; }

// What the references' loop below does when each of them reaches every instance: each
// reference event's time becomes 0 and every separation is taken again, the counters end at
// the last reference, and nothing is reported.
void evaluateReachedByAll(Sampler& s) {
  UnfoldedGraph& graph = s.graph;
  Event* events = graph.events.data();
  bool firstReference = true;
  int lastReference = -1;
  for (std::size_t slot = graph.initConds.size(); slot-- > 0;) {
    const EventId ref = graph.conds[graph.initConds[slot]].consumer;
    if (ref == kNone) continue;
    zeroReferenceTime(s, ref);
    for (std::size_t j = 0; j < s.eventPairs.size(); ++j) {
      const EventPair& pair = s.eventPairs[j];
      const double separation = events[pair.destination].firingTime - events[pair.source].firingTime;
      if (firstReference || separation > s.instanceValue[j]) s.instanceValue[j] = separation;
    }
    firstReference = false;
    lastReference = referenceIndex(graph, slot);
  }
  for (std::size_t j = 0; j < s.eventPairs.size(); ++j) {
    EventPair& pair = s.eventPairs[j];
    pair.sourceRefCounter = pair.destinationRefCounter = lastReference;
    s.instanceEvaluated[j] = lastReference >= 0;
  }
}

}  // namespace

double evaluateTimedUnfolding(Sampler& s, int& incomplete) {
  incomplete = 0;
  UnfoldedGraph& graph = s.graph;
  s.instanceValue.assign(s.eventPairs.size(), 0.0);
  s.instanceEvaluated.assign(s.eventPairs.size(), 0);
  if (everyReferenceReachesEveryInstance(s)) {
    evaluateReachedByAll(s);
    return sumOfInstances(s);
  }
  for (EventPair& pair : s.eventPairs) pair.sourceRefCounter = pair.destinationRefCounter = -1;

  // The references in list order; a condition whose token is never consumed gives none but
  // keeps its place in the numbering.
  bool firstReference = true;
  for (std::size_t slot = graph.initConds.size(); slot-- > 0;) {
    const int refIndex = referenceIndex(graph, slot);
    const EventId ref = graph.conds[graph.initConds[slot]].consumer;
    if (ref == kNone) continue;
    zeroReferenceTime(s, ref);
    // The reference's cone and then the evaluation, in one pass over the instances while the
    // reference reaches them all; their messages otherwise, in their order.
    raiseReferenceCounters(s, ref, refIndex);
    if (!evaluateInstances(s, refIndex, firstReference)) {
      incomplete = reportMisses(s, ref, refIndex);
      reportUnbounded(s, refIndex);
    }
    firstReference = false;
    if (incomplete == 1) break;
  }
  return sumOfInstances(s);
}

}  // namespace zelbo
