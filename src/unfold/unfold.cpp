#include "unfold/unfold.h"

#include <cstdio>

#include "base/format.h"
#include "base/texts.h"
#include "base/wrap.h"
#include "net/firing_index.h"
#include "net/target.h"
#include "unfold/choice.h"
#include "unfold/firing.h"
#include "zelbo/error.h"

namespace zelbo {

Unfolder::Unfolder(const Net& model, const Settings& runSettings, long seed)
    : net(model), settings(runSettings), rng(seed) {
  if (!firingPrepared(net)) throw std::logic_error("the model's firing information is not prepared");
  initRunState(*this);
  for (const TargetPair* pair : targetsOfRun(net)) {
    TargetRun& target = targets.emplace_back();
    target.source = pair->source->id;
    target.destination = pair->destination->id;
    target.separation = pair->separation;
    target.lowerBound = pair->lowerBound != 0;
    target.skipCount = runSettings.skip;
    target.sourceSlot = watch(*this, target.source);
    target.destinationSlot = watch(*this, target.destination);
  }
  sourcesBefore.resize(targets.size());
  for (const TargetRun& target : targets) withTails = withTails || target.separation > 0;
}

std::int32_t watch(Unfolder& u, std::int32_t trans) {
  std::int32_t& slot = u.state.trans[trans].watchSlot;
  if (slot < 0) {
    slot = static_cast<std::int32_t>(u.graph.watched.size());
    u.graph.watched.emplace_back();
  }
  return slot;
}

const std::vector<EventId>& eventsOf(const Unfolder& u, std::int32_t slot) { return u.graph.watched[slot]; }

void createInitialConditions(Unfolder& u) {
  UnfoldedGraph& graph = u.graph;
  for (const std::int32_t p : u.net.firing.initMarking) {
    PlaceState& ps = u.state.places[p];
    ps.condCount = wrapAdd(ps.condCount, 1);
    ps.lastCond = static_cast<CondId>(graph.conds.size());
    graph.conds.emplace_back().place = p;
    graph.delayDraws += ps.delayDraws;
    if (ps.condCount == 1) graph.initConds.push_back(ps.lastCond);
  }
}

namespace {

// Firings of the target's source in the unfolding so far.
int sourceFirings(const Unfolder& u, const TargetRun& target) {
  return static_cast<int>(u.graph.watched[target.sourceSlot].size());
}

void checkSegmentLength(int firings) {
  if (firings >= kMaxSegmentFirings) failRun(text::kSegmentTooLong, kMaxSegmentFirings);
}

// A target whose leading instances are skipped starts counting instances where a segment ends;
// one that has counted at least one is done. True when it is done.
bool advancePhase(const Unfolder& u, TargetRun& target, int firings) {
  if (target.phase == TargetRun::Phase::skipping && firings >= skipOf(target)) {
    target.phase = TargetRun::Phase::collecting;
    target.firstInstance = firings;
  } else if (target.phase == TargetRun::Phase::collecting && firings >= wrapAdd(target.firstInstance, 1)) {
    // Its instances are those of the segments its own run would have: later segments serve
    // the other targets.
    target.phase = TargetRun::Phase::done;
    target.instances = wrapAdd(firings, wrapNeg(target.firstInstance));
    target.destinationsAtDone = static_cast<int>(u.graph.watched[target.destinationSlot].size());
  }
  return target.phase == TargetRun::Phase::done;
}

// After a segment, for each target still unfolded for: the segments in a row in which its
// source did not fire (`before` it had fired that often), for a source behind a branch that
// is never taken would make the unfolding grow without end; then its phase. True when every
// target is done.
bool afterSegment(Unfolder& u, const std::vector<int>& before) {
  bool done = true;
  for (std::size_t i = 0; i < u.targets.size(); ++i) {
    TargetRun& target = u.targets[i];
    if (target.phase == TargetRun::Phase::done) continue;
    const int firings = sourceFirings(u, target);
    if (firings != before[i]) {
      target.segmentsWithoutSource = 0;
    } else if (++target.segmentsWithoutSource >= kMaxSegmentsWithoutSource) {
      failRun(text::kSourceNeverFires, u.net.transById[target.source]->name.c_str(), kMaxSegmentsWithoutSource);
    }
    done = advancePhase(u, target, firings) && done;
  }
  return done;
}

// A target of positive separation k pairs occurrence i of its source with occurrence i + k of
// its destination: the destination must have fired as often as the source after the skipped
// instances, or the pairs would not be those of one causal chain.
void checkDestinationsCaughtUp(const Unfolder& u) {
  for (const TargetRun& target : u.targets) {
    if (target.instances <= 0 || target.separation <= 0) continue;
    if (wrapAdd(target.destinationsAtDone, wrapNeg(target.firstInstance)) != target.instances)
      throw Error(Error::Kind::run, text::kTargetIllDefined).note(Error::Note::Kind::info, text::kTerminates);
  }
}

// For positive separations, fire on at random until each such target's destination has fired
// its separation more times (segments after its own may have caught it up already).
void fireDestinationTails(Unfolder& u) {
  // Destination firings still needed, by the destination's list: a firing then asks its own
  // transition only.
  std::vector<int>& need = u.destinationNeeds;
  need.assign(u.graph.watched.size(), 0);
  int waiting = 0;
  for (const TargetRun& target : u.targets) {
    if (target.instances <= 0) continue;
    const int since = static_cast<int>(u.graph.watched[target.destinationSlot].size()) - target.destinationsAtDone;
    const int more = target.separation - since;
    int& needed = need[target.destinationSlot];
    if (more <= needed) continue;
    waiting += needed == 0;
    needed = more;
  }
  if (waiting == 0) return;
  u.graph.tailStart = static_cast<EventId>(u.graph.events.size());
  // Every firing of the tail is drawn uniformly: ranking its appends for a choice by score
  // would cost a heap push at each of them for nothing.
  pauseStageRanking(u.state);
  for (int firings = 0; waiting > 0; ++firings) {
    if (firings >= kMaxTailFirings) {
      std::int32_t late = u.targets.front().destination;
      for (const TargetRun& target : u.targets)
        if (need[target.destinationSlot] > 0) {
          late = target.destination;
          break;
        }
      failRun(text::kDestinationNeverFires, u.net.transById[late]->name.c_str(), kMaxTailFirings);
    }
    const std::int32_t t = lowPriorityToFire(u, 1);
    fire(u, t);
    const std::int32_t slot = u.state.trans[t].watchSlot;
    if (slot >= 0 && need[slot] > 0 && --need[slot] == 0) --waiting;
  }
}

}  // namespace

int skipOf(const TargetRun& target) {
  return target.separation < 0 ? wrapAdd(target.skipCount, wrapNeg(target.separation)) : target.skipCount;
}

void unfold(Unfolder& u) {
  enableInitialTransitions(u);
  createInitialConditions(u);
  unfoldSegments(u);
  if (!u.withTails) return;
  checkDestinationsCaughtUp(u);
  fireDestinationTails(u);
}

void unfoldSegments(Unfolder& u) {
  for (TargetRun& target : u.targets) {
    target.segmentsWithoutSource = 0;
    target.phase = TargetRun::Phase::skipping;
    target.firstInstance = 0;
  }
  bool done = true;
  for (TargetRun& target : u.targets) done = advancePhase(u, target, 0) && done;  // skipping nothing
  std::vector<int>& before = u.sourcesBefore;
  while (!done) {
    for (std::size_t i = 0; i < u.targets.size(); ++i) before[i] = sourceFirings(u, u.targets[i]);
    createSegment(u);
    done = afterSegment(u, before);
  }
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
    for (std::int32_t next; (next = highPriorityToFire(u)) != kNoTrans;) {
      checkSegmentLength(firings);
      fire(u, next);
      ++firings;
    }
    int emptied = 0;
    countEmptiedInitialPlaces(u, emptied);
    openingState.selectionScore = wrapAdd(openingState.selectionScore, emptied);
    if (openingState.enabled && openingState.lowPriority && u.state.heapActive)
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
