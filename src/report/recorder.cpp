// The recorder of a run's samples for its report page.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>
#include <random>

#include "estimate/statistics.h"
#include "report/recording.h"
#include "zelbo/report.h"

namespace zelbo {

namespace {

// One target's samples as the page shows them.
struct TargetSeries {
  Totals totals;
  std::vector<ConvergencePoint> points;
  int nextPoint = 1;
  SeparationReservoir separations;
};

}  // namespace

SeparationReservoir::SeparationReservoir(std::uint64_t seed, std::size_t capacity)
    : stream_(seed), capacity_(capacity) {}

void SeparationReservoir::add(double separation) {
  ++seen_;
  if (kept_.size() < capacity_) {
    kept_.push_back(separation);
    return;
  }
  // Each of the `seen_` separations is kept with probability capacity / seen_. The modulo's
  // bias is below seen_ / 2^64.
  const std::uint64_t slot = stream_() % seen_;
  if (slot < capacity_) kept_[slot] = separation;
}

int nextConvergencePoint(int samples) {
  if (samples < kEveryPointUpTo) return samples + 1;
  return std::max(samples + 1, static_cast<int>(std::min(std::ceil(samples * kPointRatio), 2147483647.0)));
}

struct RunRecorder::Recording {
  Settings settings;
  Settings counting;  // the settings of a fixed run: counting a sample feeds no stopping rule
  long seed;
  std::optional<double> quantile;  // asked once the run has passed its own checks
  std::vector<TargetSeries> targets;

  double halfWidthQuantile() {
    if (!quantile) quantile = reportedQuantile(stoppingQuantile(settings), settings.confidence);
    return *quantile;
  }

  ConvergencePoint pointOf(const Totals& t) {
    return {t.samples, t.groupSums / t.instances, ratioHalfWidth(t, halfWidthQuantile())};
  }

  void take(int target, double groupSum, int groupSize) {
    while (static_cast<int>(targets.size()) <= target) {
      // Each target's reservoir has a stream of its own, apart from the run's drand48 stream.
      std::seed_seq seeds{static_cast<std::uint32_t>(seed), static_cast<std::uint32_t>(seed >> 32),
                          static_cast<std::uint32_t>(targets.size())};
      std::mt19937_64 stream(seeds);
      targets.push_back(TargetSeries{{}, {}, 1, SeparationReservoir(stream(), kKeptSeparations)});
    }
    TargetSeries& series = targets[target];
    // The run's own sums, so that the last point is the run's bound and half-width exactly.
    acceptSample(counting, 0.0, series.totals, groupSum, groupSize);
    if (series.totals.samples >= series.nextPoint) {
      series.points.push_back(pointOf(series.totals));
      series.nextPoint = nextConvergencePoint(series.totals.samples);
    }
    series.separations.add(groupSum / groupSize);
  }
};

RunRecorder::RunRecorder(const Settings& settings, long seed) : recording_(new Recording{settings, settings, seed, {}, {}}) {
  recording_->counting.stopping = Stopping::fixed;
}

RunRecorder::~RunRecorder() = default;

RunControl RunRecorder::control(RunControl inner) {
  Recording* recording = recording_.get();
  RunControl control = inner;
  control.onTargetSample = [recording, inner = std::move(inner.onTargetSample)](int target, double sum, int size) {
    if (inner) inner(target, sum, size);
    recording->take(target, sum, size);
  };
  return control;
}

std::vector<TargetReport> RunRecorder::reports() const {
  std::vector<TargetReport> reports;
  for (const TargetSeries& series : recording_->targets) {
    TargetReport report;
    report.convergence = series.points;
    if (report.convergence.empty() || report.convergence.back().samples != series.totals.samples)
      report.convergence.push_back(recording_->pointOf(series.totals));
    report.separations = series.separations.kept();
    report.sampled = series.separations.sampled();
    reports.push_back(std::move(report));
  }
  return reports;
}

}  // namespace zelbo
