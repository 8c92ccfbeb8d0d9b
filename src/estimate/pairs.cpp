#include "estimate/pairs.h"

#include <cstdint>
#include <cstdio>

#include "base/wrap.h"
#include "spec/net.h"

namespace zelbo {

namespace {
// Instance number of occurrence `index` counted from `first`, or -1 outside the group.
std::int64_t instanceOf(int index, std::int64_t first, int count) {
  const std::int64_t j = index - first;
  return (j >= 0 && j < count) ? j : -1;
}
}  // namespace

void identifyTargetEventPair(Sampler& s, int& unpaired) {
  unpaired = 0;
  const int n = s.numSource > 0 ? s.numSource : 0;
  s.targetEventPair.assign(n, EventPair{});
  const TransPair& target = *s.net.target;
  const std::int64_t sourceStart = s.startTSEindex;
  const std::int64_t destinationStart = sourceStart + target.separation;

  const AppendArray<Event>& events = s.graph.events;
  for (EventId id = 0; id < static_cast<EventId>(events.size()); ++id) {
    const Event& e = events[id];
    if (e.trans == target.source)
      if (std::int64_t j = instanceOf(e.index, sourceStart, n); j >= 0) s.targetEventPair[j].source = id;
    if (e.trans == target.destination)
      if (std::int64_t j = instanceOf(e.index, destinationStart, n); j >= 0) s.targetEventPair[j].destination = id;
  }
  for (const EventPair& pair : s.targetEventPair)
    if (pair.source == kNone || pair.destination == kNone) unpaired = 1;
}

void PRYXIncreaseSegmentHistory(Sampler& s) {
  const double tenth = 0.1 * s.requiredHeadingTSE;
  const int increment = tenth > 1 ? static_cast<int>(tenth) : 1;
  FILE* out = s.settings.diagnostics;
  fprintf(out, "\n\tInfo : Increasing number of leading TSE instances by %d.", increment);
  s.requiredHeadingTSE = wrapAdd(s.requiredHeadingTSE, increment);
  fprintf(out, "\n\tInfo : The number of leading TSE instances is now : %d.", s.requiredHeadingTSE);
}

}  // namespace zelbo
