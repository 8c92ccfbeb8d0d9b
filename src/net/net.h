// The net model: places with their delays, transitions, arcs, choice probabilities, the
// initial marking and the target TSE pair. Built once, by the model reader or through the
// construction calls of net/build.h, then only read: what a run changes lives in its own
// state (unfold/state.h), indexed by the places' and transitions' numbers.
#pragma once

#include <cstddef>
#include <algorithm>
#include <cstdint>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <functional>
#include <vector>

#include "base/texts.h"
#include "net/flat_index.h"

namespace zelbo {

struct DelaySpec;
enum class DelayType : int;
struct Place;
struct Trans;

// A growable array that keeps its first element inside the object: most lists of a net hold
// one or two nodes, and keeping one inline saves a separate allocation and a cache miss on
// the firing path. Elements are trivially copyable records (pointers, list nodes).
template <class T>
class SmallVector {
  static_assert(std::is_trivially_copyable_v<T>);

 public:
  SmallVector() = default;
  SmallVector(const SmallVector&) = delete;
  SmallVector& operator=(const SmallVector&) = delete;

  void push_back(const T& item) {
    if (size_ == capacity_) grow();
    data()[size_++] = item;
  }
  void assign(const T* first, std::size_t count) {
    clear();
    for (std::size_t i = 0; i < count; ++i) push_back(first[i]);
  }
  void clear() { size_ = 0; }
  T* data() { return heap_ ? heap_.get() : &inline_; }
  const T* data() const { return heap_ ? heap_.get() : &inline_; }
  const T* begin() const { return data(); }
  const T* end() const { return data() + size_; }
  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }

 private:
  void grow() {
    const std::uint32_t bigger = capacity_ * 2;
    auto storage = std::make_unique<T[]>(bigger);
    std::copy(data(), data() + size_, storage.get());
    heap_ = std::move(storage);
    capacity_ = bigger;
  }
  std::unique_ptr<T[]> heap_;
  std::uint32_t size_ = 0;
  std::uint32_t capacity_ = 1;
  T inline_{};
};

// Stable storage for the records of a net, in chunks of records made one after the other:
// records that are created together sit side by side in memory.
template <class T>
class RecordPool {
 public:
  T* create() {
    if (chunks_.empty() || used_ == kChunkSize) {
      chunks_.push_back(std::make_unique<T[]>(kChunkSize));
      used_ = 0;
    }
    return &chunks_.back()[used_++];
  }

 private:
  static constexpr std::size_t kChunkSize = 256;
  std::vector<std::unique_ptr<T[]>> chunks_;
  std::size_t used_ = 0;
};

// A singly linked list whose nodes are pushed at the head, stored so that a push is O(1):
// the array holds the nodes oldest first and iteration runs newest first, in list order.
template <class T>
class HeadList {
 public:
  void pushFront(const T& item) { items_.push_back(item); }
  // Replaces the list by `inListOrder` (head first).
  void assign(const std::vector<T>& inListOrder) {
    items_.clear();
    for (auto it = inListOrder.rbegin(); it != inListOrder.rend(); ++it) items_.push_back(*it);
  }
  auto begin() const { return std::make_reverse_iterator(items_.end()); }
  auto end() const { return std::make_reverse_iterator(items_.begin()); }
  std::size_t size() const { return items_.size(); }
  bool empty() const { return items_.empty(); }
  const T& front() const { return items_.end()[-1]; }
  void clear() { items_.clear(); }

 private:
  SmallVector<T> items_;  // oldest first: the reverse of list order
};

// A node of a transition list. In a place's poset, `prob` is the probability of that branch.
struct TransNode {
  double prob = 0.0;
  Trans* trans = nullptr;
};

using TransList = HeadList<TransNode>;
using PlaceList = HeadList<Place*>;

// Derived from the arcs once the model is complete (prepareFiring); lets a firing update the
// enabled list by looking only at the fired transition's neighbourhood (see unfold/firing.cpp).
struct PosetSlot;

// Places and transitions keep the fields that firing reads at their start, so that a firing
// touches one cache line of each record it visits.
struct Place {
  int id = 0;                      // creation order: index of the place's run state
  int initMarked = 0;
  int initTokens = 0;              // tokens of the initial marking (a place marked twice has 2)
  TransList poset;                 // transitions that take tokens from it, with branch probabilities
  SmallVector<Trans*> consumers;   // derived: transitions that have this place on their preset
  int countedConsumers = 0;        // derived: the first ones, with many inputs, count them marked
  int listPos = 0;                 // derived: position on the net's placeList, head = 0
  DelayType delayType{};           // none while no delay was given
  DelaySpec* delaySpec = nullptr;  // owned by the net
  TransList preset;                // transitions that put tokens into this place
  std::string name;                // an identifier of the model language
  std::string written;             // as its source file writes it, when that differs (a .g or PNML name)
  int line = 0;                    // where its source file first names it; 0 when unknown
};

// Where a transition stands on the poset of a place; the first entry whose place is marked
// orders a newly enabled transition as a scan of the marked places would.
struct PosetSlot {
  Place* place;
  int index;
};

struct Trans {
  int id = 0;                      // creation order: index of the transition's run state
  bool lowPriority = false;        // derived: some input place is initially marked
  bool slotsAreInputs = true;      // derived: every place of posetSlots is an input
  PlaceList preset;
  PlaceList poset;
  SmallVector<PosetSlot> posetSlots;  // derived, sorted by the places' listPos
  std::string name;                // an identifier of the model language
  std::string written;             // as its source file writes it, when that differs
  int line = 0;                    // where its source file first names it; 0 when unknown
};

// What a firing reads of the net, derived by prepareFiring, in flat arrays by the places' and
// transitions' numbers: every list of numbers in one array, each record naming its ranges.
// A firing then walks arrays of small records instead of following pointers from record to
// record.
struct FiringIndex {
  struct TransEntry {
    const Trans* trans;               // the transition, for its events' records
    std::uint32_t preset, presetEnd;  // input places in `ids`, list order
    std::uint32_t poset, posetEnd;    // output places in `ids`, list order
    std::uint32_t slots, slotsEnd;    // in `slots`: the transition's posetSlots
    std::int32_t choicePlace;         // its first input place when that is a free choice of
                                      // several outputs, else -1
    // The transitions its firing may enable, in `ids`, each once, in the order the scan of
    // the marked places meets them: their first slot. Kept only when that order cannot depend
    // on the marking (`fixedCandidates`): every transition the firing takes off the list or
    // may enable stands on posets of its own inputs only, so once enabled its first marked
    // slot is its first slot.
    std::uint32_t candidates, candidatesEnd;
    bool fixedCandidates;
    // Fixed candidates, no other transition on the posets of its inputs, and no transition
    // counting marked inputs at its inputs or outputs: the shape of most transitions of real
    // nets, fired without looking at the other transitions of its places.
    bool plain;
    bool plainOneToOne;  // plain, with one input and one output
    // Plain one-to-one but for a transition counting the marked inputs at its input or output,
    // as the transitions that feed a wide join of a net's components are.
    bool plainCounting;
    // Its only candidate when its candidates are fixed and there is one (as on a ring, or
    // into a join), else -1: the firing then reads no list. `candidateFollows`: that candidate
    // has this one input, an output of a one-to-one transition (a sequence), so that the
    // firing enables it unless it is enabled already.
    std::int32_t soleCandidate;
    bool candidateFollows;
    bool countsInputs;
    bool slotsAreInputs;
    bool lowPriority;
  };
  struct PlaceEntry {
    std::uint32_t poset, posetEnd;    // transitions in `ids`, list order
    std::uint32_t consumers, countedEnd, consumersEnd;  // transitions in `ids`; counted ones first
    bool initMarked;
  };
  struct Slot {
    std::int32_t place;
    int listPos;
    int index;
  };
  std::vector<TransEntry> trans;      // by Trans::id
  std::vector<PlaceEntry> places;     // by Place::id
  std::vector<std::int32_t> ids;
  std::vector<Slot> slots;
  // Net::initMarking by place number, in its order: every unfolding starts from it, and the
  // places' records of a net of thousands were a miss each.
  std::vector<std::int32_t> initMarking;
};

// The target TSE: occurrence i of `source` against occurrence i + separation of `destination`.
// After ".lb" the pair is stored mirrored (swapped, separation negated) with lowerBound 1.
// `askedSource` and `askedDestination` keep the names as the user wrote them when the target
// was asked by name (-tse, a targets file); empty otherwise.
// Formerly TransPair.
struct TargetPair {
  Trans* source = nullptr;
  Trans* destination = nullptr;
  int separation = 0;
  int lowerBound = 0;
  std::string askedSource;
  std::string askedDestination;
};

struct Net {
  std::string name;                // empty while the model has no name
  HeadList<Trans*> transList;      // newest first
  PlaceList placeList;             // newest first
  PlaceList initMarking;           // newest first; a place marked twice stands twice
  TargetPair* target = nullptr;     // the model's target TSE, or none
  // The targets a run estimates when they are not just the model's target: targets asked by
  // name replace it, the first of them becoming `target`.
  std::vector<TargetPair*> runTargets;
  int numPlaces = 0;
  int numTrans = 0;
  std::vector<Place*> placeById;   // by id
  std::vector<Trans*> transById;

  // Every change of names, arcs or the initial marking counts a revision, so that the derived
  // firing information can tell whether it is current.
  unsigned revision = 1;
  unsigned derivedRevision = 0;    // revision prepareFiring derived its information at
  // Derived: the enabled list of the initial marking, in the order a scan of the marked
  // places gives it; the same for every unfolding of the model.
  std::vector<Trans*> initiallyEnabled;
  FiringIndex firing;              // derived

  // Ownership and name lookup.
  RecordPool<Place> places;
  RecordPool<Trans> transitions;
  std::vector<std::unique_ptr<DelaySpec>> delaySpecs;
  std::vector<std::unique_ptr<TargetPair>> targetPairs;
  struct NameOf {
    std::string_view operator()(const Place* p) const { return p->name; }
    std::string_view operator()(const Trans* t) const { return t->name; }
  };
  FlatIndex<Place, std::string_view, NameOf, std::hash<std::string_view>> placeByName;
  FlatIndex<Trans, std::string_view, NameOf, std::hash<std::string_view>> transByName;

  Net();
  ~Net();
  Net(const Net&) = delete;
  Net& operator=(const Net&) = delete;
};

// The model's name as reports print it: "(none)" when no model file named one.
inline const char* modelName(const Net& net) { return net.name.empty() ? text::kUnnamedModel : net.name.c_str(); }

}  // namespace zelbo
