// The reports of the command line: intermediate and final.
#pragma once

#include <cstdio>

#include "zelbo/zelbo.h"

namespace zelbo {

// The intermediate report after `progress`.
void writeIntermediateReport(FILE* out, const Target& target, const Progress& progress);
// The final report's body: the model, and the bound or why there is none.
// Formerly displayResult.
void writeResult(FILE* out, const Model& model, const Settings& settings, const Result& result,
                 const char* modelFileName);
// The table of every target of a run of several: each as the user wrote it, its bound, the
// half-width of its interval and its instances.
void writeEveryTarget(FILE* out, const Result& result);
// For each target, its `rows` most critical places with their figures and half-widths.
void writeCriticalPlaces(FILE* out, const Result& result, int rows);

}  // namespace zelbo
