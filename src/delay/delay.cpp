// Delay sampling and the quantile tables of the binomial and beta distributions.
//
// Sampling happens once per token of every unfolding, so it allocates nothing and costs at
// most one draw of the random stream plus constant work (a walk over the listed values for DelayType::custom). The
// binomial and beta distributions are inverted once, while the model is read, into tables of
// kQuantileCount entries; entry k holds the smallest value whose cdf reaches k * 0.001.
#include "delay/delay.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "base/texts.h"

namespace zelbo {

std::unique_ptr<DelaySpec> copyDelaySpec(const DelaySpec& from) {
  auto spec = std::make_unique<DelaySpec>();
  spec->location = from.location;
  spec->scale = from.scale;
  spec->type = from.type;
  spec->lambda = from.lambda;
  spec->prob = from.prob;
  spec->count = from.count;
  spec->alpha = from.alpha;
  spec->beta = from.beta;
  if (from.quantiles) spec->quantiles = std::make_unique<QuantileTable>(*from.quantiles);
  spec->probs = from.probs;
  return spec;
}

namespace {

constexpr double kStep = 0.001;          // grid step and threshold unit of the tables
constexpr double kChoiceSlack = 1e-6;    // DelayType::custom: rounding slack of the cumulative walk
constexpr double kNotANumber = std::numeric_limits<double>::quiet_NaN();

double threshold(int k) { return k * kStep; }

// ---------------------------------------------------------------------------------------
// Sampling

// The table entry that a draw selects: the integer part of 1000 * U.
int quantileIndex(double u) {
  int k = static_cast<int>(u * kQuantileCount);
  return k < kQuantileCount ? k : kQuantileCount - 1;
}

double tableDelay(const DelaySpec* spec, Random48& rng) {
  double u = rng.next();
  // A clause without its table cannot be sampled; NaN makes delaySample report it.
  if (!spec->quantiles) return kNotANumber;
  return spec->location + spec->scale * (*spec->quantiles)[quantileIndex(u)];
}

// The first `count` listed probabilities, never more than the record holds.
std::size_t listedCount(const DelaySpec* spec) {
  if (spec->count <= 0) return 0;
  return std::min(static_cast<std::size_t>(spec->count), spec->probs.size());
}

// DelayType::custom: the index j of the listed value that the draw falls on, or `count` when the draw lies
// beyond the sum of all listed probabilities (plus the slack).
int customChoice(const DelaySpec* spec, double u, bool& ranOut) {
  ranOut = false;
  if (u <= kChoiceSlack) return 0;
  double sum = 0.0;
  std::size_t listed = listedCount(spec);
  for (std::size_t m = 0; m < listed; ++m) {
    sum += spec->probs[m];
    if (u <= sum + kChoiceSlack) return static_cast<int>(m);
  }
  ranOut = true;
  return spec->count;
}

}  // namespace

double betaDelay(const DelaySpec* spec, Random48& rng) { return tableDelay(spec, rng); }

double binDelay(const DelaySpec* spec, Random48& rng) { return tableDelay(spec, rng); }

double geoDelay(const DelaySpec* spec, int& errorFlag, Random48& rng) {
  double u = rng.next();
  double trials = std::log(u) / std::log(1.0 - spec->prob) + 1.0;
  // Truncation to 32 bits is only defined inside the int range; U = 0, prob 0 or above 1
  // and very small probabilities all land outside it (or on NaN).
  if (!(trials > -2147483649.0 && trials < 2147483648.0)) {
    errorFlag = 1;
    return spec->location;
  }
  int n = static_cast<int>(trials);
  return spec->location + spec->scale * n;
}

double cusDelay(const DelaySpec* spec, int& errorFlag, Random48& rng) {
  double u = rng.next();
  bool ranOut = false;
  int j = customChoice(spec, u, ranOut);
  if (ranOut) errorFlag = 1;
  return spec->location + spec->scale * (static_cast<double>(j) / spec->count);
}

double fixedDelay(const DelaySpec* spec) { return spec->location; }

double delaySample(DelayType type, const DelaySpec* spec, int& errorFlag, Random48& rng, FILE* diagnostics) {
  errorFlag = 0;
  if (!isKnown(type)) {
    fputs(text::kUnknownDelayType, diagnostics);
    errorFlag = 1;
    return -1.0;
  }
  if (!spec) {  // a type without its record: nothing to draw from
    errorFlag = 1;
    return -1.0;
  }
  double sample = 0.0;
  switch (type) {
    case DelayType::uniform: sample = uniformDelay(spec, rng); break;
    case DelayType::exponential: sample = expDelay(spec, rng); break;
    case DelayType::beta: sample = betaDelay(spec, rng); break;
    case DelayType::binomial: sample = binDelay(spec, rng); break;
    case DelayType::geometric: sample = geoDelay(spec, errorFlag, rng); break;
    case DelayType::custom: sample = cusDelay(spec, errorFlag, rng); break;
    case DelayType::fixed: sample = fixedDelay(spec); break;
    default: break;
  }
  if (!std::isfinite(sample)) errorFlag = 1;
  return sample;
}

// ---------------------------------------------------------------------------------------
// Binomial table

namespace {

// The cumulative binomial values c[0..n], produced one index at a time as the inversion
// cursor asks for them, so that memory does not grow with the trial count:
//   t = (1 - p)^n, c[0] = t;  t *= r * (n - i) / (i + 1), c[i + 1] = c[i] + t,  r = p / (1 - p).
// Once a term is zero every later term is zero and the value no longer changes, and a value
// that is not a number stays so; the cursor can then jump to n without running the
// recurrence. That bounds the work: a term stays above the smallest double for at most a few
// thousand steps whenever (1 - p)^n itself does not underflow.
// With p = 1 the ratio is infinite; the limiting values are used instead (0 below n, 1 at n).
class BinomialCdf {
 public:
  BinomialCdf(int n, double p) : n_(n), certain_(p == 1.0) {
    if (certain_) {
      value_ = n == 0 ? 1.0 : 0.0;
      return;
    }
    ratio_ = p / (1.0 - p);
    term_ = std::pow(1.0 - p, n);
    value_ = term_;
  }

  int index() const { return index_; }

  // Advances the cursor while `limit` exceeds the cumulative value and the cursor is below n.
  void seek(double limit) {
    while (limit > value_ && index_ < n_) {
      if (constantFromHere()) {
        jumpToEnd();
        return;
      }
      step();
    }
  }

  // c[n]; moves the cursor to n.
  double finalValue() {
    while (index_ < n_) {
      if (constantFromHere()) {
        jumpToEnd();
        break;
      }
      step();
    }
    return value_;
  }

 private:
  // Every later value below n equals the current one (for p = 1: they are all 0).
  bool constantFromHere() const { return certain_ || term_ == 0.0 || std::isnan(value_); }

  void jumpToEnd() {
    index_ = n_;
    if (certain_) value_ = 1.0;
  }

  void step() {
    term_ = term_ * (ratio_ * (n_ - index_) / (index_ + 1));
    value_ = value_ + term_;
    ++index_;
  }

  int n_;
  bool certain_;
  double ratio_ = 0.0;
  double term_ = 0.0;
  double value_ = 0.0;
  int index_ = 0;
};

}  // namespace

std::unique_ptr<QuantileTable> binomialQuantiles(int count, double prob, bool* inverted) {
  auto table = std::make_unique<QuantileTable>();
  table->fill(0.0);
  if (inverted) *inverted = true;
  if (count < 0) return table;  // no distribution; the clause check rejects it

  BinomialCdf cdf(count, prob);
  for (int k = 0; k < kQuantileCount; ++k) {
    cdf.seek(threshold(k));
    (*table)[k] = cdf.index();
  }
  // The thresholds grow with k, so one of them exceeded c[n] exactly when the last one did.
  if (threshold(kQuantileCount - 1) > cdf.finalValue() && inverted) *inverted = false;
  return table;
}

// ---------------------------------------------------------------------------------------
// Beta table

namespace {

// The unnormalised beta density; a pole (alpha or beta below 1) or any other value that is
// not finite counts as 0, so that it cannot poison the cumulative sum.
double betaDensity(double x, double alpha, double beta) {
  double left = std::pow(x, alpha - 1.0);
  double right = std::pow(1.0 - x, beta - 1.0);
  double density = left * right;
  return std::isfinite(density) ? density : 0.0;
}

}  // namespace

std::unique_ptr<QuantileTable> betaQuantiles(double alpha, double beta, bool* inverted) {
  auto table = std::make_unique<QuantileTable>();
  table->fill(0.0);
  if (inverted) *inverted = true;

  // c[0] = 0, c[i + 1] = c[i] + f(x_i) on the grid x_0 = 0, x_(i+1) = x_i + 0.001.
  QuantileTable cdf;
  cdf[0] = 0.0;
  double x = 0.0;
  for (int i = 0; i + 1 < kQuantileCount; ++i) {
    cdf[i + 1] = cdf[i] + betaDensity(x, alpha, beta);
    x += kStep;
  }

  const int last = kQuantileCount - 1;
  double total = cdf[last];
  if (!(total > 0.0 && std::isfinite(total))) {
    if (inverted) *inverted = false;
    return table;
  }
  for (double& value : cdf) value /= total;

  bool ranOut = false;
  int i = 0;
  for (int j = 1; j < kQuantileCount; ++j) {
    while (threshold(j) > cdf[i] && i < last) ++i;
    if (threshold(j) > cdf[i]) ranOut = true;
    (*table)[j] = i * kStep;
  }
  if (ranOut && inverted) *inverted = false;
  return table;
}

}  // namespace zelbo
