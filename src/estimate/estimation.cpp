#include "estimate/estimation.h"

#include <algorithm>
#include <ctime>
#include <thread>

#include "base/clock.h"
#include "base/format.h"
#include "base/texts.h"
#include "base/wrap.h"
#include "estimate/evaluate.h"
#include "estimate/firing_times.h"
#include "estimate/pairs.h"
#include "estimate/statistics.h"
#include "net/net.h"
#include "unfold/choice.h"
#include "unfold/firing.h"
#include "unfold/graph.h"
#include "unfold/unfold.h"

namespace zelbo {

namespace {

void resetAllPlacesAndTransitions(Unfolder& u) {
  for (const Trans* t : u.net.transList) u.state.at(t).occurrences = 0;
  for (const Place* p : u.net.placeList) {
    u.state.at(p).condCount = 0;
    setTokens(u, p, 0);
  }
  for (const Place* p : u.net.initMarking) setTokens(u, p, 1);
  u.state.resetOnce = true;
}

void resetPlace(Unfolder& u, std::int32_t place) {
  setTokens(u, place, u.net.firing.places[place].initMarked ? 1 : 0);
}

// Puts back the tokens the unfolding moved. An unfolding ends where a segment ends, in the
// initial marking, which the marking summary tells at once (a place holds at most one token,
// as the firings check), or after a tail of firings that starts there: then only the places
// of the tail's events can differ.
void resetTokens(Unfolder& u) {
  const RunState& s = u.state;
  if (s.emptyInitPlaces == 0 && s.strayMarkedPlaces == 0) return;
  const UnfoldedGraph& graph = u.graph;
  if (graph.tailStart == kNone) {
    for (const Cond& cond : graph.conds) resetPlace(u, cond.place);
    return;
  }
  const std::uint32_t tailInputs = graph.events[graph.tailStart].inBegin;
  for (std::size_t i = tailInputs; i < graph.inCondRefs.size(); ++i)
    if (graph.inCondRefs[i] != kNone) resetPlace(u, graph.conds[graph.inCondRefs[i]].place);
  for (std::size_t c = outConds(graph, graph.tailStart).first; c < graph.conds.size(); ++c)
    resetPlace(u, graph.conds[c].place);
}

// Once the model has been reset, only what the unfolding touched can differ from the
// initial marking: the transitions of its events and the places of its conditions.
void resetWhatTheUnfoldingTouched(Unfolder& u) {
  const UnfoldedGraph& graph = u.graph;
  const std::size_t events = graph.events.size();
  if (events >= u.state.trans.size()) {
    // As many events as transitions: one sweep over the counters costs less than reading
    // each event's transition record, which on a large net is a miss per event.
    for (TransState& ts : u.state.trans) ts.occurrences = 0;
  } else {
    // The records are spread over memory; ask for them a few iterations ahead.
    constexpr std::size_t kAhead = 16;
    for (std::size_t i = 0; i < events; ++i) {
      if (i + kAhead < events) __builtin_prefetch(graph.events[i + kAhead].trans);
      u.state.at(graph.events[i].trans).occurrences = 0;
    }
  }
  // Only the initial marking's conditions, made first, are counted at their places.
  for (const Cond& c : graph.conds) {
    if (c.producer != kNone) break;
    u.state.places[c.place].condCount = 0;
  }
  resetTokens(u);
}

}  // namespace

void resetRunState(Unfolder& u) {
  if (!u.state.resetOnce) resetAllPlacesAndTransitions(u);
  else resetWhatTheUnfoldingTouched(u);
  RunState& s = u.state;
  // The high-priority sublist, then the list proper: a run stopped within a stage leaves some
  // transitions on the sublist only.
  for (std::int32_t t = s.highHead; t != kNoTrans;) {
    const std::int32_t next = s.highLinks[t].next;
    s.trans[t].enabled = 0;
    s.highLinks[t] = ListLinks{};
    t = next;
  }
  for (std::int32_t t = s.enabledHead; t != kNoTrans;) {
    const std::int32_t next = s.enabledLinks[t].next;
    s.trans[t].enabled = 0;
    s.enabledLinks[t] = ListLinks{};
    t = next;
  }
  s.enabledHead = s.enabledTail = kNoTrans;
  s.highHead = s.highTail = kNoTrans;
  s.numEnabled = 0;
  s.highApart = false;
  clearStageChoice(s);
}

ProcessorClock::ProcessorClock() : cpus_(std::max(1u, std::thread::hardware_concurrency())) { seconds(); }

long ProcessorClock::seconds() {
  lastSeconds_ = static_cast<long>(::clock() / CLOCKS_PER_SEC);
  lastAsked_ = coarseSeconds();
  return lastSeconds_;
}

bool ProcessorClock::mayExceed(long limit) const {
  // The process cannot use more processor time than its processors' share of the time that
  // has passed since it last asked.
  const double passed = coarseSeconds() - lastAsked_ + 2 * kCoarseClockLag;
  return static_cast<double>(lastSeconds_) + 1 + passed * cpus_ > static_cast<double>(limit);
}

Outcome drawOutcome(Sampler& s, const GraphInspector& inspect) {
  unfold(s);
  s.segmentNumber = wrapAdd(s.segmentNumber, 1);
  Outcome outcome;
  int unpaired = 0;
  pairTargetEvents(s, unpaired);
  if (unpaired > 0) {
    outcome.kind = Outcome::Kind::unpaired;
    if (inspect) inspect(s, outcome);
    return outcome;  // the run ends here: nothing to put back
  }
  // One pass when it can; otherwise the two steps, which also report a bad sample.
  if (!drawDelaysTimesAndCones(s)) {
    drawDelaysNewestFirst(s);
    computeFiringTimesAndCones(s);
  }
  // What inspects the graph sees the firing times as computed.
  if (inspect) keepReferenceTimes(s);
  int incomplete = 0;
  outcome.value = evaluateTimedUnfolding(s, incomplete);
  if (inspect) restoreReferenceTimes(s);
  outcome.groupSize = s.instances;
  if (incomplete == 1) outcome.kind = Outcome::Kind::discarded;
  else if (s.instances > 0) outcome.kind = Outcome::Kind::accepted;
  else outcome.kind = Outcome::Kind::empty;
  if (inspect) inspect(s, outcome);
  resetRunState(s);  // reads the graph to find what to reset
  clearGraph(s.graph);
  s.eventPairs.clear();
  return outcome;
}

Estimation::Estimation(const Settings& settings, double halfAlpha, bool lowerBound, ReportCallback onReport,
                       Result& result, RunControl control)
    : settings_(settings),
      halfAlpha_(halfAlpha),
      lowerBound_(lowerBound),
      onReport_(std::move(onReport)),
      control_(std::move(control)),
      result_(result),
      lastReport_(clock.seconds()) {
  result_.unpaired = false;
}

bool Estimation::wantsMore() const {
  if (ended_) return false;
  return settings_.stopping == Stopping::fixed ? totals_.samples < settings_.sampleSize : !converged_;
}

bool Estimation::take(const Outcome& outcome, const std::function<void()>& afterDiscardCheck) {
  result_.segments = wrapAdd(result_.segments, 1);
  if (++taken_ % 64 == 0 && control_.stopRequested && control_.stopRequested())
    throw Error(Error::Kind::run, text::kInterrupted, 130);
  if (outcome.kind == Outcome::Kind::unpaired) {
    result_.unpaired = true;
    ended_ = true;
    return false;
  }
  if (outcome.kind == Outcome::Kind::discarded) {
    ++result_.discarded;
    if (++discardedInARow_ >= kMaxDiscardedUnfoldings)
      failRun(text::kReferencesMissTooOften,
            kMaxDiscardedUnfoldings);
    afterDiscardCheck();
  } else {
    discardedInARow_ = 0;
  }
  if (outcome.kind == Outcome::Kind::accepted) accept(outcome);
  return wantsMore();
}

void Estimation::accept(const Outcome& outcome) {
  if (control_.onSample) control_.onSample(asAsked(outcome.value), outcome.groupSize);
  if (control_.onTargetSample) control_.onTargetSample(0, asAsked(outcome.value), outcome.groupSize);
  if (acceptSample(settings_, halfAlpha_, totals_, outcome.value, outcome.groupSize)) converged_ = true;
  const bool periodic = settings_.printPeriod > 0 && totals_.samples % settings_.printPeriod == 0;
  // Besides the period, a report is due once 20000 s of processor time have passed since the
  // last one; asking for the processor time is a system call, so it is asked only when the
  // time could have passed.
  const long now = periodic || clock.mayExceed(lastReport_ + 20000) ? clock.seconds() : lastReport_;
  if (periodic || now - lastReport_ > 20000) {
    if (onReport_)
      onReport_(Progress{totals_.samples, totals_.instances, asAsked(totals_.groupSums), totals_.groupAverage.required,
                         result_.segments});
    lastReport_ = now;
  }
}

double Estimation::finish() {
  if (result_.unpaired) return 0.0;
  result_.samples = totals_.samples;
  result_.instances = totals_.instances;
  result_.groupSums = asAsked(totals_.groupSums);
  // The automatic mode has the stopping rule's quantile; the fixed mode computes one.
  result_.halfWidth = ratioHalfWidth(totals_, reportedQuantile(halfAlpha_, settings_.confidence));
  const double average = totals_.groupSums / totals_.instances;
  result_.bound = asAsked(average);
  return average;
}

double estimateOnOneSampler(Sampler& s, double halfAlpha, const ReportCallback& onReport, Result& result,
              const RunControl& control) {
  Estimation run(s.settings, halfAlpha, s.net.target->lowerBound != 0, onReport, result, control);
  while (run.wantsMore()) {
    const Outcome outcome = drawOutcome(s);
    run.take(outcome, [&] { growSkipCount(s); });
  }
  return run.finish();
}

}  // namespace zelbo
