#include "unfold/graph.h"

#include <algorithm>
#include <unordered_map>

namespace zelbo {

std::pair<CondId, CondId> outConds(const UnfoldedGraph& graph, EventId id) {
  // Conditions are made in firing order, those of the initial marking (no producer) first.
  const auto byProducer = [](const Cond& c, EventId e) { return c.producer < e; };
  const auto first = std::lower_bound(graph.conds.begin(), graph.conds.end(), id, byProducer);
  const auto last = std::lower_bound(first, graph.conds.end(), id + 1, byProducer);
  return {static_cast<CondId>(first - graph.conds.begin()), static_cast<CondId>(last - graph.conds.begin())};
}

std::vector<int> condIndices(const UnfoldedGraph& graph) {
  std::unordered_map<std::int32_t, int> seen;
  std::vector<int> indices;
  indices.reserve(graph.conds.size());
  for (const Cond& c : graph.conds) indices.push_back(seen[c.place]++);
  return indices;
}

void clearGraph(UnfoldedGraph& graph) {
  graph.events.clear();
  graph.conds.clear();
  graph.initConds.clear();
  graph.inCondRefs.clear();
  graph.segmentStarts.clear();
  for (std::vector<EventId>& events : graph.watched) events.clear();
  graph.tailStart = kNone;
  graph.timedEvents = 0;
  graph.delayDraws = 0;
}

}  // namespace zelbo
