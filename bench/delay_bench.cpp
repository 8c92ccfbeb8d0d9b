// Cost of one delay sample for each of the seven delay types, in nanoseconds.
//
// Every token of every unfolding draws one delay, so this is the inner loop of the
// estimation. Usage: delay_bench [samples per type] (default 20000000).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "base/random.h"
#include "delay/delay.h"

namespace {

using namespace zelbo;

struct Case {
  const char* name;
  std::unique_ptr<DelaySpec> spec;
};

std::unique_ptr<DelaySpec> makeSpec(DelayType type, double location, double scale) {
  auto spec = std::make_unique<DelaySpec>();
  spec->type = type;
  spec->location = location;
  spec->scale = scale;
  return spec;
}

Case uniformCase() { return {"UNI", makeSpec(DelayType::uniform, 1.0, 2.0)}; }

Case expCase() {
  auto spec = makeSpec(DelayType::exponential, 0.5, 1.0);
  spec->lambda = 2.0;
  return {"EXP", std::move(spec)};
}

Case betaCase() {
  auto spec = makeSpec(DelayType::beta, 0.0, 4.0);
  spec->alpha = 2.0;
  spec->beta = 3.0;
  spec->quantiles = betaQuantiles(spec->alpha, spec->beta);
  return {"BET", std::move(spec)};
}

Case binCase() {
  auto spec = makeSpec(DelayType::binomial, 0.0, 1.0);
  spec->count = 20;
  spec->prob = 0.3;
  spec->quantiles = binomialQuantiles(spec->count, spec->prob);
  return {"BIN", std::move(spec)};
}

Case geoCase() {
  auto spec = makeSpec(DelayType::geometric, 0.0, 1.0);
  spec->prob = 0.2;
  return {"GEO", std::move(spec)};
}

// Ten equally likely values: the walk visits five of them on average.
Case customCase() {
  auto spec = makeSpec(DelayType::custom, 0.0, 10.0);
  spec->count = 10;
  spec->probs.assign(10, 0.1);
  return {"CUS", std::move(spec)};
}

Case fixedCase() { return {"FIX", makeSpec(DelayType::fixed, 3.0, 0.0)}; }

// Nanoseconds per sample; the sum of the samples keeps the loop from being optimised away.
double timeSamples(const DelaySpec* spec, long samples, Random48& rng, double& sink) {
  int errorFlag = 0;
  double sum = 0.0;
  auto start = std::chrono::steady_clock::now();
  for (long i = 0; i < samples; ++i) sum += delaySample(spec->type, spec, errorFlag, rng);
  auto elapsed = std::chrono::steady_clock::now() - start;
  sink += sum + errorFlag;
  return std::chrono::duration<double, std::nano>(elapsed).count() / static_cast<double>(samples);
}

}  // namespace

int main(int argc, char** argv) {
  long samples = argc > 1 ? std::atol(argv[1]) : 20000000L;
  if (samples <= 0) {
    fprintf(stderr, "usage: delay_bench [samples per type]\n");
    return 1;
  }
  Case cases[] = {uniformCase(), expCase(), betaCase(), binCase(), geoCase(), customCase(), fixedCase()};
  Random48 rng(1);
  double sink = 0.0;
  printf("%-5s %12s\n", "type", "ns/sample");
  for (const Case& c : cases) {
    timeSamples(c.spec.get(), samples / 10 + 1, rng, sink);  // warm-up
    printf("%-5s %12.2f\n", c.name, timeSamples(c.spec.get(), samples, rng, sink));
  }
  printf("(%ld samples per type; checksum %g)\n", samples, sink);
  return 0;
}
