// What a progress display shows of a run while it goes on: the first target's samples, its
// estimate and the half-width of its interval against the stopping criterion, counted from
// RunControl::onSample as the run counts them.
#pragma once

#include <optional>
#include <string>

#include "estimate/statistics.h"
#include "zelbo/settings.h"

namespace zelbo {

class ProgressFigures {
 public:
  explicit ProgressFigures(const Settings& settings);
  void add(double groupSum, int groupSize) { acceptSample(counting_, 0.0, totals_, groupSum, groupSize); }
  int samples() const { return totals_.samples; }
  // "half-width 4.1% of 3%" (or of an absolute error); empty when the run takes a fixed count.
  std::string halfWidth();
  // "estimate 3.1821"; empty before the first sample.
  std::string estimate() const;

 private:
  Settings settings_;
  Settings counting_;  // fixed: counting a sample feeds no stopping rule
  Totals totals_;
  std::optional<double> quantile_;  // asked at the first display, once the run is under way
};

}  // namespace zelbo
