#include "convert/build.h"

#include <cstdio>
#include <cstdlib>

#include "base/format.h"
#include "base/texts.h"
#include "delay/delay.h"
#include "import/names.h"
#include "language/reader.h"
#include "net/build.h"
#include "net/lookup.h"
#include "net/check.h"
#include "net/target.h"
#include "zelbo/error.h"

namespace zelbo {

namespace {

[[noreturn]] void fail(const std::string& message) { throw Error(Error::Kind::model, message); }

// The probability of each of `branches` equal branches, as the model's numbers are stored.
double equalBranch(std::size_t branches) {
  return static_cast<double>(static_cast<float>(1.0 / static_cast<double>(branches)));
}

}  // namespace

std::vector<Statement> importedStatements(const import::ImportedNet& imported, const std::string& file) {
  const std::size_t places = imported.places.size();
  std::vector<std::vector<int>> into(places), outOf(places);
  std::vector<char> hasInput(imported.transitions.size(), 0);
  for (const import::ImportedArc& arc : imported.arcs) {
    if (arc.toTransition) {
      outOf[arc.place].push_back(arc.transition);
      hasInput[arc.transition] = 1;
    } else {
      into[arc.place].push_back(arc.transition);
    }
  }
  for (std::size_t t = 0; t < imported.transitions.size(); ++t) {
    if (hasInput[t]) continue;
    const import::ImportedTransition& trans = imported.transitions[t];
    throw Error(Error::Kind::model, formatted(text::kNoInputPlace, import::quoteName(trans.original).c_str()))
        .at(SourceLocation{file, trans.line});
  }

  std::vector<Statement> statements(places);
  for (std::size_t i = 0; i < places; ++i) {
    Statement& s = statements[i];
    s.kind = Statement::Kind::place;
    s.name = imported.places[i].name;
    auto list = [&](Clause::Kind kind, const std::vector<int>& transitions) {
      if (transitions.empty()) return;
      Clause c;
      c.kind = kind;
      const double prob = kind == Clause::Kind::poset ? equalBranch(transitions.size()) : 1.0;
      for (const int t : transitions) c.transitions.push_back(TransRef{imported.transitions[t].name, prob});
      s.clauses.push_back(std::move(c));
    };
    list(Clause::Kind::preset, into[i]);
    list(Clause::Kind::poset, outOf[i]);
    if (imported.places[i].tokens > 0) {
      Clause mark;
      mark.kind = Clause::Kind::mark;
      mark.tokens = imported.places[i].tokens;
      s.clauses.push_back(std::move(mark));
    }
  }
  return statements;
}

void buildImported(Net& net, const import::ImportedNet& imported, const std::string& file) {
  applyStatements(net, imported.name, importedStatements(imported, file));
  // Each place and transition keeps its name as the file writes it, for users to name it so.
  for (const import::ImportedPlace& p : imported.places) {
    Place* place = net.placeByName.find(p.name);
    if (p.original != p.name) place->written = p.original;
    place->line = p.line;
  }
  for (const import::ImportedTransition& t : imported.transitions) {
    Trans* trans = net.transByName.find(t.name);
    if (!trans) continue;  // named by no arc: the statements do not create it
    if (t.original != t.name) trans->written = t.original;
    trans->line = t.line;
  }
}

std::unique_ptr<DelaySpec> parseDelay(const std::string& text, const std::string& option) {
  const std::string shown = import::quoteName(text);
  Net parsed;
  try {
    parseModelText(parsed, ".stpn d\n.delay d " + text + "\n", option, {});
  } catch (const Error&) {
    fail(formatted(text::kNotADelay, option.c_str(), shown.c_str()));
  }
  const Place* place = parsed.placeById.empty() ? nullptr : parsed.placeById[0];
  if (parsed.numPlaces != 1 || parsed.numTrans != 0 || parsed.target || parsed.delaySpecs.size() != 1 ||
      !place->delaySpec || place->initMarked)
    fail(formatted(text::kNotOneDelay, option.c_str(), shown.c_str()));
  if (checkPlaceDelay(place) != 0) fail(formatted(text::kDelayOutOfRange, option.c_str(), shown.c_str()));
  return std::move(parsed.delaySpecs[0]);
}

namespace {

// The net's place or transition that an annotation names: a quoted name as the net's source
// file writes it, another as an identifier first (as annotations always read), then as written.
// A name the net does not have is an error at the annotation's line that suggests the closest.
class AnnotationNames {
 public:
  AnnotationNames(const Net& net, const std::string& file) : net_(net), names_(net), file_(file) {}

  Trans* transition(const Trans* named) const {
    const auto [name, quoted] = asWritten(named->name);
    if (Trans* t = names_.transition(name, quoted)) return t;
    unknown(text::kAnnotatedTransitionMissing, name, named->line, names_.closestTransitions(name));
  }
  Place* place(const Place* named) const {
    const auto [name, quoted] = asWritten(named->name);
    if (Place* p = names_.place(name, quoted)) return p;
    unknown(text::kAnnotatedPlaceMissing, name, named->line, names_.closestPlaces(name));
  }
  // Where the annotation names a place or transition.
  SourceLocation at(int line) const { return SourceLocation{file_, line}; }

 private:
  static std::pair<std::string, bool> asWritten(const std::string& name) {
    if (name.size() >= 2 && name.front() == '"' && name.back() == '"') return {name.substr(1, name.size() - 2), true};
    return {name, false};
  }
  [[noreturn]] void unknown(const char* what, const std::string& name, int line,
                            const std::vector<std::string>& closest) const {
    throw Error(Error::Kind::model, withSuggestions(formatted(what, name.c_str(), net_.name.c_str()), closest))
        .at(at(line));
  }

  const Net& net_;
  NameLookup names_;
  const std::string& file_;
};

}  // namespace

void annotate(Net& net, const Net& annotations, const std::string& file) {
  const AnnotationNames names(net, file);
  auto failAt = [&](int line, const std::string& message) {
    throw Error(Error::Kind::model, message).at(names.at(line));
  };
  for (const Place* a : annotations.placeById) {
    Place* p = names.place(a);
    if (!a->preset.empty()) failAt(a->line, formatted(text::kAnnotationArcs, a->name.c_str()));
    if (a->initMarked) failAt(a->line, formatted(text::kAnnotationMarking, a->name.c_str()));
    if (!a->poset.empty()) {
      // Branch probabilities by name; the net keeps its arcs and their order.
      std::vector<TransNode> nodes;
      for (const TransNode& node : p->poset) nodes.push_back(node);
      std::vector<char> given(nodes.size(), 0);
      for (const TransNode& branch : a->poset) {
        const Trans* t = names.transition(branch.trans);
        std::size_t k = 0;
        while (k < nodes.size() && nodes[k].trans != t) ++k;
        if (k == nodes.size()) failAt(a->line, formatted(text::kAnnotatedNotABranch, t->name.c_str(), p->name.c_str()));
        nodes[k].prob = branch.prob;
        given[k] = 1;
      }
      for (std::size_t k = 0; k < nodes.size(); ++k)
        if (!given[k])
          failAt(a->line, formatted(text::kAnnotatedBranchMissing, p->name.c_str(), nodes[k].trans->name.c_str()));
      replacePlacePoset(&net, p, nodes);
    }
  }
  for (const Trans* t : annotations.transById) names.transition(t);
  // Delays once every name is known to the net: they replace the net's own.
  for (const Place* a : annotations.placeById)
    if (a->delaySpec) attachDelaySpec(&net, names.place(a), copyDelaySpec(*a->delaySpec));
  if (const TargetPair* target = annotations.target) {
    TargetPair pair = *target;  // a lower bound is stored mirrored in both models alike
    pair.source = names.transition(target->source);
    pair.destination = names.transition(target->destination);
    net.target = addTargetPair(&net, pair);
  }
}

void fillDelays(Net& net, const DelaySpec& delay) {
  DelaySpec* shared = nullptr;
  for (Place* p : net.placeById) {
    if (p->delaySpec) continue;
    if (shared) {
      shareDelaySpec(&net, p, shared);
      continue;
    }
    std::unique_ptr<DelaySpec> spec = copyDelaySpec(delay);
    shared = spec.get();
    attachDelaySpec(&net, p, std::move(spec));
  }
}

void defaultTarget(Net& net, const std::string& transition) {
  if (net.target) return;
  Trans* t = net.transByName.find(transition);
  if (t) addTargetPair(&net, targetPair(t, t, 1, 0));
}

}  // namespace zelbo
