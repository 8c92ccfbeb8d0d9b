// Listing a model, and changed copies of it built through the construction calls of the reader.
#include "zelbo/edit.h"

#include <cmath>
#include <unordered_map>

#include "api/internal.h"
#include "base/format.h"
#include "base/texts.h"
#include "convert/build.h"
#include "delay/delay.h"
#include "language/statements.h"
#include "net/build.h"
#include "net/lookup.h"
#include "net/net.h"
#include "net/target.h"

namespace zelbo {

namespace {

[[noreturn]] void fail(const std::string& message) { throw Error(Error::Kind::model, message); }

// The net of `from` again: the same records in the same order on every list, the same delays
// (shared where they were shared) and target.
std::shared_ptr<Net> copyNet(const Net& from) {
  auto net = std::make_shared<Net>();
  Net& to = *net;
  to.name = from.name;
  for (const Place* p : from.placeById) findOrAddPlace(&to, p->name.c_str());
  for (const Trans* t : from.transById) findOrAddTransition(&to, t->name.c_str());
  if (to.numPlaces != from.numPlaces || to.numTrans != from.numTrans)
    fail(formatted(text::kUncopiableNames, modelName(from)));
  auto place = [&](const Place* p) { return to.placeById[p->id]; };
  auto trans = [&](const Trans* t) { return to.transById[t->id]; };
  auto places = [&](const PlaceList& list) {
    std::vector<Place*> out;
    for (const Place* p : list) out.push_back(place(p));
    return out;
  };
  auto nodes = [&](const TransList& list) {
    std::vector<TransNode> out;
    for (const TransNode& node : list) out.push_back(TransNode{node.prob, trans(node.trans)});
    return out;
  };

  std::vector<Trans*> transitions;
  for (const Trans* t : from.transList) transitions.push_back(trans(t));
  to.transList.assign(transitions);
  to.placeList.assign(places(from.placeList));
  to.initMarking.assign(places(from.initMarking));
  std::unordered_map<const DelaySpec*, DelaySpec*> copied;
  for (const Place* p : from.placeById) {
    Place* q = place(p);
    q->preset.assign(nodes(p->preset));
    q->poset.assign(nodes(p->poset));
    q->initTokens = p->initTokens;
    q->initMarked = p->initMarked;
    q->written = p->written;
    q->line = p->line;
    if (const DelaySpec* spec = p->delaySpec) {
      if (auto found = copied.find(spec); found != copied.end()) {
        shareDelaySpec(&to, q, found->second);
      } else {
        std::unique_ptr<DelaySpec> copy = copyDelaySpec(*spec);
        copied[spec] = copy.get();
        attachDelaySpec(&to, q, std::move(copy));
      }
    }
    q->delayType = p->delayType;
  }
  for (const Trans* t : from.transById) {
    Trans* u = trans(t);
    u->preset.assign(places(t->preset));
    u->poset.assign(places(t->poset));
    u->written = t->written;
    u->line = t->line;
  }
  auto pairOf = [&](const TargetPair& pair) {
    TargetPair copy = pair;
    copy.source = pair.source ? trans(pair.source) : nullptr;
    copy.destination = pair.destination ? trans(pair.destination) : nullptr;
    return copy;
  };
  if (const TargetPair* target = from.target) addTargetPair(&to, pairOf(*target));
  for (const TargetPair* target : from.runTargets) to.runTargets.push_back(addTargetPair(&to, pairOf(*target)));
  if (!to.runTargets.empty()) to.target = to.runTargets.front();
  ++to.revision;
  return net;
}

// A place or transition as the user names it: as its source file writes it, or by its
// identifier; a name the model does not have is an error that suggests the closest.
Place* placeNamed(Net& net, const std::string& name) {
  const NameLookup names(net);
  Place* p = names.place(name);
  if (!p) fail(withSuggestions(formatted(text::kNoSuchPlace, modelName(net), name.c_str()), names.closestPlaces(name)));
  return p;
}

Trans* transitionNamed(Net& net, const std::string& name) {
  const NameLookup names(net);
  Trans* t = names.transition(name);
  if (!t)
    fail(withSuggestions(formatted(text::kNoSuchTransition, modelName(net), name.c_str()),
                         names.closestTransitions(name)));
  return t;
}

// A probability as the reader stores it: through single precision.
double storedProbability(const std::string& place, const Branch& branch) {
  if (!(branch.probability >= 0 && branch.probability <= 1))
    fail(formatted(text::kProbabilityOutOfRange, place.c_str(), branch.transition.c_str()));
  return static_cast<double>(static_cast<float>(branch.probability));
}

void setBranches(Net& net, const BranchChange& change) {
  Place* p = placeNamed(net, change.place);
  std::vector<TransNode> nodes(p->poset.begin(), p->poset.end());
  std::vector<char> given(nodes.size(), 0);
  for (const Branch& branch : change.branches) {
    const Trans* t = transitionNamed(net, branch.transition);
    std::size_t k = 0;
    while (k < nodes.size() && nodes[k].trans != t) ++k;
    if (k == nodes.size()) fail(formatted(text::kNotABranch, t->name.c_str(), p->name.c_str()));
    if (given[k]) fail(formatted(text::kBranchTwice, p->name.c_str(), t->name.c_str()));
    nodes[k].prob = storedProbability(p->name, branch);
    given[k] = 1;
  }
  for (std::size_t k = 0; k < nodes.size(); ++k)
    if (!given[k])
      fail(formatted(text::kBranchMissing, p->name.c_str(), nodes[k].trans->name.c_str()));
  p->poset.assign(nodes);
  ++net.revision;
}

// ".tse (source destination separation)", with ".lb" for a lower bound, which the model holds
// mirrored as the reader does.
void setTarget(Net& net, const Target& target) {
  Trans* source = transitionNamed(net, target.source);
  Trans* destination = transitionNamed(net, target.destination);
  net.target = addTargetPair(&net, storedTarget(source, destination, target.separation, target.lowerBound));
  net.runTargets.clear();
}

}  // namespace

ModelView describe(const Model& model) {
  const Net& net = netOf(model);
  ModelView view;
  view.name = net.name;
  for (const Place* p : net.placeById) {
    PlaceView& v = view.places.emplace_back();
    v.name = p->name;
    v.written = writtenName(p);
    for (const TransNode& node : p->preset) v.preset.push_back(node.trans->name);
    for (const TransNode& node : p->poset) v.poset.push_back(Branch{node.trans->name, node.prob});
    v.tokens = p->initTokens;
    if (p->delaySpec) v.delay = delayText(*p->delaySpec);
  }
  for (const Trans* t : net.transById) {
    TransitionView& v = view.transitions.emplace_back();
    v.name = t->name;
    v.written = writtenName(t);
    for (const Place* p : t->preset) v.preset.push_back(p->name);
    for (const Place* p : t->poset) v.poset.push_back(p->name);
  }
  if (model.hasTarget()) view.target = model.target();
  return view;
}

Model withTargets(const Model& model, const std::vector<TargetRequest>& targets) {
  std::shared_ptr<Net> net = copyNet(netOf(model));
  const NameLookup names(*net);
  auto named = [&](const std::string& name, const TargetRequest& request) {
    Trans* t = names.transition(name);
    if (t) return t;
    Error unknown(Error::Kind::model,
                  withSuggestions(formatted(text::kNoTransitionNamed, name.c_str(), modelName(*net)),
                                  names.closestTransitions(name)));
    if (request.location) unknown.at(*request.location);
    throw unknown;
  };
  net->runTargets.clear();
  for (const TargetRequest& request : targets) {
    const Target& asked = request.target;
    TargetPair pair = storedTarget(named(asked.source, request), named(asked.destination, request), asked.separation,
                                   asked.lowerBound);
    pair.askedSource = asked.source;
    pair.askedDestination = asked.destination;
    net->runTargets.push_back(addTargetPair(net.get(), pair));
  }
  if (!net->runTargets.empty()) net->target = net->runTargets.front();
  prepareFiring(*net);
  return modelOf(std::move(net));
}

Model withWrittenNames(const Model& model, const std::vector<std::string>& places,
                       const std::vector<std::string>& transitions) {
  std::shared_ptr<Net> net = copyNet(netOf(model));
  if (places.size() != net->placeById.size() || transitions.size() != net->transById.size())
    fail(formatted(text::kWrittenNamesCount, modelName(*net)));
  for (std::size_t i = 0; i < places.size(); ++i) {
    Place* p = net->placeById[i];
    p->written = places[i] == p->name ? std::string() : places[i];
  }
  for (std::size_t i = 0; i < transitions.size(); ++i) {
    Trans* t = net->transById[i];
    t->written = transitions[i] == t->name ? std::string() : transitions[i];
  }
  prepareFiring(*net);
  return modelOf(std::move(net));
}

Model edit(const Model& model, const ModelChanges& changes) {
  std::shared_ptr<Net> net = copyNet(netOf(model));
  for (const DelayChange& change : changes.delays) {
    Place* p = placeNamed(*net, change.place);
    attachDelaySpec(net.get(), p, parseDelay(change.delay, formatted(text::kChangedDelay, p->name.c_str())));
  }
  for (const BranchChange& change : changes.branches) setBranches(*net, change);
  if (changes.target) setTarget(*net, *changes.target);
  prepareFiring(*net);
  return modelOf(std::move(net));
}

}  // namespace zelbo
