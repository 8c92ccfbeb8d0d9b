// The firing information derived from a finished model: what a firing reads of the net, in
// flat arrays (FiringIndex in net.h), and the enabled list of the initial marking.
#pragma once

#include <cstddef>

#include "net/net.h"

namespace zelbo {

// Derives the firing information of the net (place positions, consumers, poset slots,
// transition classes, the enabled list of the initial marking) unless it is current. Runs
// once the model is complete, before any run; a run only reads it.
void prepareFiring(Net& net);
// True when the derived information matches the model.
inline bool firingPrepared(const Net& net) { return net.derivedRevision == net.revision; }

// A transition with more inputs than this keeps a count of its marked inputs during a run,
// so that each of its inputs receiving a token does not cost a walk over all of them.
constexpr std::size_t kCountedPreset = 4;
inline bool countsInputs(const Trans* t) { return t->preset.size() > kCountedPreset; }

}  // namespace zelbo
