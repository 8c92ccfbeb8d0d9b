// Evaluating an unfolding: firing times, pairing, reference checks and group sums.
#include <gtest/gtest.h>

#include <string>

#include "estimate/PRYXTA.h"
#include "estimate/evaluate.h"
#include "estimate/pairs.h"
#include "netbuild.h"

using namespace testnet;

namespace {

class Evaluation : public ::testing::Test {
 protected:
  void SetUp() override { Init(); }
  // Pairs the instances of the events fired so far, counting `sources` source firings.
  void pairInstances(int start, int sources) {
    gStartTSEindex = start;
    gNumSource = sources;
    int unpaired = -1;
    identifyTargetEventPair(unpaired);
    ASSERT_EQ(unpaired, 0);
  }
  double time(int event) { return gUnfoldNet->events[event].firingTime; }
};

TEST_F(Evaluation, FiringTimesAreLatestArrivalsOfProducedTokens) {
  // t1 consumes the initial token; its product (delay 2.0) feeds t2, whose (3.5) feeds t3.
  in("p0", "t1");
  out("t1", "p1");
  in("p1", "t2");
  out("t2", "p2");
  in("p2", "t3");
  out("t3", "p0");
  fixedDelay("p0", 7.0);  // an initial token's delay never counts
  fixedDelay("p1", 2.0);
  fixedDelay("p2", 3.5);
  mark("p0");
  target("t1", "t3", 0);
  startUnfolding();
  for (const char* t : {"t1", "t2", "t3"}) fire(t);
  pairInstances(0, 1);
  assignDelay(gUnfoldNet);
  int incomplete = -1;
  EXPECT_EQ(upperBound2(incomplete), 5.5);
  EXPECT_EQ(incomplete, 0);
  EXPECT_EQ(time(0), 0.0);
  EXPECT_EQ(time(1), 2.0);
  EXPECT_EQ(time(2), 5.5);
}

TEST_F(Evaluation, JoinWaitsForItsLatestInput) {
  forkJoin();
  fixedDelay("p0", 0.0);
  fixedDelay("a", 1.0);
  fixedDelay("b", 4.0);
  fixedDelay("c", 5.0);
  fixedDelay("d", 1.0);
  target("fork", "join", 0);
  startUnfolding();
  for (const char* t : {"fork", "tb", "ta", "join"}) fire(t);
  assignDelay(gUnfoldNet);
  PRYXComputeEventFiringTime(gUnfoldNet);
  EXPECT_EQ(time(1), 4.0);
  EXPECT_EQ(time(2), 1.0);
  EXPECT_EQ(time(3), 6.0);
}

TEST_F(Evaluation, TimesOfALongChainNeedNoDeepRecursion) {
  ring(2, 1.0);
  target("t0", "t1", 0);
  startUnfolding();
  for (int i = 0; i < 500000; ++i) {
    fire("t0");
    fire("t1");
  }
  assignDelay(gUnfoldNet);
  // Asking for the last event first walks the whole chain backwards.
  const EventId last = static_cast<EventId>(gUnfoldNet->events.size() - 1);
  PRYXComputeEventFiringTimeRecur(gUnfoldNet, last);
  EXPECT_EQ(time(last), 999999.0);
}

// Two independent rings: x/y on a0, u/v on b0. Both initial tokens are consumed, so the
// second reference (u's event) reaches none of the first ring's events.
class TwoRings : public Evaluation {
 protected:
  void build(const std::string& source, const std::string& destination) {
    in("a0", "x");
    out("x", "a1");
    in("a1", "y");
    out("y", "a0");
    in("b0", "u");
    out("u", "b1");
    in("b1", "v");
    out("v", "b0");
    for (const char* p : {"a0", "a1", "b0", "b1"}) fixedDelay(p, 1.5);
    mark("a0");
    mark("b0");
    target(source, destination, 0);
    startUnfolding();
  }
};

TEST_F(TwoRings, ReferenceMissingTheTargetsMakesTheUnfoldingIncomplete) {
  build("x", "y");
  for (const char* t : {"x", "y", "u", "v", "x", "y"}) fire(t);
  pairInstances(0, 2);
  assignDelay(gUnfoldNet);
  int incomplete = -1;
  testing::internal::CaptureStderr();
  const double sum = upperBound2(incomplete);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "\n\tInfo : Reference event u (id=0) does not lead to the 0-th TSE source: x (id=0)"
            "\n\tInfo : Its reference counter = 0, but the current counter = 1"
            "\n\tInfo : Reference event u (id=0) does not lead to the 0-th TSE destination: y (id=0)"
            "\n\tInfo : Its reference counter = 0, but the current counter = 1"
            "\n\tInfo : Reference event u (id=0) does not lead to the 1-th TSE source: x (id=1)"
            "\n\tInfo : Its reference counter = 0, but the current counter = 1"
            "\n\tInfo : Reference event u (id=0) does not lead to the 1-th TSE destination: y (id=1)"
            "\n\tInfo : Its reference counter = 0, but the current counter = 1");
  EXPECT_EQ(incomplete, 1);
  EXPECT_EQ(sum, 1.5 + 1.5);  // both instances were measured against the first reference
}

TEST_F(TwoRings, ReferenceReachingOnlyTheSourceLeavesTheInstanceUnbounded) {
  build("x", "v");
  for (const char* t : {"x", "y", "u", "v"}) fire(t);
  pairInstances(0, 1);
  assignDelay(gUnfoldNet);
  int incomplete = -1;
  testing::internal::CaptureStderr();
  EXPECT_EQ(upperBound2(incomplete), 0.0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "\n\tInfo : Reference event x (id=0) does not lead to the 0-th TSE destination: v (id=0)"
            "\n\tInfo : Its reference counter = -1, but the current counter = 0"
            "\n\tInfo : Estimated TSE bound reaches -Inf.\n"
            "\n\tError: One TSE instance could not be correctly computed.");
  EXPECT_EQ(incomplete, 1);
}

TEST_F(TwoRings, UnconsumedInitialTokenGivesNoReferenceButKeepsItsNumber) {
  build("u", "v");
  for (const char* t : {"u", "v"}) fire(t);  // a0's token never moves: reference 0 is skipped
  pairInstances(0, 1);
  assignDelay(gUnfoldNet);
  int incomplete = -1;
  EXPECT_EQ(upperBound2(incomplete), 1.5);
  EXPECT_EQ(incomplete, 0);
  EXPECT_EQ(gUnfoldNet->events[0].refCounter, 1);
}

TEST_F(TwoRings, PairingFollowsStartIndexAndSeparation) {
  build("x", "y");
  for (int i = 0; i < 7; ++i) {
    fire("x");
    fire("y");
  }
  gStartTSEindex = 3;
  gNumSource = 2;
  gTargetTransPair->separation = 2;
  int unpaired = -1;
  identifyTargetEventPair(unpaired);
  EXPECT_EQ(unpaired, 0);
  EXPECT_EQ(gUnfoldNet->events[gTargetEventPair[0].source].index, 3);
  EXPECT_EQ(gUnfoldNet->events[gTargetEventPair[0].destination].index, 5);
  EXPECT_EQ(gUnfoldNet->events[gTargetEventPair[1].destination].index, 6);

  gTargetTransPair->separation = -1;
  gStartTSEindex = 4;
  identifyTargetEventPair(unpaired);
  EXPECT_EQ(gUnfoldNet->events[gTargetEventPair[0].destination].index, 3);

  gTargetTransPair->separation = 2;
  gStartTSEindex = 5;  // y has no occurrence 8
  identifyTargetEventPair(unpaired);
  EXPECT_EQ(unpaired, 1);
}

TEST(SkipCount, GrowsByOneUpToTwentyThenByATenth) {
  Init();
  std::vector<int> seen;
  testing::internal::CaptureStderr();
  for (int i = 0; i < 26; ++i) {
    PRYXIncreaseSegmentHistory();
    seen.push_back(gRequiredHeadingTSE);
  }
  const std::string messages = testing::internal::GetCapturedStderr();
  EXPECT_EQ(seen, (std::vector<int>{1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13,
                                    14, 15, 16, 17, 18, 19, 20, 22, 24, 26, 28, 30, 33}));
  EXPECT_TRUE(messages.starts_with(
      "\n\tInfo : Increasing number of leading TSE instances by 1."
      "\n\tInfo : The number of leading TSE instances is now : 1.\n\tInfo : Increasing"));
  for (const auto& [from, increment] : std::vector<std::pair<int, int>>{
           {9, 1}, {10, 1}, {19, 1}, {20, 2}, {25, 2}, {100, 10}, {-7, 1}}) {
    gRequiredHeadingTSE = from;
    testing::internal::CaptureStderr();
    PRYXIncreaseSegmentHistory();
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(gRequiredHeadingTSE, from + increment) << from;
  }
}

}  // namespace
