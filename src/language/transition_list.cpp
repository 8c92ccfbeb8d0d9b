#include "language/transition_list.h"

namespace zelbo {

bool appendUnlessListed(TransIdList& list, const TransNode& node) {
  if (!list.members.findOrAdd(node.trans, [&] { return node.trans; }).second) return false;
  list.nodes.push_back(node);
  return true;
}

}  // namespace zelbo
