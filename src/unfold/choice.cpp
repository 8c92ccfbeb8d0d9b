#include "unfold/choice.h"

#include <algorithm>
#include <cstdlib>

#include "unfold/enabled.h"
#include "unfold/positions.h"
#include "zelbo/error.h"

namespace zelbo {

double uniform(Unfolder& u) { return u.rng.next(); }

namespace {
int scoreOf(const TransState& trans) {
  return trans.selectionCount <= 0 ? 0 : trans.selectionScore / trans.selectionCount;
}
}  // namespace

double GetPriority(const TransState& trans) { return static_cast<double>(scoreOf(trans)); }

const Trans* makeDecision(Unfolder& u, const Place* place) {
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

// A list this short is walked; a longer one starts the heap or the positions.
constexpr int kWalkedList = 32;

// Where the chosen transition's first input place is a free choice among several outputs,
// the place's branch probabilities decide instead. `error` is the chooser's message for a
// drawn transition that is not enabled.
const Trans* applyFreeChoice(Unfolder& u, std::int32_t chosenId, const char* error) {
  const Trans* chosen = u.net.transById[chosenId];
  const std::int32_t choice = u.net.firing.trans[chosenId].choicePlace;
  if (choice < 0) return chosen;
  const Place* first = u.net.placeById[choice];
  const Trans* drawn = makeDecision(u, first);
  if (drawn == chosen) return chosen;
  if (!u.state.at(drawn).enabled) fatal("%s", error);
  return drawn;
}

const Trans* randomEnabled(Unfolder& u) {
  const double draw = uniform(u);
  RunState& s = u.state;
  const int n = s.numEnabled;
  int k = static_cast<int>(draw * n);
  if (k != n) ++k;
  // k steps from the head, the last one wrapping round to the head.
  if (s.positions.active || n > kWalkedList) {
    if (!s.positions.active) startPositions(s);
    return u.net.transById[transAtPosition(s, k % n)];
  }
  std::int32_t t = s.enabledHead;
  for (int step = 0; step < k; ++step) {
    const std::int32_t next = s.enabledLinks[t].next;
    t = next != kNoTrans ? next : s.enabledHead;
  }
  return u.net.transById[t];
}

// The lowest score; ties go to the transition nearest the head. The kept score is single
// precision.
const Trans* bestScoredByWalk(const Unfolder& u) {
  const RunState& s = u.state;
  std::int32_t best = s.enabledHead;
  float bestScore = static_cast<float>(GetPriority(s.trans[best]));
  for (std::int32_t t = s.enabledLinks[best].next; t != kNoTrans; t = s.enabledLinks[t].next) {
    const double score = GetPriority(s.trans[t]);
    if (score < bestScore) {
      best = t;
      bestScore = static_cast<float>(score);
    }
  }
  return u.net.transById[best];
}

// Heap order: the lowest score first, then the earliest append, which is the position nearest
// the head (the list only appends at its tail).
bool laterInChoice(const ScoredEntry& a, const ScoredEntry& b) {
  return a.score != b.score ? a.score > b.score : a.appendOrder > b.appendOrder;
}

bool current(const RunState& s, const ScoredEntry& e) {
  const TransState& ts = s.trans[e.trans];
  return ts.enabled && ts.appendOrder == e.appendOrder && scoreOf(ts) == e.score;
}


void startHeap(Unfolder& u) {
  RunState& s = u.state;
  s.scoreHeap.clear();
  s.heapActive = true;
  for (std::int32_t t = s.enabledHead; t != kNoTrans; t = s.enabledLinks[t].next)
    if (u.net.transById[t]->lowPriority) rankForStageChoice(s, u.net.transById[t]);
}

// What the walk along the list returns, from the heap of ranked transitions: at a stage's
// opening every enabled transition is low priority and ranked. The walk keeps its best score
// in single precision; while every score is an integer that single precision holds exactly,
// that is the first transition of the lowest score.
const Trans* bestScoredEnabled(Unfolder& u) {
  RunState& s = u.state;
  if (!s.heapActive) {
    if (s.numEnabled <= kWalkedList || s.hugeScores) return bestScoredByWalk(u);
    startHeap(u);
  }
  std::vector<ScoredEntry>& heap = s.scoreHeap;
  if (heap.size() > 4 * static_cast<std::size_t>(s.numEnabled) + 256) {
    heap.erase(std::remove_if(heap.begin(), heap.end(), [&](const ScoredEntry& e) { return !current(s, e); }),
               heap.end());
    std::make_heap(heap.begin(), heap.end(), laterInChoice);
  }
  while (!heap.empty() && !current(s, heap.front())) {
    std::pop_heap(heap.begin(), heap.end(), laterInChoice);
    heap.pop_back();
  }
  if (s.hugeScores || heap.empty() || static_cast<std::size_t>(s.numEnabled) > heap.size())
    return bestScoredByWalk(u);
  return u.net.transById[heap.front().trans];
}

}  // namespace

void rankForStageChoice(RunState& s, const Trans* trans) {
  TransState& ts = s.trans[trans->id];
  const int score = scoreOf(ts);
  constexpr int kExactInFloat = 1 << 24;
  if (std::abs(static_cast<long>(score)) > kExactInFloat || s.appends == UINT32_MAX) s.hugeScores = true;
  s.scoreHeap.push_back({score, ts.appendOrder, trans->id});
  std::push_heap(s.scoreHeap.begin(), s.scoreHeap.end(), laterInChoice);
}

void clearStageChoice(RunState& s) {
  clearPositions(s.positions);
  s.scoreHeap.clear();
  s.heapActive = false;
  s.appends = 0;
}

const Trans* getLowPriorityEnabled(Unfolder& u, int mode) {
  if (u.state.enabledHead == kNoTrans) {
    std::string message = "\n\tError: No low priority transition is enabled.\n";
    if (u.settings.verbose > 1) message += markingListing(u);
    throw Error(std::move(message), 1);
  }
  const Trans* chosen = mode == 1 ? randomEnabled(u) : bestScoredEnabled(u);
  return applyFreeChoice(u, chosen->id,
                         "\n\tError: A chosen low priority transition happened not in the enabledList.\n");
}

const Trans* firstHighPriorityEnabled(Unfolder& u) {
  return applyFreeChoice(u, u.state.highHead,
                         "\n\tError: A chosen high-priority transition happened to be not in the enabledList.\n");
}

}  // namespace zelbo
