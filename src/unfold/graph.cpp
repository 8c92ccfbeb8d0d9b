#include "unfold/graph.h"

namespace zelbo {

void clearUnfoldedGraph(UnfoldNet& graph) {
  graph.events.clear();
  graph.conds.clear();
  graph.initConds.clear();
  graph.inCondRefs.clear();
}

}  // namespace zelbo
