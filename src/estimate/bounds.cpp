#include "estimate/bounds.h"

#include <ctime>

#include "base/wrap.h"
#include "estimate/evaluate.h"
#include "estimate/pairs.h"
#include "estimate/time.h"
#include "spec/net.h"
#include "unfold/enabled.h"
#include "unfold/graph.h"
#include "unfold/unfold.h"

namespace zelbo {

namespace {

long processorSeconds() { return static_cast<long>(clock() / 1000000); }

void resetAllPlacesAndTransitions(Unfolder& u) {
  for (const Trans* t : u.net.transList) u.state.at(t).occurrences = 0;
  for (const Place* p : u.net.placeList) {
    u.state.at(p).condCount = 0;
    setTokens(u, p, 0);
  }
  for (const Place* p : u.net.initMarking) setTokens(u, p, 1);
  u.state.resetOnce = true;
}

// Once the model has been reset, only what the unfolding touched can differ from the
// initial marking: the transitions of its events and the places of its conditions.
void resetWhatTheUnfoldingTouched(Unfolder& u) {
  // The records are spread over memory; ask for them a few iterations ahead.
  constexpr std::size_t kAhead = 16;
  const UnfoldNet& graph = u.graph;
  const std::size_t events = graph.events.size(), conds = graph.conds.size();
  for (std::size_t i = 0; i < events; ++i) {
    if (i + kAhead < events) __builtin_prefetch(graph.events[i + kAhead].trans);
    u.state.at(graph.events[i].trans).occurrences = 0;
  }
  for (std::size_t i = 0; i < conds; ++i) {
    if (i + kAhead < conds) __builtin_prefetch(graph.conds[i + kAhead].place);
    const Place* p = graph.conds[i].place;
    u.state.at(p).condCount = 0;
    setTokens(u, p, p->initMarked ? 1 : 0);
  }
}

}  // namespace

void clear_gNet(Unfolder& u) {
  if (!u.state.resetOnce) resetAllPlacesAndTransitions(u);
  else resetWhatTheUnfoldingTouched(u);
  RunState& s = u.state;
  for (std::int32_t t = s.enabledHead; t != kNoTrans;) {
    TransState& ts = s.trans[t];
    t = ts.enabledNext;
    ts.enabled = 0;
    ts.enabledPrev = ts.enabledNext = ts.highPrev = ts.highNext = kNoTrans;
  }
  s.enabledHead = s.enabledTail = kNoTrans;
  s.highHead = s.highTail = kNoTrans;
  s.numEnabled = 0;
}

double bounds(Sampler& s, double halfAlpha, const ReportCallback& onReport, Result& result) {
  const Settings& settings = s.settings;
  result.unpaired = false;
  Totals totals;
  bool stop = false;
  int discardedInARow = 0;
  long lastReport = processorSeconds();

  while (settings.stop == 1 ? totals.samples < settings.sampleSize : !stop) {
    unfold(s);
    s.segmentNumber = wrapAdd(s.segmentNumber, 1);
    result.segments = s.segmentNumber;
    int unpaired = 0;
    identifyTargetEventPair(s, unpaired);
    if (unpaired > 0) {
      result.unpaired = true;
      return 0.0;
    }
    assignDelay(s);
    int incomplete = 0;
    const double value = upperBound2(s, incomplete);
    if (incomplete == 1) {
      ++result.discarded;
      if (++discardedInARow >= kMaxDiscardedUnfoldings)
        fatal("\n\tError: The reference events did not lead to every TSE event in %d consecutive unfoldings.\n",
              kMaxDiscardedUnfoldings);
      PRYXIncreaseSegmentHistory(s);
    } else {
      discardedInARow = 0;
    }

    if (s.numSource > 0 && incomplete == 0) {
      if (acceptSample(settings, halfAlpha, totals, value, s.numSource)) stop = true;
      const long now = processorSeconds();
      const bool periodic = settings.printPeriod > 0 && totals.samples % settings.printPeriod == 0;
      if (periodic || now - lastReport > 20000) {
        if (onReport)
          onReport(Progress{totals.samples, totals.instances, totals.groupSums, totals.groupAverage.required,
                            s.segmentNumber});
        lastReport = now;
      }
    }
    clear_gNet(s);  // reads the graph to find what to reset
    clearUnfoldedGraph(s.graph);
    s.targetEventPair.clear();
  }
  result.samples = totals.samples;
  result.instances = totals.instances;
  result.groupSums = totals.groupSums;
  const double average = totals.groupSums / totals.instances;
  result.bound = s.net.target->lowerBound ? -average : average;
  return average;
}

}  // namespace zelbo
