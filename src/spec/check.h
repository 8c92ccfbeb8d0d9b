// Checks and summary of a model once it is read.
#pragma once

#include "spec/net.h"

// Writes the model summary (and, verbose, the listing) to the log stream; 0 when the model
// is usable, 1 at the first rejection.
int checkSpec(Net* net);

// 0 when the place's delay specification is acceptable, 1 otherwise (no delay given included).
int PRYXCheckDelaySpecForPlace(const Place* place);

// The goal line, then 0 when the target pair is usable, 1 otherwise.
int PRYXCheckTargetTSE();

// Each place name followed by a blank, then a newline, to the log stream.
void dumpPlaceList(const PlaceList& list);
