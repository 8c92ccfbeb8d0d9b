#include "unfold/choice.h"

#include <algorithm>
#include <cstdlib>

#include "base/format.h"
#include "base/texts.h"
#include "unfold/firing.h"
#include "unfold/positions.h"
#include "zelbo/error.h"

namespace zelbo {

double uniform(Unfolder& u) { return u.rng.next(); }

namespace {
int scoreOf(const TransState& trans) {
  return trans.selectionCount <= 0 ? 0 : trans.selectionScore / trans.selectionCount;
}
}  // namespace

double stageScore(const TransState& trans) { return static_cast<double>(scoreOf(trans)); }

const Trans* drawBranch(Unfolder& u, const Place* place) {
  double draw = uniform(u);
  const Trans* chosen = nullptr;
  for (const TransNode& node : place->poset) {
    chosen = node.trans;
    if (node.prob > draw) return chosen;
    draw -= node.prob;
  }
  return chosen;  // the last branch takes what the probabilities leave
}

namespace {

// Where the chosen transition's first input place is a free choice among several outputs,
// the place's branch probabilities decide instead. `error` is the chooser's message for a
// drawn transition that is not enabled.
std::int32_t applyFreeChoice(Unfolder& u, std::int32_t chosen, const char* error) {
  const std::int32_t choice = u.state.trans[chosen].choicePlace;
  if (choice < 0) return chosen;
  const Place* first = u.net.placeById[choice];
  const Trans* drawn = drawBranch(u, first);
  if (drawn == u.net.transById[chosen]) return chosen;
  if (!u.state.at(drawn).enabled) failRunWith(error);
  return drawn->id;
}

std::int32_t randomEnabled(Unfolder& u) {
  const double draw = uniform(u);
  RunState& s = u.state;
  const int n = s.numEnabled;
  int k = static_cast<int>(draw * n);
  if (k != n) ++k;
  // k steps from the head, the last one wrapping round to the head.
  if (s.positions.active || n > kLongList) {
    if (!s.positions.active) startPositions(s);
    return transAtPosition(s, k == n ? 0 : k);  // k % n, without the division
  }
  std::int32_t t = s.enabledHead;
  for (int step = 0; step < k; ++step) {
    const std::int32_t next = s.enabledLinks[t].next;
    t = next != kNoTrans ? next : s.enabledHead;
  }
  return t;
}

// The lowest score; ties go to the transition nearest the head. The kept score is single
// precision.
std::int32_t bestScoredByWalk(const Unfolder& u) {
  const RunState& s = u.state;
  std::int32_t best = kNoTrans;
  float bestScore = 0;
  forEachEnabled(s, [&](std::int32_t t) {
    const double score = stageScore(s.trans[t]);
    if (best == kNoTrans || score < bestScore) {
      best = t;
      bestScore = static_cast<float>(score);
    }
  });
  return best;
}

// Heap order: the lowest score first, then the earliest append, which is the position nearest
// the head (the list only appends at its tail).
bool earlierInChoice(const ScoredEntry& a, const ScoredEntry& b) { return a.rank < b.rank; }

// The heap's own sifts, four children to a node: the choice at each stage pops a fired
// transition's entry, and on a list of thousands half as many levels are half as many loads
// waiting on each other. Entry i's children are 4i + 1 .. 4i + 4. The ranks meet in no order
// a predictor could learn, so the smallest child is taken by arithmetic rather than by a
// branch: a pop goes down to a leaf along the smallest children and brings the last entry up
// from there, as far as it belongs.
constexpr std::size_t kHeapArity = 4;

void siftUp(std::vector<ScoredEntry>& heap, std::size_t hole, ScoredEntry moving) {
  while (hole > 0) {
    const std::size_t parent = (hole - 1) / kHeapArity;
    if (heap[parent].rank <= moving.rank) break;
    heap[hole] = heap[parent];
    hole = parent;
  }
  heap[hole] = moving;
}

// The smallest of the `count` entries from `first` on (count from 1 to 4).
std::size_t smallestOf(const std::vector<ScoredEntry>& heap, std::size_t first, std::size_t count) {
  std::size_t best = first;
  for (std::size_t c = first + 1; c < first + count; ++c) best = heap[c].rank < heap[best].rank ? c : best;
  return best;
}

void popTop(std::vector<ScoredEntry>& heap) {
  const ScoredEntry moving = heap.back();
  heap.pop_back();
  const std::size_t n = heap.size();
  if (n == 0) return;
  std::size_t hole = 0;
  for (std::size_t first = 1; first + kHeapArity <= n; first = kHeapArity * hole + 1) {
    const std::size_t low = first + (heap[first + 1].rank < heap[first].rank);
    const std::size_t high = first + 2 + (heap[first + 3].rank < heap[first + 2].rank);
    const std::size_t child = heap[high].rank < heap[low].rank ? high : low;
    heap[hole] = heap[child];
    hole = child;
  }
  if (const std::size_t first = kHeapArity * hole + 1; first < n) {  // a last parent of fewer children
    const std::size_t child = smallestOf(heap, first, n - first);
    heap[hole] = heap[child];
    hole = child;
  }
  siftUp(heap, hole, moving);
}

bool current(const RunState& s, const ScoredEntry& e) {
  const TransState& ts = s.trans[e.trans];
  return ts.enabled && stageRank(scoreOf(ts), ts.appendOrder) == e.rank;
}

void startHeap(Unfolder& u) {
  RunState& s = u.state;
  s.scoreHeap.clear();
  s.heapActive = true;
  forEachEnabled(s, [&](std::int32_t t) {
    if (s.trans[t].lowPriority) rankForStageChoice(s, t);
  });
}

// What the walk along the list returns, from the heap of ranked transitions: at a stage's
// opening every enabled transition is low priority and ranked. The walk keeps its best score
// in single precision; while every score is an integer that single precision holds exactly,
// that is the first transition of the lowest score.
std::int32_t bestScoredEnabled(Unfolder& u) {
  RunState& s = u.state;
  if (!s.heapActive) {
    if (s.numEnabled <= kLongList || s.hugeScores) return bestScoredByWalk(u);
    startHeap(u);
  }
  std::vector<ScoredEntry>& heap = s.scoreHeap;
  if (heap.size() > 4 * static_cast<std::size_t>(s.numEnabled) + 256) {
    heap.erase(std::remove_if(heap.begin(), heap.end(), [&](const ScoredEntry& e) { return !current(s, e); }),
               heap.end());
    std::sort(heap.begin(), heap.end(), earlierInChoice);  // in order: a heap of any arity
  }
  while (!heap.empty() && !current(s, heap.front())) {
    popTop(heap);
  }
  if (s.hugeScores || heap.empty() || static_cast<std::size_t>(s.numEnabled) > heap.size())
    return bestScoredByWalk(u);
  return heap.front().trans;
}

}  // namespace

void rankForStageChoice(RunState& s, std::int32_t trans) {
  TransState& ts = s.trans[trans];
  const int score = scoreOf(ts);
  constexpr int kExactInFloat = 1 << 24;
  if (std::abs(static_cast<long>(score)) > kExactInFloat || s.appends == UINT32_MAX) s.hugeScores = true;
  s.scoreHeap.emplace_back();
  siftUp(s.scoreHeap, s.scoreHeap.size() - 1, {stageRank(score, ts.appendOrder), trans});
}

void clearStageChoice(RunState& s) {
  clearPositions(s);
  s.scoreHeap.clear();
  s.heapActive = false;
  s.appends = 0;
}

void pauseStageRanking(RunState& s) {
  s.scoreHeap.clear();
  s.heapActive = false;
}

std::int32_t lowPriorityToFire(Unfolder& u, int mode) {
  if (u.state.numEnabled == 0) {
    Error deadlock(Error::Kind::run, text::kNoLowPriorityEnabled);
    if (u.settings.verbose > 1) deadlock.withListing(markingListing(u));
    throw deadlock;
  }
  const std::int32_t chosen = mode == 1 ? randomEnabled(u) : bestScoredEnabled(u);
  return applyFreeChoice(u, chosen, text::kLowPriorityNotEnabled);
}

const Trans* lowPriorityTransition(Unfolder& u, int mode) { return u.net.transById[lowPriorityToFire(u, mode)]; }

std::int32_t firstHighPriorityEnabled(Unfolder& u) {
  return applyFreeChoice(u, u.state.highHead, text::kHighPriorityNotEnabled);
}

}  // namespace zelbo
