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
    for (const CondId* c = refs + e.inBegin, *end = refs + inEnd(graph, id); c != end; ++c) {
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
// fan-out cone per reference. A net of at most 8 references (initially marked places) takes
// a byte per event instead of a word: a deep unfolding then needs 7 bytes less per event.
namespace {

constexpr std::size_t kByteCone = 8;

bool byteCone(const UnfoldNet& graph) { return graph.initConds.size() <= kByteCone; }

template <class Word>
void buildConeChunk(const UnfoldNet& graph, std::vector<Word>& words, int chunk) {
  constexpr int kWidth = 8 * sizeof(Word);
  words.assign(graph.events.size(), 0);
  const int first = chunk * kWidth;
  for (std::size_t slot = 0; slot < graph.initConds.size(); ++slot) {
    const int ref = referenceIndex(graph, slot);
    if (ref < first || ref >= first + kWidth) continue;
    const EventId consumer = graph.conds[graph.initConds[slot]].consumer;
    if (consumer != kNone) words[consumer] |= static_cast<Word>(Word{1} << (ref - first));
  }
  const CondId* refs = graph.inCondRefs.data();
  const Cond* conds = graph.conds.data();
  const EventId events = static_cast<EventId>(graph.events.size());
  for (EventId id = 0; id < events; ++id) {
    Word word = words[id];
    for (const CondId* c = refs + graph.events[id].inBegin, *end = refs + inEnd(graph, id); c != end; ++c) {
      if (*c == kNone) continue;
      const EventId producer = conds[*c].producer;
      if (producer != kNone) word |= words[producer];
    }
    words[id] = word;
  }
}

bool inCone(const Sampler& s, EventId id, int refIndex) {
  if (byteCone(s.graph)) return (s.coneBytes[id] >> refIndex) & 1;
  return (s.coneWords[id] >> (refIndex % 64)) & 1;
}

void raise(const Sampler& s, int& refCounter, EventId id, int refIndex) {
  if (refCounter < refIndex && inCone(s, id, refIndex)) refCounter = refIndex;
}

}  // namespace

void resetReferenceCones(Sampler& s) { s.coneChunk = -1; }

// `event` is the reference event of `refIndex`. Only the target events' counters are read
// afterwards, so only they are raised.
void PRYXUpdateRefCounterForFanoutCone(Sampler& s, EventId /*event*/, int refIndex) {
  if (refIndex / 64 != s.coneChunk) {
    if (byteCone(s.graph)) buildConeChunk(s.graph, s.coneBytes, 0);
    else buildConeChunk(s.graph, s.coneWords, refIndex / 64);
    s.coneChunk = refIndex / 64;
  }
  for (EventPair& pair : s.targetEventPair) {
    raise(s, pair.sourceRefCounter, pair.source, refIndex);
    raise(s, pair.destinationRefCounter, pair.destination, refIndex);
  }
}

}  // namespace zelbo
