// Segments of an unfolding: skipped instances, separations, the destination tail, the
// verbose trace, the bounds that stop nets that would fire without end, and unfolders that
// share one model.
#include <gtest/gtest.h>

#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

#include "estimate/estimation.h"
#include "estimate/sampler.h"
#include "net/build.h"
#include "netbuild.h"
#include "streams.h"
#include "thrown.h"
#include "unfold/firing.h"
#include "unfold/graph.h"
#include "unfold/unfold.h"
#include "zelbo/error.h"

using namespace testnet;

namespace {

// The fired transitions of a graph, with their occurrence indices.
std::vector<std::string> firings(const UnfoldedGraph& graph) {
  std::vector<std::string> names;
  for (const Event& e : graph.events) names.push_back(e.trans->name + "#" + std::to_string(e.index));
  return names;
}

class Unfolding : public NetTest {
 protected:
  // The sampler of every test here draws from a stream seeded with 1.
  Sampler& sampler() { return run(1); }
  // Unfolds once into an empty graph, as the estimation loop does.
  void unfoldOnce() {
    Sampler& s = sampler();
    clearGraph(s.graph);
    unfold(s);
  }
  // Puts the model back to its initial marking, as the estimation loop does between samples.
  void reset() { resetRunState(sampler()); }
};

TEST_F(Unfolding, ZeroSeparationStopsAfterTheFirstSegmentWithTheSource) {
  ring(3);
  target("t0", "t2", 0);
  unfoldOnce();
  EXPECT_EQ(sampler().targets[0].firstInstance, 0);
  EXPECT_EQ(sampler().targets[0].instances, 1);
  EXPECT_EQ(graph().events.size(), 3u);
  EXPECT_EQ(graph().initConds.size(), 1u);
  EXPECT_EQ(backAtInitialMarking(sampler()), 1);
  EXPECT_EQ(stateOf("t0").selectionCount, 1);
}

TEST_F(Unfolding, NegativeSeparationAndSkipsPlaySegmentsFirst) {
  ring(3);
  target("t0", "t1", -2);
  settings.skip = 3;  // the sampler starts from the settings' skip count
  unfoldOnce();
  EXPECT_EQ(sampler().targets[0].skipCount, 3);
  EXPECT_EQ(sampler().targets[0].firstInstance, 5);
  EXPECT_EQ(occurrenceCount(graph(), trans("t0")), 6);
  EXPECT_EQ(sampler().targets[0].instances, 1);
  EXPECT_EQ(graph().events.size(), 18u);
}

TEST_F(Unfolding, PositiveSeparationFiresOnUntilTheDestinationCaughtUp) {
  ring(3);
  target("t0", "t2", 1);
  unfoldOnce();
  EXPECT_EQ(sampler().targets[0].instances, 1);
  EXPECT_EQ(occurrenceCount(graph(), trans("t2")), 2);
  EXPECT_EQ(occurrenceCount(graph(), trans("t0")), 2);  // one in the segment, one in the tail
  EXPECT_EQ(graph().events.size(), 6u);
  EXPECT_EQ(backAtInitialMarking(sampler()), 1);
}

TEST_F(Unfolding, SecondUnfoldingAfterResetCountsFromZero) {
  ring(2);
  target("t0", "t1", 0);
  unfoldOnce();
  reset();
  unfoldOnce();
  EXPECT_EQ(graph().events.front().index, 0);
  EXPECT_EQ(stateOf(place("p0")).condCount, 1);  // its one initial condition, counted afresh
  EXPECT_EQ(state().numEnabled, 1);  // t0 again, after its segment
  EXPECT_EQ(stateOf("t0").selectionCount, 2);
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
    reset();
    unfoldOnce();
  }
  EXPECT_GE(stateOf("x").selectionCount, 20);
  EXPECT_EQ(stateOf("x").selectionScore, 0);
  EXPECT_EQ(stateOf("u").selectionScore, stateOf("u").selectionCount);
}

TEST_F(Unfolding, VerboseTraceWritesSegmentsToTheLogAndTheDiagnostics) {
  ring(2);
  target("t0", "t1", 0);
  settings.verbose = 2;
  CapturedStreams streams(settings);
  unfoldOnce();
  EXPECT_EQ(streams.diagnostics(),
            "\n\tStart of a segment\n"
            "\n\tInfo : Segment#  0, firing t0 w/ index 0\n"
            "\n\tInfo : Segment#  0, firing t1 w/ index 0\n"
            "\n\tInfo: Current marking:\n\t\tp0  (im)\n"
            "\n\tUnmkared but initially marked places:\n"
            "\n\tEnd of a segment\n");
  EXPECT_EQ(streams.log(), "\n\tStart of a segment creation.\n\tReturned to the initial marking. A segment created.");
}

TEST_F(Unfolding, DestinationThatDidNotKeepUpWithTheSourceIsNotWellDefined) {
  ring(2);
  in("z", "x");
  out("x", "z2");
  target("t0", "x", 1);
  EXPECT_EQ(thrown([&] { unfoldOnce(); }),
            (Thrown{"\n\tError: The target TSE may not be well defined. Please check.\n\tInfo : PRYX Solver terminates.\n", 1}));
}

TEST_F(Unfolding, SegmentThatNeverReturnsIsStopped) {
  in("p0", "t0");
  out("t0", "p1");
  in("p1", "spin");
  out("spin", "p1");
  mark("p0");
  target("t0", "spin", 0);
  EXPECT_EQ(thrown([&] { unfoldOnce(); }),
            (Thrown{"\n\tError: The net did not return to its initial marking within 1000000 firings.\n", 1}));
}

TEST_F(Unfolding, SourceBehindABranchNeverTakenIsStopped) {
  in("p0", "a");
  out("a", "p0");
  in("p0", "s");
  out("s", "p0");
  branches("p0", {{"a", 1.0}, {"s", 0.0}});
  mark("p0");
  target("s", "a", 0);
  EXPECT_EQ(thrown([&] { unfoldOnce(); }),
            (Thrown{"\n\tError: The source transition s did not fire within 100000 segments.\n", 1}));
}

TEST_F(Unfolding, DestinationTailThatNeverCompletesIsStopped) {
  ring(2);
  target("t0", "t1", 600000);
  EXPECT_EQ(thrown([&] { unfoldOnce(); }),
            (Thrown{"\n\tError: The destination transition t1 did not fire within 1000000 firings.\n", 1}));
}

// A free choice between two rings of different lengths: which branch each segment takes
// depends on the draws, so an unfolding shows which stream a sampler drew from.
// Putting the model back clears every occurrence count: by one sweep when the unfolding had
// as many events as the net has transitions, through the events' transitions otherwise.
class PuttingBack : public Unfolding {
 protected:
  void expectCountsClearedBesides(int idleTransitions) {
    ring(3);
    for (int i = 0; i < idleTransitions; ++i) in("idle", "x" + std::to_string(i));
    target("t0", "t2", 0);
    reset();  // the first putting back resets everything; the later ones what was touched
    unfoldOnce();
    ASSERT_EQ(graph().events.size(), 3u);
    reset();
    for (const Trans* t : net.transById) EXPECT_EQ(sampler().state.at(t).occurrences, 0) << t->name;
    unfoldOnce();
    EXPECT_EQ(firings(graph()), (std::vector<std::string>{"t0#0", "t1#0", "t2#0"}));
  }
};

TEST_F(PuttingBack, AsManyEventsAsTransitions) { expectCountsClearedBesides(0); }
TEST_F(PuttingBack, FewerEventsThanTransitions) { expectCountsClearedBesides(5); }

class SharedModel : public NetTest {
 protected:
  void SetUp() override {
    in("p0", "a");
    out("a", "a1");
    in("a1", "a2t");
    out("a2t", "p0");
    in("p0", "b");
    out("b", "p0");
    branches("p0", {{"a", 0.5}, {"b", 0.5}});
    mark("p0");
    target("a", "b", 0);
    settings.skip = 6;  // a few segments per unfolding
    run();                            // prepares the model's firing information
  }
  // The firings of `count` unfoldings of `s`, reset in between.
  static std::vector<std::string> unfoldings(Sampler& s, int count) {
    std::vector<std::string> all;
    for (int i = 0; i < count; ++i) {
      resetRunState(s);
      clearGraph(s.graph);
      unfold(s);
      for (std::string& f : firings(s.graph)) all.push_back(std::move(f));
    }
    return all;
  }
};

TEST_F(SharedModel, SamplersOnOneModelDependOnlyOnTheirSeed) {
  Sampler alone(net, settings, 5);
  const std::vector<std::string> expected = unfoldings(alone, 6);
  // The same seed, while another sampler of the model runs in between.
  Sampler first(net, settings, 5), other(net, settings, 6);
  std::vector<std::string> interleaved, others;
  for (int i = 0; i < 6; ++i) {
    for (std::string& f : unfoldings(first, 1)) interleaved.push_back(std::move(f));
    for (std::string& f : unfoldings(other, 1)) others.push_back(std::move(f));
  }
  EXPECT_EQ(interleaved, expected);
  EXPECT_NE(others, expected);  // another seed draws other branches
}

}  // namespace
