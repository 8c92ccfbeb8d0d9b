#include "unfold/graph.h"

#include "driver/globals.h"

void clearUnfoldedGraph() {
  UnfoldNet& graph = *gUnfoldNet;
  graph.events.clear();
  graph.conds.clear();
  graph.initConds.clear();
  graph.inCondRefs.clear();
}
