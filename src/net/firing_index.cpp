// The firing information derived from a finished model.
#include "net/firing_index.h"

#include <algorithm>
#include <cstdint>
#include <type_traits>
#include <vector>

#include "net/lists.h"

namespace zelbo {

namespace {

void numberPlacesAndCollectConsumers(Net& net) {
  int pos = 0;
  for (Place* p : net.placeList) {
    p->listPos = pos++;
    p->consumers.clear();
  }
  // Transitions that count their marked inputs come first on each consumers list.
  for (Trans* t : net.transList) {
    t->posetSlots.clear();
    t->lowPriority = isLowPriority(t) != 0;
    if (countsInputs(t))
      for (Place* p : t->preset) p->consumers.push_back(t);
  }
  for (Place* p : net.placeList) p->countedConsumers = static_cast<int>(p->consumers.size());
  for (Trans* t : net.transList)
    if (!countsInputs(t))
      for (Place* p : t->preset) p->consumers.push_back(t);
}

void collectPosetSlots(Net& net) {
  for (Place* p : net.placeList) {
    int index = 0;
    for (const TransNode& node : p->poset) node.trans->posetSlots.push_back({p, index++});
  }
  std::vector<char> isInput(net.numPlaces, 0);
  for (Trans* t : net.transList) {
    for (const Place* p : t->preset) isInput[p->listPos] = 1;
    t->slotsAreInputs = true;
    for (const PosetSlot& slot : t->posetSlots) t->slotsAreInputs &= isInput[slot.place->listPos] != 0;
    for (const Place* p : t->preset) isInput[p->listPos] = 0;
  }
}

// The scan of the marked places of the initial marking: the marked places in list order,
// the transitions of each poset in list order, each appended once when all its inputs are
// marked.
void deriveInitiallyEnabled(Net& net) {
  net.initiallyEnabled.clear();
  std::vector<char> listed(net.numTrans, 0);
  for (const Place* p : net.placeList) {
    if (!p->initMarked) continue;
    for (const TransNode& node : p->poset) {
      Trans* t = node.trans;
      if (listed[t->id]) continue;
      bool allMarked = true;
      for (const Place* input : t->preset) allMarked = allMarked && input->initMarked;
      if (!allMarked) continue;
      listed[t->id] = 1;
      net.initiallyEnabled.push_back(t);
    }
  }
}

template <class List, class Id>
std::uint32_t appendIds(std::vector<std::int32_t>& ids, const List& list, Id id) {
  for (const auto& item : list) ids.push_back(id(item));
  return static_cast<std::uint32_t>(ids.size());
}

void buildFiringIndex(Net& net) {
  FiringIndex& index = net.firing;
  index.ids.clear();
  index.slots.clear();
  index.trans.assign(net.transById.size(), {});
  index.places.assign(net.placeById.size(), {});
  index.initMarking.clear();
  for (const Place* p : net.initMarking) index.initMarking.push_back(p->id);
  auto placeId = [](const Place* p) { return p->id; };
  auto transId = [](const auto& item) {
    if constexpr (std::is_same_v<std::decay_t<decltype(item)>, TransNode>) return item.trans->id;
    else return item->id;
  };
  for (const Trans* t : net.transById) {
    FiringIndex::TransEntry& e = index.trans[t->id];
    e.trans = t;
    e.preset = static_cast<std::uint32_t>(index.ids.size());
    e.presetEnd = appendIds(index.ids, t->preset, placeId);
    e.poset = e.presetEnd;
    e.posetEnd = appendIds(index.ids, t->poset, placeId);
    e.slots = static_cast<std::uint32_t>(index.slots.size());
    for (const PosetSlot& slot : t->posetSlots) index.slots.push_back({slot.place->id, slot.place->listPos, slot.index});
    e.slotsEnd = static_cast<std::uint32_t>(index.slots.size());
    const Place* first = t->preset.empty() ? nullptr : t->preset.front();
    e.choicePlace = first && first->poset.size() >= 2 && isFreeChoice(first) ? first->id : -1;
    e.countsInputs = countsInputs(t);
    e.slotsAreInputs = t->slotsAreInputs;
    e.lowPriority = t->lowPriority;
  }
  for (const Place* p : net.placeById) {
    FiringIndex::PlaceEntry& e = index.places[p->id];
    e.poset = static_cast<std::uint32_t>(index.ids.size());
    e.posetEnd = appendIds(index.ids, p->poset, transId);
    e.consumers = e.posetEnd;
    e.consumersEnd = appendIds(index.ids, p->consumers, transId);
    e.countedEnd = e.consumers + static_cast<std::uint32_t>(p->countedConsumers);
    e.initMarked = p->initMarked != 0;
  }
}

// See FiringIndex::TransEntry::plain: whether each input place has the transition as its only
// output; and whether a transition counts the marked inputs at some input or output place.
bool onlyOutputOfItsInputs(const FiringIndex& index, std::int32_t t) {
  const FiringIndex::TransEntry& e = index.trans[t];
  for (std::uint32_t i = e.preset; i != e.presetEnd; ++i) {
    const FiringIndex::PlaceEntry& input = index.places[index.ids[i]];
    if (input.posetEnd - input.poset != 1 || index.ids[input.poset] != t) return false;
  }
  return true;
}

bool countedAround(const FiringIndex& index, std::int32_t t) {
  const FiringIndex::TransEntry& e = index.trans[t];
  for (std::uint32_t i = e.preset; i != e.posetEnd; ++i) {  // the inputs, then the outputs
    const FiringIndex::PlaceEntry& place = index.places[index.ids[i]];
    if (place.countedEnd != place.consumers) return true;
  }
  return false;
}

// The plain shapes of a transition whose candidates are listed (see FiringIndex::TransEntry).
void classifyFiring(FiringIndex& index, std::int32_t t) {
  FiringIndex::TransEntry& e = index.trans[t];
  const bool alone = e.fixedCandidates && onlyOutputOfItsInputs(index, t);
  const bool counted = countedAround(index, t);
  const bool oneToOne = e.presetEnd - e.preset == 1 && e.posetEnd - e.poset == 1;
  e.plain = alone && !counted;
  e.plainOneToOne = e.plain && oneToOne;
  e.plainCounting = alone && counted && oneToOne;
  e.soleCandidate = e.fixedCandidates && e.candidatesEnd - e.candidates == 1 ? index.ids[e.candidates] : -1;
  e.candidateFollows = false;
  if (e.soleCandidate < 0 || !oneToOne) return;
  const FiringIndex::TransEntry& next = index.trans[e.soleCandidate];
  e.candidateFollows = next.presetEnd - next.preset == 1 && index.ids[next.preset] == index.ids[e.poset];
}

// The transitions a firing of each transition may enable (see FiringIndex::TransEntry): those
// on the posets and consumer lists of its outputs. A transition on no poset is never appended
// by the scan, so it is left out.
void listFiringCandidates(Net& net) {
  FiringIndex& index = net.firing;
  std::vector<unsigned> seen(net.transById.size(), 0);
  std::vector<std::int32_t> found;
  unsigned stamp = 0;
  for (const Trans* t : net.transById) {
    FiringIndex::TransEntry& e = index.trans[t->id];
    ++stamp;
    found.clear();
    bool fixed = true;
    auto take = [&](std::uint32_t begin, std::uint32_t end) {
      for (std::uint32_t i = begin; i != end; ++i) {
        const std::int32_t c = index.ids[i];
        if (seen[c] == stamp) continue;
        seen[c] = stamp;
        const FiringIndex::TransEntry& candidate = index.trans[c];
        fixed = fixed && candidate.slotsAreInputs;
        if (candidate.slots != candidate.slotsEnd) found.push_back(c);
      }
    };
    for (std::uint32_t i = e.poset; i != e.posetEnd; ++i) {
      const FiringIndex::PlaceEntry& output = index.places[index.ids[i]];
      take(output.poset, output.posetEnd);
      take(output.consumers, output.consumersEnd);
    }
    for (std::uint32_t i = e.preset; i != e.presetEnd; ++i) {
      const FiringIndex::PlaceEntry& input = index.places[index.ids[i]];
      for (std::uint32_t k = input.poset; k != input.posetEnd; ++k)
        fixed = fixed && index.trans[index.ids[k]].slotsAreInputs;
    }
    auto firstSlot = [&](std::int32_t c) { return index.slots[index.trans[c].slots]; };
    std::sort(found.begin(), found.end(), [&](std::int32_t a, std::int32_t b) {
      const FiringIndex::Slot sa = firstSlot(a), sb = firstSlot(b);
      return sa.listPos != sb.listPos ? sa.listPos < sb.listPos : sa.index < sb.index;
    });
    e.candidates = static_cast<std::uint32_t>(index.ids.size());
    index.ids.insert(index.ids.end(), found.begin(), found.end());
    e.candidatesEnd = static_cast<std::uint32_t>(index.ids.size());
    e.fixedCandidates = fixed;
    classifyFiring(index, t->id);
  }
}

}  // namespace

void prepareFiring(Net& net) {
  if (firingPrepared(net)) return;
  numberPlacesAndCollectConsumers(net);
  collectPosetSlots(net);
  deriveInitiallyEnabled(net);
  buildFiringIndex(net);
  listFiringCandidates(net);
  net.derivedRevision = net.revision;
}

}  // namespace zelbo
