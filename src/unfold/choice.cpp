#include "unfold/choice.h"

#include <cstdlib>

#include "driver/fatal.h"
#include "driver/globals.h"
#include "unfold/enabled.h"

double uniform() { return drand48(); }

int IsLowPriority(const Trans* trans) {
  for (const Place* p : trans->preset)
    if (p->initMarked) return 1;
  return 0;
}

double GetPriority(const Trans* trans) {
  if (trans->selectionCount <= 0) return 0.0;
  return static_cast<double>(trans->selectionScore / trans->selectionCount);
}

int IsFreeChoice(const Place* place) {
  for (const TransNode& node : place->poset)
    if (node.trans->preset.size() != 1) return 0;
  return 1;
}

Trans* makeDecision(const Place* place) {
  double u = uniform();
  Trans* chosen = nullptr;
  for (const TransNode& node : place->poset) {
    chosen = node.trans;
    if (node.prob > u) return chosen;
    u -= node.prob;
  }
  return chosen;  // the last branch takes what the probabilities leave
}

namespace {

// Where the chosen transition's first input place is a free choice among several outputs,
// the place's branch probabilities decide instead. `error` is the chooser's message for a
// drawn transition that is not enabled.
Trans* applyFreeChoice(Trans* chosen, const char* error) {
  if (chosen->preset.empty()) return chosen;
  const Place* first = chosen->preset.front();
  if (first->poset.size() < 2 || !IsFreeChoice(first)) return chosen;
  Trans* drawn = makeDecision(first);
  if (drawn == chosen) return chosen;
  if (!drawn->enabled) fatal("%s", error);
  return drawn;
}

Trans* randomEnabled(const Net* net) {
  const double u = uniform();
  const int n = net->numEnabled;
  int k = static_cast<int>(u * n);
  if (k != n) ++k;
  Trans* t = net->enabledHead;
  for (int step = 0; step < k; ++step) t = t->enabledNext ? t->enabledNext : net->enabledHead;
  return t;
}

// The lowest score; ties go to the transition nearest the head. The kept score is single
// precision.
Trans* bestScoredEnabled(const Net* net) {
  Trans* best = net->enabledHead;
  float bestScore = static_cast<float>(GetPriority(best));
  for (Trans* t = best->enabledNext; t; t = t->enabledNext) {
    const double score = GetPriority(t);
    if (score < bestScore) {
      best = t;
      bestScore = static_cast<float>(score);
    }
  }
  return best;
}

}  // namespace

Trans* getLowPriorityEnabled(int mode) {
  const Net* net = gNet;
  if (!net->enabledHead) {
    fprintf(stderr, "\n\tError: No low priority transition is enabled.\n");
    int emptied = 0;
    dumpMarking(emptied);
    exit(1);
  }
  Trans* chosen = mode == 1 ? randomEnabled(net) : bestScoredEnabled(net);
  return applyFreeChoice(chosen, "\n\tError: A chosen low priority transition happened not in the enabledList.\n");
}

Trans* getHighPriorityEnabled() {
  Trans* first = gNet->highHead;
  if (!first) return nullptr;
  return applyFreeChoice(first,
                         "\n\tError: A chosen high-priority transition happened to be not in the enabledList.\n");
}
