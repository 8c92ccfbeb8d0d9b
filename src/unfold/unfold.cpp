#include "unfold/unfold.h"

#include <cstdio>

#include "driver/fatal.h"
#include "driver/globals.h"
#include "unfold/choice.h"
#include "unfold/enabled.h"

namespace {

int segmentsWithoutSource = 0;  // consecutive segments of this unfolding without a source firing

void createInitialConditions(Net* net, UnfoldNet* graph) {
  for (Place* p : net->initMarking) {
    Cond cond;
    cond.place = p;
    cond.index = p->condCount;
    p->condCount = wrapAdd(p->condCount, 1);
    p->lastCond = static_cast<CondId>(graph->conds.size());
    graph->conds.push_back(cond);
    if (p->condCount == 1) graph->initConds.push_back(p->lastCond);
  }
}

void countIfSource(const Trans* t) {
  if (t == gTargetTransPair->source) gCurrentSourceEventNumber = wrapAdd(gCurrentSourceEventNumber, 1);
}

void checkSegmentLength(int firings) {
  if (firings >= kMaxSegmentFirings)
    fatal("\n\tError: The net did not return to its initial marking within %d firings.\n", kMaxSegmentFirings);
}

// One segment, counting the segments in a row in which the source does not fire: a source
// behind a branch that is never taken would otherwise make the unfolding grow without end.
void createCountedSegment() {
  const int before = gCurrentSourceEventNumber;
  createSegment();
  if (gCurrentSourceEventNumber != before) {
    segmentsWithoutSource = 0;
  } else if (++segmentsWithoutSource >= kMaxSegmentsWithoutSource) {
    fatal("\n\tError: The source transition %s did not fire within %d segments.\n",
          gTargetTransPair->source->name.c_str(), kMaxSegmentsWithoutSource);
  }
}

// For a positive separation, fire on at random until the destination has fired k more times.
void fireDestinationTail(int k) {
  const Trans* destination = gTargetTransPair->destination;
  int firings = 0;
  for (int remaining = k; remaining != 0;) {
    if (firings >= kMaxTailFirings)
      fatal("\n\tError: The destination transition %s did not fire within %d firings.\n",
            destination->name.c_str(), kMaxTailFirings);
    Trans* t = getLowPriorityEnabled(1);
    instance(gNet, gUnfoldNet, t);
    ++firings;
    if (t == destination) --remaining;
  }
}

}  // namespace

void unfold(Net* net) {
  enableInitialTransitions(net);
  createInitialConditions(net, gUnfoldNet);
  longer_phase_1();
  gNumSource = wrapAdd(gCurrentSourceEventNumber, wrapNeg(gStartTSEindex));

  const int k = gTargetTransPair->separation;
  if (gNumSource <= 0 || k <= 0) return;
  const Trans* destination = gTargetTransPair->destination;
  if (wrapAdd(numOccurrence(*gUnfoldNet, destination), wrapNeg(gStartTSEindex)) != gNumSource)
    fatal("\n\tError: The target TSE may not be well defined. Please check.\n\tInfo : PRYX Solver terminates.\n");
  fireDestinationTail(k);
}

void longer_phase_1() {
  gCurrentSourceEventNumber = 0;
  segmentsWithoutSource = 0;
  const int k = gTargetTransPair->separation;
  const int toSkip = k < 0 ? wrapAdd(gRequiredHeadingTSE, wrapNeg(k)) : gRequiredHeadingTSE;
  while (gCurrentSourceEventNumber < toSkip) createCountedSegment();
  gStartTSEindex = gCurrentSourceEventNumber;
  do {
    createCountedSegment();
  } while (gCurrentSourceEventNumber < wrapAdd(gStartTSEindex, 1));
}

void createSegment() {
  if (gVerbose > 1) {
    fprintf(gOutFp, "\n\tStart of a segment creation.");
    fprintf(stderr, "\n\tStart of a segment\n");
  }
  int stage = 0;
  int firings = 0;
  do {
    // A stage: one low-priority transition, then high-priority ones until none is enabled.
    // Every 30th stage, from the first, opens at random; the others by the lowest score.
    checkSegmentLength(firings);
    Trans* opening = getLowPriorityEnabled(stage == 0 ? 1 : 0);
    stage = (stage + 1) % 30;
    instance(gNet, gUnfoldNet, opening);
    ++firings;
    opening->selectionCount = wrapAdd(opening->selectionCount, 1);
    countIfSource(opening);
    while (Trans* next = getHighPriorityEnabled()) {
      checkSegmentLength(firings);
      instance(gNet, gUnfoldNet, next);
      ++firings;
      countIfSource(next);
    }
    int emptied = 0;
    dumpMarking(emptied);
    opening->selectionScore = wrapAdd(opening->selectionScore, emptied);
  } while (!returningToInitMarking());
  if (gVerbose > 1) {
    fprintf(gOutFp, "\n\tReturned to the initial marking. A segment created.");
    fprintf(stderr, "\n\tEnd of a segment\n");
  }
}

int returningToInitMarking() { return gNet->emptyInitPlaces == 0 && gNet->strayMarkedPlaces == 0 ? 1 : 0; }

int numOccurrence(const UnfoldNet& graph, const Trans* trans) {
  int count = 0;
  for (const Event& e : graph.events) count += e.trans == trans;
  return count;
}
