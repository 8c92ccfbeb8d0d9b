#include "spec/read.h"

#include "delay/delay.h"
#include "driver/globals.h"
#include "spec/util.h"

Net::Net() = default;
Net::~Net() = default;

namespace {
unsigned revision = 1;
void modelChanged() { ++revision; }
}  // namespace

unsigned modelRevision() { return revision; }

namespace {
// The record of that name, or a new one made in `pool`, pushed at the head of `list` and
// counted in `count`.
template <class Record, class Index>
Record* mustGet(Index& byName, RecordPool<Record>& pool, HeadList<Record*>& list, int& count, const char* name) {
  auto [record, created] = byName.findOrAdd(name, [&] {
    Record* made = pool.create();
    made->name = PRYXDupStr(name);
    return made;
  });
  if (created) {
    ++count;
    list.pushFront(record);
    modelChanged();
  }
  return record;
}
}  // namespace

Place* MustGetPlace(Net* net, const char* name) {
  return mustGet(net->placeByName, net->places, net->placeList, net->numPlaces, name);
}

Trans* MustGetTrans(Net* net, const char* name) {
  return mustGet(net->transByName, net->transitions, net->transList, net->numTrans, name);
}

namespace {
void addPlaceUnlessPresent(PlaceList& list, Place* place) {
  if (!findPlaceOnList(list, place)) list.pushFront(place);
}
void addTransUnlessPresent(TransList& list, Trans* trans) {
  if (!findTransOnList(list, trans)) list.pushFront(TransNode{0.0, trans});
}
}  // namespace

void setInputPlace(Trans* trans, Place* place) {
  addPlaceUnlessPresent(trans->preset, place);
  addTransUnlessPresent(place->poset, trans);
  modelChanged();
}

void setOutputPlace(Trans* trans, Place* place) {
  addPlaceUnlessPresent(trans->poset, place);
  addTransUnlessPresent(place->preset, trans);
  modelChanged();
}

void markInitPlace(Net* net, Place* place, int count) {
  if (count <= 0) return;
  net->initMarking.pushFront(place);
  place->tokens = wrapAdd(place->tokens, count);
  place->initMarked = 1;
  modelChanged();
}

// The place's side of each arc is the list itself, so only the transitions' sides are
// recorded here; scanning the (possibly long) new list for each of its own nodes, as
// setInputPlace would, adds nothing and costs quadratic time.
void replacePlacePreset(Place* place, const std::vector<TransNode>& nodes) {
  place->preset.assign(nodes);
  for (const TransNode& node : nodes) addPlaceUnlessPresent(node.trans->poset, place);
  modelChanged();
}

void replacePlacePoset(Place* place, const std::vector<TransNode>& nodes) {
  place->poset.assign(nodes);
  for (const TransNode& node : nodes) addPlaceUnlessPresent(node.trans->preset, place);
  modelChanged();
}

void attachDelaySpec(Net* net, Place* place, std::unique_ptr<DelaySpec> spec) {
  place->delaySpec = spec.get();
  place->delayType = spec->type;
  net->delaySpecs.push_back(std::move(spec));
}
