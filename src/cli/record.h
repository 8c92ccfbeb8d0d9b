// The machine-readable record of a run (-json FILE): what was asked, what came out, and how
// the run ended, as one JSON document.
#pragma once

#include <optional>
#include <string>

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
  std::string errorMessage;        // empty on a normal end
  std::string errorDetail;
};

// The record as JSON text (non-finite numbers as null, invalid UTF-8 replaced).
std::string recordText(const RunRecord& record);

// A file written whole or not at all: the text goes to a temporary file beside the target,
// renamed over it at the end, so that no reader sees half a record.
class RecordFile {
 public:
  // Creates the temporary file; false (with `why` set) when the target cannot be written.
  bool open(const std::string& path, std::string& why);
  // Writes the text and renames it into place; false (with `why`) when that fails.
  bool commit(const std::string& text, std::string& why);
  // Removes the temporary file when nothing was committed.
  ~RecordFile();
  bool isOpen() const { return fd_ >= 0; }
  const std::string& path() const { return path_; }

 private:
  std::string path_, temporary_;
  int fd_ = -1;
};

}  // namespace zelbo
