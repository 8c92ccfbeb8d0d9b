// Critical places against closed forms, and a run that counts them draws what one that does
// not draws.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>

#include "estimate/statistics.h"
#include "zelbo/edit.h"
#include "zelbo/zelbo.h"

namespace {

using namespace zelbo;

// Stage a takes U[1,3), stage b U[0,4), joined at done, then `ready` holds the next start for 1:
// a is the later stage with probability E[a] / 4 = 1/2, and `ready` lies on every cycle.
const char* const kForkJoin =
    ".stpn fj\n"
    ".place ready .preset {done} .poset {start} .mark\n"
    ".place a .preset {start} .poset {fa}\n.place b .preset {start} .poset {fb}\n"
    ".place a2 .preset {fa} .poset {done}\n.place b2 .preset {fb} .poset {done}\n"
    ".delay ready .fix 1\n.delay a .uni 1 2\n.delay b .uni 0 4\n.delay a2 .uni 0 0.5\n.delay b2 .uni 0 0.5\n"
    ".tse (start, done, 0)\n";

std::map<std::string, Criticality> byPlace(const TargetResult& t) {
  std::map<std::string, Criticality> places;
  for (const Criticality& c : t.critical) places[c.place] = c;
  return places;
}

TEST(CriticalPlaces, MatchTheirClosedFormsAndLeaveTheRunAsItWas) {
  FILE* sink = fopen("/dev/null", "w");
  Settings settings;
  settings.log = settings.diagnostics = sink;
  settings.stopping = Stopping::fixed;
  settings.sampleSize = 20000;
  settings.printPeriod = 0;
  const Model model =
      withTargets(Model::readText(kForkJoin), {{parseTarget("start,done,0"), {}}, {parseTarget("done,done,1,lb"), {}}});
  const Result plain = estimate(model, settings, 3);
  settings.criticalDelays = true;
  const Result counted = estimate(model, settings, 3);
  fclose(sink);
  EXPECT_EQ(counted.bound, plain.bound);
  EXPECT_EQ(counted.halfWidth, plain.halfWidth);
  EXPECT_TRUE(plain.targets[0].critical.empty());

  const double z = intervalQuantile(97);
  auto latency = byPlace(counted.targets[0]);
  EXPECT_NEAR(latency["a"].value, 0.5, 4 * latency["a"].halfWidth / z);
  EXPECT_DOUBLE_EQ(latency["a"].value + latency["b"].value, 1.0);  // one stage decides each instance
  EXPECT_DOUBLE_EQ(latency["a2"].value, latency["a"].value);          // ... with its second half
  EXPECT_EQ(latency.count("ready"), 0u);
  EXPECT_EQ(counted.targets[0].critical.front().place, latency["a"].value > 0.5 ? "a" : "b");
  // The cycle as a lower bound: `ready` on every one, a stage's first half on half of them.
  auto cycle = byPlace(counted.targets[1]);
  EXPECT_DOUBLE_EQ(cycle["ready"].value, 1.0);
  EXPECT_EQ(cycle["ready"].halfWidth, 0.0);
  EXPECT_NEAR(cycle["b"].value, 0.5, 4 * cycle["b"].halfWidth / z);
}

}  // namespace
