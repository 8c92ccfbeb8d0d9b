// Conflict resolution: branch draws, the two low-priority modes, the free-choice override.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "netbuild.h"
#include "unfold/choice.h"
#include "unfold/enabled.h"

using namespace testnet;

namespace {

// The first drand48() value after seeding with `seed`.
double firstDraw(long seed) {
  srand48(seed);
  return drand48();
}

class Choice : public ::testing::Test {
 protected:
  void SetUp() override { Init(); }
};

TEST_F(Choice, BranchDrawComparesWithTheStoredProbabilityAndTiesPassOn) {
  const double u = firstDraw(7);
  // A first branch whose probability equals the draw does not take it; just above it does.
  branches("p", {{"a", u}, {"b", 1 - u}});
  srand48(7);
  EXPECT_EQ(makeDecision(place("p"))->name, "b");
  branches("p", {{"a", std::nextafter(u, 1.0)}, {"b", 1 - u}});
  srand48(7);
  EXPECT_EQ(makeDecision(place("p"))->name, "a");
  // Probabilities that leave a remainder: the last branch takes it.
  branches("p", {{"a", 0.0}, {"b", 0.0}});
  srand48(7);
  EXPECT_EQ(makeDecision(place("p"))->name, "b");
}

TEST_F(Choice, ScoresAreIntegerQuotientsAndTiesGoToTheHead) {
  in("p", "a");
  in("q", "b");
  in("r", "c");
  mark("p");
  mark("q");
  mark("r");
  updateEnabledList();  // c, b, a
  trans("c")->selectionScore = 5;
  trans("c")->selectionCount = 2;  // 2
  trans("b")->selectionScore = 4;
  trans("b")->selectionCount = 2;  // 2
  trans("a")->selectionScore = 7;
  trans("a")->selectionCount = 3;  // 2
  EXPECT_EQ(GetPriority(trans("c")), 2.0);
  EXPECT_EQ(getLowPriorityEnabled(0)->name, "c");
  trans("a")->selectionScore = 5;  // 1
  EXPECT_EQ(getLowPriorityEnabled(0)->name, "a");
  trans("b")->selectionCount = 0;  // never opened a stage: 0
  EXPECT_EQ(getLowPriorityEnabled(0)->name, "b");
}

TEST_F(Choice, RandomModeDrawsOnceEvenForASingleTransition) {
  in("p", "a");
  mark("p");
  updateEnabledList();
  srand48(3);
  EXPECT_EQ(getLowPriorityEnabled(1)->name, "a");
  const double next = drand48();
  EXPECT_EQ(next, (srand48(3), drand48(), drand48()));
}

TEST_F(Choice, RandomModeStepsToPositionKModuloN) {
  for (const char* p : {"p0", "p1", "p2", "p3"}) {
    in(p, std::string("t") + p);
    mark(p);
  }
  updateEnabledList();
  const std::vector<std::string> order = enabledNames();
  for (long seed = 0; seed < 40; ++seed) {
    const double u = firstDraw(seed);
    int k = static_cast<int>(u * 4);
    if (k != 4) ++k;
    srand48(seed);
    EXPECT_EQ(getLowPriorityEnabled(1)->name, order[k % 4]);
  }
}

TEST_F(Choice, FreeChoicePlaceOverridesButNotForTransitionsWithTwoInputs) {
  in("p", "a");
  in("p", "b");
  mark("p");
  branches("p", {{"a", 0.5}, {"b", 0.5}});
  updateEnabledList();  // a, b
  long seedForB = 0;
  while (firstDraw(seedForB) < 0.5) ++seedForB;
  srand48(seedForB);
  EXPECT_EQ(getLowPriorityEnabled(0)->name, "b");  // lowest score is a; the place draws b

  // With a second input place, b makes p no free choice: no draw, no override.
  Init();
  in("p", "a");
  in("p", "b");
  in("q", "b");
  branches("p", {{"a", 0.5}, {"b", 0.5}});
  mark("p");
  mark("q");
  updateEnabledList();
  EXPECT_EQ(IsFreeChoice(place("p")), 0);
  srand48(seedForB);
  EXPECT_EQ(getLowPriorityEnabled(0)->name, enabledNames().front());
  const double next = drand48();
  EXPECT_EQ(next, firstDraw(seedForB));  // nothing was drawn
}

TEST_F(Choice, HighPriorityChoiceSkipsLowPriorityTransitionsAndDrawsNothingWhenNone) {
  in("p", "low");
  out("low", "q");
  in("q", "high");
  mark("p");
  updateEnabledList();
  srand48(11);
  EXPECT_EQ(getHighPriorityEnabled(), nullptr);
  const double next = drand48();
  EXPECT_EQ(next, firstDraw(11));
  instance(gNet, gUnfoldNet, trans("low"));
  EXPECT_EQ(getHighPriorityEnabled()->name, "high");
  EXPECT_EQ(IsLowPriority(trans("low")), 1);
  EXPECT_EQ(IsLowPriority(trans("high")), 0);
}

TEST_F(Choice, DeadlockEndsTheRunWithTheMarking) {
  in("p", "t");
  mark("q");
  updateEnabledList();
  gVerbose = 2;
  EXPECT_EXIT(getLowPriorityEnabled(1), ::testing::ExitedWithCode(1),
              "^\n\tError: No low priority transition is enabled.\n\n\tInfo: Current marking:\n\t\tq  \\(im\\)\n");
}

}  // namespace
