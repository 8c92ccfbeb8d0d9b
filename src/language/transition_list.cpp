#include "language/transition_list.h"

namespace zelbo {

void appendUnlessListed(TransIdList& list, const TransNode& node, FILE* diagnostics) {
  if (!list.members.findOrAdd(node.trans, [&] { return node.trans; }).second) {
    fprintf(diagnostics, "WARNING : Transition %s duplicates on list.\n", node.trans->name.c_str());
    return;
  }
  list.nodes.push_back(node);
}

}  // namespace zelbo
