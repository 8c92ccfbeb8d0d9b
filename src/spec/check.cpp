// Checks of a model once it is read: the summary, the verbose listing of the net, warnings
// about unconnected nodes, and the rejections (branch probabilities, delay clauses, initial
// marking, target TSE). Everything goes to the log stream; the first rejection ends the check.
#include "spec/check.h"

#include <cstdio>

#include "delay/delay.h"
#include "driver/globals.h"

namespace {

bool verbose() { return gVerbose > 1; }

void writeSummary() {
  fprintf(gOutFp, "\n\tSTPN model %s", modelName(*gNet));
  fprintf(gOutFp, "\n\tNumber of transitions: %d", gNet->numTrans);
  fprintf(gOutFp, "\n\tNumber of places: %d", gNet->numPlaces);
}

void checkTransition(const Trans* trans) {
  if (trans->preset.empty())
    fprintf(gOutFp, "\n\tWarning: Transition %s has no preset.", trans->name.c_str());
  if (verbose()) {
    fprintf(gOutFp, "\n\t%s:", trans->name.c_str());
    fprintf(gOutFp, "\n\t   preset: ");
    for (const Place* place : trans->preset) fprintf(gOutFp, "%s ", place->name.c_str());
  }
  if (trans->poset.empty())
    fprintf(gOutFp, "\n\tWarning: Transition %s has no poset.", trans->name.c_str());
  if (verbose()) {
    fprintf(gOutFp, "\n\t    poset: ");
    for (const Place* place : trans->poset) fprintf(gOutFp, "%s ", place->name.c_str());
  }
}

// The branch probabilities of a choice place must sum to 1 within n * 1e-6 for n branches.
// The sum is kept in single precision, as the model's numbers are read.
bool branchesAreStochastic(const Place* place) {
  float sum = 0.0f;
  int branches = 0;
  for (const TransNode& node : place->poset) {
    if (verbose()) fprintf(gOutFp, "%s [%g] ", node.trans->name.c_str(), node.prob);
    sum = static_cast<float>(sum + node.prob);
    ++branches;
  }
  if (branches == 0) return true;
  double tolerance = branches * 1e-6;
  return !(sum < 1 - tolerance || sum > 1 + tolerance);
}

// 0 when the place passes, 1 after its rejection has been written.
int checkPlace(const Place* place) {
  if (place->preset.empty())
    fprintf(gOutFp, "\n\tWarning: Place %s has no preset.", place->name.c_str());
  if (verbose()) {
    fprintf(gOutFp, "\n\t%s:", place->name.c_str());
    fprintf(gOutFp, "\n\t   preset: ");
    for (const TransNode& node : place->preset) fprintf(gOutFp, "%s ", node.trans->name.c_str());
    fprintf(gOutFp, "\n\t    poset: ");
  }
  if (place->poset.empty())
    fprintf(gOutFp, "\n\tWarning: Place %s has no poset.", place->name.c_str());
  if (!branchesAreStochastic(place)) {
    fprintf(gOutFp, "\n\n\tError: Place %s has non-stochastic choice probabilities.\n",
            place->name.c_str());
    return 1;
  }
  if (verbose()) fprintf(gOutFp, "\n\t   delay type: %d ", place->delayType);
  if (PRYXCheckDelaySpecForPlace(place) > 0) {
    fprintf(gOutFp, "\n\n\tError: Place %s has incorrect or incomplete delay spec.",
            place->name.c_str());
    return 1;
  }
  return 0;
}

bool isLive(const Trans* trans) { return !trans->preset.empty() && !trans->poset.empty(); }

}  // namespace

int checkSpec(Net* net) {
  writeSummary();
  if (verbose()) fprintf(gOutFp, "\n\tTransitions:");
  for (const Trans* trans : net->transList) checkTransition(trans);
  if (verbose()) fprintf(gOutFp, "\n\n\tPlaces:");
  for (const Place* place : net->placeList)
    if (checkPlace(place) > 0) return 1;
  if (verbose()) {
    fprintf(gOutFp, "\n\n\tInitially marked places: ");
    dumpPlaceList(net->initMarking);
  }
  if (net->initMarking.empty()) {
    fprintf(gOutFp, "\n\tError: Initial marking is empty.\n");
    return 1;
  }
  return PRYXCheckTargetTSE() > 0 ? 1 : 0;
}

int PRYXCheckDelaySpecForPlace(const Place* place) {
  const DelaySpec* spec = place->delaySpec;
  if (!spec) return 1;  // no delay clause was given
  switch (place->delayType) {
    case UNI: return PRYXCheckUniDelaySpec(spec);
    case EXP: return PRYXCheckExpDelaySpec(spec);
    case BET: return PRYXCheckBetDelaySpec(spec);
    case BIN: return PRYXCheckBinDelaySpec(spec);
    case GEO: return PRYXCheckGeoDelaySpec(spec);
    case CUS: return PRYXCheckCusDelaySpec(spec);
    case FIX: return PRYXCheckFixDelaySpec(spec);
    default: return 1;
  }
}

int PRYXCheckTargetTSE() {
  const TransPair* target = gTargetTransPair;
  if (!target || !target->source || !target->destination) {
    fprintf(gOutFp, "\n\tError: No valid target TSE spec.\n");
    return 1;
  }
  // A lower bound is held mirrored; the goal line shows the triple as the file wrote it.
  if (target->lowerBound == 1)
    fprintf(gOutFp, "\n\tGoal : Lower bound average TSE(%s, %s, %d)\n",
            target->destination->name.c_str(), target->source->name.c_str(),
            wrapNeg(target->separation));
  else
    fprintf(gOutFp, "\n\tGoal : Upper bound average TSE(%s, %s, %d)\n",
            target->source->name.c_str(), target->destination->name.c_str(),
            target->separation);
  if (!isLive(target->source)) {
    fprintf(gOutFp, "\n\tError: Non-live source transition %s in target TSE spec.\n",
            target->source->name.c_str());
    return 1;
  }
  if (!isLive(target->destination)) {
    fprintf(gOutFp, "\n\tError: Non-live destination transition %s in target TSE spec.\n",
            target->destination->name.c_str());
    return 1;
  }
  return 0;
}

void dumpPlaceList(const PlaceList& list) {
  for (const Place* place : list) fprintf(gOutFp, "%s ", place->name.c_str());
  fprintf(gOutFp, "\n");
}
