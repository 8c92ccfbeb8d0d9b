// The estimation loop.
#pragma once

#include <functional>

#include "estimate/sampler.h"
#include "estimate/statistics.h"
#include "zelbo/zelbo.h"

namespace zelbo {

// Each discarded unfolding makes the later ones longer (the skip count grows by a tenth),
// so a net in which some reference event never leads to the TSE events would grow them
// without end: the run ends at this many discarded unfoldings in a row.
constexpr int kMaxDiscardedUnfoldings = 50;

// What one unfolding of a sampler gave.
struct Outcome {
  enum class Kind {
    accepted,   // a sample: `groupSize` TSE instances whose separations sum to `value`
    empty,      // no TSE instance
    discarded,  // a reference missed a target event
    unpaired,   // the target events could not be paired: the run has no estimate
  };
  Kind kind = Kind::empty;
  double value = 0.0;
  int groupSize = 0;
};

// Called with the unfolded graph of an outcome before the sampler is put back: its conditions
// carry their delays unless the outcome is unpaired.
using GraphInspector = std::function<void(const Sampler&, const Outcome&)>;

// One unfolding of the sampler, evaluated, with the sampler put back for the next one.
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

// The estimation over a sequence of outcomes, from one sampler or merged from several: the
// discard bound, the stopping rule and the intermediate reports.
class Estimation {
 public:
  // The run fills `result`, which must outlive it; the settings and callbacks are its own copies.
  Estimation(const Settings& settings, double halfAlpha, bool lowerBound, ReportCallback onReport, Result& result,
             RunControl control);
  // True while the run needs another outcome.
  bool wantsMore() const;
  // Takes the next outcome of the sequence; `afterDiscardCheck` runs for a discarded one that
  // did not end the run (the sampler's skip count grows then). Returns wantsMore().
  bool take(const Outcome& outcome, const std::function<void()>& afterDiscardCheck);
  // Fills the result's counts and bound; returns the average TSE of the pair as stored.
  double finish();

 private:
  void accept(const Outcome& outcome);
  // A sum or an average of the pair as stored, for the target as asked: a lower bound is
  // estimated on its mirrored pair.
  double asAsked(double stored) const { return lowerBound_ ? -stored : stored; }

  const Settings settings_;
  double halfAlpha_;
  bool lowerBound_;
  const ReportCallback onReport_;
  const RunControl control_;
  int taken_ = 0;
  Result& result_;
  Totals totals_;
  bool converged_ = false;
  bool ended_ = false;
  int discardedInARow_ = 0;
  ProcessorClock clock;
  long lastReport_;
};

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
