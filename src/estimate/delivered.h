// An outcome as a sampler hands it over to the merge, with what is rare beside it: what the
// sampler wrote while drawing it, and a fatal end.
#pragma once

#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "estimate/estimation.h"

namespace zelbo {

// What a sampler wrote to the run's two streams.
struct Written {
  std::string log, diagnostics;
};

// What is rare: output while drawing, and a fatal end.
struct Extras {
  Written body;                // while drawing the outcome
  std::vector<Written> trailers;  // by target: while growing its skip count after a discard
  std::exception_ptr error;    // the drawing ended fatally
};

struct Delivered {
  Outcome outcome;
  std::unique_ptr<Extras> extras;  // none when the drawing wrote nothing and ended well
};

struct Batch {
  std::vector<Delivered> outcomes;
  double seconds = 0.0;  // the time it took to draw them
};

}  // namespace zelbo
