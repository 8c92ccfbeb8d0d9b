// The progress of a run on a terminal: one line on standard error, rewritten at most ten
// times a second and erased before any other text reaches standard error.
#pragma once

#include <sys/types.h>

#include <cstdio>
#include <memory>
#include <string>

#include "estimate/progress_figures.h"
#include "zelbo/zelbo.h"

namespace zelbo {

class ProgressLine {
 public:
  // A progress line for a run with these settings when standard error is a terminal that
  // nothing else writes to until the end (no intermediate reports, no traces there), else
  // none. Until it ends, the settings' streams that are standard error pass through it.
  static std::unique_ptr<ProgressLine> start(Settings& settings);
  // Erases the line and gives the settings their streams back.
  ~ProgressLine();
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  // `inner` with the line following the run's samples.
  RunControl control(RunControl inner);

 private:
  explicit ProgressLine(Settings& settings);
  void show();
  void erase();
  // Follows the text passed through to standard error: the row it ends in.
  void passed(const char* data, size_t size);
  static ssize_t writeThrough(void* cookie, const char* data, size_t size);

  Settings& settings_;
  FILE* const log_;          // the settings' own streams
  FILE* const diagnostics_;
  FILE* passThrough_ = nullptr;  // standard error, the line erased first
  ProgressFigures figures_;
  int columns_;              // of the terminal
  bool shown_ = false;
  bool below_ = false;       // shown on the row below the end of the text passed through
  std::string partial_;      // the text passed through since its last newline
  int partialColumns_ = 0;   // its width on the terminal
};

}  // namespace zelbo
