#include "estimate/estimation.h"

#include <algorithm>
#include <cmath>
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
  forEachEnabled(s, [&](std::int32_t t) {
    s.trans[t].enabled = 0;
    s.enabledLinks[t] = ListLinks{};
  });
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

namespace {

// Evaluates target `index` on the timed graph: its separations against the references.
void evaluateTarget(Sampler& s, std::size_t index, TargetOutcome& outcome) {
  // The evaluation works on s.eventPairs, which holds the first target's pairs.
  if (index > 0) {
    std::swap(s.eventPairs, s.otherPairs[index - 1]);
    forgetTargetReach(s);
  }
  s.evaluated = static_cast<int>(index);
  int incomplete = 0;
  outcome.value = evaluateTimedUnfolding(s, incomplete);
  if (index > 0) std::swap(s.eventPairs, s.otherPairs[index - 1]);
  const int instances = s.targets[index].instances;
  outcome.groupSize = instances;
  if (incomplete == 1) outcome.kind = Outcome::Kind::discarded;
  else if (instances > 0) outcome.kind = Outcome::Kind::accepted;
  else outcome.kind = Outcome::Kind::empty;
}

}  // namespace

void drawOutcome(Sampler& s, Outcome& outcome, const GraphInspector& inspect) {
  unfold(s);
  s.segmentNumber = wrapAdd(s.segmentNumber, 1);
  const std::size_t targets = s.targets.size();
  outcome.others.resize(targets - 1);
  s.otherPairs.resize(targets - 1);
  for (std::size_t i = 0; i < targets; ++i) {
    std::vector<EventPair>& pairs = i == 0 ? s.eventPairs : s.otherPairs[i - 1];
    const bool paired = pairTargetEvents(s, s.targets[i], pairs);
    TargetOutcome& o = outcome.of(i);
    o.kind = paired ? Outcome::Kind::empty : Outcome::Kind::unpaired;
    o.value = 0.0;
    o.groupSize = 0;
    o.critical.clear();
  }
  if (outcome.allUnpaired()) {
    if (inspect) inspect(s, outcome);
    return;  // the run ends here: nothing to put back
  }
  // One pass when it can; otherwise the two steps, which also report a bad sample.
  if (!drawDelaysTimesAndCones(s)) {
    drawDelaysNewestFirst(s);
    computeFiringTimesAndCones(s);
  }
  // Each evaluation takes the reference events' times as 0: the next target, and what
  // inspects the graph, see them as computed.
  const bool keepTimes = inspect || targets > 1 || s.critical;
  if (keepTimes) keepReferenceTimes(s);
  bool evaluated = false;
  for (std::size_t i = 0; i < targets; ++i) {
    TargetOutcome& o = outcome.of(i);
    if (o.kind == Outcome::Kind::unpaired) continue;
    if (evaluated) restoreReferenceTimes(s);
    evaluateTarget(s, i, o);
    evaluated = true;
    if (s.critical && o.kind == Outcome::Kind::accepted) {
      restoreReferenceTimes(s);
      countCriticalTokens(s, i == 0 ? s.eventPairs : s.otherPairs[i - 1], o.critical);
    }
  }
  if (inspect) {
    restoreReferenceTimes(s);
    inspect(s, outcome);
  }
  resetRunState(s);  // reads the graph to find what to reset
  clearGraph(s.graph);
  s.eventPairs.clear();
}

Outcome drawOutcome(Sampler& s, const GraphInspector& inspect) {
  Outcome outcome;
  drawOutcome(s, outcome, inspect);
  return outcome;
}

Estimation::Estimation(const Settings& settings, double halfAlpha, std::vector<bool> lowerBounds,
                       ReportCallback onReport, Result& result, RunControl control)
    : settings_(settings),
      halfAlpha_(halfAlpha),
      fixedCount_(settings.stopping == Stopping::fixed),
      onReport_(std::move(onReport)),
      control_(std::move(control)),
      result_(result),
      lastReport_(clock.seconds()) {
  for (const bool lowerBound : lowerBounds) {
    PerTarget& target = targets_.emplace_back();
    target.lowerBound = lowerBound;
  }
  quietSettings_ = settings_;
  quietSettings_.verbose = 1;
  result_.unpaired = false;
}

bool Estimation::take(const Outcome& outcome, const std::function<void(int target)>& afterDiscardCheck) {
  result_.segments = wrapAdd(result_.segments, 1);
  for (std::size_t i = 0; i < targets_.size(); ++i) {
    PerTarget& target = targets_[i];
    if (!takesSamples(target)) continue;
    const TargetOutcome& o = outcome.of(i);
    if (o.kind == Outcome::Kind::unpaired) {
      target.unpaired = true;
      continue;
    }
    if (o.kind == Outcome::Kind::discarded) {
      ++target.discarded;
      if (i == 0) ++result_.discarded;
      if (++target.discardedInARow >= kMaxDiscardedUnfoldings)
        failRun(text::kReferencesMissTooOften, kMaxDiscardedUnfoldings);
      afterDiscardCheck(static_cast<int>(i));
    } else {
      target.discardedInARow = 0;
    }
    if (o.kind == Outcome::Kind::accepted) accept(static_cast<int>(i), o);
  }
  if (control_.stopRequested && control_.stopRequested() && wantsMore()) stopped_ = true;
  return wantsMore();
}

void Estimation::accept(int index, const TargetOutcome& outcome) {
  PerTarget& target = targets_[index];
  const double value = asAsked(target, outcome.value);
  if (index == 0 && control_.onSample) control_.onSample(value, outcome.groupSize);
  if (control_.onTargetSample) control_.onTargetSample(index, value, outcome.groupSize);
  // The stopping rule's traces in verbose runs are the first target's.
  const Settings& settings = index == 0 ? settings_ : quietSettings_;
  if (acceptSample(settings, halfAlpha_, target.totals, outcome.value, outcome.groupSize)) target.converged = true;
  if (settings_.criticalDelays) addCritical(target, outcome);
  if (index == 0) reportIfDue();
}

void Estimation::addCritical(PerTarget& target, const TargetOutcome& outcome) {
  for (const PlaceCount& c : outcome.critical) {
    if (static_cast<std::size_t>(c.place) >= target.critical.size()) target.critical.resize(c.place + 1);
    PerTarget::Critical& sums = target.critical[c.place];
    const double x = c.count;
    sums.sumX += x;
    sums.sumXX += x * x;
    sums.sumXY += x * outcome.groupSize;
  }
}

// Every place with a figure, the largest in magnitude first (the first place in model order
// among equals); the names are the caller's to fill in.
std::vector<Criticality> Estimation::criticalOf(const PerTarget& target, double z) const {
  std::vector<Criticality> out;
  const Totals& t = target.totals;
  for (std::size_t place = 0; place < target.critical.size(); ++place) {
    const PerTarget::Critical& sums = target.critical[place];
    if (sums.sumX == 0.0) continue;
    Criticality& c = out.emplace_back();
    c.index = static_cast<int>(place);
    c.value = asAsked(target, sums.sumX / t.instances);
    c.halfWidth = ratioHalfWidth(RatioSums{t.samples, sums.sumX, static_cast<double>(t.instances), sums.sumXX,
                                           sums.sumXY, t.sumYY},
                                 z);
  }
  std::stable_sort(out.begin(), out.end(),
                   [](const Criticality& a, const Criticality& b) { return std::abs(a.value) > std::abs(b.value); });
  return out;
}

// The intermediate reports follow the first target's samples.
void Estimation::reportIfDue() {
  const PerTarget& first = targets_[0];
  const Totals& totals = first.totals;
  const bool periodic = settings_.printPeriod > 0 && totals.samples % settings_.printPeriod == 0;
  // Besides the period, a report is due once 20000 s of processor time have passed since the
  // last one; asking for the processor time is a system call, so it is asked only when the
  // time could have passed.
  const long now = periodic || clock.mayExceed(lastReport_ + 20000) ? clock.seconds() : lastReport_;
  if (periodic || now - lastReport_ > 20000) {
    if (onReport_)
      onReport_(Progress{totals.samples, totals.instances, asAsked(first, totals.groupSums),
                         totals.groupAverage.required, result_.segments});
    lastReport_ = now;
  }
}

double Estimation::finish() {
  // The automatic mode has the stopping rule's quantile; the fixed mode computes one.
  const double z = reportedQuantile(halfAlpha_, settings_.confidence);
  result_.interrupted = stopped_;
  result_.targets.resize(targets_.size());
  for (std::size_t i = 0; i < targets_.size(); ++i) {
    const PerTarget& target = targets_[i];
    TargetResult& r = result_.targets[i];
    r.discarded = target.discarded;
    r.unpaired = target.unpaired;
    if (target.unpaired) continue;
    r.samples = target.totals.samples;
    r.instances = target.totals.instances;
    r.groupSums = asAsked(target, target.totals.groupSums);
    r.halfWidth = ratioHalfWidth(target.totals, z);
    r.bound = asAsked(target, target.totals.groupSums / target.totals.instances);
    if (settings_.criticalDelays) r.critical = criticalOf(target, z);
  }
  const TargetResult& first = result_.targets.front();
  result_.unpaired = first.unpaired;
  if (result_.unpaired) return 0.0;
  result_.samples = first.samples;
  result_.instances = first.instances;
  result_.groupSums = first.groupSums;
  result_.halfWidth = first.halfWidth;
  result_.bound = first.bound;
  return targets_[0].totals.groupSums / targets_[0].totals.instances;
}

std::vector<bool> lowerBoundsOf(const Sampler& s) {
  std::vector<bool> lowerBounds;
  for (const TargetRun& target : s.targets) lowerBounds.push_back(target.lowerBound);
  return lowerBounds;
}

double estimateOnOneSampler(Sampler& s, double halfAlpha, const ReportCallback& onReport, Result& result,
                            const RunControl& control) {
  Estimation run(s.settings, halfAlpha, lowerBoundsOf(s), onReport, result, control);
  Outcome outcome;
  const auto grow = [&](int target) { growSkipCount(s, s.targets[target], s.settings.diagnostics); };
  while (run.wantsMore()) {
    drawOutcome(s, outcome);
    // A target that takes no more samples still unfolds as a sampler of its own would: its
    // skip count grows with its discards, without a word.
    for (std::size_t i = 0; i < s.targets.size(); ++i)
      if (outcome.of(i).kind == Outcome::Kind::discarded && !run.takesSamples(static_cast<int>(i)))
        growSkipCount(s, s.targets[i], nullptr);
    run.take(outcome, grow);
  }
  return run.finish();
}

}  // namespace zelbo
