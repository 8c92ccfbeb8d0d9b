// Conflict resolution: branch draws, the two low-priority modes, the free-choice override.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

#include "api/internal.h"
#include "base/random.h"
#include "estimate/estimation.h"
#include "net/lists.h"
#include "netbuild.h"
#include "thrown.h"
#include "unfold/choice.h"
#include "unfold/firing.h"
#include "zelbo/error.h"
#include "zelbo/zelbo.h"

using namespace testnet;

namespace {

// The first value of a stream seeded with `seed`.
double firstDraw(long seed) { return Random48(seed).next(); }

class Choice : public NetTest {
 protected:
  // The sampler's stream, seeded again with `seed`.
  Sampler& seeded(long seed) {
    Sampler& s = run();
    s.rng.reseed(seed);
    return s;
  }
};

TEST_F(Choice, BranchDrawComparesWithTheStoredProbabilityAndTiesPassOn) {
  const double u = firstDraw(7);
  // A first branch whose probability equals the draw does not take it; just above it does.
  branches("p", {{"a", u}, {"b", 1 - u}});
  EXPECT_EQ(drawBranch(seeded(7), place("p"))->name, "b");
  branches("p", {{"a", std::nextafter(u, 1.0)}, {"b", 1 - u}});
  EXPECT_EQ(drawBranch(seeded(7), place("p"))->name, "a");
  // Probabilities that leave a remainder: the last branch takes it.
  branches("p", {{"a", 0.0}, {"b", 0.0}});
  EXPECT_EQ(drawBranch(seeded(7), place("p"))->name, "b");
}

TEST_F(Choice, ScoresAreIntegerQuotientsAndTiesGoToTheHead) {
  in("p", "a");
  in("q", "b");
  in("r", "c");
  mark("p");
  mark("q");
  mark("r");
  updateEnabledList(run());  // c, b, a
  stateOf("c").selectionScore = 5;
  stateOf("c").selectionCount = 2;  // 2
  stateOf("b").selectionScore = 4;
  stateOf("b").selectionCount = 2;  // 2
  stateOf("a").selectionScore = 7;
  stateOf("a").selectionCount = 3;  // 2
  EXPECT_EQ(stageScore(stateOf("c")), 2.0);
  EXPECT_EQ(lowPriorityTransition(run(), 0)->name, "c");
  stateOf("a").selectionScore = 5;  // 1
  EXPECT_EQ(lowPriorityTransition(run(), 0)->name, "a");
  stateOf("b").selectionCount = 0;  // never opened a stage: 0
  EXPECT_EQ(lowPriorityTransition(run(), 0)->name, "b");
}

TEST_F(Choice, RandomModeDrawsOnceEvenForASingleTransition) {
  in("p", "a");
  mark("p");
  updateEnabledList(run());
  Sampler& s = seeded(3);
  EXPECT_EQ(lowPriorityTransition(s, 1)->name, "a");
  Random48 expected(3);
  expected.next();
  EXPECT_EQ(s.rng.next(), expected.next());
}

TEST_F(Choice, RandomModeStepsToPositionKModuloN) {
  for (const char* p : {"p0", "p1", "p2", "p3"}) {
    in(p, std::string("t") + p);
    mark(p);
  }
  updateEnabledList(run());
  const std::vector<std::string> order = enabledNames();
  for (long seed = 0; seed < 40; ++seed) {
    const double u = firstDraw(seed);
    int k = static_cast<int>(u * 4);
    if (k != 4) ++k;
    EXPECT_EQ(lowPriorityTransition(seeded(seed), 1)->name, order[k % 4]) << "seed " << seed;
  }
}

// Past 32 transitions the draw finds its transition by slot numbers instead of a walk, and the
// slots hold the list from then on; the list loses transitions anywhere and gains them at its
// tail, and its slots are renumbered once the lost ones outnumber the rest. The slots of 1,200
// transitions, more than 8 words of them, are counted by blocks. The order expected is kept
// apart, as the list's own rules make it.
class LongList : public Choice, public ::testing::WithParamInterface<int> {};

TEST_P(LongList, RandomModeFindsPositionKAsTheWalkWouldAfterRemovalsAndAppends) {
  const int n = GetParam();
  for (int i = 0; i < n; ++i) {
    in("p" + std::to_string(i), "t" + std::to_string(i));
    mark("p" + std::to_string(i));
  }
  updateEnabledList(run());
  std::vector<std::string> order = enabledNames();  // linked: a walk
  auto expectWalkOrder = [&](const char* when) {
    ASSERT_EQ(enabledNames(), order) << when;
    const int size = static_cast<int>(order.size());
    for (long seed = 0; seed < 60; ++seed) {
      int k = static_cast<int>(firstDraw(seed) * size);
      if (k != size) ++k;
      ASSERT_EQ(lowPriorityTransition(seeded(seed), 1)->name, order[k % size]) << when << ", seed " << seed;
    }
  };
  expectWalkOrder("all enabled");
  for (int round = 0; round < 30; ++round) {
    for (int i = 12 + round % 3; i < n; i += 3) {  // t0..t11 stay at the head
      removeFromEnabledList(run(), trans("t" + std::to_string(i)));
      stateOf("t" + std::to_string(i)).enabled = 0;
      std::erase(order, "t" + std::to_string(i));
    }
    expectWalkOrder("after removals");
    for (int i = n - 3 + round % 3; i >= 12; i -= 3) {  // back at the tail, in another order
      appendToEnabledList(run(), trans("t" + std::to_string(i)));
      stateOf("t" + std::to_string(i)).enabled = 1;
      order.push_back("t" + std::to_string(i));
    }
    expectWalkOrder("after appends");
  }
}

INSTANTIATE_TEST_SUITE_P(Lengths, LongList, ::testing::Values(90, 1200));

// The first seed whose first draw is at least 0.5: p's branches then choose b.
long seedDrawingB() {
  long seed = 0;
  while (firstDraw(seed) < 0.5) ++seed;
  return seed;
}

TEST_F(Choice, FreeChoicePlaceOverridesTheLowestScore) {
  in("p", "a");
  in("p", "b");
  mark("p");
  branches("p", {{"a", 0.5}, {"b", 0.5}});
  updateEnabledList(run());  // a, b
  EXPECT_EQ(enabledNames().front(), "a");
  EXPECT_EQ(lowPriorityTransition(seeded(seedDrawingB()), 0)->name, "b");  // lowest score is a; the place draws b
}

TEST_F(Choice, NoFreeChoiceWhenAnOutputTransitionHasTwoInputs) {
  // With a second input place, b makes p no free choice: no draw, no override.
  in("p", "a");
  in("p", "b");
  in("q", "b");
  branches("p", {{"a", 0.5}, {"b", 0.5}});
  mark("p");
  mark("q");
  updateEnabledList(run());
  EXPECT_EQ(isFreeChoice(place("p")), 0);
  Sampler& s = seeded(seedDrawingB());
  EXPECT_EQ(lowPriorityTransition(s, 0)->name, enabledNames().front());
  EXPECT_EQ(s.rng.next(), firstDraw(seedDrawingB()));  // nothing was drawn
}

TEST_F(Choice, HighPriorityChoiceSkipsLowPriorityTransitionsAndDrawsNothingWhenNone) {
  in("p", "low");
  out("low", "q");
  in("q", "high");
  mark("p");
  updateEnabledList(run());
  Sampler& s = seeded(11);
  EXPECT_EQ(highPriorityTransition(s), nullptr);
  EXPECT_EQ(s.rng.next(), firstDraw(11));
  fire("low");
  EXPECT_EQ(highPriorityTransition(s)->name, "high");
  EXPECT_EQ(isLowPriority(trans("low")), 1);
  EXPECT_EQ(isLowPriority(trans("high")), 0);
}

TEST_F(Choice, DeadlockEndsTheRunWithTheMarking) {
  in("p", "t");
  mark("q");
  updateEnabledList(run());
  EXPECT_EQ(thrown([&] { lowPriorityTransition(run(), 1); }),
            (Thrown{"\n\tError: No low priority transition is enabled.\n", 1}));
  settings.verbose = 2;  // the message then lists the marking
  Sampler verbose(net, settings, 0);
  updateEnabledList(verbose);
  EXPECT_EQ(thrown([&] { lowPriorityTransition(verbose, 1); }),
            (Thrown{"\n\tError: No low priority transition is enabled.\n"
                    "\n\tInfo: Current marking:\n\t\tq  (im)\n"
                    "\n\tUnmkared but initially marked places:\n",
                    1}));
}

// Many marked rings of different lengths joined by one transition, the first ring's first
// place a free choice between going on and `fan` transitions that put its token back: stages
// open by the lowest score among hundreds of enabled transitions, with scores that differ and
// tie. The ranked choice and the plain walk must make the same unfoldings. Each turn of the
// fan leaves its other transitions' entries stale, and they pile up till the heap is sorted
// afresh; 400 rings make a heap of five levels.
struct Width {
  int rings, fan, samples;
  friend std::ostream& operator<<(std::ostream& out, const Width& w) {
    return out << w.rings << " rings, a fan of " << w.fan << ", " << w.samples << " samples";
  }
};
class StageChoice : public ::testing::TestWithParam<Width> {};

TEST_P(StageChoice, TheRankingChoosesWhatTheWalkAlongTheListChooses) {
  const auto [rings, fan, samples] = GetParam();
  char share[32];
  std::snprintf(share, sizeof share, "%.12g", 0.9375 / fan);  // exact for a fan of 2^n
  std::string fanNames, fanBranches;
  for (int j = 0; j < fan; ++j) {
    fanNames += " c" + std::to_string(j);
    fanBranches += " c" + std::to_string(j) + "[" + share + "]";
  }
  std::string text = ".stpn rings\n";
  for (int r = 0; r < rings; ++r) {
    const int length = 2 + r % 4;
    for (int i = 0; i < length; ++i) {
      const std::string p = "p" + std::to_string(r) + "_" + std::to_string(i);
      const std::string t = i + 1 < length ? "a" + std::to_string(r) + "_" + std::to_string(i) : "sync";
      const std::string from = i == 0 ? (r == 0 ? "sync" + fanNames : "sync") : "a" + std::to_string(r) + "_" + std::to_string(i - 1);
      text += ".place " + p + " .preset {" + from + "} .poset {" +
              (r == 0 && i == 0 ? "a0_0[0.0625]" + fanBranches : t) + "}" + (i == 0 ? " .mark" : "") + "\n";
      text += ".delay " + p + " .uni 0 " + std::to_string(1 + r % 3) + "\n";
    }
  }
  text += ".tse (sync sync 1)\n";
  const Model model = Model::readText(text);
  FILE* quiet = fopen("/dev/null", "w");
  Settings settings;
  settings.log = settings.diagnostics = quiet;
  settings.stopping = Stopping::fixed;
  settings.sampleSize = samples;
  settings.printPeriod = 0;
  Result ranked, walked;
  Sampler byRank(netOf(model), settings, 5), byWalk(netOf(model), settings, 5);
  byWalk.state.hugeScores = true;  // the fallback: the walk along the list
  estimateOnOneSampler(byRank, 0.0, {}, ranked);
  estimateOnOneSampler(byWalk, 0.0, {}, walked);
  EXPECT_EQ(ranked.groupSums, walked.groupSums);
  EXPECT_EQ(ranked.segments, walked.segments);
  EXPECT_EQ(byRank.rng.state(), byWalk.rng.state());
  for (const Trans* t : netOf(model).transById) {
    EXPECT_EQ(byRank.state.at(t).selectionScore, byWalk.state.at(t).selectionScore) << t->name;
    EXPECT_EQ(byRank.state.at(t).selectionCount, byWalk.state.at(t).selectionCount) << t->name;
  }
  fclose(quiet);
}

INSTANTIATE_TEST_SUITE_P(Widths, StageChoice, ::testing::Values(Width{40, 32, 300}, Width{400, 256, 60}));

}  // namespace
