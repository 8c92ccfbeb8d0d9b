// Statements of the model language as values: what a model file says, statement by statement.
//
// A list of statements can be replayed on a net with the construction calls the reader makes
// for each statement (applyStatements), and printed as model text that the reader reads back
// into the same calls (printStatements). Models built from other formats are built by
// replaying such a list, and the model writer makes such a list from a model, so that a model
// and the text written from it build alike.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "net/net.h"

namespace zelbo {

struct DelaySpec;

// A transition named in a clause, with its probability: written in brackets unless it is 1,
// the value a clause gives a transition without brackets.
struct TransRef {
  std::string name;
  double prob = 1.0;
};

// A clause of a place statement: ".preset {...}", ".poset {...}" or ".mark N".
struct Clause {
  enum class Kind { preset, poset, mark };
  Kind kind = Kind::mark;
  std::vector<TransRef> transitions;  // preset, poset: never empty
  int tokens = 1;                     // mark: written ".mark" when 1
};

struct Statement {
  enum class Kind { place, delay, target };
  Kind kind = Kind::place;
  std::string name;                  // place, delay: the place
  std::vector<Clause> clauses;       // place
  const DelaySpec* delay = nullptr;  // delay: not owned; it must outlive the list's use
  // target: the triple as written, ".lb" appended for a lower bound
  std::string source;
  std::string destination;
  int separation = 0;
  bool lowerBound = false;
};

// Replays the statements on `net` in order, with the calls the reader makes for them: every
// place or transition is created where its name first appears, clause lists replace the
// place's list, the first target statement gives the net its target and later ones only create
// their transitions. Delays are copied into the net; statements that name one delay share one
// copy. A place statement for a place that already has arcs (which the reader skips with an
// error) is a logic_error: no list made here holds one. Prepares the firing information.
void applyStatements(Net& net, std::string_view name, const std::vector<Statement>& statements);

// The text of a real number that the model's scanner reads back as the same single-precision
// value: "1", "0.5", "1.5e-07", "-2.0e+10"; an infinite value as a literal that overflows to it.
std::string realText(double value);

// The delay as the model language writes it: ".uni 1 2", ".fix 0.5"; empty for an unknown type.
std::string delayText(const DelaySpec& spec);

// True when the scanner reads `name` as a name wherever the printer writes it: an identifier
// [a-zA-Z][a-zA-Z0-9_]* that is not a letter followed by a distribution keyword ("xuni" reads as
// the keyword .uni). A name that starts with a keyword ("binary") is read as a name only at
// the start of a line; the printer puts it there.
bool isWritableName(std::string_view name);

// The model text of the statements, after `header` (comment lines, each ending in a newline).
// Every name must be writable.
std::string printStatements(std::string_view name, const std::vector<Statement>& statements,
                            std::string_view header = {});

}  // namespace zelbo
