// What every import must give, checked by the fuzz targets: a failure with a message, or a
// net whose names are distinct identifiers of their originals, whose arcs join existing nodes
// once each, and whose places hold at most one token. A violation aborts.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <tuple>

#include "import/imported.h"
#include "import/names.h"

namespace zelbo::import::fuzz {

inline void require(bool ok, const char* what) {
  if (!ok) {
    fprintf(stderr, "import invariant broken: %s\n", what);
    abort();
  }
}

inline void checkResult(const ImportResult& r) {
  if (!r) {
    require(!r.error().message.empty(), "an error without a message");
    require(r.error().line >= 0, "an error at a negative line");
    return;
  }
  const ImportedNet& net = r.value();
  require(isIdentifier(net.name), "the net's name is no identifier");
  require(!net.places.empty() && !net.transitions.empty(), "an empty net");
  std::set<std::string> names;
  for (const ImportedPlace& p : net.places) {
    require(p.name == toIdentifier(p.original), "a place named apart from its original");
    require(p.tokens == 0 || p.tokens == 1, "a place with more than one token");
    require(names.insert(p.name).second, "two nodes of one name");
  }
  for (const ImportedTransition& t : net.transitions) {
    require(t.name == toIdentifier(t.original), "a transition named apart from its original");
    require(names.insert(t.name).second, "two nodes of one name");
  }
  std::set<std::tuple<int, int, bool>> arcs;
  for (const ImportedArc& a : net.arcs) {
    require(a.place >= 0 && a.place < static_cast<int>(net.places.size()), "an arc to no place");
    require(a.transition >= 0 && a.transition < static_cast<int>(net.transitions.size()),
            "an arc to no transition");
    require(arcs.emplace(a.place, a.transition, a.toTransition).second, "a duplicate arc");
  }
}

}  // namespace zelbo::import::fuzz
