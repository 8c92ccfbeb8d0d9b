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
  std::string name;
  std::vector<std::string> preset;  // transitions that put tokens into the place, in list order
  std::vector<Branch> poset;        // transitions that take them, in list order
  int tokens = 0;                   // of the initial marking
  std::string delay;                // in the model language (".uni 1 2"); empty when none
};

struct TransitionView {
  std::string name;
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

}  // namespace zelbo
