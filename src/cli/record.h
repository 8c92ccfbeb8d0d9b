// The machine-readable record of a run (-json FILE): what was asked, what came out, and how
// the run ended, as one JSON document.
#pragma once

#include <optional>
#include <string>

#include "base/record_file.h"
#include "zelbo/zelbo.h"

namespace zelbo {

// A run over several ranks: how many, the samplers of each, and the processor time of all
// ranks but the first (whose own is cpuSeconds).
struct RankFigures {
  int ranks = 1;
  int threads = 1;
  double otherCpuSeconds = 0;
};

struct RunRecord {
  std::string modelFile;
  std::optional<Model> model;      // once read
  const Settings* settings = nullptr;
  long seed = 0;
  int jobs = 1;                    // samplers the run asked for (0: one per hardware thread)
  std::optional<Result> result;    // once estimated
  double cpuSeconds = 0;
  double wallSeconds = 0;
  std::optional<RankFigures> ranks;  // under a launcher
  int exitStatus = 0;
  bool interrupted = false;        // by a stop signal; `result` has what the run had, if any
  std::string errorMessage;        // empty on a normal end
  std::string errorDetail;
};

// The record as JSON text (non-finite numbers as null, invalid UTF-8 replaced).
std::string recordText(const RunRecord& record);

}  // namespace zelbo
