// Range checks of one delay clause, run on the finished model before any sampling.
// Every comparison is strict; a negative scale is fine as long as the delays it yields are not
// negative. Each check returns 0 when the clause is acceptable and 1 otherwise.
#include <cstdio>

#include "base/texts.h"
#include "delay/delay.h"

namespace zelbo {

namespace {

// Tolerance of the custom probability sum: 10 * 1e-6 as computed in double.
constexpr double kCustomSumTolerance = 10 * 1e-6;

// A record reaching the check of another type means the model was built inconsistently; the
// check says so and still tests the record as the type it was asked for.
void reportTypeMismatch(const DelaySpec* spec, DelayType expectedType, FILE* diagnostics) {
  if (spec->type != expectedType) fputs(text::kDelayTypeMismatch, diagnostics);
}

// True when a delay at either end of the range is negative: the standard variate runs from 0
// to `maxVariate`, and a negative scale puts the lowest delay at the upper end.
bool reachesBelowZero(const DelaySpec* spec, double maxVariate) {
  return spec->location < 0 || spec->location + spec->scale * maxVariate < 0;
}

}  // namespace

int checkUniformDelay(const DelaySpec* spec, FILE* diagnostics) {
  reportTypeMismatch(spec, DelayType::uniform, diagnostics);
  return reachesBelowZero(spec, 1.0) ? 1 : 0;
}

int checkExponentialDelay(const DelaySpec* spec, FILE* diagnostics) {
  reportTypeMismatch(spec, DelayType::exponential, diagnostics);
  return spec->location < 0 || spec->scale < 0 || spec->lambda < 0 ? 1 : 0;
}

int checkBetaDelay(const DelaySpec* spec, FILE* diagnostics) {
  reportTypeMismatch(spec, DelayType::beta, diagnostics);
  return reachesBelowZero(spec, 1.0) || spec->alpha < 0 || spec->beta < 0 ? 1 : 0;
}

int checkBinomialDelay(const DelaySpec* spec, FILE* diagnostics) {
  reportTypeMismatch(spec, DelayType::binomial, diagnostics);
  if (spec->count < 0) return 1;  // no number of trials; its table holds no distribution
  return reachesBelowZero(spec, spec->count) || spec->prob < 0 || spec->prob > 1 ? 1 : 0;
}

int checkGeometricDelay(const DelaySpec* spec, FILE* diagnostics) {
  reportTypeMismatch(spec, DelayType::geometric, diagnostics);
  return spec->location < 0 || spec->scale < 0 || spec->prob < 0 ? 1 : 0;
}

int checkCustomDelay(const DelaySpec* spec, FILE* diagnostics) {
  reportTypeMismatch(spec, DelayType::custom, diagnostics);
  // Summed in single precision, like every probability sum of the model.
  float sum = 0.0f;
  for (int m = 0; m < spec->count && m < static_cast<int>(spec->probs.size()); ++m) {
    double prob = spec->probs[m];
    if (prob < 0) return 1;
    sum = static_cast<float>(sum + prob);
  }
  if (sum + kCustomSumTolerance < 1 || sum - kCustomSumTolerance > 1) return 1;
  return reachesBelowZero(spec, spec->count) ? 1 : 0;
}

int checkFixedDelay(const DelaySpec* spec, FILE* diagnostics) {
  reportTypeMismatch(spec, DelayType::fixed, diagnostics);
  return spec->location < 0 ? 1 : 0;
}

}  // namespace zelbo
