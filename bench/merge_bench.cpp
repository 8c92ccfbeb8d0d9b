// What rank 0's merge costs per outcome of another rank, against what drawing one costs:
// samplers beyond (drawing time / merge time) would keep one core merging all the time, the
// number of samplers at which rank 0 saturates.
//
//   merge_bench MODEL.stpn ...
//
// For each model: one sampler draws outcomes for about half a second (ns per outcome); the
// outcomes are encoded in batches of 256 as another rank sends them, and the merge's part is
// timed: decoding every batch and taking each outcome into the estimation (stopping rule,
// sums). The message's own cost (a few microseconds per batch over shared memory) is left out.
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "api/internal.h"
#include "estimate/delivered.h"
#include "estimate/estimation.h"
#include "estimate/outcome_codec.h"
#include "estimate/sampler.h"
#include "zelbo/formats.h"

namespace {

using namespace zelbo;
using Clock = std::chrono::steady_clock;

constexpr std::size_t kBatch = 256;
constexpr double kSeconds = 0.5;

double since(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

std::string baseName(const std::string& path) { return path.substr(path.find_last_of('/') + 1); }

void measure(const std::string& path) {
  const Model model = readModel(path, {});
  Settings settings;
  settings.log = settings.diagnostics = fopen("/dev/null", "w");
  settings.stopping = Stopping::fixed;
  settings.sampleSize = 2000000000;
  settings.printPeriod = 0;
  Sampler sampler(netOf(model), settings, 1);
  std::vector<std::string> batches(1);
  std::size_t drawn = 0;
  const auto drawing = Clock::now();
  while (since(drawing) < kSeconds || drawn < 10 * kBatch) {
    if (drawn % kBatch == 0 && drawn > 0) batches.emplace_back();
    encodeOutcome(Delivered{drawOutcome(sampler), nullptr}, batches.back());
    if (drawn++ % 64 == 0 && since(drawing) > 20 * kSeconds) break;
  }
  const double drawSeconds = since(drawing) / drawn;

  Result result;
  Estimation run(settings, 0.0, {false}, {}, result, {});
  const std::function<void(int)> none = [](int) {};
  std::size_t merged = 0;
  const auto merging = Clock::now();
  while (since(merging) < kSeconds) {
    for (const std::string& bytes : batches) {
      Batch batch;
      batch.outcomes.reserve(kBatch);
      for (std::size_t at = 0; at < bytes.size();) batch.outcomes.push_back(decodeOutcome(bytes, at));
      for (const Delivered& d : batch.outcomes) run.take(d.outcome, none);
      merged += batch.outcomes.size();
    }
  }
  const double mergeSeconds = since(merging) / merged;
  printf("| %s | %.0f | %.1f | %.0f |\n", baseName(path).c_str(), drawSeconds * 1e9, mergeSeconds * 1e9,
         drawSeconds / mergeSeconds);
  fclose(settings.log);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    fputs("usage: merge_bench MODEL.stpn ...\n", stderr);
    return 2;
  }
  printf("| net | ns to draw an outcome | ns to merge it | samplers at which rank 0 saturates |\n|---|---|---|---|\n");
  for (int i = 1; i < argc; ++i) {
    try {
      measure(argv[i]);
    } catch (const Error& error) {
      printf("| %s | %s | | |\n", baseName(argv[i]).c_str(), error.what());
    }
  }
}
