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

bool onEnabledList(const RunState& s, std::int32_t t) { return s.enabledHead == t || s.enabledLinks[t].prev != kNoTrans; }
bool onHighList(const RunState& s, std::int32_t t) { return s.highHead == t || s.highLinks[t].prev != kNoTrans; }

void linkHigh(RunState& s, std::int32_t t) {
  ListLinks& ts = s.highLinks[t];
  ts.prev = s.highTail;
  ts.next = kNoTrans;
  if (s.highTail != kNoTrans) s.highLinks[s.highTail].next = t;
  else s.highHead = t;
  s.highTail = t;
}

void unlinkHigh(RunState& s, std::int32_t t) {
  ListLinks& ts = s.highLinks[t];
  if (ts.prev != kNoTrans) s.highLinks[ts.prev].next = ts.next;
  else s.highHead = ts.next;
  if (ts.next != kNoTrans) s.highLinks[ts.next].prev = ts.prev;
  else s.highTail = ts.prev;
  ts.prev = ts.next = kNoTrans;
}

bool allInputsMarked(const RunState& s, const Trans* t) {
  for (const Place* p : t->preset)
    if (s.at(p).tokens <= 0) return false;
  return true;
}

// The marking summary and the transitions' counts of marked inputs follow every change of a
// place between holding no token and holding some.
void changeTokens(RunState& s, const Place* p, int delta) {
  PlaceState& ps = s.at(p);
  const int before = ps.tokens;
  const int after = wrapAdd(before, delta);
  ps.tokens = after;
  if (p->initMarked) s.emptyInitPlaces += (after <= 0) - (before <= 0);
  else s.strayMarkedPlaces += (after > 0) - (before > 0);
  const int markedChange = (after > 0) - (before > 0);
  if (markedChange != 0)
    for (int i = 0; i < p->countedConsumers; ++i) s.at(p->consumers.begin()[i]).markedInputs += markedChange;
}

// Calls f on each place of `list` in list order, asking for the records a few places ahead:
// a transition with thousands of inputs or outputs would otherwise wait on each of them.
template <class F>
void forEachPlace(const PlaceList& list, F&& f) {
  constexpr std::ptrdiff_t kAhead = 8;
  const auto first = list.begin();
  const std::ptrdiff_t count = list.end() - first;
  for (std::ptrdiff_t i = 0; i < count; ++i) {
    if (i + kAhead < count) __builtin_prefetch(first[i + kAhead]);
    f(first[i]);
  }
}

[[noreturn]] void notSafe() { fatal("\n\tError: Net is not 1-safe.\n"); }
[[noreturn]] void negativeTokens() { fatal("\n\tError: Negative token counter during unfolding.\n"); }

bool inputsMarked(const RunState& s, const Trans* t) {
  return countsInputs(t) ? s.at(t).markedInputs == static_cast<int>(t->preset.size()) : allInputsMarked(s, t);
}

// Where the full scan would append `t`: its first slot on the poset of a marked place.
const PosetSlot* firstMarkedSlot(const RunState& s, const Trans* t) {
  for (const PosetSlot& slot : t->posetSlots)
    if (s.at(slot.place).tokens > 0) return &slot;
  return nullptr;
}

void enable(Unfolder& u, const Trans* t) {
  AppendTransToEnabledList(u, t);
  u.state.at(t).enabled = 1;
}

// Newly enabled transitions are appended as they are found while they come in the scan's
// order, which is the common case (a transition's outputs tend to stand in place-list
// order); the first one out of order sends them all through a sort instead.
void record(Unfolder& u, const Trans* t, const PosetSlot& slot) {
  FiringScratch& f = u.firing;
  const Candidate found{slot.place->listPos, slot.index, t};
  f.inScanOrder = f.inScanOrder && (f.newlyEnabled.empty() || f.newlyEnabled.back() < found);
  f.newlyEnabled.push_back(found);
  if (f.inScanOrder) {
    enable(u, t);
    ++f.appendedEarly;
  }
}

// Looks at `t` once the firing's tokens are all in place: if the scan would append it now,
// records where.
void examine(Unfolder& u, const Trans* t) {
  TransState& ts = u.state.at(t);
  if (ts.candidateStamp == u.firing.stamp) return;
  ts.candidateStamp = u.firing.stamp;
  if (ts.enabled || !inputsMarked(u.state, t)) return;
  if (const PosetSlot* slot = firstMarkedSlot(u.state, t)) record(u, t, *slot);
}

// Looks at `t` as soon as an output place of the firing that leads to it is marked, saving a
// second walk over the outputs. Once all its inputs hold a token, all the places where it
// stands on a poset do (when they are inputs too, as the model reader makes them), so its
// place in the scan is final. Otherwise it is looked at again when a later output leads to
// it, or, standing on the poset of a place that is not its input, after the last output.
void examineEarly(Unfolder& u, const Trans* t) {
  TransState& ts = u.state.at(t);
  if (ts.candidateStamp == u.firing.stamp) return;
  if (!t->slotsAreInputs) {
    ts.candidateStamp = u.firing.stamp;
    u.firing.deferred.push_back(t);
    return;
  }
  if (!ts.enabled && !inputsMarked(u.state, t)) return;
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
  for (const Trans* t : f.removed) examine(u, t);
  for (const Trans* t : f.deferred) {
    u.state.at(t).candidateStamp = f.stamp - 1;
    examine(u, t);
  }
  if (f.inScanOrder) return;
  for (std::size_t i = 0; i < f.appendedEarly; ++i) {
    deleteFromEnabledList(u, f.newlyEnabled[i].trans);
    u.state.at(f.newlyEnabled[i].trans).enabled = 0;
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
CondId consumeToken(Unfolder& u, const Place* p, EventId id) {
  PlaceState& ps = u.state.at(p);
  // A place without a token has no condition to give; its count stops the run below.
  const CondId c = ps.tokens > 0 ? ps.lastCond : kNone;
  if (c != kNone) u.graph.conds[c].consumer = id;
  changeTokens(u.state, p, -1);
  if (ps.tokens > 0) notSafe();
  if (ps.tokens < 0) negativeTokens();
  return c;
}

void produceToken(Unfolder& u, const Place* p, EventId id) {
  changeTokens(u.state, p, +1);
  PlaceState& ps = u.state.at(p);
  if (ps.tokens > 1) notSafe();
  if (ps.tokens <= 0) negativeTokens();
  Cond cond;
  cond.place = p;
  cond.index = ps.condCount;
  ps.condCount = wrapAdd(ps.condCount, 1);
  cond.producer = id;
  ps.lastCond = static_cast<CondId>(u.graph.conds.size());
  u.graph.conds.push_back(cond);
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
  changeTokens(u.state, place, wrapAdd(tokens, wrapNeg(u.state.at(place).tokens)));
}

void AppendTransToEnabledList(Unfolder& u, const Trans* trans) {
  RunState& s = u.state;
  const std::int32_t t = trans->id;
  ListLinks& links = s.enabledLinks[t];
  links.prev = s.enabledTail;
  links.next = kNoTrans;
  if (s.enabledTail != kNoTrans) s.enabledLinks[s.enabledTail].next = t;
  else s.enabledHead = t;
  s.enabledTail = t;
  if (!trans->lowPriority) {
    linkHigh(s, t);
  } else {
    s.trans[t].appendOrder = ++s.appends;
    if (s.heapActive) rankForStageChoice(s, trans);
  }
  ++s.numEnabled;
}

void deleteFromEnabledList(Unfolder& u, const Trans* trans) {
  RunState& s = u.state;
  const std::int32_t t = trans->id;
  if (s.enabledHead == kNoTrans) fatal("\n\tError: Attempt to delete a transition from the empty enabled list.\n");
  if (!onEnabledList(s, t)) fatal("\n\tError: Cannot find a transition on the enabled list.\n");
  ListLinks& links = s.enabledLinks[t];
  if (links.prev != kNoTrans) s.enabledLinks[links.prev].next = links.next;
  else s.enabledHead = links.next;
  if (links.next != kNoTrans) s.enabledLinks[links.next].prev = links.prev;
  else s.enabledTail = links.prev;
  links.prev = links.next = kNoTrans;
  if (onHighList(s, t)) unlinkHigh(s, t);
  --s.numEnabled;
}

void updateEnabledList(Unfolder& u) {
  RunState& s = u.state;
  for (const Place* p : u.net.placeList) {
    if (s.at(p).tokens <= 0) continue;
    for (const TransNode& node : p->poset) {
      const Trans* t = node.trans;
      if (!s.at(t).enabled && allInputsMarked(s, t)) enable(u, t);
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
  for (const Trans* t : u.net.initiallyEnabled) enable(u, t);
}

void instance(Unfolder& u, const Trans* trans) {
  UnfoldNet& graph = u.graph;
  TransState& ts = u.state.at(trans);
  const EventId id = static_cast<EventId>(graph.events.size());
  Event event;
  event.trans = trans;
  event.index = ts.occurrences;
  event.numIn = static_cast<int>(trans->preset.size());
  event.numOut = static_cast<int>(trans->poset.size());
  event.inBegin = static_cast<std::uint32_t>(graph.inCondRefs.size());
  event.outBegin = static_cast<CondId>(graph.conds.size());
  traceFiring(u, trans, event.index);
  ts.occurrences = wrapAdd(ts.occurrences, 1);

  // One walk over the inputs: each gives its token's condition (pushed at the front, so the
  // list runs against the preset's order), loses the token, and takes its output transitions
  // off the list (the fired one and those in conflict with it). The steps of different
  // places do not depend on each other, and a fatal count ends the run at the same place
  // and with the same message as separate walks would.
  graph.inCondRefs.resize(graph.inCondRefs.size() + event.numIn);
  graph.events.push_back(event);
  FiringScratch& f = u.firing;
  ++f.stamp;
  f.removed.clear();
  std::uint32_t slot = event.inBegin + event.numIn;
  forEachPlace(trans->preset, [&](const Place* p) {
    graph.inCondRefs[--slot] = consumeToken(u, p, id);
    for (const TransNode& node : p->poset) {
      const Trans* t = node.trans;
      TransState& other = u.state.at(t);
      if (!other.enabled) continue;
      deleteFromEnabledList(u, t);
      other.enabled = 0;
      f.removed.push_back(t);
    }
  });

  startExamining(f);
  forEachPlace(trans->poset, [&](const Place* p) {
    produceToken(u, p, id);
    for (const TransNode& node : p->poset) examineEarly(u, node.trans);
    for (const Trans* consumer : p->consumers) examineEarly(u, consumer);
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
