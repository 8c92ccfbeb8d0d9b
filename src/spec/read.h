// Construction of the net model: lookups that create, arcs, the initial marking.
#pragma once

#include <vector>

#include "spec/net.h"

// The place (transition) of that name, created and pushed at the head of the list if absent.
Place* MustGetPlace(Net* net, const char* name);
Trans* MustGetTrans(Net* net, const char* name);

// Arc place -> trans: place onto trans.preset, trans onto place.poset, each unless present.
void setInputPlace(Trans* trans, Place* place);
// Arc trans -> place: place onto trans.poset, trans onto place.preset, each unless present.
void setOutputPlace(Trans* trans, Place* place);

// Adds `count` tokens to `place` and puts it on the initial marking; nothing when count <= 0.
void markInitPlace(Net* net, Place* place, int count);

// A ".preset" / ".poset" clause: the place's list becomes `nodes` (file order), and each
// listed transition records the arc on its own side.
void replacePlacePreset(Place* place, const std::vector<TransNode>& nodes);
void replacePlacePoset(Place* place, const std::vector<TransNode>& nodes);

// Counts every change of names, arcs or initial marking of any net, so that data derived
// from a model can tell whether it is still current. Starts at 1.
unsigned modelRevision();

// Records a delay specification (owned by the net) as the place's delay.
void attachDelaySpec(Net* net, Place* place, std::unique_ptr<DelaySpec> spec);
