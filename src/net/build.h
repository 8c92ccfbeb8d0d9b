// Construction of the net model: lookups that create, arcs, the initial marking, delays and
// the target.
#pragma once

#include <memory>
#include <vector>

#include "net/firing_index.h"
#include "net/net.h"

namespace zelbo {

struct DelaySpec;

// The place (transition) of that name, created and pushed at the head of the list if absent.
// Formerly MustGetPlace.
Place* findOrAddPlace(Net* net, const char* name);
// Formerly MustGetTrans.
Trans* findOrAddTransition(Net* net, const char* name);

// Arc place -> trans: place onto trans.preset, trans onto place.poset, each unless present.
// Formerly setInputPlace.
void addInputArc(Net* net, Trans* trans, Place* place);
// Arc trans -> place: place onto trans.poset, trans onto place.preset, each unless present.
// Formerly setOutputPlace.
void addOutputArc(Net* net, Trans* trans, Place* place);

// Adds `count` tokens to `place` and puts it on the initial marking; nothing when count <= 0.
// Formerly markInitPlace.
void markInitially(Net* net, Place* place, int count);

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
TargetPair* addTargetPair(Net* net, const TargetPair& pair);

}  // namespace zelbo
