#include "estimate/pairs.h"

#include <cstdint>
#include <cstdio>

#include "base/texts.h"
#include "base/wrap.h"
#include "net/net.h"
#include "unfold/unfold.h"

namespace zelbo {

namespace {
// The event of occurrence `index` among a transition's events in firing order, or kNone.
EventId occurrence(const std::vector<EventId>& events, std::int64_t index) {
  return index >= 0 && index < static_cast<std::int64_t>(events.size()) ? events[index] : kNone;
}
}  // namespace

bool pairTargetEvents(const Sampler& s, const TargetRun& target, std::vector<EventPair>& pairs) {
  const int n = target.instances > 0 ? target.instances : 0;
  pairs.assign(n, EventPair{});
  const std::int64_t sourceStart = target.firstInstance;
  const std::int64_t destinationStart = sourceStart + target.separation;
  const std::vector<EventId>& sources = eventsOf(s, target.sourceSlot);
  const std::vector<EventId>& destinations = eventsOf(s, target.destinationSlot);
  bool paired = true;
  // A transition's events in firing order have the occurrence indices 0, 1, 2, ...
  for (int j = 0; j < n; ++j) {
    EventPair& pair = pairs[j];
    pair.source = occurrence(sources, sourceStart + j);
    pair.destination = occurrence(destinations, destinationStart + j);
    if (pair.source == kNone || pair.destination == kNone) paired = false;
  }
  return paired;
}

void growSkipCount(Sampler&, TargetRun& target, FILE* out) {
  const double tenth = 0.1 * target.skipCount;
  const int increment = tenth > 1 ? static_cast<int>(tenth) : 1;
  if (out) fprintf(out, text::kSkipGrows, increment);
  target.skipCount = wrapAdd(target.skipCount, increment);
  if (out) fprintf(out, text::kSkipIsNow, target.skipCount);
}

}  // namespace zelbo
