#include "estimate/pairs.h"

#include <cstdint>
#include <cstdio>

#include "base/texts.h"
#include "base/wrap.h"
#include "net/net.h"

namespace zelbo {

namespace {
// The event of occurrence `index` among a transition's events in firing order, or kNone.
EventId occurrence(const std::vector<EventId>& events, std::int64_t index) {
  return index >= 0 && index < static_cast<std::int64_t>(events.size()) ? events[index] : kNone;
}
}  // namespace

void pairTargetEvents(Sampler& s, int& unpaired) {
  unpaired = 0;
  const int n = s.instances > 0 ? s.instances : 0;
  s.eventPairs.assign(n, EventPair{});
  const std::int64_t sourceStart = s.firstInstanceOccurrence;
  const std::int64_t destinationStart = sourceStart + s.net.target->separation;
  // A transition's events in firing order have the occurrence indices 0, 1, 2, ...
  for (int j = 0; j < n; ++j) {
    EventPair& pair = s.eventPairs[j];
    pair.source = occurrence(s.graph.sourceEvents, sourceStart + j);
    pair.destination = occurrence(s.graph.destinationEvents, destinationStart + j);
    if (pair.source == kNone || pair.destination == kNone) unpaired = 1;
  }
}

void growSkipCount(Sampler& s) {
  const double tenth = 0.1 * s.skipCount;
  const int increment = tenth > 1 ? static_cast<int>(tenth) : 1;
  FILE* out = s.settings.diagnostics;
  fprintf(out, text::kSkipGrows, increment);
  s.skipCount = wrapAdd(s.skipCount, increment);
  fprintf(out, text::kSkipIsNow, s.skipCount);
}

}  // namespace zelbo
