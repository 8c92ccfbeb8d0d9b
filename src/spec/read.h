// Construction of the net model: lookups that create, arcs, the initial marking, delays and
// the target; and the firing information derived from the finished model.
#pragma once

#include <memory>
#include <vector>

#include "spec/net.h"

namespace zelbo {

struct DelaySpec;

// The place (transition) of that name, created and pushed at the head of the list if absent.
Place* MustGetPlace(Net* net, const char* name);
Trans* MustGetTrans(Net* net, const char* name);

// Arc place -> trans: place onto trans.preset, trans onto place.poset, each unless present.
void setInputPlace(Net* net, Trans* trans, Place* place);
// Arc trans -> place: place onto trans.poset, trans onto place.preset, each unless present.
void setOutputPlace(Net* net, Trans* trans, Place* place);

// Adds `count` tokens to `place` and puts it on the initial marking; nothing when count <= 0.
void markInitPlace(Net* net, Place* place, int count);

// A ".preset" / ".poset" clause: the place's list becomes `nodes` (file order), and each
// listed transition records the arc on its own side.
void replacePlacePreset(Net* net, Place* place, const std::vector<TransNode>& nodes);
void replacePlacePoset(Net* net, Place* place, const std::vector<TransNode>& nodes);

// Records a delay specification (owned by the net) as the place's delay.
void attachDelaySpec(Net* net, Place* place, std::unique_ptr<DelaySpec> spec);
// Gives the place a delay specification that the net already owns (attached to another place
// before): places of one delay share one specification and its quantile table.
void shareDelaySpec(Net* net, Place* place, DelaySpec* owned);

// Adds a target pair to the net; the first one added is the model's target. Returns the
// stored pair.
TransPair* addTargetPair(Net* net, const TransPair& pair);

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
