#include "unfold/graph.h"

namespace zelbo {

void clearUnfoldedGraph(UnfoldNet& graph) {
  graph.events.clear();
  graph.conds.clear();
  graph.initConds.clear();
  graph.inCondRefs.clear();
  graph.segmentStarts.clear();
  graph.tailStart = kNone;
  graph.timedEvents = 0;
}

}  // namespace zelbo
