// The library's seams: the random stream, runs that share a process, errors that reach the
// caller, and three rules of the estimation that whole runs pin down.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "estimate/statistics.h"
#include "netbuild.h"
#include "unfold/firing.h"
#include "unfold/unfold.h"
#include "zelbo/zelbo.h"

namespace {

using namespace zelbo;

// A sink for the logs and diagnostics of runs whose results are compared.
struct Quiet {
  Quiet() : file(fopen("/dev/null", "w")) {
    settings.log = file;
    settings.diagnostics = file;
  }
  ~Quiet() { fclose(file); }
  FILE* file;
  Settings settings;
};

TEST(RandomStream, DrawsWhatTheCLibraryDrawsAndJumpsAhead) {
  for (long seed : {0L, 1L, 1577836800L, -7L, 0x123456789AL}) {
    srand48(seed);
    Random48 stream(seed);
    for (int i = 0; i < 1000; ++i) ASSERT_EQ(stream.next(), drand48()) << "seed " << seed << " draw " << i;
  }
  Random48 stepped(42), jumped(42);
  for (int i = 0; i < 12345; ++i) stepped.next();
  jumped.jump(12345);
  EXPECT_EQ(jumped.state(), stepped.state());
  jumped.jump(std::uint64_t{1} << 48);  // the period
  EXPECT_EQ(jumped.state(), stepped.state());
}

const char* const kRing =
    ".stpn ring\n"
    ".place p .preset {b} .poset {a} .mark\n"
    ".place q .preset {a} .poset {b}\n"
    ".delay p .exp 0 1 2\n"
    ".delay q .uni 1 3\n"
    ".tse (a b 0)\n";

const char* const kChoice =
    ".stpn choice\n"
    ".place s .preset {x y} .poset {x[0.3] y[0.7]} .mark\n"
    ".delay s .bet 0 4 2 5\n"
    ".tse (x x 1)\n";

Result run(const Model& model, long seed, int samples = 200) {
  Quiet quiet;
  quiet.settings.stopping = Stopping::fixed;
  quiet.settings.sampleSize = samples;
  quiet.settings.printPeriod = 0;
  return estimate(model, quiet.settings, seed);
}

void expectSame(const Result& a, const Result& b) {
  EXPECT_EQ(a.bound, b.bound);
  EXPECT_EQ(a.samples, b.samples);
  EXPECT_EQ(a.instances, b.instances);
  EXPECT_EQ(a.groupSums, b.groupSums);
  EXPECT_EQ(a.segments, b.segments);
  EXPECT_EQ(a.discarded, b.discarded);
}

TEST(Runs, TwoModelsAlternatingInOneProcessGiveWhatEachGivesAlone) {
  const Model ring = Model::readText(kRing), choice = Model::readText(kChoice);
  const Result ringAlone = run(ring, 5), choiceAlone = run(choice, 9);
  for (int round = 0; round < 3; ++round) {
    expectSame(run(ring, 5), ringAlone);
    expectSame(run(choice, 9), choiceAlone);
  }
  EXPECT_NE(run(ring, 6).bound, ringAlone.bound);
  EXPECT_EQ(ringAlone.samples, 200);
  EXPECT_EQ(ringAlone.seed, 5);
}

TEST(Runs, AFatalConditionReachesTheCallerAndTheProcessGoesOn) {
  // After a fires, nothing is enabled: a deadlock inside the unfolding.
  const Model dead = Model::readText(
      ".stpn dead\n.place p .preset {b} .poset {a} .mark\n.place q .preset {a} .poset {c}\n"
      ".place r .preset {c} .poset {b}\n.delay p .fix 1\n.delay q .fix 1\n.delay r .fix 1\n.tse (a b 0)\n"
      ".place z .preset {zz} .poset {c}\n.delay z .fix 1\n");
  try {
    run(dead, 1);
    FAIL() << "the deadlock was not reported";
  } catch (const Error& error) {
    EXPECT_EQ(printedText(error), "\n\tError: No low priority transition is enabled.\n");
    EXPECT_EQ(error.status(), 1);
    EXPECT_EQ(error.kind(), Error::Kind::run);
  }
  EXPECT_EQ(run(Model::readText(kRing), 5).samples, 200);

  try {
    Model::readText(".stpn broken\n.place {\n", "broken.stpn");
    FAIL() << "the parse error was not reported";
  } catch (const Error& error) {
    EXPECT_EQ(printedText(error), "\n\tError: Failed to parse broken.stpn.\n");
    EXPECT_EQ(error.kind(), Error::Kind::model);
  }
}

TEST(StoppingRule, StopsWhenGroupSumsAndSizesHaveConvergedThoughAveragesHaveNot) {
  // Constant sums over groups of 1 and 2: the averages 100 and 50 spread far more than the
  // absolute error allows, the sizes do not.
  Settings settings;
  settings.criterion = ErrorCriterion::absolute;
  settings.absoluteError = 0.5;
  const double z = stoppingQuantile(settings);
  Totals totals;
  int stoppedAt = 0;
  for (int n = 1; n <= 100 && !stoppedAt; ++n)
    if (acceptSample(settings, z, totals, 100.0, n % 2 + 1)) stoppedAt = n;
  EXPECT_EQ(stoppedAt, 31);
  EXPECT_GT(totals.groupAverage.required, 1000);
}

class Stages : public testnet::NetTest {};

TEST_F(Stages, EveryThirtiethStageFromTheFirstOpensAtRandom) {
  // A ring of 31 places whose transitions all share the marked place s: every transition is
  // low priority, so a segment is 31 stages of one firing each. Only stages 1 and 31 draw.
  for (int i = 0; i < 31; ++i) {
    const std::string t = "t" + std::to_string(i);
    in("r" + std::to_string(i), t);
    out(t, "r" + std::to_string((i + 1) % 31));
    in("s", t);
    out(t, "s");
  }
  mark("r0");
  mark("s");
  target("t0", "t0", 1);
  Sampler& s = run(77);
  enableInitialTransitions(s);
  createSegment(s);
  EXPECT_EQ(s.graph.events.size(), 31u);
  Random48 twoDraws(77);
  twoDraws.jump(2);
  EXPECT_EQ(s.rng.state(), twoDraws.state());
}

TEST(References, AnInstanceTakesTheLargestSeparationOverTheReferencesThatReachIt) {
  // Both references (the first firings of b and a) reach a and d. From b, d - a = 1 (the
  // delay of z); from a, whose own time counts as 0, d - a = 3 (the delays of y and z).
  const Model model = Model::readText(
      ".stpn maxref\n"
      ".place m2 .preset {d} .poset {b} .mark\n"
      ".place m1 .preset {d} .poset {a} .mark\n"
      ".place y .preset {b} .poset {a}\n"
      ".place z .preset {a} .poset {d}\n"
      ".delay m1 .fix 0\n.delay m2 .fix 0\n.delay y .fix 2\n.delay z .fix 1\n"
      ".tse (a d 0)\n");
  EXPECT_EQ(run(model, 1, 3).bound, 3.0);
}

}  // namespace
