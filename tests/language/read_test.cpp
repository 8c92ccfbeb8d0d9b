// The net model: lookups, arcs, initial marking and the grammar's list helper.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "language/transition_list.h"
#include "net/build.h"

namespace {

using namespace zelbo;

template <class List>
std::vector<std::string> names(const List& list) {
  std::vector<std::string> out;
  for (const auto& node : list) {
    if constexpr (std::is_same_v<std::decay_t<decltype(node)>, TransNode>)
      out.push_back(node.trans->name);
    else
      out.push_back(node->name);
  }
  return out;
}

class NetModel : public ::testing::Test {
 protected:
  Net* net() { return &net_; }
  Net net_;
};

TEST_F(NetModel, LookupsCreateOnceNewestFirstInSeparateNameSpaces) {
  Place* a = findOrAddPlace(net(), "a");
  Place* b = findOrAddPlace(net(), "b");
  EXPECT_EQ(findOrAddPlace(net(), "a"), a);
  Trans* ta = findOrAddTransition(net(), "a");
  Trans* tc = findOrAddTransition(net(), "c");
  EXPECT_EQ(findOrAddTransition(net(), "a"), ta);
  EXPECT_NE(static_cast<void*>(ta), static_cast<void*>(a));
  EXPECT_EQ(findOrAddPlace(net(), "A"), findOrAddPlace(net(), "A"));  // case-sensitive, created once

  EXPECT_EQ(net()->numPlaces, 3);
  EXPECT_EQ(net()->numTrans, 2);
  EXPECT_EQ(names(net()->placeList), (std::vector<std::string>{"A", "b", "a"}));
  EXPECT_EQ(names(net()->transList), (std::vector<std::string>{"c", "a"}));
  EXPECT_EQ(b->initMarked, 0);
  EXPECT_EQ(ta->id, 0);
  EXPECT_EQ(tc->id, 1);
  EXPECT_EQ(a->id, 0);
  EXPECT_EQ(b->id, 1);
  EXPECT_EQ(net()->placeById, (std::vector<Place*>{a, b, findOrAddPlace(net(), "A")}));
  EXPECT_EQ(net()->transById, (std::vector<Trans*>{ta, tc}));
}

TEST_F(NetModel, ArcsAreRecordedOnceOnBothSidesNewestFirst) {
  Trans* t = findOrAddTransition(net(), "t");
  Trans* u = findOrAddTransition(net(), "u");
  Place* p = findOrAddPlace(net(), "p");
  Place* q = findOrAddPlace(net(), "q");
  addInputArc(net(), t, p);
  addInputArc(net(), t, q);
  addInputArc(net(), t, p);
  addInputArc(net(), u, p);
  addOutputArc(net(), t, q);
  addOutputArc(net(), t, q);

  EXPECT_EQ(names(t->preset), (std::vector<std::string>{"q", "p"}));
  EXPECT_EQ(names(p->poset), (std::vector<std::string>{"u", "t"}));
  EXPECT_EQ(names(t->poset), (std::vector<std::string>{"q"}));
  EXPECT_EQ(names(q->preset), (std::vector<std::string>{"t"}));
  for (const TransNode& node : p->poset) EXPECT_EQ(node.prob, 0.0);
}

TEST_F(NetModel, ReplacedListKeepsTheFirstListsArcsOnTheTransitionSide) {
  Trans* a = findOrAddTransition(net(), "a");
  Trans* b = findOrAddTransition(net(), "b");
  Place* p = findOrAddPlace(net(), "p");
  replacePlacePoset(net(), p, {TransNode{0.25, a}});
  replacePlacePoset(net(), p, {TransNode{1.0, b}, TransNode{0.5, a}});
  EXPECT_EQ(names(p->poset), (std::vector<std::string>{"b", "a"}));
  EXPECT_EQ(p->poset.front().prob, 1.0);
  EXPECT_EQ(names(a->preset), (std::vector<std::string>{"p"}));
  EXPECT_EQ(names(b->preset), (std::vector<std::string>{"p"}));
}

TEST_F(NetModel, MarkInitPlaceIgnoresNonPositiveCountsAndRepeatsOtherwise) {
  Place* p = findOrAddPlace(net(), "p");
  Place* q = findOrAddPlace(net(), "q");
  markInitially(net(), p, 0);
  markInitially(net(), p, -3);
  EXPECT_EQ(p->initMarked, 0);
  EXPECT_TRUE(net()->initMarking.empty());

  markInitially(net(), p, 1);
  markInitially(net(), q, 2);
  markInitially(net(), p, 1);
  EXPECT_EQ(p->initTokens, 2);
  EXPECT_EQ(q->initTokens, 2);
  EXPECT_EQ(p->initMarked, 1);
  EXPECT_EQ(names(net()->initMarking), (std::vector<std::string>{"p", "q", "p"}));
}

TEST_F(NetModel, AppendTransListKeepsFileOrderAndWarnsOnRepeats) {
  Trans* a = findOrAddTransition(net(), "a");
  Trans* b = findOrAddTransition(net(), "b");
  TransIdList list;
  EXPECT_TRUE(appendUnlessListed(list, TransNode{1.0, b}));
  EXPECT_TRUE(appendUnlessListed(list, TransNode{0.5, a}));
  EXPECT_FALSE(appendUnlessListed(list, TransNode{0.7, b}));
  ASSERT_EQ(list.nodes.size(), 2u);
  EXPECT_EQ(list.nodes[0].trans, b);
  EXPECT_EQ(list.nodes[0].prob, 1.0);  // the first occurrence's probability stays
  EXPECT_EQ(list.nodes[1].trans, a);
}

// Every change of names, arcs or the initial marking counts a revision of its own net only,
// so that the firing information derived from the net can tell whether it is current.
TEST_F(NetModel, ModelChangesAdvanceTheRevision) {
  unsigned before = net()->revision;
  Place* p = findOrAddPlace(net(), "p");
  EXPECT_GT(net()->revision, before);
  before = net()->revision;
  findOrAddPlace(net(), "p");
  EXPECT_EQ(net()->revision, before);

  Net other;
  const unsigned otherBefore = other.revision;
  Trans* t = findOrAddTransition(net(), "t");
  addInputArc(net(), t, p);
  EXPECT_GT(net()->revision, before);
  EXPECT_EQ(other.revision, otherBefore);

  prepareFiring(*net());
  EXPECT_TRUE(firingPrepared(*net()));
  markInitially(net(), p, 1);
  EXPECT_FALSE(firingPrepared(*net()));
  prepareFiring(*net());
  EXPECT_TRUE(firingPrepared(*net()));
  EXPECT_EQ(net()->initiallyEnabled, (std::vector<Trans*>{t}));
}

}  // namespace
