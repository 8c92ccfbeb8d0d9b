// Looking into a model, and changed copies of it.
//
// A model is never changed in place: runs may be using it. edit() builds a new model from a
// model and a list of changes (a place's delay, the branch probabilities of a choice place,
// the target), keeping every list of the original in its order: the places and transitions,
// the arcs of each, the initial marking. A copy with a change therefore runs exactly as the
// model file with that change written into it does, for the same settings and seed.
//
//   zelbo::ModelChanges changes;
//   changes.delays.push_back({"a", ".uni 2 1"});
//   changes.target = zelbo::Target{"start", "done", 0, false};
//   zelbo::Model slower = zelbo::edit(model, changes);
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "zelbo/zelbo.h"

namespace zelbo {

// A transition taking the tokens of a place, with the probability of that branch (1 unless
// the place is a choice place).
struct Branch {
  std::string transition;
  double probability = 1.0;
};

struct PlaceView {
  std::string name;                 // its identifier in the model language
  std::string written;              // as the model's source file writes it (`<req+,ack+>`)
  std::vector<std::string> preset;  // transitions that put tokens into the place, in list order
  std::vector<Branch> poset;        // transitions that take them, in list order
  int tokens = 0;                   // of the initial marking
  std::string delay;                // in the model language (".uni 1 2"); empty when none
};

struct TransitionView {
  std::string name;
  std::string written;              // as the model's source file writes it (`req+`)
  std::vector<std::string> preset;  // input places, in list order
  std::vector<std::string> poset;   // output places, in list order
};

struct ModelView {
  std::string name;                          // empty when the model names none
  std::vector<PlaceView> places;             // in the order they were created (file order)
  std::vector<TransitionView> transitions;   // likewise
  std::optional<Target> target;              // as the model asks it
};

// What a model holds, by name.
ModelView describe(const Model& model);

struct DelayChange {
  std::string place;
  std::string delay;  // in the model language's delay syntax, read by the model reader
};

struct BranchChange {
  std::string place;
  std::vector<Branch> branches;  // every branch of the place, each once, in any order
};

struct ModelChanges {
  std::vector<DelayChange> delays;     // applied in order: a place changed twice keeps the last
  std::vector<BranchChange> branches;
  std::optional<Target> target;        // replaces the model's target
};

// A new model: `model` with `changes`. Numbers pass through single precision, as the model
// reader stores them. A change that names no place or transition of the model, a delay that
// is not one valid delay of the model language, a probability outside [0, 1] or a branch
// list that does not name every branch of its place once is thrown as a model Error
// (status 1) that says so. Probabilities that do not sum to 1 are left to check(), as in a
// model file.
Model edit(const Model& model, const ModelChanges& changes);

// Names in changes and targets may be written as the model's source file writes them (`req+`,
// `<req+,ack+>`, a PNML id) or as identifiers of the model language (`req_p`); a name the
// model does not have is an error that suggests the closest names it has.

// A target asked by name, and where it was written (a line of a targets file), for messages.
struct TargetRequest {
  Target target;
  std::optional<SourceLocation> location;
};

// The target a text gives: "SOURCE,DESTINATION,SEPARATION", with ",lb" after it for a lower
// bound (",ub", the default, for an upper bound). Blanks may stand for the commas or beside
// them; a name in double quotes may hold either. A text that is not one is a usage Error.
Target parseTarget(std::string_view text);

// The targets of a targets file, one a line as parseTarget reads it; blank lines and lines
// that start with # are skipped. A file that cannot be read is an io Error, a line that is
// no target or a file without targets a usage Error at its place.
std::vector<TargetRequest> readTargetsFile(const std::string& path);

// `model` estimating `targets`, in that order, instead of its own target; estimate() then
// answers them all from one run. At least one target.
Model withTargets(const Model& model, const std::vector<TargetRequest>& targets);

}  // namespace zelbo
