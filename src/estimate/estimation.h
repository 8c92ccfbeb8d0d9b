// The estimation loop.
#pragma once

#include <cstddef>
#include <functional>
#include <vector>

#include "estimate/critical.h"
#include "estimate/sampler.h"
#include "estimate/statistics.h"
#include "zelbo/zelbo.h"

namespace zelbo {

// Each discarded unfolding makes the later ones longer (the skip count grows by a tenth),
// so a net in which some reference event never leads to the TSE events would grow them
// without end: the run ends at this many discarded unfoldings in a row.
constexpr int kMaxDiscardedUnfoldings = 50;

// What one unfolding gave one target.
struct TargetOutcome {
  enum class Kind {
    accepted,   // a sample: `groupSize` TSE instances whose separations sum to `value`
    empty,      // no TSE instance
    discarded,  // a reference missed a target event
    unpaired,   // the target events could not be paired: the target has no estimate
  };
  Kind kind = Kind::empty;
  double value = 0.0;
  int groupSize = 0;
  // With Settings::criticalDelays, for an accepted sample: by place, the critical tokens of
  // the destination events less those of the source events, summed over the instances.
  std::vector<PlaceCount> critical;
};

// What one unfolding of a sampler gave: the first target's outcome, and the others' (none for
// a run of one target, which then allocates nothing per outcome).
struct Outcome : TargetOutcome {
  std::vector<TargetOutcome> others;
  std::size_t targets() const { return 1 + others.size(); }
  const TargetOutcome& of(std::size_t target) const { return target == 0 ? *this : others[target - 1]; }
  TargetOutcome& of(std::size_t target) { return target == 0 ? *this : others[target - 1]; }
  bool allUnpaired() const {
    if (kind != Kind::unpaired) return false;
    for (const TargetOutcome& other : others)
      if (other.kind != Kind::unpaired) return false;
    return true;
  }
};

// Called with the unfolded graph of an outcome before the sampler is put back: its conditions
// carry their delays unless every target is unpaired.
using GraphInspector = std::function<void(const Sampler&, const Outcome&)>;

// One unfolding of the sampler, evaluated for every target, with the sampler put back for the
// next one; `outcome` is filled (its storage reused from outcome to outcome).
void drawOutcome(Sampler& s, Outcome& outcome, const GraphInspector& inspect = {});
Outcome drawOutcome(Sampler& s, const GraphInspector& inspect = {});

// The processor time of the process in whole seconds, as the reports' timer reads it.
class ProcessorClock {
 public:
  ProcessorClock();
  long seconds();
  // False when the processor time cannot have passed `limit` seconds yet; asks nothing.
  bool mayExceed(long limit) const;

 private:
  long lastSeconds_ = 0;
  double lastAsked_ = 0.0;  // wall seconds, by coarseSeconds()
  unsigned cpus_;
};

// The estimation over a sequence of outcomes, from one sampler or merged from several: for each
// target its discard bound and stopping rule, and the intermediate reports of the first. A
// target stops taking samples when its own run would stop (its sample count is reached, or
// its interval meets the criterion), and the run goes on while any target takes samples.
class Estimation {
 public:
  // `lowerBounds` has an entry for each target of the run: whether it is a lower bound,
  // estimated on its mirrored pair. The run fills `result`, which must outlive it; the
  // settings and callbacks are its own copies.
  Estimation(const Settings& settings, double halfAlpha, std::vector<bool> lowerBounds, ReportCallback onReport,
             Result& result, RunControl control);
  // True while the run needs another outcome.
  bool wantsMore() const {
    if (stopped_) return false;
    for (const PerTarget& target : targets_)
      if (takesSamples(target)) return true;
    return false;
  }
  // Whether the target still takes samples.
  bool takesSamples(int target) const { return takesSamples(targets_[target]); }
  // Takes the next outcome of the sequence; `afterDiscardCheck` runs for each target whose
  // outcome was discarded without ending the run (the sampler grows its skip count then).
  // Then asks the stop request, which ends the run as interrupted. Returns wantsMore().
  bool take(const Outcome& outcome, const std::function<void(int target)>& afterDiscardCheck);
  // Fills the result's counts and bounds; returns the first target's average TSE of the pair
  // as stored.
  double finish();

 private:
  struct PerTarget {
    bool lowerBound = false;
    Totals totals;
    bool converged = false;
    bool unpaired = false;
    int discarded = 0;
    int discardedInARow = 0;
    // By place number, with Settings::criticalDelays: sums over the accepted samples of the
    // critical tokens' count X and of X^2 and X * groupSize.
    struct Critical {
      double sumX = 0.0, sumXX = 0.0, sumXY = 0.0;
    };
    std::vector<Critical> critical;
  };
  bool takesSamples(const PerTarget& target) const {
    if (target.unpaired) return false;
    return fixedCount_ ? target.totals.samples < settings_.sampleSize : !target.converged;
  }
  void accept(int target, const TargetOutcome& outcome);
  static void addCritical(PerTarget& target, const TargetOutcome& outcome);
  std::vector<Criticality> criticalOf(const PerTarget& target, double z) const;
  void reportIfDue();
  // A sum or an average of the pair as stored, for the target as asked: a lower bound is
  // estimated on its mirrored pair.
  static double asAsked(const PerTarget& target, double stored) { return target.lowerBound ? -stored : stored; }

  const Settings settings_;
  Settings quietSettings_;  // for the targets after the first: no stopping-rule traces
  double halfAlpha_;
  bool fixedCount_;
  std::vector<PerTarget> targets_;
  const ReportCallback onReport_;
  const RunControl control_;
  bool stopped_ = false;  // by the stop request
  Result& result_;
  ProcessorClock clock;
  long lastReport_;
};

// Whether each target of the sampler's run is a lower bound.
std::vector<bool> lowerBoundsOf(const Sampler& s);

// Runs the whole estimation on one sampler, reporting at the settings' print period; fills
// `result` (the bound as asked) and returns the average TSE of the pair as stored.
// Formerly bounds.
double estimateOnOneSampler(Sampler& s, double halfAlpha, const ReportCallback& onReport, Result& result,
              const RunControl& control = {});
// Puts the sampler's run state back into the initial marking. Call it before the unfolded
// graph is cleared: after the first reset, only the records that the graph's events and
// conditions name have changed, and only they are reset. (Formerly clear_gNet.)
void resetRunState(Unfolder& u);

}  // namespace zelbo
