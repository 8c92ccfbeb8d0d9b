// What a progress display shows of a run while it goes on: the first target's samples, its
// estimate and the half-width of its interval against the stopping criterion, counted from
// RunControl::onSample as the run counts them.
#pragma once

#include <optional>
#include <string>

#include "base/clock.h"
#include "estimate/statistics.h"
#include "zelbo/settings.h"

namespace zelbo {

class ProgressFigures {
 public:
  static constexpr double kRefreshSeconds = 0.1;
  static constexpr int kSamplesPerClockReading = 16;

  explicit ProgressFigures(const Settings& settings);
  // Counts a sample; true when a display is due: at the first sample, then at most ten times
  // a second. The coarse clock is read every 16 samples: a small sample takes less time.
  bool take(double groupSum, int groupSize) {
    acceptSample(counting_, 0.0, totals_, groupSum, groupSize);
    if (totals_.samples % kSamplesPerClockReading != 1) return false;
    const double now = coarseSeconds();
    if (now < next_) return false;
    next_ = now + kRefreshSeconds;
    shownAt_ = now;
    return true;
  }
  int samples() const { return totals_.samples; }
  // "1234 samples/s" by the time of the last display due; "- samples/s" near the start.
  std::string rate() const;
  // "half-width 4.1% of 3%" (or of an absolute error); empty when the run takes a fixed count.
  std::string halfWidth();
  // "estimate 3.1821"; empty before the first sample.
  std::string estimate() const;

 private:
  Settings settings_;
  Settings counting_;  // fixed: counting a sample feeds no stopping rule
  Totals totals_;
  std::optional<double> quantile_;  // asked at the first display, once the run is under way
  double start_;                    // coarse seconds
  double next_;                     // the earliest time of the next display
  double shownAt_;                  // the time of the last display due
};

}  // namespace zelbo
