// Outcomes as bytes, for samplers in other processes: an outcome with its extras (what the
// sampler wrote while drawing it, a fatal end) goes in, the same comes back out. A fatal end
// comes back as the same zelbo::Error: the same printed text, kind and status.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "estimate/delivered.h"

namespace zelbo {

// Appends the outcome to `out`.
void encodeOutcome(const Delivered& delivered, std::string& out);
// Reads the outcome that starts at `at` and moves `at` past it; bytes that do not hold one are
// an internal Error.
Delivered decodeOutcome(std::string_view bytes, std::size_t& at);

}  // namespace zelbo
