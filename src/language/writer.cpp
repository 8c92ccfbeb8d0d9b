#include "language/writer.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <queue>

#include "base/format.h"
#include "base/texts.h"
#include "delay/delay.h"
#include "net/build.h"
#include "net/target.h"
#include "zelbo/error.h"

namespace zelbo {

namespace {

[[noreturn]] void cannotWrite(const std::string& why) {
  throw Error(Error::Kind::model, formatted(text::kCannotWrite, why.c_str()));
}

template <class List>
std::vector<int> placeIds(const List& list) {
  std::vector<int> ids;
  for (const Place* p : list) ids.push_back(p->id);
  return ids;
}

// The constraints on the order of the place statements. A statement pushes its place onto
// the lists of the transitions it names, so each transition's list, read from its oldest entry,
// orders the statements of its places: `after[i]` holds the places whose statements must
// follow place i's, `before[i]` counts those that must precede it.
struct StatementGraph {
  std::vector<std::vector<int>> after;
  std::vector<int> before;
};

StatementGraph statementGraph(const Net& net) {
  StatementGraph g{std::vector<std::vector<int>>(net.numPlaces), std::vector<int>(net.numPlaces, 0)};
  for (const Trans* t : net.transById) {
    for (const PlaceList* list : {&t->preset, &t->poset}) {
      const std::vector<int> ids = placeIds(*list);  // newest first
      for (std::size_t j = 1; j < ids.size(); ++j) {
        g.after[ids[j]].push_back(ids[j - 1]);
        ++g.before[ids[j - 1]];
      }
    }
  }
  return g;
}

std::vector<TransRef> refs(const TransList& list) {
  std::vector<TransRef> out;
  for (const TransNode& node : list) out.push_back(TransRef{node.trans->name, node.prob});
  return out;
}

// What one place's statement holds before its clauses are put in order.
struct PlacePlan {
  const Place* place = nullptr;
  // Arcs that only the transitions' lists hold (a clause replaced by a later one in the same
  // statement leaves them): written as a clause that the real one then replaces.
  std::vector<TransRef> extraPreset, preset, extraPoset, poset;
  std::vector<int> marks;  // the tokens of each ".mark" clause
  bool hasClauses() const { return !preset.empty() || !poset.empty() || !marks.empty(); }
};

// For each place, the transitions whose lists hold its arcs: with `poset`, those that take
// from it (it is on their preset); else those that put into it.
void collectSides(const Net& net, std::vector<std::vector<const Trans*>>& sideOf, bool poset) {
  for (const Trans* t : net.transById)
    for (const Place* p : poset ? t->preset : t->poset) sideOf[p->id].push_back(t);
}

// The transitions of `side` that are not on the place's own list `own`.
std::vector<TransRef> extras(const std::vector<const Trans*>& side, const TransList& own,
                             std::vector<unsigned>& stamp, unsigned mark) {
  std::vector<TransRef> out;
  if (own.empty()) return out;  // an empty clause cannot be written; the check will tell
  for (const TransNode& node : own) stamp[node.trans->id] = mark;
  for (const Trans* t : side)
    if (stamp[t->id] != mark) out.push_back(TransRef{t->name, 1.0});
  return out;
}

// Hands out the tokens of a place's ".mark" clauses: 1 each, the rest in the last.
class MarkSplitter {
 public:
  explicit MarkSplitter(const Net& net) : left_(net.numPlaces, 0), total_(net.numPlaces, 0) {
    for (const Place* p : net.initMarking) ++total_[p->id];
    left_ = total_;
  }
  int entries(const Place* p) const { return left_[p->id]; }
  int next(const Place* p) {
    if (--left_[p->id] > 0) return 1;
    const std::int64_t earlier = total_[p->id] - 1;
    const std::int64_t last = static_cast<std::int64_t>(p->initTokens) - earlier;
    if (last < 1 || last > INT32_MAX)
      cannotWrite(formatted(text::kWriteMarkingEntries, p->name.c_str(), p->initTokens, total_[p->id]));
    return static_cast<int>(last);
  }

 private:
  std::vector<int> left_;
  std::vector<int> total_;
};

// Gives out the transitions' creation in the net's order: each statement must create the
// transitions it names for the first time in exactly that order.
class Creation {
 public:
  explicit Creation(const Net& net) : net_(net), created_(net.numTrans, 0), fresh_(net.numTrans, 0) {}

  bool fits(const std::vector<const std::vector<TransRef>*>& lists) const {
    int next = next_;
    ++stamp_;
    for (const auto* list : lists)
      for (const TransRef& ref : *list) {
        const Trans* t = net_.transByName.find(ref.name);
        if (created_[t->id] || fresh_[t->id] == stamp_) continue;
        if (t->id != next) return false;
        fresh_[t->id] = stamp_;
        ++next;
      }
    return true;
  }
  void commit(const std::vector<const std::vector<TransRef>*>& lists) {
    for (const auto* list : lists)
      for (const TransRef& ref : *list) {
        const Trans* t = net_.transByName.find(ref.name);
        if (!created_[t->id]) {
          created_[t->id] = 1;
          ++next_;
        }
      }
  }
  const Trans* firstMissing() const { return next_ < net_.numTrans ? net_.transById[next_] : nullptr; }

 private:
  const Net& net_;
  std::vector<char> created_;
  int next_ = 0;
  mutable std::vector<unsigned> fresh_;  // stamped with the check that met the transition
  mutable unsigned stamp_ = 0;
};

Statement placeStatement(const PlacePlan& plan, bool posetFirst) {
  Statement s;
  s.kind = Statement::Kind::place;
  s.name = plan.place->name;
  auto add = [&](Clause::Kind kind, const std::vector<TransRef>& list) {
    if (list.empty()) return;
    Clause c;
    c.kind = kind;
    c.transitions = list;
    s.clauses.push_back(std::move(c));
  };
  auto presets = [&] {
    add(Clause::Kind::preset, plan.extraPreset);
    add(Clause::Kind::preset, plan.preset);
  };
  auto posets = [&] {
    add(Clause::Kind::poset, plan.extraPoset);
    add(Clause::Kind::poset, plan.poset);
  };
  if (posetFirst) {
    posets();
    presets();
  } else {
    presets();
    posets();
  }
  for (const int tokens : plan.marks) {
    Clause c;
    c.kind = Clause::Kind::mark;
    c.tokens = tokens;
    s.clauses.push_back(std::move(c));
  }
  return s;
}

std::vector<const std::vector<TransRef>*> mentions(const PlacePlan& plan, bool posetFirst) {
  if (posetFirst) return {&plan.extraPoset, &plan.poset, &plan.extraPreset, &plan.preset};
  return {&plan.extraPreset, &plan.preset, &plan.extraPoset, &plan.poset};
}

}  // namespace

std::vector<Statement> modelStatements(const Net& net) {
  if (net.name.empty()) cannotWrite(text::kWriteNoName);
  if (!isWritableName(net.name)) cannotWrite(formatted(text::kWriteBadModelName, net.name.c_str()));
  for (const Place* p : net.placeById)
    if (!isWritableName(p->name)) cannotWrite(formatted(text::kWriteBadPlaceName, p->name.c_str()));
  for (const Trans* t : net.transById)
    if (!isWritableName(t->name)) cannotWrite(formatted(text::kWriteBadTransitionName, t->name.c_str()));
  if (net.numPlaces == 0 && !net.target) cannotWrite(text::kWriteNoPlaces);

  // The clauses of each place statement.
  std::vector<PlacePlan> plans(net.numPlaces);
  {
    std::vector<std::vector<const Trans*>> presetSide(net.numPlaces), posetSide(net.numPlaces);
    collectSides(net, presetSide, false);
    collectSides(net, posetSide, true);
    std::vector<unsigned> stamp(net.numTrans, 0);
    unsigned mark = 0;
    for (const Place* p : net.placeById) {
      PlacePlan& plan = plans[p->id];
      plan.place = p;
      plan.preset = refs(p->preset);
      plan.poset = refs(p->poset);
      plan.extraPreset = extras(presetSide[p->id], p->preset, stamp, ++mark);
      plan.extraPoset = extras(posetSide[p->id], p->poset, stamp, ++mark);
    }
  }

  // The target statement, which goes where it creates its transitions in order.
  const bool withTarget = hasTarget(net);
  std::vector<TransRef> targetNames;
  Statement target;
  if (withTarget) {
    const AskedTarget asked = askedTarget(*net.target);
    target.kind = Statement::Kind::target;
    target.lowerBound = asked.lowerBound;
    target.source = asked.source->name;
    target.destination = asked.destination->name;
    target.separation = asked.separation;
    targetNames = {TransRef{target.source, 1.0}, TransRef{target.destination, 1.0}};
  }

  // The order of the place statements, one at a time: of the places whose predecessors are
  // written, the first by number whose statement creates its new transitions in the model's
  // order (with its clauses in one order or the other) and, while it can, keeps the initial
  // marking in the order the statements' ".mark" clauses give.
  std::vector<const Place*> markOrder;  // the marking's entries, oldest first
  for (const Place* p : net.initMarking) markOrder.insert(markOrder.begin(), p);
  MarkSplitter splitter(net);
  std::size_t markAt = 0;
  bool marksInPlace = true;
  auto keepsMarks = [&](const Place* p) {
    const int entries = splitter.entries(p);
    if (!marksInPlace || entries == 0) return true;
    for (int k = 0; k < entries; ++k)
      if (markAt + k >= markOrder.size() || markOrder[markAt + k] != p) return false;
    return true;
  };
  StatementGraph graph = statementGraph(net);
  std::priority_queue<int, std::vector<int>, std::greater<int>> ready;
  for (int i = 0; i < net.numPlaces; ++i)
    if (graph.before[i] == 0) ready.push(i);
  Creation creation(net);
  std::vector<const Place*> order;
  std::vector<char> posetFirst(net.numPlaces, 0);
  std::size_t targetAt = withTarget ? SIZE_MAX : 0;  // the place statement the target precedes
  std::vector<int> passed;
  while (static_cast<int>(order.size()) < net.numPlaces) {
    if (ready.empty()) cannotWrite(text::kWriteListOrders);
    int chosen = -1, fallback = -1;
    bool chosenPosetFirst = false, fallbackPosetFirst = false;
    passed.clear();
    while (!ready.empty() && chosen < 0) {
      const int i = ready.top();
      ready.pop();
      passed.push_back(i);
      for (const bool pf : {false, true}) {
        if (!creation.fits(mentions(plans[i], pf))) continue;
        if (fallback < 0) fallback = i, fallbackPosetFirst = pf;
        if (keepsMarks(net.placeById[i])) chosen = i, chosenPosetFirst = pf;
        break;
      }
    }
    if (chosen < 0) chosen = fallback, chosenPosetFirst = fallbackPosetFirst;
    for (const int i : passed)
      if (i != chosen) ready.push(i);
    if (chosen < 0) {
      if (targetAt == SIZE_MAX && creation.fits({&targetNames})) {
        creation.commit({&targetNames});
        targetAt = order.size();
        continue;
      }
      cannotWrite(text::kWriteCreationOrder);
    }
    const Place* p = net.placeById[chosen];
    creation.commit(mentions(plans[chosen], chosenPosetFirst));
    posetFirst[chosen] = chosenPosetFirst;
    order.push_back(p);
    if (!keepsMarks(p)) marksInPlace = false;
    else if (marksInPlace) markAt += splitter.entries(p);
    for (const int j : graph.after[chosen])
      if (--graph.before[j] == 0) ready.push(j);
  }
  if (targetAt == SIZE_MAX) {
    if (!creation.fits({&targetNames}))
      cannotWrite(text::kWriteCreationOrderAtTarget);
    creation.commit({&targetNames});
    targetAt = order.size();
  }
  if (const Trans* missing = creation.firstMissing())
    cannotWrite(formatted(text::kWriteLoneTransition, missing->name.c_str()));

  // The marking: in the place statements when their order gives it, else in bare statements
  // before them (a place takes ".mark" clauses in statements before the one with its arcs).
  std::vector<Statement> statements;
  std::vector<const Place*> mentioned;  // the place each statement names, in order
  if (marksInPlace) {
    for (const Place* p : order)
      while (splitter.entries(p) > 0) plans[p->id].marks.push_back(splitter.next(p));
  } else {
    for (std::size_t i = 0; i < markOrder.size();) {
      const Place* p = markOrder[i];
      Statement s;
      s.kind = Statement::Kind::place;
      s.name = p->name;
      for (; i < markOrder.size() && markOrder[i] == p; ++i) {
        Clause c;
        c.kind = Clause::Kind::mark;
        c.tokens = splitter.next(p);
        s.clauses.push_back(std::move(c));
      }
      statements.push_back(std::move(s));
      mentioned.push_back(p);
    }
  }

  // Places are created where they are first named: when the statements would create them in
  // another order, bare statements create them all first.
  bool bareFirst = false;
  {
    std::vector<char> seen(net.numPlaces, 0);
    int next = 0;
    auto see = [&](const Place* p) {
      if (seen[p->id]) return;
      seen[p->id] = 1;
      if (p->id != next) bareFirst = true;
      ++next;
    };
    for (const Place* p : mentioned) see(p);
    for (const Place* p : order) see(p);
  }
  if (bareFirst) {
    std::vector<Statement> bare(net.numPlaces);
    for (const Place* p : net.placeById) {
      bare[p->id].kind = Statement::Kind::place;
      bare[p->id].name = p->name;
    }
    statements.insert(statements.begin(), std::make_move_iterator(bare.begin()), std::make_move_iterator(bare.end()));
  }
  for (std::size_t k = 0; k <= order.size(); ++k) {
    if (k == targetAt && withTarget && k < order.size()) statements.push_back(target);
    if (k == order.size()) break;
    const PlacePlan& plan = plans[order[k]->id];
    if (bareFirst && !plan.hasClauses()) continue;
    statements.push_back(placeStatement(plan, posetFirst[order[k]->id]));
  }
  for (const Place* p : net.placeById) {
    if (!p->delaySpec) continue;
    if (delayText(*p->delaySpec).empty())
      cannotWrite(formatted(text::kWriteUnknownDelay, p->name.c_str(), codeOf(p->delaySpec->type)));
    Statement s;
    s.kind = Statement::Kind::delay;
    s.name = p->name;
    s.delay = p->delaySpec;
    statements.push_back(std::move(s));
  }
  if (withTarget && targetAt == order.size()) statements.push_back(target);
  return statements;
}

std::string writeModelText(const Net& net, std::string_view header) {
  const std::vector<Statement> statements = modelStatements(net);
  Net copy;
  applyStatements(copy, net.name, statements);
  const std::string difference = modelDifference(net, copy);
  if (!difference.empty()) cannotWrite(difference);
  return printStatements(net.name, statements, header);
}

namespace {

bool sameProbs(const TransList& a, const TransList& b) {
  if (a.size() != b.size()) return false;
  auto j = b.begin();
  for (const TransNode& node : a) {
    if (node.trans->id != j->trans->id || node.prob != j->prob) return false;
    ++j;
  }
  return true;
}

bool sameDelay(const DelaySpec* a, const DelaySpec* b) {
  if (!a || !b) return a == b;
  return a->type == b->type && a->location == b->location && a->scale == b->scale && a->lambda == b->lambda &&
         a->prob == b->prob && a->count == b->count && a->alpha == b->alpha && a->beta == b->beta &&
         a->probs == b->probs;
}

template <class List>
std::vector<int> transIds(const List& list) {
  std::vector<int> ids;
  for (const Trans* t : list) ids.push_back(t->id);
  return ids;
}

}  // namespace

std::string modelDifference(const Net& a, const Net& b) {
  if (a.name != b.name) return formatted(text::kDifferentName, b.name.c_str(), a.name.c_str());
  if (a.numPlaces != b.numPlaces) return formatted(text::kDifferentPlaceCount, b.numPlaces, a.numPlaces);
  if (a.numTrans != b.numTrans) return formatted(text::kDifferentTransitionCount, b.numTrans, a.numTrans);
  for (int i = 0; i < a.numPlaces; ++i)
    if (a.placeById[i]->name != b.placeById[i]->name)
      return formatted(text::kPlaceOutOfOrder, a.placeById[i]->name.c_str());
  for (int i = 0; i < a.numTrans; ++i)
    if (a.transById[i]->name != b.transById[i]->name)
      return formatted(text::kTransitionOutOfOrder, a.transById[i]->name.c_str());
  for (int i = 0; i < a.numPlaces; ++i) {
    const Place* p = a.placeById[i];
    const Place* q = b.placeById[i];
    if (!sameProbs(p->preset, q->preset)) return formatted(text::kDifferentPlacePreset, p->name.c_str());
    if (!sameProbs(p->poset, q->poset)) return formatted(text::kDifferentPlacePoset, p->name.c_str());
    if (p->initTokens != q->initTokens || p->initMarked != q->initMarked)
      return formatted(text::kDifferentTokens, p->name.c_str());
    if (p->delayType != q->delayType || !sameDelay(p->delaySpec, q->delaySpec))
      return formatted(text::kDifferentDelay, p->name.c_str());
  }
  for (int i = 0; i < a.numTrans; ++i) {
    const Trans* t = a.transById[i];
    const Trans* u = b.transById[i];
    if (placeIds(t->preset) != placeIds(u->preset)) return formatted(text::kDifferentTransitionPreset, t->name.c_str());
    if (placeIds(t->poset) != placeIds(u->poset)) return formatted(text::kDifferentTransitionPoset, t->name.c_str());
  }
  if (placeIds(a.initMarking) != placeIds(b.initMarking)) return text::kDifferentMarkingOrder;
  if (transIds(a.transList) != transIds(b.transList)) return text::kDifferentTransitionOrder;
  if (placeIds(a.placeList) != placeIds(b.placeList)) return text::kDifferentPlaceOrder;
  const TargetPair* s = a.target;
  const TargetPair* t = b.target;
  if (!s || !t) {
    if (s != t) return s ? text::kTargetMissing : text::kTargetExtra;
  } else if (!s->source || !s->destination || !t->source || !t->destination ||
             s->source->id != t->source->id || s->destination->id != t->destination->id ||
             s->separation != t->separation || s->lowerBound != t->lowerBound) {
    return text::kTargetDifferent;
  }
  return {};
}

}  // namespace zelbo
