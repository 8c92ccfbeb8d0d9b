#include "unfold/firing.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "base/format.h"
#include "base/texts.h"
#include "base/wrap.h"
#include "net/firing_index.h"
#include "unfold/choice.h"
#include "zelbo/error.h"

// The enabled list is linked through the transitions' states, in both directions, so that
// removing a transition costs O(1); the high-priority transitions are linked a second time,
// in the same order, so that the next one to fire is found without walking past the
// low-priority ones.

namespace zelbo {

namespace {

using TransId = std::int32_t;
using PlaceId = std::int32_t;

// The arrays that the list and the firings read and write, taken once as plain pointers:
// the compiler then keeps them in registers instead of reloading each vector's start after
// every store. The arrays do not grow during a run (the graph's do, and are reached through
// `graph`).
struct View {
  explicit View(Unfolder& u)
      : u(u),
        s(u.state),
        graph(u.graph),
        f(u.firing),
        ids(u.net.firing.ids.data()),
        transIx(u.net.firing.trans.data()),
        placeIx(u.net.firing.places.data()),
        slots(u.net.firing.slots.data()),
        places(u.state.places.data()),
        trans(u.state.trans.data()),
        links(u.state.enabledLinks.data()),
        high(u.state.highLinks.data()) {}

  Unfolder& u;
  RunState& s;
  UnfoldedGraph& graph;
  FiringScratch& f;
  const std::int32_t* ids;
  const FiringIndex::TransEntry* transIx;
  const FiringIndex::PlaceEntry* placeIx;
  const FiringIndex::Slot* slots;
  PlaceState* places;
  TransState* trans;
  ListLinks* links;
  ListLinks* high;
};

// The steps of a firing, inlined into it.
#define ZELBO_HOT [[gnu::always_inline]] inline

ZELBO_HOT bool onEnabledList(const View& v, TransId t) {
  if (v.s.positions.active) return v.trans[t].slot >= 0;
  return v.s.enabledHead == t || v.links[t].prev != kNoTrans;
}
ZELBO_HOT bool onHighList(const View& v, TransId t) { return v.s.highHead == t || v.high[t].prev != kNoTrans; }

// A list linked through `links` by transition number: appends at the tail, takes out anywhere.
ZELBO_HOT void linkAtTail(ListLinks* links, std::int32_t& head, std::int32_t& tail, TransId t) {
  const std::int32_t last = tail;
  links[t] = {last, kNoTrans};
  if (last != kNoTrans) links[last].next = t;
  else head = t;
  tail = t;
}

ZELBO_HOT void unlink(ListLinks* links, std::int32_t& head, std::int32_t& tail, TransId t) {
  const ListLinks l = links[t];
  if (l.prev != kNoTrans) links[l.prev].next = l.next;
  else head = l.next;
  if (l.next != kNoTrans) links[l.next].prev = l.prev;
  else tail = l.prev;
  links[t] = {kNoTrans, kNoTrans};
}

ZELBO_HOT bool allInputsMarked(const View& v, TransId t) {
  const FiringIndex::TransEntry& e = v.transIx[t];
  for (const PlaceId* p = v.ids + e.preset, *end = v.ids + e.presetEnd; p != end; ++p)
    if (v.places[*p].tokens <= 0) return false;
  return true;
}

// The marking summary and the transitions' counts of marked inputs follow every change of a
// place between holding no token and holding some.
// kCounted false: the caller knows that no transition counts the marked inputs at `p`.
template <bool kCounted = true>
ZELBO_HOT void markingChanged(View& v, PlaceId p, int markedChange) {
  const PlaceState& ps = v.places[p];
  if (ps.initMarked) v.s.emptyInitPlaces -= markedChange;
  else v.s.strayMarkedPlaces += markedChange;
  if (!kCounted || ps.countedBy == kNoTrans) return;
  if (ps.countedBy >= 0) {
    v.trans[ps.countedBy].markedInputs += markedChange;
  } else {
    const FiringIndex::PlaceEntry& e = v.placeIx[p];
    for (const TransId* t = v.ids + e.consumers, *end = v.ids + e.countedEnd; t != end; ++t)
      v.trans[*t].markedInputs += markedChange;
  }
}

ZELBO_HOT void changeTokens(View& v, PlaceId p, int delta) {
  PlaceState& ps = v.places[p];
  const int before = ps.tokens;
  const int after = wrapAdd(before, delta);
  ps.tokens = after;
  const int markedChange = (after > 0) - (before > 0);
  if (markedChange != 0) markingChanged(v, p, markedChange);
}

// Calls f on each place of a transition's list [begin, end) of the index's numbers, in list
// order, asking for the places' records a few places ahead: a transition with thousands of
// inputs or outputs would otherwise wait on each of them.
template <class F>
ZELBO_HOT void forEachPlace(const View& v, std::uint32_t begin, std::uint32_t end, F&& f) {
  constexpr std::ptrdiff_t kAhead = 8;
  const PlaceId* first = v.ids + begin;
  const PlaceId* last = v.ids + end;
  for (const PlaceId* p = first; p != last; ++p) {
    if (last - p > kAhead) {
      __builtin_prefetch(&v.places[p[kAhead]]);
      __builtin_prefetch(&v.placeIx[p[kAhead]]);
    }
    f(*p);
  }
}

[[noreturn]] void notSafe() { failRunWith(text::kNotSafe); }
[[noreturn]] void negativeTokens() { failRunWith(text::kNegativeTokens); }

ZELBO_HOT bool inputsMarked(const View& v, TransId t) {
  const TransState& ts = v.trans[t];
  if (ts.soleInput >= 0) return v.places[ts.soleInput].tokens > 0;  // the most common
  const FiringIndex::TransEntry& e = v.transIx[t];
  return e.countsInputs ? ts.markedInputs == static_cast<int>(e.presetEnd - e.preset) : allInputsMarked(v, t);
}

// Where the full scan would append `t`: its first slot on the poset of a marked place.
ZELBO_HOT const FiringIndex::Slot* firstMarkedSlot(const View& v, TransId t) {
  const FiringIndex::TransEntry& e = v.transIx[t];
  for (const FiringIndex::Slot* slot = v.slots + e.slots, *end = v.slots + e.slotsEnd; slot != end; ++slot)
    if (v.places[slot->place].tokens > 0) return slot;
  return nullptr;
}

ZELBO_HOT void appendToList(View& v, TransId t) {
  RunState& s = v.s;
  if (!v.trans[t].lowPriority) {
    linkAtTail(v.high, s.highHead, s.highTail, t);
    if (s.highApart) return;
  } else {
    v.trans[t].appendOrder = ++s.appends;
    if (s.heapActive) rankForStageChoice(s, t);
  }
  ++s.numEnabled;
  if (s.positions.active) {
    positionAppended(s.positions, t, v.trans[t].slot);
    if (positionsSparse(s.positions, s.numEnabled)) renumberIfSparse(s);
  } else {
    linkAtTail(v.links, s.enabledHead, s.enabledTail, t);
  }
}

ZELBO_HOT void removeFromList(View& v, TransId t) {
  RunState& s = v.s;
  // Only a high-priority transition is ever on the sublist: its flag stands beside the state
  // that the removal changes, where the sublist's links of a large net would be a miss.
  const bool onHigh = !v.trans[t].lowPriority && onHighList(v, t);
  if (s.numEnabled == 0 && !onHigh)
    failRunWith(text::kDeleteFromEmptyList);
  if (onHigh) unlink(v.high, s.highHead, s.highTail, t);
  if (onEnabledList(v, t)) {
    if (s.positions.active) positionRemoved(s.positions, v.trans[t].slot);
    else unlink(v.links, s.enabledHead, s.enabledTail, t);
    --s.numEnabled;
  } else if (!onHigh) {
    failRunWith(text::kNotOnEnabledList);
  }
}

ZELBO_HOT void enable(View& v, TransId t) {
  appendToList(v, t);
  v.trans[t].enabled = 1;
}

// Newly enabled transitions are appended as they are found while they come in the scan's
// order, which is the common case (a transition's outputs tend to stand in place-list
// order); the first one out of order sends them all through a sort instead.
ZELBO_HOT void record(View& v, TransId t, const FiringIndex::Slot& slot) {
  FiringScratch& f = v.f;
  const Candidate found{slot.listPos, slot.index, t};
  f.inScanOrder = f.inScanOrder && (f.newlyEnabled.empty() || f.newlyEnabled.back() < found);
  f.newlyEnabled.push_back(found);
  if (f.inScanOrder) {
    enable(v, t);
    ++f.appendedEarly;
  }
}

// Looks at `t` once the firing's tokens are all in place: if the scan would append it now,
// records where.
ZELBO_HOT void examine(View& v, TransId t) {
  TransState& ts = v.trans[t];
  if (ts.candidateStamp == v.f.stamp) return;
  ts.candidateStamp = v.f.stamp;
  if (ts.enabled || !inputsMarked(v, t)) return;
  if (const FiringIndex::Slot* slot = firstMarkedSlot(v, t)) record(v, t, *slot);
}

// Looks at `t` as soon as an output place of the firing that leads to it is marked, saving a
// second walk over the outputs. Once all its inputs hold a token, all the places where it
// stands on a poset do (when they are inputs too, as the model reader makes them), so its
// place in the scan is final. Otherwise it is looked at again when a later output leads to
// it, or, standing on the poset of a place that is not its input, after the last output.
ZELBO_HOT void examineEarly(View& v, TransId t) {
  TransState& ts = v.trans[t];
  if (ts.candidateStamp == v.f.stamp) return;
  if (!v.transIx[t].slotsAreInputs) {
    ts.candidateStamp = v.f.stamp;
    v.f.deferred.push_back(t);
    return;
  }
  // What examine would do, without asking twice whether the inputs are marked.
  if (ts.enabled) {
    ts.candidateStamp = v.f.stamp;
    return;
  }
  if (!inputsMarked(v, t)) return;
  ts.candidateStamp = v.f.stamp;
  if (const FiringIndex::Slot* slot = firstMarkedSlot(v, t)) record(v, t, *slot);
}

void startExamining(FiringScratch& f) {
  f.newlyEnabled.clear();
  f.deferred.clear();
  f.appendedEarly = 0;
  f.inScanOrder = true;
}

// The firing's appends came out of the scan's order: they go again, sorted.
void appendInScanOrder(View& v) {
  FiringScratch& f = v.f;
  for (std::size_t i = 0; i < f.appendedEarly; ++i) {
    removeFromList(v, f.newlyEnabled[i].trans);
    v.trans[f.newlyEnabled[i].trans].enabled = 0;
  }
  std::sort(f.newlyEnabled.begin(), f.newlyEnabled.end());
  for (const Candidate& c : f.newlyEnabled) enable(v, c.trans);
}

// Appends what the full scan of updateEnabledList would append after the firing, looking only
// at the transitions whose enabling can have changed: those the firing took off the list, and
// those that read or list an output place of the fired transition (examined as the outputs
// were marked). Any other transition that is enabled now was enabled, and flagged, before.
ZELBO_HOT void finishExamining(View& v) {
  FiringScratch& f = v.f;
  for (const TransId t : f.removed) examine(v, t);
  for (const TransId t : f.deferred) {
    v.trans[t].candidateStamp = f.stamp - 1;
    examine(v, t);
  }
  if (!f.inScanOrder) appendInScanOrder(v);
}

// The firing's candidates come in the scan's order already: those now enabled are appended as
// they come. The ones it took off the list are among them when they can be enabled again.
ZELBO_HOT void appendFixedCandidates(View& v, const FiringIndex::TransEntry& entry) {
  for (const TransId* k = v.ids + entry.candidates, *end = v.ids + entry.candidatesEnd; k != end; ++k) {
    const TransId t = *k;
    if (!v.trans[t].enabled && inputsMarked(v, t)) enable(v, t);
  }
}

void traceFiring(const Unfolder& u, const Trans* trans, int index) {
  fprintf(u.settings.diagnostics, text::kFiringTrace, u.segmentNumber,
          trans->name.c_str(), index);
}

// The condition of the token just put in `p` by event `id`.
ZELBO_HOT void newCondition(View& v, PlaceState& ps, PlaceId p, EventId id) {
  ps.lastCond = static_cast<CondId>(v.graph.conds.size());
  // Filled in place: a record built aside and copied in is read back in wide loads before
  // its narrow stores have landed, which stalls every firing.
  Cond& cond = v.graph.conds.emplace_back();
  cond.place = p;
  cond.producer = id;
  v.graph.delayDraws += ps.delayDraws;
}

// A token count that a 1-safe net never has where a firing takes or puts one: the general
// steps, which end in the fatal error of that count. Out of line, and given the unfolder
// rather than the view, so that the firing keeps its view in registers.
[[gnu::noinline]] CondId consumeFromAnyCount(Unfolder& u, PlaceId p, EventId id) {
  View v(u);
  PlaceState& ps = v.places[p];
  // A place without a token has no condition to give; its count stops the run below.
  const CondId c = ps.tokens > 0 ? ps.lastCond : kNone;
  if (c != kNone) v.graph.conds[c].consumer = id;
  changeTokens(v, p, -1);
  if (ps.tokens > 0) notSafe();
  if (ps.tokens < 0) negativeTokens();
  return c;
}

[[gnu::noinline]] void produceOnAnyCount(Unfolder& u, PlaceId p, EventId id) {
  View v(u);
  changeTokens(v, p, +1);
  PlaceState& ps = v.places[p];
  if (ps.tokens > 1) notSafe();
  if (ps.tokens <= 0) negativeTokens();
  newCondition(v, ps, p, id);
}

// The token of `p` goes to the firing event `id`: its condition, if it has one.
template <bool kCounted = true>
ZELBO_HOT CondId consumeToken(View& v, PlaceId p, EventId id) {
  PlaceState& ps = v.places[p];
  if (ps.tokens != 1) [[unlikely]] return consumeFromAnyCount(v.u, p, id);
  const CondId c = ps.lastCond;
  if (c != kNone) v.graph.conds[c].consumer = id;
  ps.tokens = 0;
  markingChanged<kCounted>(v, p, -1);
  return c;
}

template <bool kCounted = true>
ZELBO_HOT void produceToken(View& v, PlaceId p, EventId id) {
  PlaceState& ps = v.places[p];
  if (ps.tokens != 0) [[unlikely]] return produceOnAnyCount(v.u, p, id);
  ps.tokens = 1;
  markingChanged<kCounted>(v, p, +1);
  newCondition(v, ps, p, id);
}

// The firing's event, with its occurrence index.
ZELBO_HOT EventId recordEvent(View& v, TransId trans) {
  UnfoldedGraph& graph = v.graph;
  TransState& ts = v.trans[trans];
  const EventId id = static_cast<EventId>(graph.events.size());
  Event& event = graph.events.emplace_back();  // in place, as a condition is
  event.trans = ts.model;
  event.index = ts.occurrences;
  event.inBegin = static_cast<std::uint32_t>(graph.inCondRefs.size());
  if (v.u.settings.verbose > 1) traceFiring(v.u, event.trans, ts.occurrences);
  if (ts.watchSlot >= 0) graph.watched[ts.watchSlot].push_back(id);
  ts.occurrences = wrapAdd(ts.occurrences, 1);
  return id;
}

// A plain firing (see FiringIndex::TransEntry): the steps of the general one, knowing that
// the fired transition is the only one its inputs take off the list. Made three times by the
// compiler: for one input and one output, the most common shape, without the loops and from
// the transition's state alone; with the loops; and for one input and one output, counting
// the marked inputs of the transitions at its places.
template <bool kOneToOne, bool kCounting = false>
ZELBO_HOT void firePlain(Unfolder& u, TransId trans) {
  View v(u);
  UnfoldedGraph& graph = v.graph;
  const std::uint32_t inBegin = static_cast<std::uint32_t>(graph.inCondRefs.size());
  const EventId id = recordEvent(v, trans);
  TransState& fired = v.trans[trans];
  const FiringIndex::TransEntry* entry = kOneToOne ? nullptr : &v.transIx[trans];
  const PlaceId* inputs = kOneToOne ? &fired.soleInput : v.ids + entry->preset;
  const PlaceId* inputsEnd = kOneToOne ? inputs + 1 : v.ids + entry->presetEnd;
  for (const PlaceId* p = inputs; p != inputsEnd; ++p) graph.inCondRefs.push_back(consumeToken<kCounting>(v, *p, id));
  if (!kOneToOne && inputsEnd - inputs > 1)
    std::reverse(graph.inCondRefs.begin() + inBegin, graph.inCondRefs.end());
  if (fired.enabled) {
    removeFromList(v, trans);
    fired.enabled = 0;
  }
  if constexpr (kOneToOne) {
    produceToken<kCounting>(v, fired.soleOutput, id);
    if (const TransId next = fired.soleCandidate; next >= 0) {
      if (!v.trans[next].enabled && (fired.candidateFollows || inputsMarked(v, next))) enable(v, next);
      return;
    }
    appendFixedCandidates(v, v.transIx[trans]);
  } else {
    for (const PlaceId* p = v.ids + entry->poset, *end = v.ids + entry->posetEnd; p != end; ++p)
      produceToken<kCounting>(v, *p, id);
    appendFixedCandidates(v, *entry);
  }
}

// Any other firing.
ZELBO_HOT void fireGeneral(Unfolder& u, TransId trans, const FiringIndex::TransEntry& entry) {
  View v(u);
  UnfoldedGraph& graph = u.graph;
  const int numIn = static_cast<int>(entry.presetEnd - entry.preset);
  const std::uint32_t inBegin = static_cast<std::uint32_t>(graph.inCondRefs.size());
  const EventId id = recordEvent(v, trans);

  // One walk over the inputs: each gives its token's condition, loses the token, and takes
  // its output transitions off the list (the fired one and those in conflict with it). The
  // steps of different places do not depend on each other, and a fatal count ends the run at
  // the same place and with the same message as separate walks would. The conditions come in
  // the preset's order and are turned round to list order after the walk.
  FiringScratch& f = u.firing;
  const bool fixed = entry.fixedCandidates;
  f.removed.clear();
  forEachPlace(v, entry.preset, entry.presetEnd, [&](PlaceId p) {
    graph.inCondRefs.push_back(consumeToken(v, p, id));
    const FiringIndex::PlaceEntry& place = v.placeIx[p];
    for (const TransId* k = v.ids + place.poset, *end = v.ids + place.posetEnd; k != end; ++k) {
      const TransId t = *k;
      TransState& other = v.trans[t];
      if (!other.enabled) continue;
      removeFromList(v, t);
      other.enabled = 0;
      if (!fixed) f.removed.push_back(t);
    }
  });
  if (numIn > 1) std::reverse(graph.inCondRefs.begin() + inBegin, graph.inCondRefs.end());

  if (fixed) {
    forEachPlace(v, entry.poset, entry.posetEnd, [&](PlaceId p) { produceToken(v, p, id); });
    appendFixedCandidates(v, entry);
    return;
  }
  ++f.stamp;
  startExamining(f);
  forEachPlace(v, entry.poset, entry.posetEnd, [&](PlaceId p) {
    produceToken(v, p, id);
    const FiringIndex::PlaceEntry& place = v.placeIx[p];
    for (const TransId* k = v.ids + place.poset, *end = v.ids + place.posetEnd; k != end; ++k) examineEarly(v, *k);
    for (const TransId* k = v.ids + place.consumers, *end = v.ids + place.consumersEnd; k != end; ++k)
      examineEarly(v, *k);
  });
  finishExamining(v);
}

}  // namespace

void initRunState(Unfolder& u) {
  RunState& s = u.state;
  s.places.assign(u.net.numPlaces, PlaceState{});
  s.trans.assign(u.net.numTrans, TransState{});
  for (const Place* p : u.net.placeById) {
    const FiringIndex::PlaceEntry& e = u.net.firing.places[p->id];
    s.at(p).initMarked = e.initMarked;
    const std::uint32_t counting = e.countedEnd - e.consumers;
    s.at(p).countedBy = counting == 0 ? kNoTrans : counting == 1 ? u.net.firing.ids[e.consumers] : kCountedBySeveral;
  }
  for (const Trans* t : u.net.transById) {
    const FiringIndex::TransEntry& e = u.net.firing.trans[t->id];
    TransState& ts = s.at(t);
    ts.model = e.trans;
    ts.lowPriority = e.lowPriority;
    ts.soleInput = e.presetEnd - e.preset == 1 ? u.net.firing.ids[e.preset] : -1;
    ts.soleOutput = e.posetEnd - e.poset == 1 ? u.net.firing.ids[e.poset] : -1;
    ts.soleCandidate = e.soleCandidate;
    ts.candidateFollows = e.candidateFollows;
    ts.choicePlace = e.choicePlace;
    ts.shape = e.plainOneToOne ? FiringShape::oneToOne
               : e.plain       ? FiringShape::plain
               : e.plainCounting ? FiringShape::counting
                                 : FiringShape::general;
  }
  s.enabledLinks.assign(u.net.numTrans, ListLinks{});
  s.highLinks.assign(u.net.numTrans, ListLinks{});
  for (const Place* p : u.net.placeById) s.at(p).tokens = p->initTokens;
  s.enabledHead = s.enabledTail = s.highHead = s.highTail = kNoTrans;
  s.numEnabled = 0;
  s.highApart = false;
  clearStageChoice(s);
  s.hugeScores = false;
  s.resetOnce = false;
  recountMarking(u);
}

void recountMarking(Unfolder& u) {
  RunState& s = u.state;
  s.emptyInitPlaces = 0;
  s.strayMarkedPlaces = 0;
  for (const Place* p : u.net.placeList) {
    if (p->initMarked) s.emptyInitPlaces += s.at(p).tokens <= 0;
    else s.strayMarkedPlaces += s.at(p).tokens > 0;
  }
  for (const Trans* t : u.net.transList) {
    int marked = 0;
    for (const Place* p : t->preset) marked += s.at(p).tokens > 0;
    s.at(t).markedInputs = marked;
  }
}

void setTokens(Unfolder& u, const Place* place, int tokens) { setTokens(u, place->id, tokens); }

void setTokens(Unfolder& u, std::int32_t place, int tokens) {
  View v(u);
  changeTokens(v, place, wrapAdd(tokens, wrapNeg(u.state.places[place].tokens)));
}

void appendToEnabledList(Unfolder& u, const Trans* trans) {
  View v(u);
  appendToList(v, trans->id);
}

void removeFromEnabledList(Unfolder& u, const Trans* trans) {
  View v(u);
  removeFromList(v, trans->id);
}

void updateEnabledList(Unfolder& u) {
  View v(u);
  for (const Place* p : u.net.placeList) {
    if (v.places[p->id].tokens <= 0) continue;
    for (const TransNode& node : p->poset) {
      const TransId t = node.trans->id;
      if (!v.trans[t].enabled && allInputsMarked(v, t)) enable(v, t);
    }
  }
}

void enableInitialTransitions(Unfolder& u) {
  const RunState& s = u.state;
  // The summary says which places hold a token exactly when the marking is the initial one,
  // and the scan depends on nothing else.
  const bool initialMarking = s.emptyInitPlaces == 0 && s.strayMarkedPlaces == 0 && s.numEnabled == 0;
  if (!initialMarking) {
    updateEnabledList(u);
    return;
  }
  View v(u);
  // A long list would be linked only to be numbered at the first draw.
  if (!u.state.positions.active && u.net.initiallyEnabled.size() > static_cast<std::size_t>(kLongList))
    startPositions(u.state);
  for (const Trans* t : u.net.initiallyEnabled) enable(v, t->id);
}

void fire(Unfolder& u, TransId trans) {
  switch (u.state.trans[trans].shape) {
    case FiringShape::oneToOne: firePlain<true>(u, trans); break;
    case FiringShape::plain: firePlain<false>(u, trans); break;
    case FiringShape::counting: firePlain<true, true>(u, trans); break;
    case FiringShape::general: fireGeneral(u, trans, u.net.firing.trans[trans]); break;
  }
}

void fireTransition(Unfolder& u, const Trans* trans) { fire(u, trans->id); }

std::string markingListing(const Unfolder& u) {
  std::string listing = text::kMarkingHeading;
  std::vector<const Place*> emptied;
  for (const Place* p : u.net.placeList) {
    if (u.state.at(p).tokens > 0)
      listing += formatted(text::kMarkedPlace, p->name.c_str(), p->initMarked ? text::kInitiallyMarked : "\n");
    else if (p->initMarked) emptied.push_back(p);
  }
  listing += text::kEmptiedHeading;
  for (const Place* p : emptied) listing += formatted(text::kEmptiedPlace, p->name.c_str());
  return listing;
}

void countEmptiedInitialPlaces(const Unfolder& u, int& count) {
  count = u.state.emptyInitPlaces;
  if (u.settings.verbose <= 1) return;
  fputs(markingListing(u).c_str(), u.settings.diagnostics);
}

}  // namespace zelbo
