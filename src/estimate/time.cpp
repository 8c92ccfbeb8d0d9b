#include "estimate/time.h"

#include <climits>
#include <cmath>
#include <cstdio>

#include "driver/fatal.h"
#include "driver/globals.h"

void getZhalfAlpha() {
  if (gStop == 1) return;
  const double tail = (1 - gConfidence / 100) * 0.5;
  if (!(0.5 > tail)) {
    gHalfAlpha = 0.0;
    return;
  }
  if (gConfidence >= 100) fatal("\n\tError: Confidence level must be below 100 percent.\n");
  // Right-endpoint sum of the standard normal density from 0 until the upper tail no longer
  // exceeds alpha/2; past x = 10 the tail is below any level a double can tell from 0.
  const double pi = 2 * acos(0.0);
  double x = 0.0;
  double area = 0.0;
  do {
    x = x + 0.00001;
    area = area + 0.00001 * exp(-x * x * 0.5) / sqrt(2 * pi);
  } while (0.5 - area > tail && x <= 10);
  gHalfAlpha = x;
}

int requiredSampleCount(double deviation, double errorBound) {
  if (deviation == 0) return 0;
  if (errorBound == 0) return INT_MAX;
  const double ratio = gHalfAlpha * deviation / errorBound;
  if (!std::isfinite(ratio)) return INT_MAX;
  const double whole = std::trunc(std::fabs(ratio));
  if (whole * whole > INT_MAX) return INT_MAX;
  return static_cast<int>(whole * whole);
}

bool Monte_Carlo(double value, int n, double sum, double& sumSq, int& required) {
  if (n < 0) fatal("\n\tError: Negative sample index!");
  sumSq = sumSq + value * value;
  const double mean = sum / n;
  double variance = sumSq / n - mean * mean;
  if (variance < 0) variance = 0;  // rounding of the running sums
  const double deviation = sqrt(variance);
  if (n <= 30 && gVerbose <= 1) return false;

  const double errorBound = gTolerance ? gAbsoluteError : fabs(mean) * gRelativeError / 100;
  const int nPrime = requiredSampleCount(deviation, errorBound);
  if (gVerbose > 1) fprintf(gOutFp, "\n\tInfo : nprime: %d, n: %d\n", nPrime, n);
  required = nPrime;
  if (nPrime < n && n > 30) return true;
  if (gNumPrintIter > 0 && n % gNumPrintIter == 0 && gVerbose > 1) {
    fprintf(gOutFp, "\n\tInfo : Variance %g: Deviation: %g\n", variance, deviation);
    fprintf(gOutFp, "\n\tInfo : Expected samples: %d, current samples: %d\n", nPrime, n);
  }
  return false;
}
