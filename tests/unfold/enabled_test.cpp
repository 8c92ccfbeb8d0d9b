// The enabled list and firing: list order, conflicts, self-loops, 1-safety, and the
// incremental update against the plain rescan of every marked place.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "netbuild.h"
#include "spec/util.h"
#include "unfold/enabled.h"
#include "unfold/graph.h"

using namespace testnet;

namespace {

class Firing : public ::testing::Test {
 protected:
  void SetUp() override { Init(); }
  void fire(const std::string& t) { instance(gNet, gUnfoldNet, trans(t)); }
};

TEST_F(Firing, TransitionsEnabledByOneFiringAreAppendedInPlaceListThenPosetOrder) {
  // t0 marks a and b; b was created after a, so b comes first on the place list.
  in("s", "t0");
  out("t0", "a");
  out("t0", "b");
  in("a", "x");
  in("a", "y");  // a's poset: y, x (newest first)
  in("b", "z");
  mark("s");
  updateEnabledList();
  EXPECT_EQ(enabledNames(), (std::vector<std::string>{"t0"}));
  fire("t0");
  EXPECT_EQ(enabledNames(), (std::vector<std::string>{"z", "y", "x"}));
  EXPECT_EQ(gNet->numEnabled, 3);
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
  updateEnabledList();
  // Place list: r, q, p; posets: r {loop}, q {c}, p {b, a}.
  EXPECT_EQ(enabledNames(), (std::vector<std::string>{"loop", "c", "b", "a"}));
  fire("loop");
  EXPECT_EQ(enabledNames(), (std::vector<std::string>{"c", "b", "a", "loop"}));
  fire("a");
  EXPECT_EQ(enabledNames(), (std::vector<std::string>{"c", "loop"}));
  EXPECT_EQ(trans("b")->enabled, 0);
  EXPECT_EQ(gNet->numEnabled, 2);
}

TEST_F(Firing, RecordsEventsAndConditionsWithTheirListOrders) {
  in("p", "t");
  in("q", "t");
  out("t", "r");
  out("t", "s");
  mark("p");
  mark("q");
  updateEnabledList();
  UnfoldNet& g = *gUnfoldNet;
  // Initial conditions as unfold makes them.
  for (Place* p : gNet->initMarking) {
    p->lastCond = static_cast<CondId>(g.conds.size());
    g.conds.push_back(Cond{p, p->condCount++, 0.0, kNone, kNone});
  }
  fire("t");
  ASSERT_EQ(g.events.size(), 1u);
  const Event& e = g.events[0];
  EXPECT_EQ(e.index, 0);
  EXPECT_EQ(trans("t")->occurrences, 1);
  // inConds run against the preset (q, p): p's condition first.
  std::vector<std::string> consumed;
  for (CondId c : inConds(g, e)) consumed.push_back(g.conds[c].place->name);
  EXPECT_EQ(consumed, (std::vector<std::string>{"p", "q"}));
  std::vector<std::string> produced;
  forEachOutCond(e, [&](CondId c) { produced.push_back(g.conds[c].place->name); });
  EXPECT_EQ(produced, (std::vector<std::string>{"r", "s"}));  // poset is s, r
  for (CondId c : inConds(g, e)) EXPECT_EQ(g.conds[c].consumer, 0);
  EXPECT_EQ(g.conds[place("r")->lastCond].producer, 0);
  int emptied = -1;
  dumpMarking(emptied);
  EXPECT_EQ(emptied, 2);
}

using FiringDeath = Firing;

TEST_F(FiringDeath, OutputPlaceAlreadyMarkedIsNotSafe) {
  in("p", "t");
  out("t", "q");
  mark("p");
  mark("q");
  updateEnabledList();
  EXPECT_EXIT(fire("t"), ::testing::ExitedWithCode(1), "^\n\tError: Net is not 1-safe.\n$");
}

TEST_F(FiringDeath, InitialPlaceWithTwoTokensIsNotSafeAtItsFirstFiring) {
  in("p", "t");
  out("t", "q");
  mark("p", 2);
  updateEnabledList();
  EXPECT_EXIT(fire("t"), ::testing::ExitedWithCode(1), "^\n\tError: Net is not 1-safe.\n$");
}

TEST_F(FiringDeath, DeletingAbsentTransitionsIsFatal) {
  in("p", "t");
  EXPECT_EXIT(deleteFromEnabledList(gNet, trans("t")), ::testing::ExitedWithCode(1),
              "^\n\tError: Attempt to delete a transition from the empty enabled list.\n$");
  mark("p");
  in("q", "u");
  updateEnabledList();
  EXPECT_EXIT(deleteFromEnabledList(gNet, trans("u")), ::testing::ExitedWithCode(1),
              "^\n\tError: Cannot find a transition on the enabled list.\n$");
}

TEST_F(Firing, VerboseMarkingDumpListsMarkedAndEmptiedInitialPlaces) {
  in("p", "t");
  out("t", "q");
  mark("p");
  mark("r");
  updateEnabledList();
  fire("t");
  gVerbose = 2;
  testing::internal::CaptureStderr();
  int emptied = 0;
  dumpMarking(emptied);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "\n\tInfo: Current marking:\n\t\tr  (im)\n\t\tq \n"
            "\n\tUnmkared but initially marked places:\n\t\tp\n");
  EXPECT_EQ(emptied, 1);
}

// The rescan of every marked place, as the enabled list is defined: what it would append to
// the list `flagged` in the current marking.
std::vector<Trans*> rescanAppends(const std::vector<Trans*>& flagged) {
  std::vector<Trans*> onList = flagged;
  std::vector<Trans*> appended;
  for (const Place* p : gNet->placeList) {
    if (p->tokens <= 0) continue;
    for (const TransNode& node : p->poset) {
      Trans* t = node.trans;
      bool allMarked = std::all_of(t->preset.begin(), t->preset.end(), [](const Place* q) { return q->tokens > 0; });
      if (allMarked && std::find(onList.begin(), onList.end(), t) == onList.end()) {
        onList.push_back(t);
        appended.push_back(t);
      }
    }
  }
  return appended;
}

std::vector<Trans*> enabledList() {
  std::vector<Trans*> list;
  for (Trans* t = gNet->enabledHead; t; t = t->enabledNext) list.push_back(t);
  return list;
}

// A firing that keeps the net 1-safe: every input holds one token, every other output none.
bool safeToFire(const Trans* t) {
  for (const Place* p : t->preset)
    if (p->tokens != 1) return false;
  for (const Place* p : t->poset)
    if (p->tokens != 0 && !findPlaceOnList(t->preset, p)) return false;
  return !t->preset.empty();
}

TEST_F(Firing, IncrementalUpdateMatchesTheRescanOnRandomNets) {
  std::mt19937 rng(12345);
  for (int round = 0; round < 1000; ++round) {
    Init();
    const int places = 2 + rng() % 7, transitions = 2 + rng() % 7;
    auto P = [&](unsigned i) { return "p" + std::to_string(i % places); };
    auto T = [&](unsigned i) { return "t" + std::to_string(i % transitions); };
    for (int i = 0; i < places; ++i) place(P(rng()));
    for (int arc = 0; arc < places + transitions + 4; ++arc) {
      if (rng() % 2) in(P(rng()), T(rng()));
      else out(T(rng()), P(rng()));
    }
    // Now and then a replaced poset: its first transitions keep the place as an input.
    if (rng() % 3 == 0) branches(P(rng()), {{T(rng()), 1.0}});
    // Now and then a place lists a transition that does not have it as an input.
    for (int extra = rng() % 3; extra > 0; --extra) {
      Place* p = place(P(rng()));
      Trans* t = trans(T(rng()));
      if (!findTransOnList(p->poset, t)) p->poset.pushFront(TransNode{1.0, t});
    }
    for (int i = 0; i < places; ++i)
      if (rng() % 2) mark(P(i));
    prepareFiring(gNet);
    updateEnabledList();
    for (int step = 0; step < 30; ++step) {
      std::vector<Trans*> before = enabledList();
      std::vector<Trans*> fireable;
      for (Trans* t : before)
        if (safeToFire(t)) fireable.push_back(t);
      if (fireable.empty()) break;
      Trans* t = fireable[rng() % fireable.size()];
      std::vector<Trans*> expected = before;
      for (const Place* p : t->preset)
        for (const TransNode& node : p->poset) std::erase(expected, node.trans);
      instance(gNet, gUnfoldNet, t);
      std::vector<Trans*> appended = rescanAppends(expected);
      expected.insert(expected.end(), appended.begin(), appended.end());
      ASSERT_EQ(enabledList(), expected) << "round " << round << " step " << step;
      for (Trans* u : expected) ASSERT_EQ(u->enabled, 1);
      ASSERT_EQ(gNet->numEnabled, static_cast<int>(expected.size()));
    }
  }
}

}  // namespace
