// The settings of a run, as the command line gives them, and the streams it writes to.
#pragma once

#include <cstdio>

namespace zelbo {

struct Settings {
  FILE* log = stderr;              // model summary, checks, reports
  FILE* diagnostics = stderr;      // warnings of the reader, traces, run-time information
  int verbose = 1;                 // above 1: detailed listings and traces
  int stop = 0;                    // 0 = stop by confidence interval, 1 = fixed sample count
  int sampleSize = 0;              // samples to take when stop is 1
  int tolerance = 0;               // 0 = relative error criterion, 1 = absolute
  double relativeError = 3.0;      // percent
  double absoluteError = 0.1;
  double confidence = 97.0;        // percent
  int printPeriod = 100;           // intermediate reports every this many samples; <= 0: none
  int requiredHeadingTSE = 0;      // leading TSE instances each unfolding skips, at the start
  int unfoldTimes = 0;             // stored only
  int jobs = 1;                    // samplers in threads; 0: one per hardware thread
};

}  // namespace zelbo
