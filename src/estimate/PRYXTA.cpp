#include "estimate/PRYXTA.h"

#include <cstdint>
#include <vector>

namespace zelbo {

void PRYXComputeEventFiringTimeRecur(Sampler& s, EventId event) {
  // A consumer fires after the producers of its tokens, so computing the times in firing
  // order up to `event` finds every producer's time known: no walk back, no stack. Tokens
  // of the initial marking have no producer and do not count.
  UnfoldNet& graph = s.graph;
  const CondId* refs = graph.inCondRefs.data();
  const Cond* conds = graph.conds.data();
  Event* events = graph.events.data();
  for (EventId id = graph.timedEvents; id <= event; ++id) {
    Event& e = events[id];
    double time = 0.0;
    for (const CondId* c = refs + e.inBegin, *end = c + e.numIn; c != end; ++c) {
      if (*c == kNone) continue;
      const Cond& cond = conds[*c];
      if (cond.producer == kNone) continue;
      const double arrival = cond.delay + events[cond.producer].firingTime;
      if (arrival > time) time = arrival;
    }
    e.firingTime = time;
  }
  if (event >= graph.timedEvents) graph.timedEvents = event + 1;
}

void PRYXComputeEventFiringTime(Sampler& s) {
  if (!s.graph.events.empty()) PRYXComputeEventFiringTimeRecur(s, static_cast<EventId>(s.graph.events.size() - 1));
}

// Reachability from the reference events, 64 references at a time: one word per event whose
// bit r says that reference 64 * chunk + r is the event or causally precedes it. A chunk is
// built by one pass over the events in firing order, when its first reference is checked,
// so that checking all references costs one pass per 64 of them instead of one walk of the
// fan-out cone per reference.
namespace {

void buildConeChunk(Sampler& s, int chunk) {
  const UnfoldNet& graph = s.graph;
  std::vector<std::uint64_t>& words = s.coneWords;
  words.assign(graph.events.size(), 0);
  const int first = chunk * 64;
  for (std::size_t slot = 0; slot < graph.initConds.size(); ++slot) {
    const int ref = referenceIndex(graph, slot);
    if (ref < first || ref >= first + 64) continue;
    const EventId consumer = graph.conds[graph.initConds[slot]].consumer;
    if (consumer != kNone) words[consumer] |= std::uint64_t{1} << (ref - first);
  }
  for (EventId id = 0; id < static_cast<EventId>(graph.events.size()); ++id) {
    std::uint64_t word = words[id];
    for (CondId c : inConds(graph, graph.events[id])) {
      if (c == kNone) continue;
      const EventId producer = graph.conds[c].producer;
      if (producer != kNone) word |= words[producer];
    }
    words[id] = word;
  }
  s.coneChunk = chunk;
}

void raise(const Sampler& s, Event& e, EventId id, int refIndex) {
  const bool inCone = (s.coneWords[id] >> (refIndex % 64)) & 1;
  if (e.refCounter < refIndex && inCone) e.refCounter = refIndex;
}

}  // namespace

void resetReferenceCones(Sampler& s) { s.coneChunk = -1; }

// `event` is the reference event of `refIndex`. Only the target events' counters are read
// afterwards, so only they are raised.
void PRYXUpdateRefCounterForFanoutCone(Sampler& s, EventId /*event*/, int refIndex) {
  if (refIndex / 64 != s.coneChunk) buildConeChunk(s, refIndex / 64);
  for (const EventPair& pair : s.targetEventPair) {
    raise(s, s.graph.events[pair.source], pair.source, refIndex);
    raise(s, s.graph.events[pair.destination], pair.destination, refIndex);
  }
}

}  // namespace zelbo
