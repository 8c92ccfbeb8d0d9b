// The net model: places with their delays, transitions, arcs, choice probabilities, the
// initial marking and the target TSE pair. Built once by the model reader, then read by the
// checks, the unfolding and the estimation, which also keep run-time counters in it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

struct DelaySpec;
struct Place;
struct Trans;

// A singly linked list whose nodes are pushed at the head, stored so that a push is O(1):
// the vector holds the nodes oldest first and iteration runs newest first, in list order.
template <class T>
class HeadList {
 public:
  void pushFront(T item) { items_.push_back(std::move(item)); }
  // Replaces the list by `inListOrder` (head first).
  void assign(const std::vector<T>& inListOrder) { items_.assign(inListOrder.rbegin(), inListOrder.rend()); }
  auto begin() const { return items_.rbegin(); }
  auto end() const { return items_.rend(); }
  auto begin() { return items_.rbegin(); }
  auto end() { return items_.rend(); }
  std::size_t size() const { return items_.size(); }
  bool empty() const { return items_.empty(); }
  const T& front() const { return items_.back(); }
  void clear() { items_.clear(); }

 private:
  std::vector<T> items_;  // oldest first: the reverse of list order
};

// A node of a transition list. In a place's poset, `prob` is the probability of that branch.
struct TransNode {
  double prob = 0.0;
  Trans* trans = nullptr;
};

using TransList = HeadList<TransNode>;
using PlaceList = HeadList<Place*>;

// Derived from the arcs once the model is complete; lets a firing update the enabled list by
// looking only at the fired transition's neighbourhood (see unfold/enabled.cpp).
struct PlaceFiringInfo {
  int listPos = 0;                 // position on the net's placeList, head = 0
  std::vector<Trans*> consumers;   // transitions that have this place on their preset
};

// Where a transition stands on the posets of the places: (listPos, index on that poset),
// sorted; the first entry whose place is marked orders a newly enabled transition.
struct PosetSlot {
  int placePos;
  int index;
  Place* place;
};

struct TransFiringInfo {
  bool lowPriority = false;        // some input place is initially marked
  std::vector<PosetSlot> posetSlots;
  int markedInputs = 0;            // input places holding a token, kept current by firing
  unsigned candidateStamp = 0;     // the firing that last examined this transition
};

struct Place {
  std::string name;
  int delayType = 0;               // 1..7, 0 while no delay was given
  int tokens = 0;
  int condCount = 0;               // index of the next Cond of this place
  int initMarked = 0;
  DelaySpec* delaySpec = nullptr;  // owned by the net
  std::int32_t lastCond = -1;      // the Cond most recently produced here (unfolded graph id)
  TransList preset;                // transitions that put tokens into this place
  TransList poset;                 // transitions that take tokens from it, with branch probabilities
  PlaceFiringInfo firing;
};

struct Trans {
  std::string name;
  int occurrences = 0;             // firings so far in the current unfolding
  PlaceList preset;
  PlaceList poset;
  int enabled = 0;                 // 1 while on the enabled list
  int selectionScore = 0;          // empty initially marked places after the stages it opened
  int selectionCount = 0;          // stages it opened
  // Links of the enabled list, and of its high-priority sublist (same order).
  Trans* enabledPrev = nullptr;
  Trans* enabledNext = nullptr;
  Trans* highPrev = nullptr;
  Trans* highNext = nullptr;
  TransFiringInfo firing;
};

// The target TSE: occurrence i of `source` against occurrence i + separation of `destination`.
// After ".lb" the pair is stored mirrored (swapped, separation negated) with lowerBound 1.
struct TransPair {
  Trans* source = nullptr;
  Trans* destination = nullptr;
  int separation = 0;
  int lowerBound = 0;
};

struct Net {
  std::string name;                // empty while the model has no name
  HeadList<Trans*> transList;      // newest first
  PlaceList placeList;             // newest first
  PlaceList initMarking;           // newest first; a place marked twice stands twice
  // The enabled list: first in, first out; linked through the transitions.
  Trans* enabledHead = nullptr;
  Trans* enabledTail = nullptr;
  Trans* highHead = nullptr;       // first high-priority transition on the enabled list
  Trans* highTail = nullptr;
  int numPlaces = 0;
  int numTrans = 0;
  int numEnabled = 0;

  // Marking summary kept current by every token change, so that comparing the marking with
  // the initial one costs O(1): initially marked places without a token, and other places
  // holding one.
  int emptyInitPlaces = 0;
  int strayMarkedPlaces = 0;
  unsigned firingInfoRevision = 0; // model revision the firing information was derived at

  // Ownership and name lookup.
  std::vector<std::unique_ptr<Place>> places;        // creation order
  std::vector<std::unique_ptr<Trans>> transitions;   // creation order
  std::vector<std::unique_ptr<DelaySpec>> delaySpecs;
  std::vector<std::unique_ptr<TransPair>> targetPairs;
  std::unordered_map<std::string_view, Place*> placeByName;
  std::unordered_map<std::string_view, Trans*> transByName;

  Net();
  ~Net();
  Net(const Net&) = delete;
  Net& operator=(const Net&) = delete;
};
