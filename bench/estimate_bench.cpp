// Whole estimations on generated nets: samples per second, nanoseconds per event of the
// unfoldings, and the peak memory of the process that ran them. Each case runs in a child
// process so that its peak memory is its own.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>

#include "benchnets.h"
#include "estimate/estimation.h"
#include "estimate/sampler.h"
#include "unfold/graph.h"
#include "unfold/unfold.h"
#include "zelbo/settings.h"
#include "zelbo/zelbo.h"

namespace {

using namespace zelbo;

struct Case {
  const char* name;
  std::function<void(Net&)> build;
  int samples;
  int skip;  // leading TSE instances skipped (-ts)
};

// Average number of events of an unfolding, over a few unfoldings of the sampler.
double eventsPerUnfolding(Sampler& s) {
  const int rounds = 5;
  double events = 0;
  for (int i = 0; i < rounds; ++i) {
    unfold(s);
    events += static_cast<double>(s.graph.events.size());
    resetRunState(s);
    clearGraph(s.graph);
  }
  return events / rounds;
}

void runCase(const Case& c) {
  Net net;
  c.build(net);
  Settings settings;
  settings.log = fopen("/dev/null", "w");
  settings.skip = c.skip;
  settings.stopping = Stopping::fixed;
  settings.sampleSize = c.samples;
  settings.printPeriod = 0;
  Sampler sampler(net, settings, 7);
  const double events = eventsPerUnfolding(sampler);
  Result result;
  const auto start = std::chrono::steady_clock::now();
  estimateOnOneSampler(sampler, 0.0, {}, result);
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
  const double unfoldings = result.segments;  // discarded unfoldings cost time too
  printf("%-28s %8.0f samples/s %8.1f ns/event %10.0f events/unfolding", c.name, result.samples / elapsed.count(),
         elapsed.count() * 1e9 / (unfoldings * events), events);
  fflush(stdout);
}

void runInChild(const Case& c) {
  fflush(stdout);
  const pid_t child = fork();
  if (child == 0) {
    try {
      runCase(c);
    } catch (const Error& error) {
      fputs(error.what(), stderr);
      _exit(error.status());
    }
    _exit(0);
  }
  int status = 0;
  rusage usage{};
  wait4(child, &status, 0, &usage);
  printf(" %8ld KiB peak\n", usage.ru_maxrss);
}

}  // namespace

int main(int argc, char** argv) {
  const double scale = argc > 1 ? atof(argv[1]) : 1.0;
  auto samples = [&](int n) { return static_cast<int>(n * scale) + 1; };
  const Case cases[] = {
      {"ring of 1000 places", [](Net& net) { benchnet::ring(net, 1000); }, samples(2000), 0},
      {"fork/join of 1000 branches", [](Net& net) { benchnet::forkJoin(net, 1000); }, samples(2000), 0},
      // The first segment's source firing is not reached by the other rings' references:
      // skipping one instance from the start avoids the discarded warm-up unfoldings.
      {"200 rings joined", [](Net& net) { benchnet::joinedRings(net, 200); }, samples(2000), 1},
      {"pipeline of 50, -ts 10000", [](Net& net) { benchnet::ring(net, 50); }, samples(10), 10000},
  };
  for (const Case& c : cases) runInChild(c);
}
