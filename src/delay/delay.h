// Delay specifications of places: the seven distributions, their quantile tables and sampling.
#pragma once

#include <array>
#include <cmath>
#include <cstdio>
#include <limits>
#include <memory>
#include <vector>

#include "base/random.h"

namespace zelbo {

enum DelayType : int { UNI = 1, EXP = 2, BET = 3, BIN = 4, GEO = 5, CUS = 6, FIX = 7 };

constexpr int kQuantileCount = 1000;
using QuantileTable = std::array<double, kQuantileCount>;

// One delay clause of the model. `location` shifts every sample, `scale` multiplies the
// standard variate (0 for FIX); the remaining fields belong to the types named beside them.
struct DelaySpec {
  double location = 0.0;
  double scale = 0.0;
  int type = 0;
  double lambda = 0.0;             // EXP: rate
  double prob = 0.0;               // GEO, BIN: success probability
  int count = 0;                   // BIN: trials; CUS: number of listed probabilities
  double alpha = 0.0;              // BET: shape parameters
  double beta = 0.0;
  std::unique_ptr<QuantileTable> quantiles;  // BIN, BET
  std::vector<double> probs;       // CUS: the listed probabilities, file order
};

// A copy of the specification, its quantile table included.
std::unique_ptr<DelaySpec> copyDelaySpec(const DelaySpec& spec);

// Quantile tables, built once while the model is read; entry k inverts the cdf at k * 0.001.
// `inverted`, when given, says whether the table could be completed.
std::unique_ptr<QuantileTable> binomialQuantiles(int count, double prob, bool* inverted = nullptr);
std::unique_ptr<QuantileTable> betaQuantiles(double alpha, double beta, bool* inverted = nullptr);

// One delay drawn from `rng` for a place of type `typeCode`. `errorFlag` is 0 on return unless
// the sample is not valid: a CUS draw beyond the listed probabilities, a GEO trial count
// outside the 32-bit range, or any sample that is not finite (returned as computed). An
// unknown type code writes that it is unknown to `diagnostics`, raises the flag and returns -1.
double delaySample(int typeCode, const DelaySpec* spec, int& errorFlag, Random48& rng, FILE* diagnostics = stderr);

// The samplers; each draws at most one value from `rng` and allocates nothing.
// The two most common samplers are inline: one of them is drawn for most tokens.
// A sample the estimation takes: not negative, finite, a number.
inline bool delayInRange(double sample) { return sample >= 0.0 && sample <= std::numeric_limits<double>::max(); }

// A uniform delay with scale 0 draws nothing.
inline double uniformFromDraw(double location, double scale, double u) { return location + scale * u; }
inline double expFromDraw(double location, double scale, double lambda, double u) {
  double standard = -std::log(u) / lambda;
  return standard * scale + location;
}
inline double uniformDelay(double location, double scale, Random48& rng) {
  if (scale == 0.0) return location;
  return uniformFromDraw(location, scale, rng.next());
}
inline double expDelay(double location, double scale, double lambda, Random48& rng) {
  return expFromDraw(location, scale, lambda, rng.next());
}
inline double uniformDelay(const DelaySpec* spec, Random48& rng) {
  return uniformDelay(spec->location, spec->scale, rng);
}
inline double expDelay(const DelaySpec* spec, Random48& rng) {
  return expDelay(spec->location, spec->scale, spec->lambda, rng);
}
double betaDelay(const DelaySpec* spec, Random48& rng);
double binDelay(const DelaySpec* spec, Random48& rng);
double geoDelay(const DelaySpec* spec, int& errorFlag, Random48& rng);
double cusDelay(const DelaySpec* spec, int& errorFlag, Random48& rng);
double fixedDelay(const DelaySpec* spec);

// Range checks of one delay clause: 0 when acceptable, 1 otherwise. A record of another type
// than the check's is reported on `diagnostics` as an internal error, and checked still.
int checkUniformDelay(const DelaySpec* spec, FILE* diagnostics = stderr);
int checkExponentialDelay(const DelaySpec* spec, FILE* diagnostics = stderr);
int checkBetaDelay(const DelaySpec* spec, FILE* diagnostics = stderr);
int checkBinomialDelay(const DelaySpec* spec, FILE* diagnostics = stderr);
int checkGeometricDelay(const DelaySpec* spec, FILE* diagnostics = stderr);
int checkCustomDelay(const DelaySpec* spec, FILE* diagnostics = stderr);
int checkFixedDelay(const DelaySpec* spec, FILE* diagnostics = stderr);

}  // namespace zelbo
