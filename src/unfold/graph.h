// The unfolded graph of one sample: every firing an Event, every token a Cond.
//
// The graph is rebuilt for every sample, so it lives in flat arrays that keep their capacity
// from sample to sample: no allocation per node once the arrays have grown. Records refer to
// each other by their index in these arrays. Each list of the graph is stored oldest first;
// its list order (newest first) is the reverse.
#pragma once

#include <cstdint>
#include <limits>
#include <span>
#include <vector>

namespace zelbo {

struct Place;
struct Trans;

using EventId = std::int32_t;
using CondId = std::int32_t;
constexpr std::int32_t kNone = -1;

struct Event {
  const Trans* trans = nullptr;
  int index = 0;              // occurrence index of `trans` in this unfolding
  std::uint32_t inBegin = 0;  // inConds: UnfoldNet::inCondRefs[inBegin, inBegin + numIn)
  CondId outBegin = 0;        // outConds: UnfoldNet::conds[outBegin, outBegin + numOut)
  int numIn = 0;
  int numOut = 0;
  double firingTime = -std::numeric_limits<double>::infinity();
  int refCounter = 0;
};

struct Cond {
  const Place* place = nullptr;
  int index = 0;              // occurrence index of the place's token
  double delay = 0.0;
  EventId producer = kNone;   // none for the initial marking
  EventId consumer = kNone;   // none while the token is in the place
};

struct UnfoldNet {
  std::vector<Event> events;        // firing order; list order is newest first
  std::vector<Cond> conds;          // creation order; list order is newest first
  std::vector<CondId> initConds;    // one per initially marked place; list order newest first
  std::vector<CondId> inCondRefs;   // the consumed conditions of every event, in list order
  std::vector<EventId> segmentStarts;  // the first event of each segment, in order
  EventId tailStart = kNone;        // the first event fired after the last segment, if any
  EventId timedEvents = 0;          // events [0, timedEvents) have their firing times
};

// An event's consumed conditions, in list order (the reverse of the transition's preset).
inline std::span<const CondId> inConds(const UnfoldNet& graph, const Event& e) {
  return {graph.inCondRefs.data() + e.inBegin, static_cast<std::size_t>(e.numIn)};
}

// Calls f(condId) for each produced condition of `e`, in list order (the reverse of the
// transition's poset).
template <class F>
void forEachOutCond(const Event& e, F&& f) {
  for (CondId c = e.outBegin + e.numOut - 1; c >= e.outBegin; --c) f(c);
}

// The reference index of the initConds node stored at `slot`: its position from the head.
inline int referenceIndex(const UnfoldNet& graph, std::size_t slot) {
  return static_cast<int>(graph.initConds.size() - 1 - slot);
}

// Empties the graph; the arrays keep their capacity for the next sample.
void clearUnfoldedGraph(UnfoldNet& graph);

}  // namespace zelbo
