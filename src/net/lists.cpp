#include "net/lists.h"

namespace zelbo {

int isLowPriority(const Trans* trans) {
  for (const Place* p : trans->preset)
    if (p->initMarked) return 1;
  return 0;
}

int isFreeChoice(const Place* place) {
  for (const TransNode& node : place->poset)
    if (node.trans->preset.size() != 1) return 0;
  return 1;
}

Place* const* findPlaceOnList(const PlaceList& list, const Place* place) {
  for (Place* const& node : list)
    if (node == place) return &node;
  return nullptr;
}

const TransNode* findTransOnList(const TransList& list, const Trans* trans) {
  for (const TransNode& node : list)
    if (node.trans == trans) return &node;
  return nullptr;
}

}  // namespace zelbo
