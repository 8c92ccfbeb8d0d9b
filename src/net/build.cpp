#include "net/build.h"

#include "base/wrap.h"
#include "delay/delay.h"
#include "net/lists.h"

namespace zelbo {

Net::Net() = default;
Net::~Net() = default;

namespace {

void modelChanged(Net* net) { ++net->revision; }

// The record of that name, or a new one made in `pool`, numbered, pushed at the head of
// `list` and counted in `count`.
template <class Record, class Index>
Record* mustGet(Net* net, Index& byName, RecordPool<Record>& pool, HeadList<Record*>& list,
                std::vector<Record*>& byId, int& count, const char* name) {
  auto [record, created] = byName.findOrAdd(name, [&] {
    Record* made = pool.create();
    made->name = name;
    return made;
  });
  if (created) {
    record->id = static_cast<int>(byId.size());
    byId.push_back(record);
    ++count;
    list.pushFront(record);
    modelChanged(net);
  }
  return record;
}

}  // namespace

Place* findOrAddPlace(Net* net, const char* name) {
  return mustGet(net, net->placeByName, net->places, net->placeList, net->placeById, net->numPlaces, name);
}

Trans* findOrAddTransition(Net* net, const char* name) {
  return mustGet(net, net->transByName, net->transitions, net->transList, net->transById, net->numTrans, name);
}

namespace {
void addPlaceUnlessPresent(PlaceList& list, Place* place) {
  if (!findPlaceOnList(list, place)) list.pushFront(place);
}
void addTransUnlessPresent(TransList& list, Trans* trans) {
  if (!findTransOnList(list, trans)) list.pushFront(TransNode{0.0, trans});
}
}  // namespace

void addInputArc(Net* net, Trans* trans, Place* place) {
  addPlaceUnlessPresent(trans->preset, place);
  addTransUnlessPresent(place->poset, trans);
  modelChanged(net);
}

void addOutputArc(Net* net, Trans* trans, Place* place) {
  addPlaceUnlessPresent(trans->poset, place);
  addTransUnlessPresent(place->preset, trans);
  modelChanged(net);
}

void markInitially(Net* net, Place* place, int count) {
  if (count <= 0) return;
  net->initMarking.pushFront(place);
  place->initTokens = wrapAdd(place->initTokens, count);
  place->initMarked = 1;
  modelChanged(net);
}

// The place's side of each arc is the list itself, so only the transitions' sides are
// recorded here; scanning the (possibly long) new list for each of its own nodes, as
// addInputArc would, adds nothing and costs quadratic time.
void replacePlacePreset(Net* net, Place* place, const std::vector<TransNode>& nodes) {
  place->preset.assign(nodes);
  for (const TransNode& node : nodes) addPlaceUnlessPresent(node.trans->poset, place);
  modelChanged(net);
}

void replacePlacePoset(Net* net, Place* place, const std::vector<TransNode>& nodes) {
  place->poset.assign(nodes);
  for (const TransNode& node : nodes) addPlaceUnlessPresent(node.trans->preset, place);
  modelChanged(net);
}

void attachDelaySpec(Net* net, Place* place, std::unique_ptr<DelaySpec> spec) {
  place->delaySpec = spec.get();
  place->delayType = spec->type;
  net->delaySpecs.push_back(std::move(spec));
}

void shareDelaySpec(Net*, Place* place, DelaySpec* owned) {
  place->delaySpec = owned;
  place->delayType = owned->type;
}

TargetPair* addTargetPair(Net* net, const TargetPair& pair) {
  TargetPair* stored = net->targetPairs.emplace_back(std::make_unique<TargetPair>(pair)).get();
  if (!net->target) net->target = stored;
  return stored;
}

}  // namespace zelbo
