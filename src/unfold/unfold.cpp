#include "unfold/unfold.h"

#include <cstdio>

#include "base/format.h"
#include "base/texts.h"
#include "base/wrap.h"
#include "net/firing_index.h"
#include "unfold/choice.h"
#include "unfold/firing.h"
#include "zelbo/error.h"

namespace zelbo {

Unfolder::Unfolder(const Net& model, const Settings& runSettings, long seed)
    : net(model), settings(runSettings), rng(seed), skipCount(runSettings.skip) {
  if (!firingPrepared(net)) throw std::logic_error("the model's firing information is not prepared");
  if (net.target) {
    sourceTrans = net.target->source->id;
    destinationTrans = net.target->destination->id;
  }
  initRunState(*this);
}

namespace {

void createInitialConditions(Unfolder& u) {
  UnfoldedGraph& graph = u.graph;
  for (const Place* p : u.net.initMarking) {
    PlaceState& ps = u.state.at(p);
    ps.condCount = wrapAdd(ps.condCount, 1);
    ps.lastCond = static_cast<CondId>(graph.conds.size());
    graph.conds.emplace_back().place = p->id;
    if (ps.condCount == 1) graph.initConds.push_back(ps.lastCond);
  }
}

void countIfSource(Unfolder& u, std::int32_t t) {
  if (t == u.sourceTrans) u.sourceFirings = wrapAdd(u.sourceFirings, 1);
}

void checkSegmentLength(int firings) {
  if (firings >= kMaxSegmentFirings)
    failRun(text::kSegmentTooLong, kMaxSegmentFirings);
}

// One segment, counting the segments in a row in which the source does not fire: a source
// behind a branch that is never taken would otherwise make the unfolding grow without end.
void createCountedSegment(Unfolder& u) {
  const int before = u.sourceFirings;
  createSegment(u);
  if (u.sourceFirings != before) {
    u.segmentsWithoutSource = 0;
  } else if (++u.segmentsWithoutSource >= kMaxSegmentsWithoutSource) {
    failRun(text::kSourceNeverFires,
          u.net.target->source->name.c_str(), kMaxSegmentsWithoutSource);
  }
}

// For a positive separation, fire on at random until the destination has fired k more times.
void fireDestinationTail(Unfolder& u, int k) {
  const Trans* destination = u.net.target->destination;
  u.graph.tailStart = static_cast<EventId>(u.graph.events.size());
  // Every firing of the tail is drawn uniformly: ranking its appends for a choice by score
  // would cost a heap push at each of them for nothing.
  pauseStageRanking(u.state);
  int firings = 0;
  for (int remaining = k; remaining != 0;) {
    if (firings >= kMaxTailFirings)
      failRun(text::kDestinationNeverFires,
            destination->name.c_str(), kMaxTailFirings);
    const std::int32_t t = lowPriorityToFire(u, 1);
    fire(u, t);
    ++firings;
    if (t == u.destinationTrans) --remaining;
  }
}

}  // namespace

void unfold(Unfolder& u) {
  enableInitialTransitions(u);
  createInitialConditions(u);
  unfoldSegments(u);
  u.instances = wrapAdd(u.sourceFirings, wrapNeg(u.firstInstanceOccurrence));

  const int k = u.net.target->separation;
  if (u.instances <= 0 || k <= 0) return;
  const int destinations = static_cast<int>(u.graph.destinationEvents.size());
  if (wrapAdd(destinations, wrapNeg(u.firstInstanceOccurrence)) != u.instances)
    throw Error(Error::Kind::run, text::kTargetIllDefined).note(Error::Note::Kind::info, text::kTerminates);
  fireDestinationTail(u, k);
}

void unfoldSegments(Unfolder& u) {
  u.sourceFirings = 0;
  u.segmentsWithoutSource = 0;
  const int k = u.net.target->separation;
  const int toSkip = k < 0 ? wrapAdd(u.skipCount, wrapNeg(k)) : u.skipCount;
  while (u.sourceFirings < toSkip) createCountedSegment(u);
  u.firstInstanceOccurrence = u.sourceFirings;
  do {
    createCountedSegment(u);
  } while (u.sourceFirings < wrapAdd(u.firstInstanceOccurrence, 1));
}

void createSegment(Unfolder& u) {
  const Settings& settings = u.settings;
  if (settings.verbose > 1) {
    fputs(text::kSegmentStartLog, settings.log);
    fputs(text::kSegmentStart, settings.diagnostics);
  }
  u.graph.segmentStarts.push_back(static_cast<EventId>(u.graph.events.size()));
  u.state.highApart = true;
  int stage = 0;
  int firings = 0;
  do {
    // A stage: one low-priority transition, then high-priority ones until none is enabled.
    // Every 30th stage, from the first, opens at random; the others by the lowest score.
    checkSegmentLength(firings);
    const std::int32_t opening = lowPriorityToFire(u, stage == 0 ? 1 : 0);
    stage = (stage + 1) % 30;
    fire(u, opening);
    ++firings;
    TransState& openingState = u.state.trans[opening];
    openingState.selectionCount = wrapAdd(openingState.selectionCount, 1);
    countIfSource(u, opening);
    for (std::int32_t next; (next = highPriorityToFire(u)) != kNoTrans;) {
      checkSegmentLength(firings);
      fire(u, next);
      ++firings;
      countIfSource(u, next);
    }
    int emptied = 0;
    countEmptiedInitialPlaces(u, emptied);
    openingState.selectionScore = wrapAdd(openingState.selectionScore, emptied);
    if (openingState.enabled && u.net.firing.trans[opening].lowPriority && u.state.heapActive)
      rankForStageChoice(u.state, opening);  // a new score
  } while (!backAtInitialMarking(u));
  u.state.highApart = false;
  if (settings.verbose > 1) {
    fputs(text::kSegmentEndLog, settings.log);
    fputs(text::kSegmentEnd, settings.diagnostics);
  }
}

int backAtInitialMarking(const Unfolder& u) {
  return u.state.emptyInitPlaces == 0 && u.state.strayMarkedPlaces == 0 ? 1 : 0;
}

int occurrenceCount(const UnfoldedGraph& graph, const Trans* trans) {
  int count = 0;
  for (const Event& e : graph.events) count += e.trans == trans;
  return count;
}

}  // namespace zelbo
