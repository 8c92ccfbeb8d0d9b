#include "unfold/enabled.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "driver/fatal.h"
#include "driver/globals.h"
#include "spec/read.h"
#include "unfold/choice.h"

// The enabled list is linked through the transitions themselves, in both directions, so that
// removing a transition costs O(1); the high-priority transitions are linked a second time,
// in the same order, so that the next one to fire is found without walking past the
// low-priority ones.

namespace {

bool onEnabledList(const Net* net, const Trans* t) { return net->enabledHead == t || t->enabledPrev; }
bool onHighList(const Net* net, const Trans* t) { return net->highHead == t || t->highPrev; }

void linkHigh(Net* net, Trans* t) {
  t->highPrev = net->highTail;
  t->highNext = nullptr;
  if (net->highTail) net->highTail->highNext = t;
  else net->highHead = t;
  net->highTail = t;
}

void unlinkHigh(Net* net, Trans* t) {
  if (t->highPrev) t->highPrev->highNext = t->highNext;
  else net->highHead = t->highNext;
  if (t->highNext) t->highNext->highPrev = t->highPrev;
  else net->highTail = t->highPrev;
  t->highPrev = t->highNext = nullptr;
}

bool allInputsMarked(const Trans* t) {
  for (const Place* p : t->preset)
    if (p->tokens <= 0) return false;
  return true;
}

// The marking summary and the transitions' counts of marked inputs follow every change of a
// place between holding no token and holding some.
void changeTokens(Net* net, Place* p, int delta) {
  const int before = p->tokens;
  const int after = wrapAdd(before, delta);
  p->tokens = after;
  if (p->initMarked) net->emptyInitPlaces += (after <= 0) - (before <= 0);
  else net->strayMarkedPlaces += (after > 0) - (before > 0);
  const int markedChange = (after > 0) - (before > 0);
  if (markedChange != 0)
    for (int i = 0; i < p->countedConsumers; ++i) p->consumers.begin()[i]->markedInputs += markedChange;
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

// Transitions that a firing may have enabled, with the position at which the full scan of the
// marked places would meet them first.
struct Candidate {
  int placePos;
  int index;
  Trans* trans;
  bool operator<(const Candidate& other) const {
    return placePos != other.placePos ? placePos < other.placePos : index < other.index;
  }
};

unsigned firingStamp = 0;
std::vector<Trans*> removed;         // taken off the list by this firing; reused
std::vector<Candidate> newlyEnabled;

// A transition with few inputs looks at them; one with many keeps a count, so that each of
// its inputs receiving a token does not cost a walk over all of them.
constexpr std::size_t kCountedPreset = 4;
bool countsInputs(const Trans* t) { return t->preset.size() > kCountedPreset; }
bool inputsMarked(const Trans* t) {
  return countsInputs(t) ? t->markedInputs == static_cast<int>(t->preset.size()) : allInputsMarked(t);
}

// Where the full scan would append `t`: its first slot on the poset of a marked place.
const PosetSlot* firstMarkedSlot(const Trans* t) {
  for (const PosetSlot& slot : t->posetSlots)
    if (slot.place->tokens > 0) return &slot;
  return nullptr;
}

void enable(Net* net, Trans* t) {
  AppendTransToEnabledList(net, t);
  t->enabled = 1;
}

// Newly enabled transitions are appended as they are found while they come in the scan's
// order, which is the common case (a transition's outputs tend to stand in place-list
// order); the first one out of order sends them all through a sort instead.
std::size_t appendedEarly = 0;
bool inScanOrder = true;

void record(Net* net, Trans* t, const PosetSlot& slot) {
  const Candidate found{slot.place->listPos, slot.index, t};
  inScanOrder = inScanOrder && (newlyEnabled.empty() || newlyEnabled.back() < found);
  newlyEnabled.push_back(found);
  if (inScanOrder) {
    enable(net, t);
    ++appendedEarly;
  }
}

// Looks at `t` once the firing's tokens are all in place: if the scan would append it now,
// records where.
void examine(Net* net, Trans* t) {
  if (t->candidateStamp == firingStamp) return;
  t->candidateStamp = firingStamp;
  if (t->enabled || !inputsMarked(t)) return;
  if (const PosetSlot* slot = firstMarkedSlot(t)) record(net, t, *slot);
}

std::vector<Trans*> deferred;  // met while the outputs were being marked; examined after

// Looks at `t` as soon as an output place of the firing that leads to it is marked, saving a
// second walk over the outputs. Once all its inputs hold a token, all the places where it
// stands on a poset do (when they are inputs too, as the model reader makes them), so its
// place in the scan is final. Otherwise it is looked at again when a later output leads to
// it, or, standing on the poset of a place that is not its input, after the last output.
void examineEarly(Net* net, Trans* t) {
  if (t->candidateStamp == firingStamp) return;
  if (!t->slotsAreInputs) {
    t->candidateStamp = firingStamp;
    deferred.push_back(t);
    return;
  }
  if (!t->enabled && !inputsMarked(t)) return;
  examine(net, t);
}

void startExamining() {
  newlyEnabled.clear();
  deferred.clear();
  appendedEarly = 0;
  inScanOrder = true;
}

// Appends what the full scan of updateEnabledList would append after the firing, looking only
// at the transitions whose enabling can have changed: those the firing took off the list, and
// those that read or list an output place of the fired transition (examined as the outputs
// were marked). Any other transition that is enabled now was enabled, and flagged, before.
void finishExamining(Net* net) {
  for (Trans* t : removed) examine(net, t);
  for (Trans* t : deferred) {
    t->candidateStamp = firingStamp - 1;
    examine(net, t);
  }
  if (inScanOrder) return;
  for (std::size_t i = 0; i < appendedEarly; ++i) {
    deleteFromEnabledList(net, newlyEnabled[i].trans);
    newlyEnabled[i].trans->enabled = 0;
  }
  std::sort(newlyEnabled.begin(), newlyEnabled.end());
  for (const Candidate& c : newlyEnabled) enable(net, c.trans);
}

void traceFiring(const Trans* trans, int index) {
  if (gVerbose > 1)
    fprintf(stderr, "\n\tInfo : Segment#%3d, firing %s w/ index %d\n", gSegmentNumber, trans->name.c_str(), index);
}

}  // namespace

void prepareFiring(Net* net) {
  if (net->firingInfoRevision == modelRevision()) return;
  int pos = 0;
  for (Place* p : net->placeList) {
    p->listPos = pos++;
    p->consumers.clear();
  }
  for (Trans* t : net->transList) {
    t->posetSlots.clear();
    t->lowPriority = IsLowPriority(t) != 0;
    if (countsInputs(t))
      for (Place* p : t->preset) p->consumers.push_back(t);
  }
  for (Place* p : net->placeList) p->countedConsumers = static_cast<int>(p->consumers.size());
  for (Trans* t : net->transList)
    if (!countsInputs(t))
      for (Place* p : t->preset) p->consumers.push_back(t);
  for (Place* p : net->placeList) {
    int index = 0;
    for (const TransNode& node : p->poset) node.trans->posetSlots.push_back({p, index++});
  }
  std::vector<char> isInput(net->numPlaces, 0);
  for (Trans* t : net->transList) {
    for (const Place* p : t->preset) isInput[p->listPos] = 1;
    t->slotsAreInputs = true;
    for (const PosetSlot& slot : t->posetSlots) t->slotsAreInputs &= isInput[slot.place->listPos] != 0;
    for (const Place* p : t->preset) isInput[p->listPos] = 0;
  }
  recountMarking(net);
  net->firingInfoRevision = modelRevision();
}

void recountMarking(Net* net) {
  net->emptyInitPlaces = 0;
  net->strayMarkedPlaces = 0;
  for (const Place* p : net->placeList) {
    if (p->initMarked) net->emptyInitPlaces += p->tokens <= 0;
    else net->strayMarkedPlaces += p->tokens > 0;
  }
  for (Trans* t : net->transList) {
    t->markedInputs = 0;
    for (const Place* p : t->preset) t->markedInputs += p->tokens > 0;
  }
}

void setTokens(Net* net, Place* place, int tokens) { changeTokens(net, place, wrapAdd(tokens, wrapNeg(place->tokens))); }

void AppendTransToEnabledList(Net* net, Trans* trans) {
  trans->enabledPrev = net->enabledTail;
  trans->enabledNext = nullptr;
  if (net->enabledTail) net->enabledTail->enabledNext = trans;
  else net->enabledHead = trans;
  net->enabledTail = trans;
  if (!trans->lowPriority) linkHigh(net, trans);
  ++net->numEnabled;
}

void deleteFromEnabledList(Net* net, Trans* trans) {
  if (!net->enabledHead) fatal("\n\tError: Attempt to delete a transition from the empty enabled list.\n");
  if (!onEnabledList(net, trans)) fatal("\n\tError: Cannot find a transition on the enabled list.\n");
  if (trans->enabledPrev) trans->enabledPrev->enabledNext = trans->enabledNext;
  else net->enabledHead = trans->enabledNext;
  if (trans->enabledNext) trans->enabledNext->enabledPrev = trans->enabledPrev;
  else net->enabledTail = trans->enabledPrev;
  trans->enabledPrev = trans->enabledNext = nullptr;
  if (onHighList(net, trans)) unlinkHigh(net, trans);
  --net->numEnabled;
}

void updateEnabledList() {
  Net* net = gNet;
  prepareFiring(net);
  for (const Place* p : net->placeList) {
    if (p->tokens <= 0) continue;
    for (const TransNode& node : p->poset) {
      Trans* t = node.trans;
      if (!t->enabled && allInputsMarked(t)) {
        AppendTransToEnabledList(net, t);
        t->enabled = 1;
      }
    }
  }
}

void enableInitialTransitions(Net* net) {
  prepareFiring(net);
  const bool initialMarking = net->emptyInitPlaces == 0 && net->strayMarkedPlaces == 0 && net->numEnabled == 0;
  if (initialMarking && net->initiallyEnabledRevision == modelRevision()) {
    for (Trans* t : net->initiallyEnabled) {
      AppendTransToEnabledList(net, t);
      t->enabled = 1;
    }
    return;
  }
  updateEnabledList();
  if (!initialMarking) return;
  net->initiallyEnabled.clear();
  for (Trans* t = net->enabledHead; t; t = t->enabledNext) net->initiallyEnabled.push_back(t);
  net->initiallyEnabledRevision = modelRevision();
}

void instance(Net* net, UnfoldNet* graph, Trans* trans) {
  prepareFiring(net);
  const EventId id = static_cast<EventId>(graph->events.size());
  Event event;
  event.trans = trans;
  event.index = trans->occurrences;
  event.numIn = static_cast<int>(trans->preset.size());
  event.numOut = static_cast<int>(trans->poset.size());
  event.inBegin = static_cast<std::uint32_t>(graph->inCondRefs.size());
  event.outBegin = static_cast<CondId>(graph->conds.size());
  traceFiring(trans, event.index);
  trans->occurrences = wrapAdd(trans->occurrences, 1);

  // One walk over the inputs: each gives its token's condition (pushed at the front, so the
  // list runs against the preset's order), loses the token, and takes its output transitions
  // off the list (the fired one and those in conflict with it). The steps of different
  // places do not depend on each other, and a fatal count ends the run at the same place
  // and with the same message as separate walks would.
  graph->inCondRefs.resize(graph->inCondRefs.size() + event.numIn);
  graph->events.push_back(event);
  ++firingStamp;
  removed.clear();
  std::uint32_t slot = event.inBegin + event.numIn;
  forEachPlace(trans->preset, [&](Place* p) {
    // A place without a token has no condition to give; its count stops the run below.
    const CondId c = p->tokens > 0 ? p->lastCond : kNone;
    graph->inCondRefs[--slot] = c;
    if (c != kNone) graph->conds[c].consumer = id;
    changeTokens(net, p, -1);
    if (p->tokens > 0) notSafe();
    if (p->tokens < 0) negativeTokens();
    for (const TransNode& node : p->poset) {
      Trans* t = node.trans;
      if (!t->enabled) continue;
      deleteFromEnabledList(gNet, t);
      t->enabled = 0;
      removed.push_back(t);
    }
  });

  startExamining();
  forEachPlace(trans->poset, [&](Place* p) {
    changeTokens(net, p, +1);
    if (p->tokens > 1) notSafe();
    if (p->tokens <= 0) negativeTokens();
    Cond cond;
    cond.place = p;
    cond.index = p->condCount;
    p->condCount = wrapAdd(p->condCount, 1);
    cond.producer = id;
    p->lastCond = static_cast<CondId>(graph->conds.size());
    graph->conds.push_back(cond);
    for (const TransNode& node : p->poset) examineEarly(gNet, node.trans);
    for (Trans* u : p->consumers) examineEarly(gNet, u);
  });
  finishExamining(gNet);
}

void dumpMarking(int& count) {
  const Net* net = gNet;
  count = net->emptyInitPlaces;
  if (gVerbose <= 1) return;
  fprintf(stderr, "\n\tInfo: Current marking:\n");
  std::vector<const Place*> emptied;
  for (const Place* p : net->placeList) {
    if (p->tokens > 0) fprintf(stderr, "\t\t%s %s", p->name.c_str(), p->initMarked ? " (im)\n" : "\n");
    else if (p->initMarked) emptied.push_back(p);
  }
  fprintf(stderr, "\n\tUnmkared but initially marked places:\n");
  for (const Place* p : emptied) fprintf(stderr, "\t\t%s\n", p->name.c_str());
}
