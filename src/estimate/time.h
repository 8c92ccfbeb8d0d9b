// Monte Carlo statistics and the stopping rule.
#pragma once

#include "zelbo/settings.h"

namespace zelbo {

// The two-sided normal quantile of the settings' confidence (automatic mode only; 0 else).
double getZhalfAlpha(const Settings& settings);
// Adds one observation to a series; 1 when the series has converged.
bool Monte_Carlo(const Settings& settings, double halfAlpha, double value, int n, double sum, double& sumSq,
                 int& required);
// The required count trunc(z * deviation / E)^2, with the overflow and degenerate cases.
int requiredSampleCount(double halfAlpha, double deviation, double errorBound);

// One series of the stopping rule.
struct Series {
  double sum = 0.0;
  double sumSq = 0.0;
  int required = -1;
};

// Totals of the accepted samples.
struct Totals {
  int samples = 0;          // n
  int instances = 0;        // m
  double groupSums = 0.0;   // S
  Series groupSum, groupSize, groupAverage;
};

// Feeds the three series; the run may stop when the group averages have converged, or both
// the group sums and the group sizes.
bool updateStoppingRule(const Settings& settings, double halfAlpha, Totals& t, double value, int groupSize);

// Counts one accepted sample (a group of `groupSize` instances whose separations sum to
// `value`) in the totals and, in automatic mode, in the stopping rule; true when the run
// may stop.
bool acceptSample(const Settings& settings, double halfAlpha, Totals& t, double value, int groupSize);

}  // namespace zelbo
