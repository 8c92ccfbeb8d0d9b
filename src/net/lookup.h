// Places and transitions by the names users write: as their source file writes them (`req+`,
// `<req+,ack+>`, a PNML id) or by their identifiers in the model language; and, for a name
// the net does not have, the names closest to it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "net/net.h"

namespace zelbo {

// The name of a place or transition as its source file writes it.
inline const std::string& writtenName(const Place* p) { return p->written.empty() ? p->name : p->written; }
inline const std::string& writtenName(const Trans* t) { return t->written.empty() ? t->name : t->written; }

class NameLookup {
 public:
  explicit NameLookup(const Net& net);

  // The transition (place) of that name, or null. `writtenFirst`: a name as the source file
  // writes it before an identifier (what users write); else identifiers first (what the
  // model language reads).
  Trans* transition(std::string_view name, bool writtenFirst = true) const;
  Place* place(std::string_view name, bool writtenFirst = true) const;

  // The net's transition (place) names, as written, closest to `name` by edit distance: at
  // most `most`, each within a third of the longer name's length (at least 2 edits).
  std::vector<std::string> closestTransitions(std::string_view name, std::size_t most = 3) const;
  std::vector<std::string> closestPlaces(std::string_view name, std::size_t most = 3) const;

 private:
  const Net& net_;
  std::unordered_map<std::string_view, Trans*> transByWritten_;
  std::unordered_map<std::string_view, Place*> placeByWritten_;
};

// The sentence that a name is unknown (`unknown`, without its full stop), ending in the closest
// names: "...; did you mean a, b or c?", or in a full stop when there are none.
std::string withSuggestions(const std::string& unknown, const std::vector<std::string>& closest);

}  // namespace zelbo
