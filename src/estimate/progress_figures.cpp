#include "estimate/progress_figures.h"

#include <cmath>

#include "base/format.h"
#include "base/texts.h"

namespace zelbo {

ProgressFigures::ProgressFigures(const Settings& settings)
    : settings_(settings), counting_(settings), start_(coarseSeconds()), next_(start_), shownAt_(start_) {
  counting_.stopping = Stopping::fixed;
}

std::string ProgressFigures::halfWidth() {
  if (settings_.stopping == Stopping::fixed) return {};
  // The quantile of the reported half-width; the run checked the confidence level before its
  // first sample.
  if (!quantile_) quantile_ = reportedQuantile(stoppingQuantile(settings_), settings_.confidence);
  const double width = ratioHalfWidth(totals_, *quantile_);
  if (settings_.criterion == ErrorCriterion::absolute) {
    if (std::isnan(width)) return formatted(text::kProgressAbsoluteUnknown, settings_.absoluteError);
    return formatted(text::kProgressAbsolute, width, settings_.absoluteError);
  }
  const double relative = 100 * width / std::fabs(totals_.groupSums / totals_.instances);
  if (std::isnan(relative)) return formatted(text::kProgressRelativeUnknown, settings_.relativeError);
  return formatted(text::kProgressRelative, relative, settings_.relativeError);
}

std::string ProgressFigures::rate() const {
  // Below the coarse clock's lag the time says nothing.
  const double seconds = shownAt_ - start_;
  if (seconds < kCoarseClockLag) return text::kProgressNoRate;
  return formatted(text::kProgressRate, totals_.samples / seconds);
}

std::string ProgressFigures::estimate() const {
  if (totals_.instances == 0) return {};
  return formatted(text::kProgressEstimate, totals_.groupSums / totals_.instances);
}

}  // namespace zelbo
