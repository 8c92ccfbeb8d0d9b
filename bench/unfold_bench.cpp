// Time per firing of the unfolding on generated nets of two sizes: a firing's cost must not
// grow with the net, so the two figures of each shape should be close.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "benchnets.h"
#include "estimate/estimation.h"
#include "unfold/graph.h"
#include "unfold/state.h"
#include "unfold/unfold.h"
#include "zelbo/settings.h"

namespace {

using zelbo::Net;
using Build = void (*)(Net&, int);

// Nanoseconds per firing over enough unfoldings to fire about `firings` transitions.
double nsPerFiring(Build build, int size, long firings) {
  Net net;
  build(net, size);
  const zelbo::Settings settings;
  zelbo::Unfolder u(net, settings, 1);
  long fired = 0;
  auto start = std::chrono::steady_clock::now();
  while (fired < firings) {
    zelbo::unfold(u);
    fired += static_cast<long>(u.graph.events.size());
    zelbo::resetRunState(u);
    zelbo::clearGraph(u.graph);
  }
  std::chrono::duration<double, std::nano> elapsed = std::chrono::steady_clock::now() - start;
  return elapsed.count() / fired;
}

// The two sizes in turn, five times; the fastest round of each stands for it, being the one
// least disturbed by whatever else the machine was doing.
void compare(const char* shape, Build build, int small, int large, long firings) {
  nsPerFiring(build, large, firings / 10);  // warm-up: grow the arrays once
  double a = 1e300, b = 1e300;
  for (int round = 0; round < 5; ++round) {
    a = std::min(a, nsPerFiring(build, small, firings / 5));
    b = std::min(b, nsPerFiring(build, large, firings / 5));
  }
  printf("%-10s %6d: %7.1f ns/firing   %6d: %7.1f ns/firing   ratio %.2f\n", shape, small, a, large, b, b / a);
}

}  // namespace

int main(int argc, char** argv) {
  const long firings = argc > 1 ? atol(argv[1]) : 4000000;
  compare("ring", benchnet::ring, 100, 10000, firings);
  compare("fork/join", benchnet::forkJoin, 100, 10000, firings);
}
