// Segments of an unfolding: skipped instances, separations, the destination tail, the
// verbose trace and the bounds that stop nets that would fire without end.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "estimate/bounds.h"
#include "netbuild.h"
#include "unfold/enabled.h"
#include "unfold/graph.h"
#include "unfold/unfold.h"

using namespace testnet;

namespace {

class Unfolding : public ::testing::Test {
 protected:
  void SetUp() override {
    Init();
    srand48(1);
  }
  void TearDown() override {
    if (gOutFp != stderr) fclose(gOutFp);
  }
  // Unfolds once and resets the model, as the estimation loop does.
  void unfoldOnce() {
    clearUnfoldedGraph();
    unfold(gNet);
  }
};

TEST_F(Unfolding, ZeroSeparationStopsAfterTheFirstSegmentWithTheSource) {
  ring(3);
  target("t0", "t2", 0);
  unfoldOnce();
  EXPECT_EQ(gStartTSEindex, 0);
  EXPECT_EQ(gNumSource, 1);
  EXPECT_EQ(gUnfoldNet->events.size(), 3u);
  EXPECT_EQ(gUnfoldNet->initConds.size(), 1u);
  EXPECT_EQ(returningToInitMarking(), 1);
  EXPECT_EQ(trans("t0")->selectionCount, 1);
}

TEST_F(Unfolding, NegativeSeparationAndSkipsPlaySegmentsFirst) {
  ring(3);
  target("t0", "t1", -2);
  gRequiredHeadingTSE = 3;
  unfoldOnce();
  EXPECT_EQ(gStartTSEindex, 5);
  EXPECT_EQ(gCurrentSourceEventNumber, 6);
  EXPECT_EQ(gNumSource, 1);
  EXPECT_EQ(gUnfoldNet->events.size(), 18u);
}

TEST_F(Unfolding, PositiveSeparationFiresOnUntilTheDestinationCaughtUp) {
  ring(3);
  target("t0", "t2", 1);
  unfoldOnce();
  EXPECT_EQ(gNumSource, 1);
  EXPECT_EQ(numOccurrence(*gUnfoldNet, trans("t2")), 2);
  EXPECT_EQ(gCurrentSourceEventNumber, 1);  // the source's tail firing does not count
  EXPECT_EQ(gUnfoldNet->events.size(), 6u);
  EXPECT_EQ(returningToInitMarking(), 1);
}

TEST_F(Unfolding, SecondUnfoldingAfterResetCountsFromZero) {
  ring(2);
  target("t0", "t1", 0);
  unfoldOnce();
  clear_gNet();
  unfoldOnce();
  EXPECT_EQ(gUnfoldNet->events.front().index, 0);
  EXPECT_EQ(gUnfoldNet->conds.front().index, 0);
  EXPECT_EQ(gNet->numEnabled, 1);  // t0 again, after its segment
  EXPECT_EQ(trans("t0")->selectionCount, 2);
}

TEST_F(Unfolding, StageScoreCountsInitialPlacesLeftEmpty) {
  // x's stages always end in the initial marking; a stage opened by u ends with b0 empty,
  // since v also needs x's token.
  in("a0", "x");
  out("x", "a1");
  in("a1", "y");
  out("y", "a0");
  in("b0", "u");
  out("u", "b1");
  in("b1", "v");
  in("a1", "v");  // v needs the first ring's token too: u's stage ends with b0 empty
  out("v", "b0");
  out("v", "a0");
  mark("a0");
  mark("b0");
  target("x", "y", 0);
  for (int i = 0; i < 20; ++i) {
    clear_gNet();
    unfoldOnce();
  }
  EXPECT_GE(trans("x")->selectionCount, 20);
  EXPECT_EQ(trans("x")->selectionScore, 0);
  EXPECT_EQ(trans("u")->selectionScore, trans("u")->selectionCount);
}

TEST_F(Unfolding, VerboseTraceWritesSegmentsToBothStreams) {
  ring(2);
  target("t0", "t1", 0);
  gVerbose = 2;
  gOutFp = tmpfile();
  testing::internal::CaptureStderr();
  unfoldOnce();
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "\n\tStart of a segment\n"
            "\n\tInfo : Segment#  0, firing t0 w/ index 0\n"
            "\n\tInfo : Segment#  0, firing t1 w/ index 0\n"
            "\n\tInfo: Current marking:\n\t\tp0  (im)\n"
            "\n\tUnmkared but initially marked places:\n"
            "\n\tEnd of a segment\n");
  rewind(gOutFp);
  char log[200] = {};
  fread(log, 1, sizeof log - 1, gOutFp);
  EXPECT_STREQ(log, "\n\tStart of a segment creation.\n\tReturned to the initial marking. A segment created.");
}

using UnfoldingDeath = Unfolding;

TEST_F(UnfoldingDeath, DestinationThatDidNotKeepUpWithTheSourceIsNotWellDefined) {
  ring(2);
  in("z", "x");
  out("x", "z2");
  target("t0", "x", 1);
  EXPECT_EXIT(unfoldOnce(), ::testing::ExitedWithCode(1),
              "^\n\tError: The target TSE may not be well defined. Please check.\n\tInfo : PRYX Solver terminates.\n$");
}

TEST_F(UnfoldingDeath, SegmentThatNeverReturnsIsStopped) {
  in("p0", "t0");
  out("t0", "p1");
  in("p1", "spin");
  out("spin", "p1");
  mark("p0");
  target("t0", "spin", 0);
  EXPECT_EXIT(unfoldOnce(), ::testing::ExitedWithCode(1),
              "^\n\tError: The net did not return to its initial marking within 1000000 firings.\n$");
}

TEST_F(UnfoldingDeath, SourceBehindABranchNeverTakenIsStopped) {
  in("p0", "a");
  out("a", "p0");
  in("p0", "s");
  out("s", "p0");
  branches("p0", {{"a", 1.0}, {"s", 0.0}});
  mark("p0");
  target("s", "a", 0);
  EXPECT_EXIT(unfoldOnce(), ::testing::ExitedWithCode(1),
              "^\n\tError: The source transition s did not fire within 100000 segments.\n$");
}

TEST_F(UnfoldingDeath, DestinationTailThatNeverCompletesIsStopped) {
  ring(2);
  target("t0", "t1", 600000);
  EXPECT_EXIT(unfoldOnce(), ::testing::ExitedWithCode(1),
              "^\n\tError: The destination transition t1 did not fire within 1000000 firings.\n$");
}

}  // namespace
