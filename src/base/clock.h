// Clocks: a cheap reading of the wall clock for checks made after every sample, and the
// processor time of the process.
#pragma once

#include <time.h>

#include <ctime>

namespace zelbo {

// The coarse monotonic clock lags the precise one by at most a kernel tick; callers allow
// for this much.
constexpr double kCoarseClockLag = 0.05;

// Seconds of the coarse monotonic clock: the kernel keeps it for the asking, so reading it
// costs a few nanoseconds where the precise clock costs as much as a small sample's
// bookkeeping.
inline double coarseSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC_COARSE, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// The processor time of the process, all threads, in seconds.
inline double processorSeconds() { return static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }

}  // namespace zelbo
