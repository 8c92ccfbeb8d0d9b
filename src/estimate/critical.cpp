#include "estimate/critical.h"

#include <cstddef>
#include <span>

namespace zelbo {

namespace {

// Whether `e` consumes a token of the initial marking: a reference event, whose time the
// evaluation takes as 0 in its turn.
bool isReference(const UnfoldedGraph& graph, EventId e) {
  for (const CondId c : inConds(graph, e))
    if (c != kNone && graph.conds[c].producer == kNone) return true;
  return false;
}

// The input token whose arrival made the event's time, or kNone when no produced token did
// (the event's time is 0).
CondId criticalInput(const UnfoldedGraph& graph, EventId e) {
  const std::span<const CondId> inputs = inConds(graph, e);
  // One input: its token made the time when a firing produced it.
  if (inputs.size() == 1) return inputs[0] != kNone && graph.conds[inputs[0]].producer != kNone ? inputs[0] : kNone;
  const Event* events = graph.events.data();
  const double time = events[e].firingTime;
  CondId chosen = kNone;
  for (const CondId c : inputs) {
    if (c == kNone) continue;
    const Cond& cond = graph.conds[c];
    if (cond.producer == kNone || cond.delay + events[cond.producer].firingTime != time) continue;
    if (chosen == kNone || cond.place < graph.conds[chosen].place) chosen = c;
  }
  return chosen;
}

// Which of the instance's events kept their computed time in the separation taken: the
// evaluation took the largest of t(d) - t(s) over the references, where a reference event's
// time is 0 from its turn on. Of the forms that give the separation, the one with the most
// computed times is taken.
void sidesOfSeparation(const UnfoldedGraph& graph, const EventPair& pair, double separation, bool& destination,
                       bool& source) {
  const double td = graph.events[pair.destination].firingTime, ts = graph.events[pair.source].firingTime;
  destination = source = true;
  if (td - ts == separation) return;
  const bool destinationZeroed = isReference(graph, pair.destination);
  const bool sourceZeroed = isReference(graph, pair.source);
  if (destinationZeroed && 0.0 - ts == separation) {
    destination = false;
    return;
  }
  if (sourceZeroed && td - 0.0 == separation) {
    source = false;
    return;
  }
  destination = source = false;
}

}  // namespace

void countCriticalTokens(Sampler& s, const std::vector<EventPair>& pairs, std::vector<PlaceCount>& counts) {
  counts.clear();
  const UnfoldedGraph& graph = s.graph;
  // Each event's weight: how many times its path counts, +1 for a destination, -1 for a
  // source. The weights flow back along the critical inputs in one pass from the newest event;
  // the pass ends once every weight has flowed out or cancelled (where the two paths meet).
  // Every weight is 0 between calls: each flows out before the pass ends.
  if (s.eventWeight.size() < graph.events.size()) s.eventWeight.resize(graph.events.size(), 0);
  std::int32_t* weight = s.eventWeight.data();
  std::ptrdiff_t live = 0;  // events with a weight not 0
  EventId newest = -1;
  const auto add = [&](EventId e, std::int32_t w) {
    const std::int32_t before = weight[e];
    weight[e] = before + w;
    live += (before == 0) - (before + w == 0);
    if (e > newest) newest = e;
  };
  for (std::size_t j = 0; j < pairs.size(); ++j) {
    if (!s.instanceEvaluated[j]) continue;
    bool destination, source;
    sidesOfSeparation(graph, pairs[j], s.instanceValue[j], destination, source);
    if (destination) add(pairs[j].destination, 1);
    if (source) add(pairs[j].source, -1);
  }
  if (s.placeTally.size() < s.net.placeById.size()) s.placeTally.resize(s.net.placeById.size(), 0);
  std::int32_t* tally = s.placeTally.data();
  std::vector<std::int32_t>& touched = s.tallied;
  touched.clear();
  const Cond* conds = graph.conds.data();
  for (EventId e = newest; live > 0 && e >= 0; --e) {
    const std::int32_t w = weight[e];
    if (w == 0) continue;
    weight[e] = 0;
    --live;
    const CondId c = criticalInput(graph, e);
    if (c == kNone) continue;
    const Cond& cond = conds[c];
    if (tally[cond.place] == 0) touched.push_back(cond.place);
    tally[cond.place] += w;
    add(cond.producer, w);
  }
  // The places in the order the pass met them: the sums they go into do not depend on it.
  for (const std::int32_t place : touched) {
    if (tally[place] != 0) counts.push_back(PlaceCount{place, tally[place]});
    tally[place] = 0;
  }
}

}  // namespace zelbo
