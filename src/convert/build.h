// Models from nets of other formats (STG .g files, PNML), and what a user adds to any model:
// an annotation file, a default delay, and the defaults that let an imported net run at once.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "delay/delay.h"
#include "import/imported.h"
#include "language/statements.h"
#include "net/net.h"

namespace zelbo {

// The statements that build an imported net: one place statement per place in the net's
// order, with its ".preset" and ".poset" in the order of the arcs, equal branch probabilities
// on a choice place, and ".mark" for a token. Throws an Error (status 1, "FILE:LINE: ...") for
// a transition without an input place: the net would let it fire at any time, without end.
std::vector<Statement> importedStatements(const import::ImportedNet& imported, const std::string& file);

// Builds the imported net into the empty `net` by replaying importedStatements.
void buildImported(Net& net, const import::ImportedNet& imported, const std::string& file);

// A delay given in the model language's delay syntax (".fix 1", ".uni 1 2"), read by the model
// reader; an Error (status 1) names `option` when the text is not one acceptable delay.
std::unique_ptr<DelaySpec> parseDelay(const std::string& text, const std::string& option);

// Applies the annotation model `annotations` (read from `file`) to `net` by name: its delays, the
// branch probabilities of its ".poset" clauses (every branch of the place, each named once) and
// its target, which replaces the net's. A name the net does not have, arcs or a marking are
// Errors (status 1) that name the element.
void annotate(Net& net, const Net& annotations, const std::string& file);

// Gives every place without a delay a copy of `delay`, one copy shared by them all.
void fillDelays(Net& net, const DelaySpec& delay);

// Gives a net without a target the target (t, t, 1) on `transition`: its average cycle time.
void defaultTarget(Net& net, const std::string& transition);

}  // namespace zelbo
