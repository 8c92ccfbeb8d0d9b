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

// The distributions, by the codes the verbose listing prints; `none` while a place has no
// delay. A record may hold any other code, which no sampler knows.
enum class DelayType : int { none = 0, uniform = 1, exponential, beta, binomial, geometric, custom, fixed };
inline bool isKnown(DelayType type) { return type >= DelayType::uniform && type <= DelayType::fixed; }
inline int codeOf(DelayType type) { return static_cast<int>(type); }

constexpr int kQuantileCount = 1000;
using QuantileTable = std::array<double, kQuantileCount>;

// One delay clause of the model. `location` shifts every sample, `scale` multiplies the
// standard variate (0 for DelayType::fixed); the remaining fields belong to the types named beside them.
struct DelaySpec {
  double location = 0.0;
  double scale = 0.0;
  DelayType type = DelayType::none;
  double lambda = 0.0;             // DelayType::exponential: rate
  double prob = 0.0;               // DelayType::geometric, DelayType::binomial: success probability
  int count = 0;                   // DelayType::binomial: trials; DelayType::custom: number of listed probabilities
  double alpha = 0.0;              // DelayType::beta: shape parameters
  double beta = 0.0;
  std::unique_ptr<QuantileTable> quantiles;  // DelayType::binomial, DelayType::beta
  std::vector<double> probs;       // DelayType::custom: the listed probabilities, file order
};

// A copy of the specification, its quantile table included.
std::unique_ptr<DelaySpec> copyDelaySpec(const DelaySpec& spec);

// Quantile tables, built once while the model is read; entry k inverts the cdf at k * 0.001.
// `inverted`, when given, says whether the table could be completed.
// Formerly generateBin.
std::unique_ptr<QuantileTable> binomialQuantiles(int count, double prob, bool* inverted = nullptr);
// Formerly generateBeta.
std::unique_ptr<QuantileTable> betaQuantiles(double alpha, double beta, bool* inverted = nullptr);

// One delay drawn from `rng` for a place of delay type `type`. `errorFlag` is 0 on return unless
// the sample is not valid: a custom draw beyond the listed probabilities, a geometric trial count
// outside the 32-bit range, or any sample that is not finite (returned as computed). An
// unknown type writes that it is unknown to `diagnostics`, raises the flag and returns -1.
double delaySample(DelayType type, const DelaySpec* spec, int& errorFlag, Random48& rng, FILE* diagnostics = stderr);

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
// Formerly the prefixed CheckUniDelaySpec, and so on for the other six.
int checkUniformDelay(const DelaySpec* spec, FILE* diagnostics = stderr);
int checkExponentialDelay(const DelaySpec* spec, FILE* diagnostics = stderr);
int checkBetaDelay(const DelaySpec* spec, FILE* diagnostics = stderr);
int checkBinomialDelay(const DelaySpec* spec, FILE* diagnostics = stderr);
int checkGeometricDelay(const DelaySpec* spec, FILE* diagnostics = stderr);
int checkCustomDelay(const DelaySpec* spec, FILE* diagnostics = stderr);
int checkFixedDelay(const DelaySpec* spec, FILE* diagnostics = stderr);

}  // namespace zelbo
