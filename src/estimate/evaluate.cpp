#include "estimate/evaluate.h"

#include <cstdio>
#include <vector>

#include "delay/delay.h"
#include "driver/fatal.h"
#include "driver/globals.h"
#include "estimate/PRYXTA.h"
#include "estimate/pairs.h"
#include "spec/net.h"

void assignDelay(UnfoldNet* graph) {
  // Newest condition first: the order fixes which draw of the random stream goes to which token.
  for (auto cond = graph->conds.rbegin(); cond != graph->conds.rend(); ++cond) {
    const Place* place = cond->place;
    int errorFlag = 0;
    cond->delay = delaySample(place->delayType, place->delaySpec, errorFlag);
    if (cond->delay < 0)
      fatal("\n\tError: Place %s sampled a delay of %g.\n\tError: Please check its delay spec.\n", place->name.c_str(),
            cond->delay);
    if (errorFlag > 0)
      fatal("\n\tError: Place %s sampled in error.\n\tError: Please check its delay spec.\n", place->name.c_str());
  }
}

namespace {

void reportMissed(const Event& ref, int instance, const char* role, const Event& target, int refIndex) {
  fprintf(stderr, "\n\tInfo : Reference event %s (id=%d) does not lead to the %d-th TSE %s: %s (id=%d)",
          ref.trans->name.c_str(), ref.index, instance, role, target.trans->name.c_str(), target.index);
  fprintf(stderr, "\n\tInfo : Its reference counter = %d, but the current counter = %d", target.refCounter, refIndex);
}

// Per-instance values of one evaluation; kept between samples to avoid allocating.
std::vector<double> instanceValue;
std::vector<char> instanceEvaluated;

const char* infiniteBound(bool sourceSide) {
  // Reaching only the source leaves the separation unbounded below; only the destination,
  // unbounded above. A lower-bound target is stored mirrored, so the signs swap.
  const bool minus = sourceSide != (gTargetTransPair->lowerBound != 0);
  return minus ? "\n\tInfo : Estimated TSE bound reaches -Inf.\n" : "\n\tInfo : Estimated TSE bound reaches +Inf.\n";
}

// Takes the separations of the instances whose both events the reference `refIndex` reaches.
void evaluateInstances(const UnfoldNet& graph, int refIndex, bool firstReference) {
  for (std::size_t j = 0; j < gTargetEventPair.size(); ++j) {
    const Event& s = graph.events[gTargetEventPair[j].source];
    const Event& d = graph.events[gTargetEventPair[j].destination];
    const bool sourceReached = s.refCounter == refIndex;
    const bool destinationReached = d.refCounter == refIndex;
    if (sourceReached && destinationReached) {
      const double separation = d.firingTime - s.firingTime;
      if (firstReference || separation > instanceValue[j]) instanceValue[j] = separation;
      instanceEvaluated[j] = 1;
    } else if (sourceReached != destinationReached) {
      fputs(infiniteBound(sourceReached), stderr);
    }
  }
}

}  // namespace

void conScan(EventId refEvent, int refIndex, int& incomplete) {
  PRYXUpdateRefCounterForFanoutCone(refEvent, refIndex);
  incomplete = 0;
  const UnfoldNet& graph = *gUnfoldNet;
  const Event& ref = graph.events[refEvent];
  for (std::size_t j = 0; j < gTargetEventPair.size(); ++j) {
    const Event& s = graph.events[gTargetEventPair[j].source];
    const Event& d = graph.events[gTargetEventPair[j].destination];
    if (s.refCounter != refIndex) {
      reportMissed(ref, static_cast<int>(j), "source", s, refIndex);
      incomplete = 1;
    }
    if (d.refCounter != refIndex) {
      reportMissed(ref, static_cast<int>(j), "destination", d, refIndex);
      incomplete = 1;
    }
  }
}

double upperBound2(int& incomplete) {
  incomplete = 0;
  UnfoldNet& graph = *gUnfoldNet;
  instanceValue.assign(gTargetEventPair.size(), 0.0);
  instanceEvaluated.assign(gTargetEventPair.size(), 0);
  for (Event& e : graph.events) e.refCounter = -1;
  PRYXComputeEventFiringTime(&graph);
  resetReferenceCones();

  // The references in list order; a condition whose token is never consumed gives none but
  // keeps its place in the numbering.
  bool firstReference = true;
  for (std::size_t slot = graph.initConds.size(); slot-- > 0;) {
    const int refIndex = referenceIndex(graph, slot);
    const EventId ref = graph.conds[graph.initConds[slot]].consumer;
    if (ref == kNone) continue;
    graph.events[ref].firingTime = 0.0;
    conScan(ref, refIndex, incomplete);
    evaluateInstances(graph, refIndex, firstReference);
    firstReference = false;
    if (incomplete == 1) break;
  }

  double groupSum = 0.0;
  for (std::size_t j = 0; j < instanceValue.size(); ++j) {
    if (!instanceEvaluated[j]) fprintf(stderr, "\n\tError: One TSE instance could not be correctly computed.");
    groupSum += instanceValue[j];
  }
  return groupSum;
}
