// A braced transition list of a place statement, as the reader builds it: file order, each
// transition once.
#pragma once

#include <cstdint>
#include <vector>

#include "net/flat_index.h"
#include "net/net.h"

namespace zelbo {

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

// Appends `node` at the tail unless a transition of the same name is already listed; false
// then (the reader warns).
// Formerly AppendTransListIfNotFound.
bool appendUnlessListed(TransIdList& list, const TransNode& node);

}  // namespace zelbo
