// The enabled list and firing: list order, conflicts, self-loops, 1-safety, and the
// incremental update against the plain rescan of every marked place.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "estimate/estimation.h"
#include "estimate/sampler.h"
#include "net/build.h"
#include "net/lists.h"
#include "netbuild.h"
#include "streams.h"
#include "thrown.h"
#include "unfold/firing.h"
#include "unfold/positions.h"
#include "unfold/graph.h"
#include "zelbo/error.h"

using namespace testnet;

namespace {

using Firing = NetTest;

TEST_F(Firing, TransitionsEnabledByOneFiringAreAppendedInPlaceListThenPosetOrder) {
  // t0 marks a and b; b was created after a, so b comes first on the place list.
  in("s", "t0");
  out("t0", "a");
  out("t0", "b");
  in("a", "x");
  in("a", "y");  // a's poset: y, x (newest first)
  in("b", "z");
  mark("s");
  updateEnabledList(run());
  EXPECT_EQ(enabledNames(), (std::vector<std::string>{"t0"}));
  fire("t0");
  EXPECT_EQ(enabledNames(), (std::vector<std::string>{"z", "y", "x"}));
  EXPECT_EQ(state().numEnabled, 3);
}

TEST_F(Firing, ConflictsLeaveTheListAndSelfLoopsReturnAtTheTail) {
  in("p", "a");
  in("p", "b");
  in("q", "c");
  in("r", "loop");
  out("loop", "r");
  mark("p");
  mark("q");
  mark("r");
  updateEnabledList(run());
  // Place list: r, q, p; posets: r {loop}, q {c}, p {b, a}.
  EXPECT_EQ(enabledNames(), (std::vector<std::string>{"loop", "c", "b", "a"}));
  fire("loop");
  EXPECT_EQ(enabledNames(), (std::vector<std::string>{"c", "b", "a", "loop"}));
  fire("a");
  EXPECT_EQ(enabledNames(), (std::vector<std::string>{"c", "loop"}));
  EXPECT_EQ(stateOf("b").enabled, 0);
  EXPECT_EQ(state().numEnabled, 2);
}

TEST_F(Firing, RecordsEventsAndConditionsWithTheirListOrders) {
  in("p", "t");
  in("q", "t");
  out("t", "r");
  out("t", "s");
  mark("p");
  mark("q");
  startUnfolding();
  const UnfoldedGraph& g = graph();
  fire("t");
  ASSERT_EQ(g.events.size(), 1u);
  const Event& e = g.events[0];
  EXPECT_EQ(e.index, 0);
  EXPECT_EQ(stateOf("t").occurrences, 1);
  // inConds run against the preset (q, p): p's condition first.
  std::vector<std::string> consumed;
  for (CondId c : inConds(g, 0)) consumed.push_back(net.placeById[g.conds[c].place]->name);
  EXPECT_EQ(consumed, (std::vector<std::string>{"p", "q"}));
  std::vector<std::string> produced;
  forEachOutCond(g, 0, [&](CondId c) { produced.push_back(net.placeById[g.conds[c].place]->name); });
  EXPECT_EQ(produced, (std::vector<std::string>{"r", "s"}));  // poset is s, r
  for (CondId c : inConds(g, 0)) EXPECT_EQ(g.conds[c].consumer, 0);
  EXPECT_EQ(g.conds[stateOf(place("r")).lastCond].producer, 0);
  int emptied = -1;
  countEmptiedInitialPlaces(run(), emptied);
  EXPECT_EQ(emptied, 2);
}

TEST_F(Firing, OutputPlaceAlreadyMarkedIsNotSafe) {
  in("p", "t");
  out("t", "q");
  mark("p");
  mark("q");
  updateEnabledList(run());
  EXPECT_EQ(thrown([&] { fire("t"); }), (Thrown{"\n\tError: Net is not 1-safe.\n", 1}));
}

TEST_F(Firing, InitialPlaceWithTwoTokensIsNotSafeAtItsFirstFiring) {
  in("p", "t");
  out("t", "q");
  mark("p", 2);
  updateEnabledList(run());
  EXPECT_EQ(thrown([&] { fire("t"); }), (Thrown{"\n\tError: Net is not 1-safe.\n", 1}));
}

TEST_F(Firing, DeletingAbsentTransitionsIsFatal) {
  in("p", "t");
  in("q", "u");
  mark("p");
  // The sampler starts with an empty list, whatever the marking.
  EXPECT_EQ(thrown([&] { removeFromEnabledList(run(), trans("t")); }),
            (Thrown{"\n\tError: Attempt to delete a transition from the empty enabled list.\n", 1}));
  updateEnabledList(run());
  EXPECT_EQ(thrown([&] { removeFromEnabledList(run(), trans("u")); }),
            (Thrown{"\n\tError: Cannot find a transition on the enabled list.\n", 1}));
  EXPECT_EQ(enabledNames(), (std::vector<std::string>{"t"}));  // the list is left as it was
}

TEST_F(Firing, WithinAStageHighPriorityTransitionsAreOnTheirSublistOnly) {
  // t opens (its input is initially marked); h and k, without one, are high priority.
  in("s", "t");
  out("t", "a");
  in("a", "h");
  out("h", "b");
  in("b", "k");
  in("c", "u");
  mark("s");
  mark("c");
  updateEnabledList(run());
  state().highApart = true;
  fire("t");
  EXPECT_EQ(enabledNames(), (std::vector<std::string>{"u"}));
  EXPECT_EQ(state().numEnabled, 1);
  EXPECT_EQ(state().highHead, trans("h")->id);
  fire("h");
  EXPECT_EQ(state().highHead, trans("k")->id);
  EXPECT_EQ(stateOf("h").enabled, 0);
  // One appended before the stage is on both lists, and leaves both.
  state().highApart = false;
  appendToEnabledList(run(), trans("h"));
  state().highApart = true;
  removeFromEnabledList(run(), trans("h"));
  EXPECT_EQ(enabledNames(), (std::vector<std::string>{"u"}));
  EXPECT_EQ(state().numEnabled, 1);
  EXPECT_EQ(state().highHead, trans("k")->id);
  EXPECT_EQ(state().highTail, trans("k")->id);
  // A run stopped within the stage: putting the model back empties the sublist too.
  resetRunState(run());
  EXPECT_EQ(stateOf("k").enabled, 0);
  EXPECT_EQ(state().highHead, kNoTrans);
  EXPECT_FALSE(state().highApart);
}

TEST_F(Firing, VerboseMarkingDumpListsMarkedAndEmptiedInitialPlacesOnTheDiagnostics) {
  in("p", "t");
  out("t", "q");
  mark("p");
  mark("r");
  settings.verbose = 2;
  CapturedStreams streams(settings);
  updateEnabledList(run());
  fire("t");
  streams.diagnostics();  // the firing's trace
  int emptied = 0;
  countEmptiedInitialPlaces(run(), emptied);
  EXPECT_EQ(streams.diagnostics(),
            "\n\tInfo: Current marking:\n\t\tr  (im)\n\t\tq \n"
            "\n\tUnmkared but initially marked places:\n\t\tp\n");
  EXPECT_EQ(streams.log(), "");
  EXPECT_EQ(emptied, 1);
}

// The rescan of every marked place, as the enabled list is defined: what it would append to
// the list `flagged` in the current marking.
std::vector<const Trans*> rescanAppends(const Net& net, const RunState& s, const std::vector<const Trans*>& flagged) {
  std::vector<const Trans*> onList = flagged;
  std::vector<const Trans*> appended;
  for (const Place* p : net.placeList) {
    if (s.at(p).tokens <= 0) continue;
    for (const TransNode& node : p->poset) {
      const Trans* t = node.trans;
      const bool allMarked =
          std::all_of(t->preset.begin(), t->preset.end(), [&](const Place* q) { return s.at(q).tokens > 0; });
      if (allMarked && std::find(onList.begin(), onList.end(), t) == onList.end()) {
        onList.push_back(t);
        appended.push_back(t);
      }
    }
  }
  return appended;
}

std::vector<const Trans*> enabledList(const Net& net, const RunState& s) {
  std::vector<const Trans*> list;
  forEachEnabled(s, [&](std::int32_t t) { list.push_back(net.transById[t]); });
  return list;
}

// A firing that keeps the net 1-safe: every input holds one token, every other output none.
bool safeToFire(const RunState& s, const Trans* t) {
  for (const Place* p : t->preset)
    if (s.at(p).tokens != 1) return false;
  for (const Place* p : t->poset)
    if (s.at(p).tokens != 0 && !findPlaceOnList(t->preset, p)) return false;
  return !t->preset.empty();
}

// Fires a transition drawn among those that keep the net 1-safe and expects the list that the
// rescan makes; returns the transition, or none when no firing is safe.
const Trans* fireAndCompareWithTheRescan(const Net& net, Unfolder& u, std::mt19937& rng) {
  const RunState& s = u.state;
  std::vector<const Trans*> before = enabledList(net, s);
  std::vector<const Trans*> fireable;
  for (const Trans* t : before)
    if (safeToFire(s, t)) fireable.push_back(t);
  if (fireable.empty()) return nullptr;
  const Trans* t = fireable[rng() % fireable.size()];
  std::vector<const Trans*> expected = before;
  for (const Place* p : t->preset)
    for (const TransNode& node : p->poset) std::erase(expected, node.trans);
  fireTransition(u, t);
  std::vector<const Trans*> appended = rescanAppends(net, s, expected);
  expected.insert(expected.end(), appended.begin(), appended.end());
  EXPECT_EQ(enabledList(net, s), expected);
  for (const Trans* v : expected) EXPECT_EQ(s.at(v).enabled, 1);
  EXPECT_EQ(s.numEnabled, static_cast<int>(expected.size()));
  return t;
}

TEST(IncrementalUpdate, MatchesTheRescanOnRandomNets) {
  std::mt19937 rng(12345);
  const Settings settings;
  int plainFirings = 0, fixedFirings = 0, otherFirings = 0;  // the three ways a firing goes
  int soleCandidateFirings = 0;  // with one fixed candidate
  for (int round = 0; round < 1000; ++round) {
    Net net;
    auto place = [&](const std::string& n) { return findOrAddPlace(&net, n.c_str()); };
    auto trans = [&](const std::string& n) { return findOrAddTransition(&net, n.c_str()); };
    const int places = 2 + rng() % 7, transitions = 2 + rng() % 7;
    auto P = [&](unsigned i) { return "p" + std::to_string(i % places); };
    auto T = [&](unsigned i) { return "t" + std::to_string(i % transitions); };
    for (int i = 0; i < places; ++i) place(P(rng()));
    // Draws in a fixed order, so that the nets do not depend on the compiler. Every other
    // net starts from one input and one output per transition, the shape of most real ones.
    if (round % 2 == 1) {
      for (int i = 0; i < transitions; ++i) {
        addInputArc(&net, trans(T(i)), place(P(i)));
        addOutputArc(&net, trans(T(i)), place(P(rng())));
      }
    }
    for (int arc = 0, arcs = round % 2 == 1 ? 2 : places + transitions + 4; arc < arcs; ++arc) {
      const bool input = rng() % 2;
      const std::string p = P(rng()), t = T(rng());
      if (input) addInputArc(&net, trans(t), place(p));
      else addOutputArc(&net, trans(t), place(p));
    }
    // Now and then a replaced poset: its first transitions keep the place as an input.
    if (rng() % 3 == 0) {
      Place* p = place(P(rng()));
      Trans* t = trans(T(rng()));
      replacePlacePoset(&net, p, {TransNode{1.0, t}});
    }
    // Now and then a place lists a transition that does not have it as an input.
    for (int extra = rng() % 3; extra > 0; --extra) {
      Place* p = place(P(rng()));
      Trans* t = trans(T(rng()));
      if (!findTransOnList(p->poset, t)) p->poset.pushFront(TransNode{1.0, t});
    }
    for (int i = 0; i < places; ++i)
      if (rng() % 2) markInitially(&net, place(P(i)), 1);
    prepareFiring(net);
    Unfolder u(net, settings, 0);
    const RunState& s = u.state;
    updateEnabledList(u);
    if (round % 4 < 2) startPositions(u.state);  // the list kept in slots from here on
    for (int step = 0; step < 30; ++step) {
      SCOPED_TRACE("round " + std::to_string(round) + " step " + std::to_string(step));
      const Trans* t = fireAndCompareWithTheRescan(net, u, rng);
      if (!t || ::testing::Test::HasFailure()) break;
      const FiringIndex::TransEntry& way = net.firing.trans[t->id];
      ++(way.plain ? plainFirings : way.fixedCandidates ? fixedFirings : otherFirings);
      soleCandidateFirings += way.soleCandidate >= 0;
    }
    if (::testing::Test::HasFailure()) return;
  }
  EXPECT_GT(plainFirings, 300);
  EXPECT_GT(soleCandidateFirings, 1000);
  EXPECT_GT(fixedFirings, 1000);
  EXPECT_GT(otherFirings, 1000);
}

// Six rings of three places joined by one transition, which counts its marked inputs: the
// transitions that feed it fire as plain ones that keep the count. Random firings must keep
// the list that the rescan makes and the count that a recount makes.
TEST(IncrementalUpdate, PlainFiringsKeepTheCountsOfAWideJoin) {
  Net net;
  auto place = [&](const std::string& n) { return findOrAddPlace(&net, n.c_str()); };
  Trans* join = findOrAddTransition(&net, "join");
  for (int r = 0; r < 6; ++r) {
    const std::string ring = std::to_string(r);
    Trans* a = findOrAddTransition(&net, ("a" + ring).c_str());
    Trans* b = findOrAddTransition(&net, ("b" + ring).c_str());
    addOutputArc(&net, join, place("p" + ring));
    addInputArc(&net, a, place("p" + ring));
    addOutputArc(&net, a, place("q" + ring));
    addInputArc(&net, b, place("q" + ring));
    addOutputArc(&net, b, place("r" + ring));
    addInputArc(&net, join, place("r" + ring));
    markInitially(&net, place("p" + ring), 1);
  }
  prepareFiring(net);
  EXPECT_TRUE(net.firing.trans[findOrAddTransition(&net, "b0")->id].plainCounting);
  Unfolder u(net, Settings{}, 0);
  updateEnabledList(u);
  std::mt19937 rng(7);
  int joins = 0;
  for (int step = 0; step < 300; ++step) {
    SCOPED_TRACE("step " + std::to_string(step));
    const Trans* t = fireAndCompareWithTheRescan(net, u, rng);
    ASSERT_NE(t, nullptr);
    joins += t == join;
    int marked = 0;
    for (const Place* p : join->preset) marked += u.state.at(p).tokens > 0;
    ASSERT_EQ(u.state.at(join).markedInputs, marked);
    if (::testing::Test::HasFailure()) return;
  }
  EXPECT_GT(joins, 10);
}

}  // namespace
