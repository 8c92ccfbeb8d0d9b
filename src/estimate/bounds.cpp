#include "estimate/bounds.h"

#include <cstdint>
#include <cstdio>
#include <ctime>

#include "driver/fatal.h"
#include "driver/globals.h"
#include "estimate/evaluate.h"
#include "estimate/pairs.h"
#include "estimate/time.h"
#include "spec/net.h"
#include "spec/read.h"
#include "unfold/enabled.h"
#include "unfold/graph.h"
#include "unfold/unfold.h"

namespace {

// One series of the stopping rule.
struct Series {
  double sum = 0.0;
  double sumSq = 0.0;
  int required = -1;
};

// Totals of the accepted samples.
struct Totals {
  int samples = 0;          // n
  int instances = 0;        // m
  double groupSums = 0.0;   // S
  Series groupSum, groupSize, groupAverage;
};

long processorSeconds() { return static_cast<long>(clock() / 1000000); }

// Feeds the three series; the run may stop when the group averages have converged, or both
// the group sums and the group sizes.
bool updateStoppingRule(Totals& t, double value, int groupSize) {
  t.groupAverage.sum += value / groupSize;
  const bool sums = Monte_Carlo(value, t.samples, t.groupSums, t.groupSum.sumSq, t.groupSum.required);
  const bool sizes = Monte_Carlo(groupSize, t.samples, t.instances, t.groupSize.sumSq, t.groupSize.required);
  const bool averages = Monte_Carlo(value / groupSize, t.samples, t.groupAverage.sum, t.groupAverage.sumSq,
                                    t.groupAverage.required);
  return averages || (sums && sizes);
}

}  // namespace

void writeIntermediateReport(int n, int m, double s, int required) {
  fprintf(gOutFp, "\n\n\t\t###Intermediate Report###\n\n");
  fprintf(gOutFp, "\n\tCPU time used: %.3g seconds.", clock() / 1000000.0);
  fprintf(gOutFp, "\n\tNumber of segments unfolded: %d", gSegmentNumber);
  fprintf(gOutFp, "\n\tNumber of useful segments unfolded (samples): %d", n);
  fprintf(gOutFp, "\n\tNumber of TSE instances sampled: %d", m);
  if (required < 0) {
    fprintf(gOutFp, "\n\tNumber of TSE instances to sample (expected): Not yet known.");
  } else {
    const long long expected = static_cast<long long>(required) * (m / n);
    fprintf(gOutFp, "\n\tNumber of TSE instances to sample (expected): %lld", expected);
  }
  fprintf(gOutFp, "\n\tAverage number of TSE instances within a group: %lg", static_cast<double>(m) / n);
  const TransPair& target = *gTargetTransPair;
  if (!target.lowerBound) {
    fprintf(gOutFp, "\n\tAverage grouped TSE: %lg", s / n);
    fprintf(gOutFp, "\n\n\tUpper bound on average TSE(%s, %s, %d) = %.5g\n", target.source->name.c_str(),
            target.destination->name.c_str(), target.separation, s / m);
  } else {
    fprintf(gOutFp, "\n\tAverage grouped TSE: %lg", -s / n);
    fprintf(gOutFp, "\n\n\tLower bound on average TSE(%s, %s, %d) = %.5g\n", target.destination->name.c_str(),
            target.source->name.c_str(), wrapNeg(target.separation), -s / m);
  }
}

namespace {

void resetAllPlacesAndTransitions(Net* net) {
  for (Trans* t : net->transList) t->occurrences = 0;
  for (Place* p : net->placeList) {
    p->condCount = 0;
    setTokens(net, p, 0);
  }
  for (Place* p : net->initMarking) setTokens(net, p, 1);
  net->resetRevision = modelRevision();
}

// Once the model has been reset, only what the unfolding touched can differ from the
// initial marking: the transitions of its events and the places of its conditions.
void resetWhatTheUnfoldingTouched(Net* net, const UnfoldNet& graph) {
  // The records are spread over memory; ask for them a few iterations ahead.
  constexpr std::size_t kAhead = 16;
  const std::size_t events = graph.events.size(), conds = graph.conds.size();
  for (std::size_t i = 0; i < events; ++i) {
    if (i + kAhead < events) __builtin_prefetch(graph.events[i + kAhead].trans, 1);
    graph.events[i].trans->occurrences = 0;
  }
  for (std::size_t i = 0; i < conds; ++i) {
    if (i + kAhead < conds) __builtin_prefetch(graph.conds[i + kAhead].place, 1);
    Place* p = graph.conds[i].place;
    p->condCount = 0;
    setTokens(net, p, p->initMarked ? 1 : 0);
  }
}

}  // namespace

void clear_gNet() {
  Net* net = gNet;
  prepareFiring(net);
  if (net->resetRevision != modelRevision()) resetAllPlacesAndTransitions(net);
  else resetWhatTheUnfoldingTouched(net, *gUnfoldNet);
  for (Trans* t = net->enabledHead; t;) {
    Trans* next = t->enabledNext;
    t->enabled = 0;
    t->enabledPrev = t->enabledNext = t->highPrev = t->highNext = nullptr;
    t = next;
  }
  net->enabledHead = net->enabledTail = nullptr;
  net->highHead = net->highTail = nullptr;
  net->numEnabled = 0;
}

double bounds(int& unpaired) {
  unpaired = 0;
  Totals totals;
  bool stop = false;
  int discarded = 0;
  long lastReport = processorSeconds();

  while (gStop == 1 ? totals.samples < gSampleSize : !stop) {
    unfold(gNet);
    gSegmentNumber = wrapAdd(gSegmentNumber, 1);
    identifyTargetEventPair(unpaired);
    if (unpaired > 0) return 0.0;
    assignDelay(gUnfoldNet);
    int incomplete = 0;
    const double value = upperBound2(incomplete);
    if (incomplete == 1) {
      if (++discarded >= kMaxDiscardedUnfoldings)
        fatal("\n\tError: The reference events did not lead to every TSE event within %d unfoldings.\n",
              kMaxDiscardedUnfoldings);
      PRYXIncreaseSegmentHistory();
    }

    if (gNumSource > 0 && incomplete == 0) {
      ++totals.samples;
      totals.instances = wrapAdd(totals.instances, gNumSource);
      totals.groupSums += value;
      if (gStop == 0 && updateStoppingRule(totals, value, gNumSource)) stop = true;
      const long now = processorSeconds();
      const bool periodic = gNumPrintIter > 0 && totals.samples % gNumPrintIter == 0;
      if (periodic || now - lastReport > 20000) {
        writeIntermediateReport(totals.samples, totals.instances, totals.groupSums, totals.groupAverage.required);
        fflush(gOutFp);
        lastReport = now;
      }
    }
    clear_gNet();  // reads the graph to find what to reset
    clearUnfoldedGraph();
    gTargetEventPair.clear();
  }
  gNumSample = totals.instances;
  gNumIter = totals.samples;
  return totals.groupSums / totals.instances;
}
