#include "spec/util.h"

namespace zelbo {

int PRYXIsTransEq(const Trans* a, const Trans* b) { return a->name == b->name ? 1 : 0; }

std::string PRYXDupStr(const char* text) { return std::string(text); }

int IsLowPriority(const Trans* trans) {
  for (const Place* p : trans->preset)
    if (p->initMarked) return 1;
  return 0;
}

int IsFreeChoice(const Place* place) {
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

void AppendTransListIfNotFound(TransIdList& list, const TransNode& node, FILE* diagnostics) {
  if (!list.members.findOrAdd(node.trans, [&] { return node.trans; }).second) {
    fprintf(diagnostics, "WARNING : Transition %s duplicates on list.\n", node.trans->name.c_str());
    return;
  }
  list.nodes.push_back(node);
}

}  // namespace zelbo
