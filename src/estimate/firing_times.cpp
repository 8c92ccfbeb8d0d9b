#include "estimate/firing_times.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "delay/delay.h"

namespace zelbo {

void computeFiringTimesThrough(Sampler& s, EventId event) {
  // A consumer fires after the producers of its tokens, so computing the times in firing
  // order up to `event` finds every producer's time known: no walk back, no stack. Tokens
  // of the initial marking have no producer and do not count.
  UnfoldedGraph& graph = s.graph;
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

void computeFiringTimes(Sampler& s) {
  if (!s.graph.events.empty()) computeFiringTimesThrough(s, static_cast<EventId>(s.graph.events.size() - 1));
}

// Reachability from the reference events, 64 references to a word: bit r of an event's word
// says that reference 64 * chunk + r is the event or causally precedes it. Up to four chunks
// (256 references) are built by one pass over the events in firing order, when the first of
// their references is checked, so that checking all references costs one pass per 256 of
// them instead of one walk of the fan-out cone per reference. A net of at most 8 references
// (initially marked places) takes a byte per event instead of a word: a deep unfolding then
// needs 7 bytes less per event.
namespace {

constexpr std::size_t kByteCone = 8;
constexpr int kChunksPerPass = 4;

bool byteCone(const UnfoldedGraph& graph) { return graph.initConds.size() <= kByteCone; }

// Each reference event of the chunks [firstChunk, firstChunk + width) holds its own bit; the
// pass adds its producers' bits. An event's `width` words stand together.
template <class Word>
void seedConeChunks(const UnfoldedGraph& graph, std::vector<Word>& words, int firstChunk, int width) {
  constexpr int kBits = 8 * sizeof(Word);
  words.assign(graph.events.size() * width, 0);
  const int first = firstChunk * kBits;
  for (std::size_t slot = 0; slot < graph.initConds.size(); ++slot) {
    const int ref = referenceIndex(graph, slot) - first;
    if (ref < 0 || ref >= width * kBits) continue;
    const EventId consumer = graph.conds[graph.initConds[slot]].consumer;
    if (consumer != kNone)
      words[static_cast<std::size_t>(consumer) * width + ref / kBits] |= static_cast<Word>(Word{1} << (ref % kBits));
  }
}

// One pass over the events in firing order: each takes its producers' cone words and, with
// kTimes, its firing time, the latest arrival of its produced input tokens. Every bound is in
// a local: a store of a cone byte may alias anything, and would otherwise make the loop
// reload the graph's arrays after each event.
//
// Most tokens are consumed by the next event (a sequence, a ring). Its producer's time and
// cone are then taken from registers: read back from memory, the value just stored adds the
// store's forwarding to a chain that runs through every event.
template <bool kTimes, int kWidth, class Word>
void passOverEvents(UnfoldedGraph& graph, Word* words) {
  const CondId* refs = graph.inCondRefs.data();
  const Cond* conds = graph.conds.data();
  Event* events = graph.events.data();
  const EventId count = static_cast<EventId>(graph.events.size());
  const std::uint32_t refsEnd = static_cast<std::uint32_t>(graph.inCondRefs.size());
  double previousTime = 0.0;
  Word previous[kWidth] = {};
  for (EventId id = 0; id < count; ++id) {
    double time = 0.0;
    Word own[kWidth];
    for (int j = 0; j < kWidth; ++j) own[j] = words[static_cast<std::size_t>(id) * kWidth + j];
    const std::uint32_t inputsEnd = id + 1 < count ? events[id + 1].inBegin : refsEnd;
    for (const CondId* c = refs + events[id].inBegin, *end = refs + inputsEnd; c != end; ++c) {
      if (*c == kNone) continue;
      const EventId producer = conds[*c].producer;
      if (producer == kNone) continue;
      if (producer + 1 == id) {
        if (kTimes) {
          const double arrival = conds[*c].delay + previousTime;
          if (arrival > time) time = arrival;
        }
        for (int j = 0; j < kWidth; ++j) own[j] |= previous[j];
        continue;
      }
      if (kTimes) {
        const double arrival = conds[*c].delay + events[producer].firingTime;
        if (arrival > time) time = arrival;
      }
      for (int j = 0; j < kWidth; ++j) own[j] |= words[static_cast<std::size_t>(producer) * kWidth + j];
    }
    if (kTimes) events[id].firingTime = time;
    for (int j = 0; j < kWidth; ++j) words[static_cast<std::size_t>(id) * kWidth + j] = own[j];
    previousTime = time;
    for (int j = 0; j < kWidth; ++j) previous[j] = own[j];
  }
  if (kTimes) graph.timedEvents = count;
}

// The cones of up to four chunks from `firstChunk` on, with the firing times when kTimes.
template <bool kTimes>
void buildConeWords(Sampler& s, int firstChunk) {
  const int chunks = static_cast<int>((s.graph.initConds.size() + 63) / 64);
  const int width = std::min(kChunksPerPass, chunks - firstChunk);
  seedConeChunks(s.graph, s.coneWords, firstChunk, width);
  switch (width) {
    case 1: passOverEvents<kTimes, 1>(s.graph, s.coneWords.data()); break;
    case 2: passOverEvents<kTimes, 2>(s.graph, s.coneWords.data()); break;
    case 3: passOverEvents<kTimes, 3>(s.graph, s.coneWords.data()); break;
    default: passOverEvents<kTimes, kChunksPerPass>(s.graph, s.coneWords.data()); break;
  }
  s.coneChunk = firstChunk;
  s.coneWidth = width;
}

template <bool kTimes>
void buildConeBytes(Sampler& s) {
  seedConeChunks(s.graph, s.coneBytes, 0, 1);
  passOverEvents<kTimes, 1>(s.graph, s.coneBytes.data());
  s.coneChunk = 0;
  s.coneWidth = 1;
}

// Raises the counters of the pairs' events whose cone word at `word` has `bit`, for a cone of
// `width` words an event.
template <class Word>
void raiseCounters(Sampler& s, const Word* cones, std::size_t width, std::size_t word, Word bit, int refIndex) {
  for (EventPair& pair : s.eventPairs) {
    if (pair.sourceRefCounter < refIndex && (cones[pair.source * width + word] & bit)) pair.sourceRefCounter = refIndex;
    if (pair.destinationRefCounter < refIndex && (cones[pair.destination * width + word] & bit))
      pair.destinationRefCounter = refIndex;
  }
}

// The delays, the firing times and the cones of `kWidth` words an event (none for 0), in one
// pass over the conditions in creation order. A producer's conditions come after all of its
// inputs, so its time and cone are final when its first output is reached: each condition
// passes them on to its consumer, which in a 1-safe unfolding is the only event to list it.
//
// The delays must be those of a walk newest condition first, each taking the next draw. The
// pass walks the stream backwards from `last`, the state after the final draw, instead.
// Returns false at the first bad delay, for the newest-first walk to find and report.
template <class Word, int kWidth>
bool passOverConditions(Sampler& s, Word* words, std::uint64_t last) {
  UnfoldedGraph& graph = s.graph;
  Cond* conds = graph.conds.data();
  Event* events = graph.events.data();
  const PlaceDelay* delays = s.delays.data();
  const std::size_t count = graph.conds.size();
  for (std::size_t e = 0; e < graph.events.size(); ++e) events[e].firingTime = 0.0;
  std::uint64_t state = last;
  EventId lastConsumer = kNone;
  double lastTime = 0.0;
  Word lastCone[kWidth > 0 ? kWidth : 1] = {};
  for (std::size_t c = 0; c < count; ++c) {
    Cond& cond = conds[c];
    const PlaceDelay& d = delays[cond.place];
    double delay;
    if (d.kind == PlaceDelay::Kind::uniform) {  // always in range
      delay = uniformFromDraw(d.location, d.scale, Random48::valueOf(state));
      state = Random48::previous(state);
    } else if (d.kind == PlaceDelay::Kind::fixed) {  // in range, no draw
      delay = d.location;
    } else {
      if (d.kind == PlaceDelay::Kind::exponential) {
        delay = expFromDraw(d.location, d.scale, d.lambda, Random48::valueOf(state));
        state = Random48::previous(state);
      } else {
        Random48 rng;
        if (d.draws != 0) state = Random48::previous(state);
        rng.setState(state);
        int errorFlag = 0;
        delay = delaySample(d.type, d.spec, errorFlag, rng, s.settings.diagnostics);
        if (errorFlag != 0) return false;
      }
      if (!delayInRange(delay)) [[unlikely]] return false;
    }
    cond.delay = delay;
    const EventId producer = cond.producer, consumer = cond.consumer;
    if (producer == kNone || consumer == kNone) continue;
    // The producer's time and cone, final now, from registers when it was the last consumer
    // (a sequence, a ring): read back from memory, the value just stored would add the
    // store's forwarding to a chain that runs through every condition.
    Word cone[kWidth > 0 ? kWidth : 1];
    double producerTime;
    if (producer == lastConsumer) {
      producerTime = lastTime;
      for (int j = 0; j < kWidth; ++j) cone[j] = lastCone[j];
    } else {
      producerTime = events[producer].firingTime;
      for (int j = 0; j < kWidth; ++j) cone[j] = words[static_cast<std::size_t>(producer) * kWidth + j];
    }
    // The latest arrival without a branch: the delay may come from a logarithm still being
    // computed, and a mispredicted branch on it would wait for it.
    const double arrival = delay + producerTime;
    const double latest = events[consumer].firingTime;
    lastTime = arrival > latest ? arrival : latest;
    events[consumer].firingTime = lastTime;
    for (int j = 0; j < kWidth; ++j) {
      lastCone[j] = words[static_cast<std::size_t>(consumer) * kWidth + j] | cone[j];
      words[static_cast<std::size_t>(consumer) * kWidth + j] = lastCone[j];
    }
    lastConsumer = consumer;
  }
  graph.timedEvents = static_cast<EventId>(graph.events.size());
  return true;
}

// The number of draws the graph's delays take.
std::uint64_t drawsOfConditions(const Sampler& s) {
  return s.everyConditionDraws ? s.graph.conds.size() : s.graph.delayDraws;
}

// Many references and few target events: the reach runs the other way. Each event gets the
// target events it reaches, bit 2j for pair j's source and 2j + 1 for its destination, and a
// reference reaches a target event when its event does. The cones take a pass over the events
// for every 256 references, the first one within the delays' pass; the targets' reach, one
// pass over the conditions for every 32 pairs, and the delays' pass then builds no cones. A
// net of hundreds of synchronised components otherwise spends more on its cones than on its
// firings, and more per event the more components it has.
bool reachFromTargets(const Sampler& s) {
  const std::size_t chunks = (s.graph.initConds.size() + 63) / 64;
  const std::size_t targetWords = (2 * s.eventPairs.size() + 63) / 64;
  return chunks > kChunksPerPass && targetWords < (chunks + kChunksPerPass - 1) / kChunksPerPass;
}

// The conditions newest first: a condition's consumer fired after its producer, and the
// conditions the consumer produced are newer still, so the consumer's reach is complete when
// the condition passes it on to the producer.
template <int kWidth>
void passTargetReach(const UnfoldedGraph& graph, std::uint64_t* reach, int width) {
  const std::size_t w = kWidth > 0 ? kWidth : static_cast<std::size_t>(width);
  const Cond* conds = graph.conds.data();
  for (std::size_t c = graph.conds.size(); c-- > 0;) {
    const EventId producer = conds[c].producer, consumer = conds[c].consumer;
    if (producer == kNone || consumer == kNone) continue;
    for (std::size_t j = 0; j < w; ++j) reach[producer * w + j] |= reach[consumer * w + j];
  }
}

void buildTargetReach(Sampler& s) {
  const int width = static_cast<int>((2 * s.eventPairs.size() + 63) / 64);
  s.targetReach.assign(s.graph.events.size() * width, 0);
  std::uint64_t* reach = s.targetReach.data();
  for (std::size_t j = 0; j < s.eventPairs.size(); ++j) {
    const EventPair& pair = s.eventPairs[j];
    const std::size_t source = 2 * j, destination = 2 * j + 1;
    reach[pair.source * width + source / 64] |= std::uint64_t{1} << (source % 64);
    reach[pair.destination * width + destination / 64] |= std::uint64_t{1} << (destination % 64);
  }
  if (width == 1) passTargetReach<1>(s.graph, reach, width);
  else if (width > 1) passTargetReach<0>(s.graph, reach, width);
  s.targetWidth = width;
}

void raiseCountersFromTargets(Sampler& s, EventId event, int refIndex) {
  if (s.targetWidth < 0) buildTargetReach(s);
  // The references come in order and their events anywhere: the reach of the one eight
  // references on is asked for now.
  const UnfoldedGraph& graph = s.graph;
  if (const std::size_t ahead = static_cast<std::size_t>(refIndex) + 8; ahead < graph.initConds.size()) {
    const EventId later = graph.conds[graph.initConds[graph.initConds.size() - 1 - ahead]].consumer;
    if (later != kNone) __builtin_prefetch(s.targetReach.data() + static_cast<std::size_t>(later) * s.targetWidth);
  }
  const std::uint64_t* reach = s.targetReach.data() + static_cast<std::size_t>(event) * s.targetWidth;
  auto reaches = [&](std::size_t target) { return (reach[target / 64] >> (target % 64) & 1) != 0; };
  for (std::size_t j = 0; j < s.eventPairs.size(); ++j) {
    EventPair& pair = s.eventPairs[j];
    if (pair.sourceRefCounter < refIndex && reaches(2 * j)) pair.sourceRefCounter = refIndex;
    if (pair.destinationRefCounter < refIndex && reaches(2 * j + 1)) pair.destinationRefCounter = refIndex;
  }
}

bool coneBuilt(const Sampler& s, int refIndex) {
  const int chunk = refIndex / 64;
  return s.coneChunk >= 0 && chunk >= s.coneChunk && chunk < s.coneChunk + s.coneWidth;
}

}  // namespace

void forgetTargetReach(Sampler& s) { s.targetWidth = -1; }

void resetReferenceCones(Sampler& s) {
  s.coneChunk = -1;
  forgetTargetReach(s);
  s.byTargets = reachFromTargets(s);
}

void computeFiringTimesAndCones(Sampler& s) {
  resetReferenceCones(s);
  const UnfoldedGraph& graph = s.graph;
  if (graph.timedEvents != 0 || graph.initConds.empty() || s.byTargets) computeFiringTimes(s);
  else if (byteCone(graph)) buildConeBytes<true>(s);
  else buildConeWords<true>(s, 0);
}

bool drawDelaysTimesAndCones(Sampler& s) {
  if (!s.drawsKnown || s.graph.timedEvents != 0) return false;
  // Unfoldings of a net often repeat their length: the last leap is kept.
  const std::uint64_t draws = drawsOfConditions(s);
  if (draws != s.leapDraws) {
    s.leapDraws = draws;
    s.leap = Random48::leapOver(draws);
  }
  Random48 end = s.rng;
  end.take(s.leap);
  const std::uint64_t last = end.state();
  resetReferenceCones(s);
  UnfoldedGraph& graph = s.graph;
  bool drawn = false;
  int width = 0;
  if (graph.initConds.empty() || s.byTargets) {
    drawn = passOverConditions<std::uint8_t, 0>(s, nullptr, last);
  } else if (byteCone(graph)) {
    seedConeChunks(graph, s.coneBytes, 0, 1);
    drawn = passOverConditions<std::uint8_t, 1>(s, s.coneBytes.data(), last);
    width = 1;
  } else {
    const int chunks = static_cast<int>((graph.initConds.size() + 63) / 64);
    width = std::min(kChunksPerPass, chunks);
    seedConeChunks(graph, s.coneWords, 0, width);
    std::uint64_t* words = s.coneWords.data();
    switch (width) {
      case 1: drawn = passOverConditions<std::uint64_t, 1>(s, words, last); break;
      case 2: drawn = passOverConditions<std::uint64_t, 2>(s, words, last); break;
      case 3: drawn = passOverConditions<std::uint64_t, 3>(s, words, last); break;
      default: drawn = passOverConditions<std::uint64_t, kChunksPerPass>(s, words, last); break;
    }
  }
  if (!drawn) return false;
  s.rng = end;
  if (width > 0) {
    s.coneChunk = 0;
    s.coneWidth = width;
  }
  return true;
}

// By the targets' reach: whether every reference event reaches both events of every pair, the
// reach of the reference events (the first to fire, side by side in the reach) taken together.
bool targetsReachedByEveryReference(Sampler& s) {
  if (s.targetWidth < 0) buildTargetReach(s);
  if (s.targetWidth != 1) return false;  // more than 32 pairs: reference by reference
  const std::size_t bits = 2 * s.eventPairs.size();
  const std::uint64_t wanted = bits == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << bits) - 1;
  const UnfoldedGraph& graph = s.graph;
  const std::uint64_t* reach = s.targetReach.data();
  std::uint64_t common = ~std::uint64_t{0};
  for (const CondId c : graph.initConds)
    if (const EventId ref = graph.conds[c].consumer; ref != kNone) common &= reach[ref];
  return (common & wanted) == wanted;
}

bool everyReferenceReachesEveryInstance(Sampler& s) {
  const UnfoldedGraph& graph = s.graph;
  if (s.byTargets) return targetsReachedByEveryReference(s);
  if (s.coneChunk != 0 || !byteCone(graph)) return false;
  std::uint8_t present = 0;
  for (std::size_t slot = 0; slot < graph.initConds.size(); ++slot)
    if (graph.conds[graph.initConds[slot]].consumer != kNone)
      present |= static_cast<std::uint8_t>(1u << referenceIndex(graph, slot));
  const std::uint8_t* cones = s.coneBytes.data();
  for (const EventPair& pair : s.eventPairs)
    if ((cones[pair.source] & cones[pair.destination] & present) != present) return false;
  return true;
}

// `event` is the reference event of `refIndex`. Only the target events' counters are read
// afterwards, so only they are raised.
void raiseReferenceCounters(Sampler& s, EventId event, int refIndex) {
  if (s.byTargets) {
    raiseCountersFromTargets(s, event, refIndex);
    return;
  }
  if (!coneBuilt(s, refIndex)) {
    if (byteCone(s.graph)) buildConeBytes<false>(s);
    else buildConeWords<false>(s, refIndex / 64);
  }
  if (byteCone(s.graph)) {
    raiseCounters<std::uint8_t>(s, s.coneBytes.data(), 1, 0, static_cast<std::uint8_t>(1u << refIndex), refIndex);
    return;
  }
  raiseCounters<std::uint64_t>(s, s.coneWords.data(), s.coneWidth, refIndex / 64 - s.coneChunk,
                               std::uint64_t{1} << (refIndex % 64), refIndex);
}

}  // namespace zelbo
