// Helpers on the model's lists and names.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "spec/flatindex.h"
#include "spec/net.h"

namespace zelbo {

// 1 when the two transitions have the same name, else 0.
int PRYXIsTransEq(const Trans* a, const Trans* b);

// A private copy of a NUL-terminated string.
std::string PRYXDupStr(const char* text);

// 1 when some input place of the transition is initially marked.
int IsLowPriority(const Trans* trans);
// 1 when every output transition of the place has exactly one input place.
int IsFreeChoice(const Place* place);

// The first node holding exactly that record, or none.
Place* const* findPlaceOnList(const PlaceList& list, const Place* place);
const TransNode* findTransOnList(const TransList& list, const Trans* trans);

// A braced transition list as the model file writes it: file order, each transition once.
// Transition names are unique, so a transition of the same name is the same record, and the
// listed transitions are indexed by identity.
struct TransIdList {
  struct Identity {
    const Trans* operator()(const Trans* t) const { return t; }
  };
  struct PointerHash {  // records are aligned: mix the high bits into the low ones
    std::size_t operator()(const Trans* t) const {
      std::size_t x = reinterpret_cast<std::uintptr_t>(t);
      x ^= x >> 33;
      x *= 0xff51afd7ed558ccdull;
      return x ^ (x >> 33);
    }
  };
  std::vector<TransNode> nodes;
  FlatIndex<const Trans, const Trans*, Identity, PointerHash> members;
};

// Appends `node` at the tail unless a transition of the same name is already listed; then
// writes "WARNING : Transition %s duplicates on list.\n" to `diagnostics` instead.
void AppendTransListIfNotFound(TransIdList& list, const TransNode& node, FILE* diagnostics);

}  // namespace zelbo
