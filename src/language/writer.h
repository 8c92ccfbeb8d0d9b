// Writing a model in the model language, so that reading the text back builds the same model:
// the same places and transitions in the same order, every list of arcs in the same order with
// the same probabilities, the same initial marking, delays and target.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "language/statements.h"
#include "net/net.h"

namespace zelbo {

// Statements whose replay builds `net` again. Every place has one statement with its clauses,
// in an order that gives each transition's lists their order; the statements create the
// places and transitions in the net's order (bare ".place P" statements first when the place
// statements alone would not), delays follow in the order of the places, the target last.
// Throws an Error (status 1) naming what the model language cannot write: a name that is no
// writable identifier, lists whose orders no statement order gives, a transition without arcs
// that no target names, a delay of no known type.
std::vector<Statement> modelStatements(const Net& net);

// The model text of `net` after `header` (comment lines), checked: the statements are replayed
// on a fresh net, which must equal `net`; an Error (status 1) says what differs otherwise.
std::string writeModelText(const Net& net, std::string_view header = {});

// The statements of a model text (modelStatements(net).size()); the model reader keeps every
// statement of a file on its parse stack, which holds some 9990.
constexpr std::size_t kReadableStatements = 9990;

// Empty when the two models are the same in everything a run reads (names, the order of every
// list, probabilities, marking, delays, target); else the first difference, in words.
std::string modelDifference(const Net& a, const Net& b);

}  // namespace zelbo
