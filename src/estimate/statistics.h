// Monte Carlo statistics and the stopping rule.
#pragma once

#include "zelbo/settings.h"

namespace zelbo {

// The two-sided normal quantile of the settings' confidence (automatic mode only; 0 else).
// Formerly getZhalfAlpha.
double stoppingQuantile(const Settings& settings);
// The two-sided normal quantile of a confidence level in percent, as stoppingQuantile computes
// it: 0 at 0 or below; above 10 at 100 or more.
double normalQuantile(double confidence);
// The same quantile, computed to double precision by bisection on the normal tail (quick, for
// reporting an interval): 0 at 0 or below, infinite at 100 or more.
double intervalQuantile(double confidence);
// Adds one observation to a series; 1 when the series has converged.
// Formerly Monte_Carlo.
bool addToSeries(const Settings& settings, double halfAlpha, double value, int n, double sum, double& sumSq,
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
  // Sums of squares and products of the group sums X and sizes Y, for the spread of S / m.
  double sumXX = 0.0, sumXY = 0.0, sumYY = 0.0;
};

// The half-width of the confidence interval of the ratio estimate S / m by the delta method:
// with R = S / m over n groups, z * sqrt(sum (X - R Y)^2 / (n (n - 1))) / mean(Y). NaN with
// fewer than two groups; infinite at a confidence of 100 or more.

// Feeds the three series; the run may stop when the group averages have converged, or both
// the group sums and the group sizes.
bool updateStoppingRule(const Settings& settings, double halfAlpha, Totals& t, double value, int groupSize);

// Counts one accepted sample (a group of `groupSize` instances whose separations sum to
// `value`) in the totals and, in automatic mode, in the stopping rule; true when the run
// may stop.
bool acceptSample(const Settings& settings, double halfAlpha, Totals& t, double value, int groupSize);

double ratioHalfWidth(const Totals& t, double z);
// The same for any ratio of sums over groups: sum X / sum Y.
struct RatioSums {
  int groups = 0;
  double sumX = 0.0, sumY = 0.0, sumXX = 0.0, sumXY = 0.0, sumYY = 0.0;
};
double ratioHalfWidth(const RatioSums& sums, double z);
// The quantile of the half-width a run reports: the stopping rule's (`halfAlpha`, automatic
// mode), else intervalQuantile of the confidence level.
double reportedQuantile(double halfAlpha, double confidence);

}  // namespace zelbo
