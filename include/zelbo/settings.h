// The settings of a run, as the command line gives them, and the streams it writes to.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "zelbo/error.h"

namespace zelbo {

// When a run stops.
enum class Stopping {
  automatic,  // when the confidence interval meets the error criterion
  fixed,      // after `sampleSize` samples
};

// What the error of the automatic stop is measured against.
enum class ErrorCriterion {
  relative,  // relativeError percent of the estimate
  absolute,  // absoluteError
};

struct Settings {
  FILE* log = stderr;              // model summary, checks, reports
  FILE* diagnostics = stderr;      // traces and run-time information
  int verbose = 1;                 // above 1: detailed listings and traces
  Stopping stopping = Stopping::automatic;
  int sampleSize = 0;              // samples to take when stopping is fixed
  ErrorCriterion criterion = ErrorCriterion::relative;
  double relativeError = 3.0;      // percent
  double absoluteError = 0.1;
  double confidence = 97.0;        // percent
  int printPeriod = 100;           // intermediate reports every this many samples; <= 0: none
  int skip = 0;                    // leading TSE instances each unfolding skips, at the start
  int unfoldTimes = 0;             // stored only
  int jobs = 1;                    // samplers in threads; 0: one per hardware thread
  // Also estimate how much a unit of delay on each place moves each target's bound
  // (TargetResult::critical); costs nothing when off.
  bool criticalDelays = false;
};

// The most samplers a run takes.
inline constexpr int kMaxJobs = 4096;

// A setting out of its range.
class SettingsError : public Error {
 public:
  enum class Setting { sampleSize, relativeError, absoluteError, confidence, skip, jobs };
  SettingsError(Setting setting, std::string message) : Error(Kind::usage, std::move(message)), setting_(setting) {}
  Setting setting() const { return setting_; }

 private:
  Setting setting_;
};

// Every setting out of its range, in the order of the fields: a fixed sample size from 1 on,
// positive finite errors (of the criterion in use), a confidence level above 0 and at most
// 100, a skip count from 0, and from 0 to 4096 samplers. estimate() itself asks only for the
// jobs to be in range; the rest is the caller's to require (the command line, as it always
// has, reads any number there).
std::vector<SettingsError> settingsErrors(const Settings& settings);
// Throws the first of them.
void validate(const Settings& settings);

}  // namespace zelbo
