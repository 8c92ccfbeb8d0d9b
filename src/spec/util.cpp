#include "spec/util.h"

#include <cstdio>
#include <functional>
#include <string_view>

int PRYXIsTransEq(const Trans* a, const Trans* b) { return a->name == b->name ? 1 : 0; }

std::string PRYXDupStr(const char* text) { return std::string(text); }

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

void AppendTransListIfNotFound(TransIdList& list, const TransNode& node) {
  if (!list.members.findOrAdd(node.trans, [&] { return node.trans; }).second) {
    fprintf(stderr, "WARNING : Transition %s duplicates on list.\n", node.trans->name.c_str());
    return;
  }
  list.nodes.push_back(node);
}
