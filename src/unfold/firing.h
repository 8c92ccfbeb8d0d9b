// The enabled list and firing.
#pragma once

#include <string>

#include "net/net.h"
#include "unfold/graph.h"
#include "unfold/state.h"

namespace zelbo {

// Appends `trans` at the tail of the enabled list (the caller sets the flag).
// Formerly AppendTransToEnabledList.
void appendToEnabledList(Unfolder& u, const Trans* trans);
// Removes `trans` from the enabled list (the caller clears the flag); fatal when absent.
void removeFromEnabledList(Unfolder& u, const Trans* trans);
// Appends every enabled transition that is not yet flagged, scanning the marked places in
// list order and their output transitions in list order.
void updateEnabledList(Unfolder& u);
// Fires `trans` and records the firing in the unfolder's graph.
// Formerly instance.
void fireTransition(Unfolder& u, const Trans* trans);
// The same by number, for the stage loop: it never reads the transition's own record, which
// on a large net is a cache miss per firing.
void fire(Unfolder& u, std::int32_t trans);
// The number of initially marked places without a token; verbose: the marking, to the
// diagnostics stream.
// Formerly dumpMarking.
void countEmptiedInitialPlaces(const Unfolder& u, int& count);
// The text of that verbose marking listing.
std::string markingListing(const Unfolder& u);

// The enabled list of the initial marking, from the model's derived list when the marking is
// the initial one and from a scan of the marked places otherwise. Expects an empty list.
void enableInitialTransitions(Unfolder& u);

// The run state of the model's initial marking: tokens, no occurrences, an empty list.
void initRunState(Unfolder& u);
// Recounts the marking summary and the marked-input counts from the places' tokens.
void recountMarking(Unfolder& u);
// Keeps the marking summary current when a place's token count changes.
void setTokens(Unfolder& u, const Place* place, int tokens);
void setTokens(Unfolder& u, std::int32_t place, int tokens);

}  // namespace zelbo
