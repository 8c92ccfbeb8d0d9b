// The net model: lookups, arcs, initial marking and the grammar's list helper.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/globals.h"
#include "spec/read.h"
#include "spec/util.h"

namespace {

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
  void SetUp() override { Init(); }
  Net* net() { return gNet; }
};

TEST_F(NetModel, LookupsCreateOnceNewestFirstInSeparateNameSpaces) {
  Place* a = MustGetPlace(net(), "a");
  Place* b = MustGetPlace(net(), "b");
  EXPECT_EQ(MustGetPlace(net(), "a"), a);
  Trans* ta = MustGetTrans(net(), "a");
  Trans* tc = MustGetTrans(net(), "c");
  EXPECT_EQ(MustGetTrans(net(), "a"), ta);
  EXPECT_NE(static_cast<void*>(ta), static_cast<void*>(a));
  EXPECT_EQ(MustGetPlace(net(), "A"), MustGetPlace(net(), "A"));  // case-sensitive, created once

  EXPECT_EQ(net()->numPlaces, 3);
  EXPECT_EQ(net()->numTrans, 2);
  EXPECT_EQ(names(net()->placeList), (std::vector<std::string>{"A", "b", "a"}));
  EXPECT_EQ(names(net()->transList), (std::vector<std::string>{"c", "a"}));
  EXPECT_EQ(b->initMarked, 0);
  EXPECT_EQ(tc->occurrences, 0);
}

TEST_F(NetModel, ArcsAreRecordedOnceOnBothSidesNewestFirst) {
  Trans* t = MustGetTrans(net(), "t");
  Trans* u = MustGetTrans(net(), "u");
  Place* p = MustGetPlace(net(), "p");
  Place* q = MustGetPlace(net(), "q");
  setInputPlace(t, p);
  setInputPlace(t, q);
  setInputPlace(t, p);
  setInputPlace(u, p);
  setOutputPlace(t, q);
  setOutputPlace(t, q);

  EXPECT_EQ(names(t->preset), (std::vector<std::string>{"q", "p"}));
  EXPECT_EQ(names(p->poset), (std::vector<std::string>{"u", "t"}));
  EXPECT_EQ(names(t->poset), (std::vector<std::string>{"q"}));
  EXPECT_EQ(names(q->preset), (std::vector<std::string>{"t"}));
  for (const TransNode& node : p->poset) EXPECT_EQ(node.prob, 0.0);
}

TEST_F(NetModel, ReplacedListKeepsTheFirstListsArcsOnTheTransitionSide) {
  Trans* a = MustGetTrans(net(), "a");
  Trans* b = MustGetTrans(net(), "b");
  Place* p = MustGetPlace(net(), "p");
  replacePlacePoset(p, {TransNode{0.25, a}});
  replacePlacePoset(p, {TransNode{1.0, b}, TransNode{0.5, a}});
  EXPECT_EQ(names(p->poset), (std::vector<std::string>{"b", "a"}));
  EXPECT_EQ(p->poset.front().prob, 1.0);
  EXPECT_EQ(names(a->preset), (std::vector<std::string>{"p"}));
  EXPECT_EQ(names(b->preset), (std::vector<std::string>{"p"}));
}

TEST_F(NetModel, MarkInitPlaceIgnoresNonPositiveCountsAndRepeatsOtherwise) {
  Place* p = MustGetPlace(net(), "p");
  Place* q = MustGetPlace(net(), "q");
  markInitPlace(net(), p, 0);
  markInitPlace(net(), p, -3);
  EXPECT_EQ(p->initMarked, 0);
  EXPECT_TRUE(net()->initMarking.empty());

  markInitPlace(net(), p, 1);
  markInitPlace(net(), q, 2);
  markInitPlace(net(), p, 1);
  EXPECT_EQ(p->tokens, 2);
  EXPECT_EQ(q->tokens, 2);
  EXPECT_EQ(p->initMarked, 1);
  EXPECT_EQ(names(net()->initMarking), (std::vector<std::string>{"p", "q", "p"}));
}

TEST_F(NetModel, AppendTransListKeepsFileOrderAndWarnsOnRepeats) {
  Trans* a = MustGetTrans(net(), "a");
  Trans* b = MustGetTrans(net(), "b");
  TransIdList list;
  testing::internal::CaptureStderr();
  AppendTransListIfNotFound(list, TransNode{1.0, b});
  AppendTransListIfNotFound(list, TransNode{0.5, a});
  AppendTransListIfNotFound(list, TransNode{0.7, b});
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "WARNING : Transition b duplicates on list.\n");
  ASSERT_EQ(list.nodes.size(), 2u);
  EXPECT_EQ(list.nodes[0].trans, b);
  EXPECT_EQ(list.nodes[0].prob, 1.0);  // the first occurrence's probability stays
  EXPECT_EQ(list.nodes[1].trans, a);
}

TEST_F(NetModel, ModelChangesAdvanceTheRevision) {
  unsigned before = modelRevision();
  MustGetPlace(net(), "p");
  EXPECT_GT(modelRevision(), before);
  before = modelRevision();
  MustGetPlace(net(), "p");
  EXPECT_EQ(modelRevision(), before);
}

}  // namespace
