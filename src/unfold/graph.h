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
#include <utility>
#include <vector>

#include "base/append_array.h"

namespace zelbo {

struct Place;
struct Trans;

using EventId = std::int32_t;
using CondId = std::int32_t;
constexpr std::int32_t kNone = -1;

// Records hold what the hot passes read and nothing they can find otherwise, so that a deep
// unfolding stays small: an event's consumed conditions end where the next event's begin,
// and its produced ones are the conditions that name it as producer, which stand together
// in firing order.
struct Event {
  const Trans* trans = nullptr;
  double firingTime = -std::numeric_limits<double>::infinity();
  int index = 0;              // occurrence index of `trans` in this unfolding
  std::uint32_t inBegin = 0;  // its consumed conditions start here in UnfoldedGraph::inCondRefs
};

// The place is kept by number: the passes over the conditions (the delays, putting the
// tokens back) then read flat arrays by place number instead of each place's record.
struct Cond {
  double delay = 0.0;
  EventId producer = kNone;   // none for the initial marking
  EventId consumer = kNone;   // none while the token is in the place
  std::int32_t place = -1;    // Place::id
};

// Formerly UnfoldNet.
struct UnfoldedGraph {
  AppendArray<Event> events;        // firing order; list order is newest first
  AppendArray<Cond> conds;          // creation order; list order is newest first
  std::vector<CondId> initConds;    // one per initially marked place; list order newest first
  AppendArray<CondId> inCondRefs;   // the consumed conditions of every event, in list order
  std::vector<EventId> segmentStarts;  // the first event of each segment, in order
  // The events of each transition that a target of the run names (by its watch slot, see
  // TransState::watchSlot), in firing order: kept as they fire, so that pairing them needs no
  // pass over the unfolding.
  std::vector<std::vector<EventId>> watched;
  EventId tailStart = kNone;        // the first event fired after the last segment, if any
  EventId timedEvents = 0;          // events [0, timedEvents) have their firing times
  // The conditions' PlaceState::delayDraws summed as they are made: the draws their delays
  // take, known without a pass over them.
  std::uint64_t delayDraws = 0;
};

// Where event `id`'s consumed conditions end in UnfoldedGraph::inCondRefs.
inline std::uint32_t inEnd(const UnfoldedGraph& graph, EventId id) {
  const std::size_t next = static_cast<std::size_t>(id) + 1;
  return next < graph.events.size() ? graph.events[next].inBegin : static_cast<std::uint32_t>(graph.inCondRefs.size());
}

// Event `id`'s consumed conditions, in list order (the reverse of the transition's preset).
inline std::span<const CondId> inConds(const UnfoldedGraph& graph, EventId id) {
  const std::uint32_t begin = graph.events[id].inBegin;
  return {graph.inCondRefs.data() + begin, inEnd(graph, id) - begin};
}

// The conditions that event `id` produced: [first, second) of UnfoldedGraph::conds.
std::pair<CondId, CondId> outConds(const UnfoldedGraph& graph, EventId id);

// Calls f(condId) for each produced condition of event `id`, in list order (the reverse of
// the transition's poset).
template <class F>
void forEachOutCond(const UnfoldedGraph& graph, EventId id, F&& f) {
  const auto [first, last] = outConds(graph, id);
  for (CondId c = last - 1; c >= first; --c) f(c);
}

// Each condition's occurrence index: how many conditions of its place came before it.
std::vector<int> condIndices(const UnfoldedGraph& graph);

// The reference index of the initConds node stored at `slot`: its position from the head.
inline int referenceIndex(const UnfoldedGraph& graph, std::size_t slot) {
  return static_cast<int>(graph.initConds.size() - 1 - slot);
}

// Empties the graph; the arrays keep their capacity for the next sample.
// Formerly clearUnfoldedGraph.
void clearGraph(UnfoldedGraph& graph);

}  // namespace zelbo
