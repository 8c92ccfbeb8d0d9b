#include "estimate/statistics.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <limits>

#include "base/texts.h"
#include "base/wrap.h"

#include "zelbo/error.h"

namespace zelbo {

double stoppingQuantile(const Settings& settings) {
  if (settings.stopping == Stopping::fixed) return 0.0;
  const double tail = (1 - settings.confidence / 100) * 0.5;
  if (!(0.5 > tail)) return 0.0;
  if (settings.confidence >= 100) throw Error(Error::Kind::run, text::kConfidenceTooHigh);
  return normalQuantile(settings.confidence);
}

double normalQuantile(double confidence) {
  const double tail = (1 - confidence / 100) * 0.5;
  if (!(0.5 > tail)) return 0.0;
  // Right-endpoint sum of the standard normal density from 0 until the upper tail no longer
  // exceeds alpha/2; past x = 10 the tail is below any level a double can tell from 0.
  const double pi = 2 * acos(0.0);
  double x = 0.0;
  double area = 0.0;
  do {
    x = x + 0.00001;
    area = area + 0.00001 * exp(-x * x * 0.5) / sqrt(2 * pi);
  } while (0.5 - area > tail && x <= 10);
  return x;
}

double intervalQuantile(double confidence) {
  if (!(confidence > 0)) return 0.0;
  if (confidence >= 100) return std::numeric_limits<double>::infinity();
  const double tail = (1 - confidence / 100) * 0.5;
  double low = 0.0, high = 40.0;
  for (int step = 0; step < 80; ++step) {
    const double mid = 0.5 * (low + high);
    if (0.5 * std::erfc(mid / std::sqrt(2.0)) > tail) low = mid;
    else high = mid;
  }
  return 0.5 * (low + high);
}

int requiredSampleCount(double halfAlpha, double deviation, double errorBound) {
  if (deviation == 0) return 0;
  if (errorBound == 0) return INT_MAX;
  const double ratio = halfAlpha * deviation / errorBound;
  if (!std::isfinite(ratio)) return INT_MAX;
  const double whole = std::trunc(std::fabs(ratio));
  if (whole * whole > INT_MAX) return INT_MAX;
  return static_cast<int>(whole * whole);
}

bool addToSeries(const Settings& settings, double halfAlpha, double value, int n, double sum, double& sumSq,
                 int& required) {
  if (n < 0) throw Error(Error::Kind::run, text::kNegativeSampleIndex).framed(Error::Framing::openErrorLine);
  sumSq = sumSq + value * value;
  const double mean = sum / n;
  double variance = sumSq / n - mean * mean;
  if (variance < 0) variance = 0;  // rounding of the running sums
  const double deviation = sqrt(variance);
  if (n <= 30 && settings.verbose <= 1) return false;

  const double errorBound =
      settings.criterion == ErrorCriterion::absolute ? settings.absoluteError : fabs(mean) * settings.relativeError / 100;
  const int nPrime = requiredSampleCount(halfAlpha, deviation, errorBound);
  if (settings.verbose > 1) fprintf(settings.log, text::kRequiredSamples, nPrime, n);
  required = nPrime;
  if (nPrime < n && n > 30) return true;
  if (settings.printPeriod > 0 && n % settings.printPeriod == 0 && settings.verbose > 1) {
    fprintf(settings.log, text::kSpread, variance, deviation);
    fprintf(settings.log, text::kExpectedSamples, nPrime, n);
  }
  return false;
}

bool updateStoppingRule(const Settings& settings, double halfAlpha, Totals& t, double value, int groupSize) {
  t.groupAverage.sum += value / groupSize;
  const bool sums =
      addToSeries(settings, halfAlpha, value, t.samples, t.groupSums, t.groupSum.sumSq, t.groupSum.required);
  const bool sizes =
      addToSeries(settings, halfAlpha, groupSize, t.samples, t.instances, t.groupSize.sumSq, t.groupSize.required);
  const bool averages = addToSeries(settings, halfAlpha, value / groupSize, t.samples, t.groupAverage.sum,
                                    t.groupAverage.sumSq, t.groupAverage.required);
  return averages || (sums && sizes);
}

bool acceptSample(const Settings& settings, double halfAlpha, Totals& t, double value, int groupSize) {
  ++t.samples;
  t.instances = wrapAdd(t.instances, groupSize);
  t.groupSums += value;
  t.sumXX += value * value;
  t.sumXY += value * groupSize;
  t.sumYY += static_cast<double>(groupSize) * groupSize;
  return settings.stopping == Stopping::automatic && updateStoppingRule(settings, halfAlpha, t, value, groupSize);
}

double ratioHalfWidth(const Totals& t, double z) {
  return ratioHalfWidth(RatioSums{t.samples, t.groupSums, static_cast<double>(t.instances), t.sumXX, t.sumXY, t.sumYY},
                        z);
}

double ratioHalfWidth(const RatioSums& sums, double z) {
  const double n = sums.groups;
  if (n < 2) return std::numeric_limits<double>::quiet_NaN();
  if (z > 10) return std::numeric_limits<double>::infinity();  // the integration's end: 100 %
  const double ratio = sums.sumX / sums.sumY;
  double spread = sums.sumXX - 2 * ratio * sums.sumXY + ratio * ratio * sums.sumYY;
  if (spread < 0) spread = 0;  // rounding of the running sums
  const double meanSize = sums.sumY / n;
  return z * std::sqrt(spread / (n * (n - 1))) / meanSize;
}

double reportedQuantile(double halfAlpha, double confidence) {
  return halfAlpha > 0 ? halfAlpha : intervalQuantile(confidence);
}

}  // namespace zelbo
