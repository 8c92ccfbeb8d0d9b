#include "unfold/enabled.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "base/wrap.h"
#include "spec/read.h"
#include "unfold/choice.h"
#include "zelbo/error.h"

// The enabled list is linked through the transitions' states, in both directions, so that
// removing a transition costs O(1); the high-priority transitions are linked a second time,
// in the same order, so that the next one to fire is found without walking past the
// low-priority ones.

namespace zelbo {

namespace {

// The steps of a firing, inlined into it.
#define ZELBO_HOT [[gnu::always_inline]] inline

bool onEnabledList(const RunState& s, std::int32_t t) { return s.enabledHead == t || s.enabledLinks[t].prev != kNoTrans; }
bool onHighList(const RunState& s, std::int32_t t) { return s.highHead == t || s.highLinks[t].prev != kNoTrans; }

ZELBO_HOT void linkHigh(RunState& s, std::int32_t t) {
  ListLinks& ts = s.highLinks[t];
  ts.prev = s.highTail;
  ts.next = kNoTrans;
  if (s.highTail != kNoTrans) s.highLinks[s.highTail].next = t;
  else s.highHead = t;
  s.highTail = t;
}

ZELBO_HOT void unlinkHigh(RunState& s, std::int32_t t) {
  ListLinks& ts = s.highLinks[t];
  if (ts.prev != kNoTrans) s.highLinks[ts.prev].next = ts.next;
  else s.highHead = ts.next;
  if (ts.next != kNoTrans) s.highLinks[ts.next].prev = ts.prev;
  else s.highTail = ts.prev;
  ts.prev = ts.next = kNoTrans;
}

using TransId = std::int32_t;
using PlaceId = std::int32_t;

ZELBO_HOT bool allInputsMarked(const RunState& s, const FiringIndex& index, TransId t) {
  const FiringIndex::TransEntry& e = index.trans[t];
  for (std::uint32_t i = e.preset; i < e.presetEnd; ++i)
    if (s.places[index.ids[i]].tokens <= 0) return false;
  return true;
}

// The marking summary and the transitions' counts of marked inputs follow every change of a
// place between holding no token and holding some.
ZELBO_HOT void changeTokens(RunState& s, const FiringIndex& index, PlaceId p, int delta) {
  PlaceState& ps = s.places[p];
  const int before = ps.tokens;
  const int after = wrapAdd(before, delta);
  ps.tokens = after;
  const FiringIndex::PlaceEntry& e = index.places[p];
  if (e.initMarked) s.emptyInitPlaces += (after <= 0) - (before <= 0);
  else s.strayMarkedPlaces += (after > 0) - (before > 0);
  const int markedChange = (after > 0) - (before > 0);
  if (markedChange != 0)
    for (std::uint32_t i = e.consumers; i < e.countedEnd; ++i) s.trans[index.ids[i]].markedInputs += markedChange;
}

// Calls f on each place of a transition's list [begin, end) of `index.ids`, in list order,
// asking for the places' records a few places ahead: a transition with thousands of inputs
// or outputs would otherwise wait on each of them.
template <class F>
void forEachPlace(const RunState& s, const FiringIndex& index, std::uint32_t begin, std::uint32_t end, F&& f) {
  constexpr std::uint32_t kAhead = 8;
  for (std::uint32_t i = begin; i < end; ++i) {
    if (i + kAhead < end) {
      __builtin_prefetch(&s.places[index.ids[i + kAhead]]);
      __builtin_prefetch(&index.places[index.ids[i + kAhead]]);
    }
    f(index.ids[i]);
  }
}

[[noreturn]] void notSafe() { fatal("\n\tError: Net is not 1-safe.\n"); }
[[noreturn]] void negativeTokens() { fatal("\n\tError: Negative token counter during unfolding.\n"); }

ZELBO_HOT bool inputsMarked(const RunState& s, const FiringIndex& index, TransId t) {
  const FiringIndex::TransEntry& e = index.trans[t];
  return e.countsInputs ? s.trans[t].markedInputs == static_cast<int>(e.presetEnd - e.preset)
                        : allInputsMarked(s, index, t);
}

// Where the full scan would append `t`: its first slot on the poset of a marked place.
ZELBO_HOT const FiringIndex::Slot* firstMarkedSlot(const RunState& s, const FiringIndex& index, TransId t) {
  const FiringIndex::TransEntry& e = index.trans[t];
  for (std::uint32_t i = e.slots; i < e.slotsEnd; ++i)
    if (s.places[index.slots[i].place].tokens > 0) return &index.slots[i];
  return nullptr;
}

ZELBO_HOT void appendToList(Unfolder& u, TransId t) {
  RunState& s = u.state;
  ListLinks& links = s.enabledLinks[t];
  links.prev = s.enabledTail;
  links.next = kNoTrans;
  if (s.enabledTail != kNoTrans) s.enabledLinks[s.enabledTail].next = t;
  else s.enabledHead = t;
  s.enabledTail = t;
  if (!u.net.firing.trans[t].lowPriority) {
    linkHigh(s, t);
  } else {
    s.trans[t].appendOrder = ++s.appends;
    if (s.heapActive) rankForStageChoice(s, u.net.transById[t]);
  }
  if (s.positions.active) positionAppended(s.positions, t);
  ++s.numEnabled;
}

ZELBO_HOT void removeFromList(Unfolder& u, TransId t) {
  RunState& s = u.state;
  if (s.enabledHead == kNoTrans) fatal("\n\tError: Attempt to delete a transition from the empty enabled list.\n");
  if (!onEnabledList(s, t)) fatal("\n\tError: Cannot find a transition on the enabled list.\n");
  ListLinks& links = s.enabledLinks[t];
  if (links.prev != kNoTrans) s.enabledLinks[links.prev].next = links.next;
  else s.enabledHead = links.next;
  if (links.next != kNoTrans) s.enabledLinks[links.next].prev = links.prev;
  else s.enabledTail = links.prev;
  links.prev = links.next = kNoTrans;
  if (onHighList(s, t)) unlinkHigh(s, t);
  if (s.positions.active) positionRemoved(s.positions, t);
  --s.numEnabled;
}

ZELBO_HOT void enable(Unfolder& u, TransId t) {
  appendToList(u, t);
  u.state.trans[t].enabled = 1;
}

// Newly enabled transitions are appended as they are found while they come in the scan's
// order, which is the common case (a transition's outputs tend to stand in place-list
// order); the first one out of order sends them all through a sort instead.
ZELBO_HOT void record(Unfolder& u, TransId t, const FiringIndex::Slot& slot) {
  FiringScratch& f = u.firing;
  const Candidate found{slot.listPos, slot.index, t};
  f.inScanOrder = f.inScanOrder && (f.newlyEnabled.empty() || f.newlyEnabled.back() < found);
  f.newlyEnabled.push_back(found);
  if (f.inScanOrder) {
    enable(u, t);
    ++f.appendedEarly;
  }
}

// Looks at `t` once the firing's tokens are all in place: if the scan would append it now,
// records where.
ZELBO_HOT void examine(Unfolder& u, TransId t) {
  TransState& ts = u.state.trans[t];
  if (ts.candidateStamp == u.firing.stamp) return;
  ts.candidateStamp = u.firing.stamp;
  const FiringIndex& index = u.net.firing;
  if (ts.enabled || !inputsMarked(u.state, index, t)) return;
  if (const FiringIndex::Slot* slot = firstMarkedSlot(u.state, index, t)) record(u, t, *slot);
}

// Looks at `t` as soon as an output place of the firing that leads to it is marked, saving a
// second walk over the outputs. Once all its inputs hold a token, all the places where it
// stands on a poset do (when they are inputs too, as the model reader makes them), so its
// place in the scan is final. Otherwise it is looked at again when a later output leads to
// it, or, standing on the poset of a place that is not its input, after the last output.
ZELBO_HOT void examineEarly(Unfolder& u, TransId t) {
  TransState& ts = u.state.trans[t];
  if (ts.candidateStamp == u.firing.stamp) return;
  const FiringIndex& index = u.net.firing;
  if (!index.trans[t].slotsAreInputs) {
    ts.candidateStamp = u.firing.stamp;
    u.firing.deferred.push_back(t);
    return;
  }
  if (!ts.enabled && !inputsMarked(u.state, index, t)) return;
  examine(u, t);
}

void startExamining(FiringScratch& f) {
  f.newlyEnabled.clear();
  f.deferred.clear();
  f.appendedEarly = 0;
  f.inScanOrder = true;
}

// Appends what the full scan of updateEnabledList would append after the firing, looking only
// at the transitions whose enabling can have changed: those the firing took off the list, and
// those that read or list an output place of the fired transition (examined as the outputs
// were marked). Any other transition that is enabled now was enabled, and flagged, before.
void finishExamining(Unfolder& u) {
  FiringScratch& f = u.firing;
  for (const TransId t : f.removed) examine(u, t);
  for (const TransId t : f.deferred) {
    u.state.trans[t].candidateStamp = f.stamp - 1;
    examine(u, t);
  }
  if (f.inScanOrder) return;
  for (std::size_t i = 0; i < f.appendedEarly; ++i) {
    removeFromList(u, f.newlyEnabled[i].trans);
    u.state.trans[f.newlyEnabled[i].trans].enabled = 0;
  }
  std::sort(f.newlyEnabled.begin(), f.newlyEnabled.end());
  for (const Candidate& c : f.newlyEnabled) enable(u, c.trans);
}

void traceFiring(const Unfolder& u, const Trans* trans, int index) {
  if (u.settings.verbose > 1)
    fprintf(u.settings.diagnostics, "\n\tInfo : Segment#%3d, firing %s w/ index %d\n", u.segmentNumber,
            trans->name.c_str(), index);
}

// The token of `p` goes to the firing event `id`: its condition, if it has one.
ZELBO_HOT CondId consumeToken(Unfolder& u, PlaceId p, EventId id) {
  PlaceState& ps = u.state.places[p];
  // A place without a token has no condition to give; its count stops the run below.
  const CondId c = ps.tokens > 0 ? ps.lastCond : kNone;
  if (c != kNone) u.graph.conds[c].consumer = id;
  changeTokens(u.state, u.net.firing, p, -1);
  if (ps.tokens > 0) notSafe();
  if (ps.tokens < 0) negativeTokens();
  return c;
}

ZELBO_HOT void produceToken(Unfolder& u, PlaceId p, EventId id) {
  changeTokens(u.state, u.net.firing, p, +1);
  PlaceState& ps = u.state.places[p];
  if (ps.tokens > 1) notSafe();
  if (ps.tokens <= 0) negativeTokens();
  ps.lastCond = static_cast<CondId>(u.graph.conds.size());
  // Filled in place: a record built aside and copied in is read back in wide loads before
  // its narrow stores have landed, which stalls every firing.
  Cond& cond = u.graph.conds.emplace_back();
  cond.place = u.net.placeById[p];
  cond.index = ps.condCount;
  ps.condCount = wrapAdd(ps.condCount, 1);
  cond.producer = id;
}

}  // namespace

void initRunState(Unfolder& u) {
  RunState& s = u.state;
  s.places.assign(u.net.numPlaces, PlaceState{});
  s.trans.assign(u.net.numTrans, TransState{});
  s.enabledLinks.assign(u.net.numTrans, ListLinks{});
  s.highLinks.assign(u.net.numTrans, ListLinks{});
  for (const Place* p : u.net.placeById) s.at(p).tokens = p->initTokens;
  s.enabledHead = s.enabledTail = s.highHead = s.highTail = kNoTrans;
  s.numEnabled = 0;
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

void setTokens(Unfolder& u, const Place* place, int tokens) {
  changeTokens(u.state, u.net.firing, place->id, wrapAdd(tokens, wrapNeg(u.state.at(place).tokens)));
}

void AppendTransToEnabledList(Unfolder& u, const Trans* trans) { appendToList(u, trans->id); }

void deleteFromEnabledList(Unfolder& u, const Trans* trans) { removeFromList(u, trans->id); }

void updateEnabledList(Unfolder& u) {
  RunState& s = u.state;
  for (const Place* p : u.net.placeList) {
    if (s.at(p).tokens <= 0) continue;
    for (const TransNode& node : p->poset) {
      const TransId t = node.trans->id;
      if (!s.trans[t].enabled && allInputsMarked(s, u.net.firing, t)) enable(u, t);
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
  for (const Trans* t : u.net.initiallyEnabled) enable(u, t->id);
}

void instance(Unfolder& u, const Trans* trans) {
  UnfoldNet& graph = u.graph;
  const FiringIndex& index = u.net.firing;
  const FiringIndex::TransEntry& entry = index.trans[trans->id];
  TransState& ts = u.state.at(trans);
  const EventId id = static_cast<EventId>(graph.events.size());
  const int numIn = static_cast<int>(entry.presetEnd - entry.preset);
  const std::uint32_t inBegin = static_cast<std::uint32_t>(graph.inCondRefs.size());
  {
    Event& event = graph.events.emplace_back();  // in place, as a condition is
    event.trans = trans;
    event.index = ts.occurrences;
    event.numIn = numIn;
    event.numOut = static_cast<int>(entry.posetEnd - entry.poset);
    event.inBegin = inBegin;
    event.outBegin = static_cast<CondId>(graph.conds.size());
  }
  traceFiring(u, trans, ts.occurrences);
  ts.occurrences = wrapAdd(ts.occurrences, 1);

  // One walk over the inputs: each gives its token's condition (pushed at the front, so the
  // list runs against the preset's order), loses the token, and takes its output transitions
  // off the list (the fired one and those in conflict with it). The steps of different
  // places do not depend on each other, and a fatal count ends the run at the same place
  // and with the same message as separate walks would.
  graph.inCondRefs.resize(graph.inCondRefs.size() + numIn);
  FiringScratch& f = u.firing;
  ++f.stamp;
  f.removed.clear();
  std::uint32_t slot = inBegin + numIn;
  forEachPlace(u.state, index, entry.preset, entry.presetEnd, [&](PlaceId p) {
    graph.inCondRefs[--slot] = consumeToken(u, p, id);
    const FiringIndex::PlaceEntry& place = index.places[p];
    for (std::uint32_t k = place.poset; k < place.posetEnd; ++k) {
      const TransId t = index.ids[k];
      TransState& other = u.state.trans[t];
      if (!other.enabled) continue;
      removeFromList(u, t);
      other.enabled = 0;
      f.removed.push_back(t);
    }
  });

  startExamining(f);
  forEachPlace(u.state, index, entry.poset, entry.posetEnd, [&](PlaceId p) {
    produceToken(u, p, id);
    const FiringIndex::PlaceEntry& place = index.places[p];
    for (std::uint32_t k = place.poset; k < place.posetEnd; ++k) examineEarly(u, index.ids[k]);
    for (std::uint32_t k = place.consumers; k < place.consumersEnd; ++k) examineEarly(u, index.ids[k]);
  });
  finishExamining(u);
}

std::string markingListing(const Unfolder& u) {
  std::string text = "\n\tInfo: Current marking:\n";
  std::vector<const Place*> emptied;
  for (const Place* p : u.net.placeList) {
    if (u.state.at(p).tokens > 0) text += "\t\t" + p->name + " " + (p->initMarked ? " (im)\n" : "\n");
    else if (p->initMarked) emptied.push_back(p);
  }
  text += "\n\tUnmkared but initially marked places:\n";
  for (const Place* p : emptied) text += "\t\t" + p->name + "\n";
  return text;
}

void dumpMarking(const Unfolder& u, int& count) {
  count = u.state.emptyInitPlaces;
  if (u.settings.verbose <= 1) return;
  fputs(markingListing(u).c_str(), u.settings.diagnostics);
}

}  // namespace zelbo
