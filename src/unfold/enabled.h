// The enabled list and firing.
#pragma once

#include "spec/net.h"
#include "unfold/graph.h"

// Appends `trans` at the tail of the enabled list (the caller sets the flag).
void AppendTransToEnabledList(Net* net, Trans* trans);
// Removes `trans` from the enabled list (the caller clears the flag); fatal when absent.
void deleteFromEnabledList(Net* net, Trans* trans);
// Appends every enabled transition of gNet that is not yet flagged, scanning the marked
// places in list order and their output transitions in list order.
void updateEnabledList();
// Fires `trans` and records the firing in `graph`.
void instance(Net* net, UnfoldNet* graph, Trans* trans);
// The number of initially marked places without a token; verbose: the marking.
void dumpMarking(int& count);

// The enabled list of the initial marking, from a scan of the marked places the first time
// and from memory afterwards. Expects the initial marking and an empty list.
void enableInitialTransitions(Net* net);

// Derives the firing information of the net (place positions, consumers, poset slots,
// transition classes) if the model changed since it was last derived.
void prepareFiring(Net* net);
// Recounts the marking summary of `net` from its places.
void recountMarking(Net* net);
// Keeps the marking summary current when a place's token count changes.
void setTokens(Net* net, Place* place, int tokens);
