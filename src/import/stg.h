// Reader of signal transition graphs in the .g text format of asynchronous-circuit tools.
//
//   .model NAME            (or .name)   the net's name
//   .inputs / .outputs / .internal A B  signals; .dummy D E  dummy transitions
//   .graph                              then one line per source node: SOURCE TARGET...
//   .marking { p <a+,b-> q=1 }          the initial marking (may run over several lines)
//   .capacity p=1 ...                   read; a capacity above 1 is refused
//   .mode ..., .initial state ...       ignored
//   .end                                nothing after it is read
//   # comment                           to the end of the line
//
// A graph name is a transition when it is a declared signal followed by +, - or ~, or a
// declared dummy, either with an optional instance "/N"; a declared signal that the graph
// never writes with a sign (a plain net saved in this format) is a transition of its own name;
// any other name is a place. "a+" and "a+/0" are the same transition, and instance numbers
// ignore leading zeros: a transition's original name is written "a+", "a+/2", "d", "d/3". An
// arc from a transition to a transition goes through an implicit place, named "<a+,b->" and
// marked under that name. An unknown directive is skipped with a warning at its line
// (ImportedNet::warnings).
//
// Rejected with the line at fault: a name that looks like a transition of an undeclared
// signal ("x+" without x in .inputs/.outputs/.internal: a misspelt signal would otherwise
// make a new transition), a signal written without a sign where the graph also writes it
// with one, a name declared twice, an arc between two places, a duplicate arc, a marking that
// names a transition or a node absent from the graph or gives a place more than one token, a
// capacity above 1, a missing .graph or .marking, a net without places or transitions, and
// any malformed line.
#pragma once

#include <string_view>

#include "import/imported.h"

namespace zelbo::import {

// `file` names the text in errors and gives the net its name when the text has none.
ImportResult importStg(std::string_view text, std::string_view file);

}  // namespace zelbo::import
