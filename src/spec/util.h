// Helpers on the model's lists and names.
#pragma once

#include <string>
#include <unordered_set>
#include <vector>

#include "spec/net.h"

// 1 when the two transitions have the same name, else 0.
int PRYXIsTransEq(const Trans* a, const Trans* b);

// A private copy of a NUL-terminated string.
std::string PRYXDupStr(const char* text);

// The first node holding exactly that record, or none.
Place* const* findPlaceOnList(const PlaceList& list, const Place* place);
const TransNode* findTransOnList(const TransList& list, const Trans* trans);

// A braced transition list as the model file writes it: file order, each transition once.
struct TransIdList {
  struct NameHash {
    std::size_t operator()(const Trans* t) const;
  };
  struct NameEq {
    bool operator()(const Trans* a, const Trans* b) const { return PRYXIsTransEq(a, b) == 1; }
  };
  std::vector<TransNode> nodes;
  std::unordered_set<const Trans*, NameHash, NameEq> members;
};

// Appends `node` at the tail unless a transition of the same name is already listed; then
// writes "WARNING : Transition %s duplicates on list.\n" to standard error instead.
void AppendTransListIfNotFound(TransIdList& list, const TransNode& node);
