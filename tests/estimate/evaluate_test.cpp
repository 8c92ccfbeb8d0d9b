// Evaluating an unfolding: firing times, pairing, reference checks and group sums.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "estimate/evaluate.h"
#include "estimate/firing_times.h"
#include "estimate/pairs.h"
#include "estimate/sampler.h"
#include "netbuild.h"
#include "streams.h"
#include "thrown.h"

using namespace testnet;

namespace {

class Evaluation : public NetTest {
 protected:
  // What the evaluation reports goes to the diagnostics stream; the tests read it back.
  CapturedStreams streams{settings};
  void TearDown() override { EXPECT_EQ(streams.log(), ""); }  // the evaluation writes nothing to the log
  std::string diagnostics() { return streams.diagnostics(); }
  // Pairs the instances of the events fired so far, counting `sources` source firings.
  void pairInstances(int start, int sources) {
    TargetRun& target = run().targets[0];
    target.firstInstance = start;
    target.instances = sources;
    ASSERT_TRUE(pairTargetEvents(run(), target, run().eventPairs));
  }
  double time(int event) { return graph().events[event].firingTime; }
  const Event& pairedSource(int instance) { return graph().events[run().eventPairs[instance].source]; }
  const Event& pairedDestination(int instance) { return graph().events[run().eventPairs[instance].destination]; }
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
  drawDelaysNewestFirst(run());
  int incomplete = -1;
  EXPECT_EQ(evaluateUnfolding(run(), incomplete), 5.5);
  EXPECT_EQ(incomplete, 0);
  EXPECT_EQ(time(0), 0.0);
  EXPECT_EQ(time(1), 2.0);
  EXPECT_EQ(time(2), 5.5);
  EXPECT_EQ(diagnostics(), "");
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
  drawDelaysNewestFirst(run());
  computeFiringTimes(run());
  EXPECT_EQ(time(1), 4.0);
  EXPECT_EQ(time(2), 1.0);
  EXPECT_EQ(time(3), 6.0);
}

// Each condition's delay is its place's sampler drawn from the run's stream, newest condition
// first; a uniform delay of no width draws nothing.
TEST_F(Evaluation, DelaysAreDrawnNewestFirstWithEachPlacesParameters) {
  auto delay = [&](const std::string& p, DelayType type, double location, double scale, double lambda) {
    auto spec = std::make_unique<DelaySpec>();
    spec->type = type;
    spec->location = location;
    spec->scale = scale;
    spec->lambda = lambda;
    attachDelaySpec(&net, place(p), std::move(spec));
  };
  ring(4);
  delay("p0", DelayType::uniform, 1.0, 2.0, 0.0);
  delay("p1", DelayType::exponential, 0.5, 3.0, 2.0);
  delay("p2", DelayType::uniform, 1.5, 0.0, 0.0);
  delay("p3", DelayType::exponential, 0.25, 1.0, 0.5);
  target("t0", "t0", 1);
  Sampler& s = run(11);
  startUnfolding();
  for (int round = 0; round < 2; ++round)
    for (const char* t : {"t0", "t1", "t2", "t3"}) fire(t);
  drawDelaysNewestFirst(s);

  Random48 replay(11);
  for (CondId c = static_cast<CondId>(graph().conds.size()); c-- > 0;) {
    const Place* p = net.placeById[graph().conds[c].place];
    int errorFlag = 0;
    EXPECT_EQ(graph().conds[c].delay, delaySample(p->delayType, p->delaySpec, errorFlag, replay)) << p->name;
  }
  EXPECT_EQ(s.rng.state(), replay.state());
}

// A sample the model's checks would have refused still ends the run, naming the place: a
// negative uniform delay, and an exponential one of rate 0 (infinite).
class BadInlineSample : public Evaluation {
 protected:
  Thrown drawWith(DelayType type, double location, double scale) {
    ring(2);
    auto spec = std::make_unique<DelaySpec>();
    spec->type = type;
    spec->location = location;
    spec->scale = scale;
    attachDelaySpec(&net, place("p1"), std::move(spec));
    target("t0", "t0", 1);
    startUnfolding();
    for (const char* t : {"t0", "t1"}) fire(t);
    return thrown([&] { drawDelaysNewestFirst(run()); });
  }
};

TEST_F(BadInlineSample, NegativeUniform) {
  EXPECT_EQ(drawWith(DelayType::uniform, -5.0, 0.0),
            (Thrown{"\n\tError: Place p1 sampled a delay of -5.\n\tError: Please check its delay spec.\n", 1}));
}

TEST_F(BadInlineSample, InfiniteExponential) {
  EXPECT_EQ(drawWith(DelayType::exponential, 1.0, 1.0),
            (Thrown{"\n\tError: Place p1 sampled in error.\n\tError: Please check its delay spec.\n", 1}));
}

// The sampling run draws the delays, times and first cones in one pass over the conditions,
// walking the stream backwards. It must give what the newest-first draws and the pass over the
// events give: every delay, time and cone, and the stream's state after them.
class OnePass : public Evaluation {
 protected:
  // Ring i runs a_i -> x_i -> b_i, and join g_j takes the b's of rings 3j .. 3j+2 back to
  // their a's, so that joins wait for their latest input. The a's cycle through the kinds of
  // delay: a uniform, an exponential, a fixed one, a geometric one (drawn by the general
  // sampler) and a uniform of no width (no draw); with `allDraw`, uniforms only.
  void build(int rings, bool allDraw) {
    auto name = [](const char* prefix, int i) { return prefix + std::to_string(i); };
    for (int i = 0; i < rings; ++i) {
      in(name("a", i), name("x", i));
      out(name("x", i), name("b", i));
      in(name("b", i), name("g", i / 3));
      out(name("g", i / 3), name("a", i));
      mark(name("a", i));
      auto spec = std::make_unique<DelaySpec>();
      spec->type = allDraw || i % 5 == 0 || i % 5 == 4 ? DelayType::uniform : i % 5 == 1 ? DelayType::exponential : i % 5 == 2 ? DelayType::fixed : DelayType::geometric;
      spec->location = 0.5 * (i % 3);
      spec->scale = allDraw || i % 5 != 4 ? 1.0 + i % 4 : 0.0;
      spec->lambda = 2.0;
      spec->prob = 0.3;
      attachDelaySpec(&net, place(name("a", i)), std::move(spec));
      expDelay(name("b", i), 0.5);
    }
    target("g0", "g1", 0);
    run(5);
    startUnfolding();
    for (int round = 0; round < 2; ++round) {
      for (int j = 0; j <= (rings - 1) / 3; ++j) {
        for (int i = 3 * j; i < std::min(rings, 3 * (j + 1)); ++i) fire(name("x", i));
        fire(name("g", j));
      }
    }
  }

  void expectTheTwoStepsResults() {
    Sampler& s = run();
    const Random48 start = s.rng;
    drawDelaysNewestFirst(s);
    computeFiringTimesAndCones(s);
    std::vector<double> delays, times;
    for (const Cond& c : graph().conds) delays.push_back(c.delay);
    for (const Event& e : graph().events) times.push_back(e.firingTime);
    const auto bytes = s.coneBytes;
    const auto words = s.coneWords;
    const Random48 end = s.rng;
    const int width = s.coneWidth;

    s.rng = start;
    graph().timedEvents = 0;
    for (Cond& c : graph().conds) c.delay = -1.0;
    for (Event& e : graph().events) e.firingTime = -1.0;
    ASSERT_TRUE(drawDelaysTimesAndCones(s));
    for (std::size_t c = 0; c < delays.size(); ++c) EXPECT_EQ(graph().conds[c].delay, delays[c]) << "condition " << c;
    for (std::size_t e = 0; e < times.size(); ++e) EXPECT_EQ(time(static_cast<int>(e)), times[e]) << "event " << e;
    EXPECT_EQ(s.coneBytes, bytes);
    EXPECT_EQ(s.coneWords, words);
    EXPECT_EQ(s.coneWidth, width);
    EXPECT_EQ(s.coneChunk, 0);
    EXPECT_EQ(s.rng.state(), end.state());
  }
};

TEST_F(OnePass, GivesTheTwoStepsResultsWithByteCones) {
  build(5, false);
  expectTheTwoStepsResults();
}

TEST_F(OnePass, GivesTheTwoStepsResultsWithWordConesAndADrawForEveryCondition) {
  build(150, true);
  expectTheTwoStepsResults();
  EXPECT_EQ(run().coneWidth, 3);
}

// A bad sample stops the pass with the stream where it was, so that the newest-first draws
// find the newest bad one and report it.
TEST_F(OnePass, LeavesTheStreamAloneAtABadSample) {
  ring(2);
  auto spec = std::make_unique<DelaySpec>();
  spec->type = DelayType::uniform;
  spec->location = -5.0;
  spec->scale = 1.0;
  attachDelaySpec(&net, place("p1"), std::move(spec));
  target("t0", "t0", 1);
  Sampler& s = run(3);
  startUnfolding();
  for (const char* t : {"t0", "t1"}) fire(t);
  const std::uint64_t start = s.rng.state();
  EXPECT_FALSE(drawDelaysTimesAndCones(s));
  EXPECT_EQ(s.rng.state(), start);
  EXPECT_EQ(graph().timedEvents, 0);
}

TEST_F(Evaluation, TimesOfALongChainNeedNoDeepRecursion) {
  ring(2, 1.0);
  target("t0", "t1", 0);
  startUnfolding();
  for (int i = 0; i < 500000; ++i) {
    fire("t0");
    fire("t1");
  }
  drawDelaysNewestFirst(run());
  // Asking for the last event first walks the whole chain backwards.
  const EventId last = static_cast<EventId>(graph().events.size() - 1);
  computeFiringTimesThrough(run(), last);
  EXPECT_EQ(time(last), 999999.0);
}

// 300 references, more than one pass over the events takes (256): ring i runs a_i -> x_i ->
// b_i, and join g_j takes the b's of rings 7j .. 7j+6 back to their a's; the play runs
// `rounds` times and pairs g40 with g10 in each. Each target event's counter must be the last
// reference that reaches it, as a walk along the graph finds: by the cones when the pairs are
// many, by the target events each event reaches when they are few. Each join fires right
// after its last ring, whose cone it takes from the pass's registers; g10's rings lie in the
// second word of the cones.
class ManyReferences : public Evaluation {
 protected:
  void expectCountersOfAWalk(int rounds, bool byTargets) {
    constexpr int kRings = 300, kGroup = 7;
    auto name = [](const char* prefix, int i) { return prefix + std::to_string(i); };
    for (int i = 0; i < kRings; ++i) {
      in(name("a", i), name("x", i));
      out(name("x", i), name("b", i));
      in(name("b", i), name("g", i / kGroup));
      out(name("g", i / kGroup), name("a", i));
      mark(name("a", i));
    }
    target("g40", "g10", 0);
    startUnfolding();
    for (int round = 0; round < rounds; ++round) {
      for (int j = 0; j <= (kRings - 1) / kGroup; ++j) {
        for (int i = kGroup * j; i < std::min(kRings, kGroup * (j + 1)); ++i) fire(name("x", i));
        fire(name("g", j));
      }
    }
    pairInstances(0, rounds);

    Sampler& s = run();
    const UnfoldedGraph& g = graph();
    auto reached = [&](EventId from) {
      std::vector<char> seen(g.events.size(), 0);
      std::vector<EventId> open{from};
      while (!open.empty()) {
        const EventId e = open.back();
        open.pop_back();
        if (std::exchange(seen[e], 1)) continue;
        forEachOutCond(g, e, [&](CondId c) {
          if (g.conds[c].consumer != kNone) open.push_back(g.conds[c].consumer);
        });
      }
      return seen;
    };
    std::vector<EventPair> expected(s.eventPairs.size());
    resetReferenceCones(s);
    ASSERT_EQ(s.byTargets, byTargets);
    for (std::size_t slot = g.initConds.size(); slot-- > 0;) {
      const int ref = referenceIndex(g, slot);
      const EventId event = g.conds[g.initConds[slot]].consumer;
      raiseReferenceCounters(s, event, ref);
      const std::vector<char> seen = reached(event);
      for (std::size_t j = 0; j < expected.size(); ++j) {
        if (seen[s.eventPairs[j].source]) expected[j].sourceRefCounter = ref;
        if (seen[s.eventPairs[j].destination]) expected[j].destinationRefCounter = ref;
      }
    }
    for (std::size_t j = 0; j < expected.size(); ++j) {
      EXPECT_EQ(s.eventPairs[j].sourceRefCounter, expected[j].sourceRefCounter) << "pair " << j;
      EXPECT_EQ(s.eventPairs[j].destinationRefCounter, expected[j].destinationRefCounter) << "pair " << j;
    }
    // One group's references come before the 256th, the other's after it.
    EXPECT_NE(expected[0].sourceRefCounter >= 256, expected[0].destinationRefCounter >= 256);
    EXPECT_FALSE(everyReferenceReachesEveryInstance(s));
  }
};

TEST_F(ManyReferences, FewPairsTakeTheTargetsReach) { expectCountersOfAWalk(1, true); }
TEST_F(ManyReferences, ManyPairsTakeTheCones) { expectCountersOfAWalk(33, false); }

// The 300 rings joined by one transition g: every reference reaches g from its first firing on,
// which the targets' reach tells at once, without the counters.
TEST_F(ManyReferences, EveryReferenceReachingThePairsIsToldByTheTargetsReach) {
  for (int i = 0; i < 300; ++i) {
    const std::string n = std::to_string(i);
    in("a" + n, "x" + n);
    out("x" + n, "b" + n);
    in("b" + n, "g");
    out("g", "a" + n);
    mark("a" + n);
  }
  target("g", "g", 1);
  startUnfolding();
  for (int round = 0; round < 2; ++round) {
    for (int i = 0; i < 300; ++i) fire("x" + std::to_string(i));
    fire("g");
  }
  pairInstances(0, 1);
  Sampler& s = run();
  resetReferenceCones(s);
  ASSERT_TRUE(s.byTargets);
  EXPECT_TRUE(everyReferenceReachesEveryInstance(s));
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
  drawDelaysNewestFirst(run());
  int incomplete = -1;
  const double sum = evaluateUnfolding(run(), incomplete);
  EXPECT_EQ(diagnostics(),
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
  drawDelaysNewestFirst(run());
  int incomplete = -1;
  EXPECT_EQ(evaluateUnfolding(run(), incomplete), 0.0);
  EXPECT_EQ(diagnostics(),
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
  drawDelaysNewestFirst(run());
  int incomplete = -1;
  EXPECT_EQ(evaluateUnfolding(run(), incomplete), 1.5);
  EXPECT_EQ(incomplete, 0);
  EXPECT_EQ(run().eventPairs[0].sourceRefCounter, 1);
}

TEST_F(TwoRings, PairingFollowsStartIndexAndSeparation) {
  build("x", "y");
  for (int i = 0; i < 7; ++i) {
    fire("x");
    fire("y");
  }
  Sampler& s = run();
  TargetRun& target = s.targets[0];
  target.firstInstance = 3;
  target.instances = 2;
  target.separation = 2;
  EXPECT_TRUE(pairTargetEvents(s, target, s.eventPairs));
  ASSERT_EQ(s.eventPairs.size(), 2u);
  EXPECT_EQ(pairedSource(0).index, 3);
  EXPECT_EQ(pairedDestination(0).index, 5);
  EXPECT_EQ(pairedDestination(1).index, 6);

  target.separation = -1;
  target.firstInstance = 4;
  pairTargetEvents(s, target, s.eventPairs);
  EXPECT_EQ(pairedDestination(0).index, 3);

  target.separation = 2;
  target.firstInstance = 5;  // y has no occurrence 8
  EXPECT_FALSE(pairTargetEvents(s, target, s.eventPairs));
}

using SkipCount = Evaluation;

TEST_F(SkipCount, GrowsByOneUpToTwentyThenByATenth) {
  Sampler& s = run();  // a sampler of the empty model, given a target of its own
  TargetRun target;
  std::vector<int> seen;
  for (int i = 0; i < 26; ++i) {
    growSkipCount(s, target, s.settings.diagnostics);
    seen.push_back(target.skipCount);
  }
  const std::string messages = diagnostics();
  EXPECT_EQ(seen, (std::vector<int>{1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13,
                                    14, 15, 16, 17, 18, 19, 20, 22, 24, 26, 28, 30, 33}));
  EXPECT_TRUE(messages.starts_with(
      "\n\tInfo : Increasing number of leading TSE instances by 1."
      "\n\tInfo : The number of leading TSE instances is now : 1.\n\tInfo : Increasing"))
      << messages;
  for (const auto& [from, increment] : std::vector<std::pair<int, int>>{
           {9, 1}, {10, 1}, {19, 1}, {20, 2}, {25, 2}, {100, 10}, {-7, 1}}) {
    target.skipCount = from;
    growSkipCount(s, target, nullptr);
    EXPECT_EQ(target.skipCount, from + increment) << from;
  }
  EXPECT_EQ(settings.skip, 0);  // the sampler's count, not the settings'
}

}  // namespace
