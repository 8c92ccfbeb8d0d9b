// What one run of the token game changes, apart from the model: the marking, the counts of
// occurrences, the enabled list and the adaptive scores, in flat arrays indexed by the
// places' and transitions' numbers; and the unfolder, which holds that state with the
// unfolded graph, the counters of the unfolding, the scratch of the firings and the random
// stream of one sampler. Any number of unfolders may run on one model.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/random.h"
#include "net/net.h"
#include "unfold/graph.h"
#include "unfold/positions.h"
#include "zelbo/settings.h"

namespace zelbo {

constexpr std::int32_t kNoTrans = -1;
constexpr std::int32_t kCountedBySeveral = -2;  // see PlaceState::countedBy

// Each record also keeps what of the firing index every token change, append or enabling
// check asks: on a net too large for the nearest cache, the index's record would be one more
// miss.
struct PlaceState {
  int tokens = 0;
  CondId lastCond = kNone;    // the Cond most recently produced here
  // The transition that counts the marked inputs here when there is one (as with a join of
  // many components), kCountedBySeveral when there are more, kNoTrans for none.
  std::int32_t countedBy = kNoTrans;
  bool initMarked = false;    // FiringIndex::PlaceEntry::initMarked
  // Values a condition's delay here takes from the random stream (0 or 1), as the sampler
  // sets them; the graph sums them as it makes conditions (UnfoldedGraph::delayDraws).
  std::uint8_t delayDraws = 0;
  int condCount = 0;          // conditions of the initial marking made for this place
};

// What a firing does besides its tokens, as fire() dispatches on it (see
// FiringIndex::TransEntry's plain flags).
enum class FiringShape : std::uint8_t { oneToOne, plain, counting, general };

// One cache line a transition: the stage choice and a plain firing read nothing else of it,
// where its firing index entry and the index's list of its outputs were two more misses per
// firing on a net too large for the nearest cache.
struct alignas(64) TransState {
  const Trans* model = nullptr;   // the transition, for its events' records (as in its index entry)
  int occurrences = 0;        // firings so far in the current unfolding
  int enabled = 0;            // 1 while on the enabled list
  int markedInputs = 0;       // marked input places, kept by firing for big presets
  unsigned candidateStamp = 0;  // the firing that last examined this transition
  int selectionScore = 0;     // empty initially marked places after the stages it opened
  int selectionCount = 0;     // stages it opened
  std::uint32_t appendOrder = 0;  // when it was last appended to the enabled list
  std::int32_t watchSlot = -1;    // its list in UnfoldedGraph::watched when a target names it
  std::int32_t slot = -1;         // while on the list that the positions hold, its slot there
  // Copied from the firing index (FiringIndex::TransEntry):
  std::int32_t soleInput = -1;    // its input place when it has one only, else -1
  std::int32_t soleOutput = -1;   // its output place when it has one only, else -1
  std::int32_t soleCandidate = -1;  // TransEntry::soleCandidate
  std::int32_t choicePlace = -1;    // TransEntry::choicePlace
  FiringShape shape = FiringShape::general;
  bool lowPriority = true;
  bool candidateFollows = false;  // TransEntry::candidateFollows
};
static_assert(sizeof(TransState) == 64);

// An entry of the stage choice's heap: a low-priority transition on the enabled list with its
// score and the order of its append. Entries are not removed when the transition leaves the
// list or its score changes; such stale entries are dropped when they reach the top.
struct ScoredEntry {
  std::uint64_t rank;  // the score, offset to unsigned, above the append order: one comparison
  std::int32_t trans;
};
inline std::uint64_t stageRank(int score, std::uint32_t appendOrder) {
  return std::uint64_t{static_cast<std::uint32_t>(score) ^ 0x80000000u} << 32 | appendOrder;
}

// A transition's neighbours on a list, by transition number (kNoTrans for none).
struct ListLinks {
  std::int32_t prev = kNoTrans;
  std::int32_t next = kNoTrans;
};

struct RunState {
  std::vector<PlaceState> places;  // by Place::id
  std::vector<TransState> trans;   // by Trans::id
  // The links of the enabled list and of its high-priority sublist (same order), by Trans::id,
  // apart from the rest of the state so that a walk along the list loads nothing else.
  std::vector<ListLinks> enabledLinks;
  std::vector<ListLinks> highLinks;
  // The enabled list: first in, first out; linked through enabledLinks until a long list
  // starts the positions, which hold it from then on (see positions.h) and leave the links
  // empty.
  std::int32_t enabledHead = kNoTrans;
  std::int32_t enabledTail = kNoTrans;
  std::int32_t highHead = kNoTrans;  // first high-priority transition on the enabled list
  std::int32_t highTail = kNoTrans;
  int numEnabled = 0;         // on the enabled list proper: not counting the high-priority apart
  // While a segment's stages fire, a high-priority transition is put on its sublist only. Each
  // stage fires them until none is enabled, so the list proper is the same at every choice of
  // an opening, and needs no link and unlink for most firings.
  bool highApart = false;
  // Marking summary kept current by every token change, so that comparing the marking with
  // the initial one costs O(1): initially marked places without a token, and other places
  // holding one.
  int emptyInitPlaces = 0;
  int strayMarkedPlaces = 0;
  bool resetOnce = false;  // the model has been put back to its initial marking once
  // The stage choice: the enabled low-priority transitions by (score, append order), the
  // order the walk along the list compares them in (see choice.cpp). Kept from the first
  // stage of an unfolding that finds the list long, until the list is emptied.
  std::vector<ScoredEntry> scoreHeap;
  bool heapActive = false;
  std::uint32_t appends = 0;
  bool hugeScores = false;  // a score beyond single precision's integers: walk the list instead
  ListPositions positions;  // for uniform draws on long lists (see positions.h)

  PlaceState& at(const Place* p) { return places[p->id]; }
  const PlaceState& at(const Place* p) const { return places[p->id]; }
  TransState& at(const Trans* t) { return trans[t->id]; }
  const TransState& at(const Trans* t) const { return trans[t->id]; }
};

// Calls f(t) for each transition on the enabled list proper, head first.
template <class F>
void forEachEnabled(const RunState& s, F&& f) {
  if (s.positions.active) return forEachPositioned(s.positions, f);
  for (std::int32_t t = s.enabledHead; t != kNoTrans;) {
    const std::int32_t next = s.enabledLinks[t].next;  // f may take t off
    f(t);
    t = next;
  }
}

// Transitions that a firing may have enabled, with the position at which the full scan of the
// marked places would meet them first.
struct Candidate {
  int placePos;
  int index;
  std::int32_t trans;
  bool operator<(const Candidate& other) const {
    return placePos != other.placePos ? placePos < other.placePos : index < other.index;
  }
};

// Scratch of the firings, reused from firing to firing.
struct FiringScratch {
  unsigned stamp = 0;                       // counts the firings
  std::vector<std::int32_t> removed;        // taken off the list by this firing
  std::vector<Candidate> newlyEnabled;
  std::vector<std::int32_t> deferred;       // met while the outputs were marked; examined after
  std::size_t appendedEarly = 0;
  bool inScanOrder = true;
};

// One target of the run as the unfolder serves it: its transitions by number, its separation
// (of the pair as stored), the leading instances it skips, and where the current unfolding
// stands for it.
struct TargetRun {
  std::int32_t source = kNoTrans;
  std::int32_t destination = kNoTrans;
  std::int32_t sourceSlot = -1;       // their lists in UnfoldedGraph::watched
  std::int32_t destinationSlot = -1;
  int separation = 0;
  bool lowerBound = false;            // the pair is a lower bound's, stored mirrored
  int skipCount = 0;                  // leading TSE instances each unfolding skips; grows with discards
  // Of the current unfolding: skipping its leading instances, then collecting until at least
  // one instance is in, then done.
  enum class Phase { skipping, collecting, done } phase = Phase::skipping;
  int firstInstance = 0;              // occurrence index of the first counted source event
  int instances = 0;                  // TSE instances
  int destinationsAtDone = 0;         // destination firings when it was done
  int segmentsWithoutSource = 0;      // consecutive segments of this unfolding without one
};

struct Unfolder {
  // The model must have its firing information prepared (prepareFiring) and must outlive the
  // unfolder unchanged; the settings are copied.
  Unfolder(const Net& net, const Settings& settings, long seed);

  const Net& net;
  const Settings settings;
  RunState state;
  UnfoldedGraph graph;            // the unfolded graph of the current sample
  Random48 rng;

  int segmentNumber = 0;              // unfoldings built so far
  std::vector<TargetRun> targets;     // the targets of the run, in order
  bool withTails = false;             // some target has a positive separation
  // Scratch of one unfolding: each target's source firings before a segment, and the
  // destination firings its tail still needs, by watched list.
  std::vector<int> sourcesBefore;
  std::vector<int> destinationNeeds;
  FiringScratch firing;

  Unfolder(const Unfolder&) = delete;
  Unfolder& operator=(const Unfolder&) = delete;
};

}  // namespace zelbo
