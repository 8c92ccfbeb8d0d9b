// Checks and summary of a model once it is read.
#pragma once

#include <cstdio>
#include <string>

#include "net/net.h"
#include "zelbo/settings.h"

namespace zelbo {

// Writes the model summary (and, verbose, the listing) to the settings' log; 0 when the model
// is usable, 1 at the first rejection.
// The reason of a rejection (the error line's text) goes to `reason` when one is given.
// Formerly checkSpec.
int checkModel(const Net& net, const Settings& settings, std::string* reason = nullptr);

// 0 when the place's delay specification is acceptable, 1 otherwise (no delay given included).
// An internal inconsistency of the delay's record is reported on `diagnostics`.
// Formerly the prefixed CheckDelaySpecForPlace.
int checkPlaceDelay(const Place* place, FILE* diagnostics = stderr);

// The goal line, then 0 when the net's target pair is usable, 1 otherwise.
// Formerly the prefixed CheckTargetTSE.
int checkTarget(const Net& net, FILE* log, std::string* reason = nullptr);

// Each place name followed by a blank, to `out`.
// Formerly dumpPlaceList.
void writePlaceNames(FILE* out, const PlaceList& list);

}  // namespace zelbo
