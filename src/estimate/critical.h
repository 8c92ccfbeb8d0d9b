// Critical delays: which places' tokens lie on the chains of latest arrivals that make a
// target's separations what they are.
#pragma once

#include <cstdint>
#include <vector>

#include "estimate/sampler.h"

namespace zelbo {

// A place and a count of its tokens.
struct PlaceCount {
  std::int32_t place = 0;
  std::int32_t count = 0;
};

// For the instances just evaluated (`pairs`, with s.instanceValue), the sum over them of the
// tokens of each place on the destination event's critical path less those on the source
// event's: the derivative of the unfolding's group sum with respect to adding a constant to
// every delay of the place. `counts` gets the places whose sum is not 0, in no set order.
//
// A critical path runs from an event back through its latest-arriving input token to that
// token's producer, and so on to the initial marking, whose tokens carry no delay. Among
// tied arrivals the token of the place that comes first in the model's place order is taken.
// An instance whose separation came from a reference event's time taken as 0 has no path on
// that side. The firing times must be as computed (restoreReferenceTimes).
void countCriticalTokens(Sampler& s, const std::vector<EventPair>& pairs, std::vector<PlaceCount>& counts);

}  // namespace zelbo
