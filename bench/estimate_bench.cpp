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
#include "estimate/bounds.h"
#include "unfold/graph.h"
#include "unfold/unfold.h"

namespace {

struct Case {
  const char* name;
  std::function<void()> build;
  int samples;
  int skip;  // leading TSE instances skipped (-ts)
};

// Average number of events of an unfolding, over a few unfoldings.
double eventsPerUnfolding() {
  const int rounds = 5;
  double events = 0;
  for (int i = 0; i < rounds; ++i) {
    unfold(gNet);
    events += static_cast<double>(gUnfoldNet->events.size());
    clear_gNet();
    clearUnfoldedGraph();
  }
  return events / rounds;
}

void runCase(const Case& c) {
  Init();
  srand48(7);
  gOutFp = fopen("/dev/null", "w");
  c.build();
  gRequiredHeadingTSE = c.skip;
  const double events = eventsPerUnfolding();
  gStop = 1;
  gSampleSize = c.samples;
  gNumPrintIter = 0;
  int unpaired = 0;
  const auto start = std::chrono::steady_clock::now();
  bounds(unpaired);
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
  const double unfoldings = gSegmentNumber;  // discarded unfoldings cost time too
  printf("%-28s %8.0f samples/s %8.1f ns/event %10.0f events/unfolding", c.name, gNumIter / elapsed.count(),
         elapsed.count() * 1e9 / (unfoldings * events), events);
  fflush(stdout);
}

void runInChild(const Case& c) {
  fflush(stdout);
  const pid_t child = fork();
  if (child == 0) {
    runCase(c);
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
      {"ring of 1000 places", [] { benchnet::ring(1000); }, samples(2000), 0},
      {"fork/join of 1000 branches", [] { benchnet::forkJoin(1000); }, samples(2000), 0},
      // The first segment's source firing is not reached by the other rings' references:
      // skipping one instance from the start avoids the discarded warm-up unfoldings.
      {"200 rings joined", [] { benchnet::joinedRings(200); }, samples(2000), 1},
      {"pipeline of 50, -ts 10000", [] { benchnet::ring(50); }, samples(10), 10000},
  };
  for (const Case& c : cases) runInChild(c);
}
