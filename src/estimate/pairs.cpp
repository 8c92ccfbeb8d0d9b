#include "estimate/pairs.h"

#include <cstdint>
#include <cstdio>

#include "driver/globals.h"
#include "spec/net.h"

namespace {
// Instance number of occurrence `index` counted from `first`, or -1 outside the group.
std::int64_t instanceOf(int index, std::int64_t first, int count) {
  const std::int64_t j = index - first;
  return (j >= 0 && j < count) ? j : -1;
}
}  // namespace

void identifyTargetEventPair(int& unpaired) {
  unpaired = 0;
  const int n = gNumSource > 0 ? gNumSource : 0;
  gTargetEventPair.assign(n, EventPair{});
  const TransPair& target = *gTargetTransPair;
  const std::int64_t sourceStart = gStartTSEindex;
  const std::int64_t destinationStart = sourceStart + target.separation;

  const std::vector<Event>& events = gUnfoldNet->events;
  for (EventId id = 0; id < static_cast<EventId>(events.size()); ++id) {
    const Event& e = events[id];
    if (e.trans == target.source)
      if (std::int64_t j = instanceOf(e.index, sourceStart, n); j >= 0) gTargetEventPair[j].source = id;
    if (e.trans == target.destination)
      if (std::int64_t j = instanceOf(e.index, destinationStart, n); j >= 0) gTargetEventPair[j].destination = id;
  }
  for (const EventPair& pair : gTargetEventPair)
    if (pair.source == kNone || pair.destination == kNone) unpaired = 1;
}

void PRYXIncreaseSegmentHistory() {
  const double tenth = 0.1 * gRequiredHeadingTSE;
  const int increment = tenth > 1 ? static_cast<int>(tenth) : 1;
  fprintf(stderr, "\n\tInfo : Increasing number of leading TSE instances by %d.", increment);
  gRequiredHeadingTSE = wrapAdd(gRequiredHeadingTSE, increment);
  fprintf(stderr, "\n\tInfo : The number of leading TSE instances is now : %d.", gRequiredHeadingTSE);
}
