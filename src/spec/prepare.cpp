// The firing information derived from a finished model.
#include <vector>

#include "spec/read.h"
#include "spec/util.h"

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
    t->lowPriority = IsLowPriority(t) != 0;
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

}  // namespace

void prepareFiring(Net& net) {
  if (firingPrepared(net)) return;
  numberPlacesAndCollectConsumers(net);
  collectPosetSlots(net);
  deriveInitiallyEnabled(net);
  net.derivedRevision = net.revision;
}

}  // namespace zelbo
