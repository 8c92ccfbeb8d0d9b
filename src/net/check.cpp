// Checks of a model once it is read: the summary, the verbose listing of the net, warnings
// about unconnected nodes, and the rejections (branch probabilities, delay clauses, initial
// marking, target TSE). Everything goes to the log stream; the first rejection ends the check.
#include "net/check.h"

#include <cstdio>
#include <string>

#include "base/wrap.h"
#include "delay/delay.h"

namespace zelbo {

namespace {

// The log and verbosity of one check, and where the reason of a rejection goes.
struct Listing {
  FILE* out;
  bool verbose;
  std::string* reason;
};

// Writes a rejection as "<lead>Error: <reason><trail>" and keeps its reason; returns 1.
int reject(FILE* out, std::string* kept, const char* lead, const std::string& reason, const char* trail) {
  fprintf(out, "%sError: %s%s", lead, reason.c_str(), trail);
  if (kept) *kept = reason;
  return 1;
}

void writeSummary(const Listing& l, const Net& net) {
  fprintf(l.out, "\n\tSTPN model %s", modelName(net));
  fprintf(l.out, "\n\tNumber of transitions: %d", net.numTrans);
  fprintf(l.out, "\n\tNumber of places: %d", net.numPlaces);
}

void checkTransition(const Listing& l, const Trans* trans) {
  if (trans->preset.empty())
    fprintf(l.out, "\n\tWarning: Transition %s has no preset.", trans->name.c_str());
  if (l.verbose) {
    fprintf(l.out, "\n\t%s:", trans->name.c_str());
    fprintf(l.out, "\n\t   preset: ");
    for (const Place* place : trans->preset) fprintf(l.out, "%s ", place->name.c_str());
  }
  if (trans->poset.empty())
    fprintf(l.out, "\n\tWarning: Transition %s has no poset.", trans->name.c_str());
  if (l.verbose) {
    fprintf(l.out, "\n\t    poset: ");
    for (const Place* place : trans->poset) fprintf(l.out, "%s ", place->name.c_str());
  }
}

// The branch probabilities of a choice place must sum to 1 within n * 1e-6 for n branches.
// The sum is kept in single precision, as the model's numbers are read.
bool branchesAreStochastic(const Listing& l, const Place* place) {
  float sum = 0.0f;
  int branches = 0;
  for (const TransNode& node : place->poset) {
    if (l.verbose) fprintf(l.out, "%s [%g] ", node.trans->name.c_str(), node.prob);
    sum = static_cast<float>(sum + node.prob);
    ++branches;
  }
  if (branches == 0) return true;
  double tolerance = branches * 1e-6;
  return !(sum < 1 - tolerance || sum > 1 + tolerance);
}

// 0 when the place passes, 1 after its rejection has been written.
int checkPlace(const Listing& l, const Place* place) {
  if (place->preset.empty())
    fprintf(l.out, "\n\tWarning: Place %s has no preset.", place->name.c_str());
  if (l.verbose) {
    fprintf(l.out, "\n\t%s:", place->name.c_str());
    fprintf(l.out, "\n\t   preset: ");
    for (const TransNode& node : place->preset) fprintf(l.out, "%s ", node.trans->name.c_str());
    fprintf(l.out, "\n\t    poset: ");
  }
  if (place->poset.empty())
    fprintf(l.out, "\n\tWarning: Place %s has no poset.", place->name.c_str());
  if (!branchesAreStochastic(l, place))
    return reject(l.out, l.reason, "\n\n\t", "Place " + place->name + " has non-stochastic choice probabilities.", "\n");
  if (l.verbose) fprintf(l.out, "\n\t   delay type: %d ", place->delayType);
  if (checkPlaceDelay(place) > 0)
    return reject(l.out, l.reason, "\n\n\t", "Place " + place->name + " has incorrect or incomplete delay spec.", "");
  return 0;
}

bool isLive(const Trans* trans) { return !trans->preset.empty() && !trans->poset.empty(); }

}  // namespace

int checkModel(const Net& net, const Settings& settings, std::string* reason) {
  const Listing l{settings.log, settings.verbose > 1, reason};
  writeSummary(l, net);
  if (l.verbose) fprintf(l.out, "\n\tTransitions:");
  for (const Trans* trans : net.transList) checkTransition(l, trans);
  if (l.verbose) fprintf(l.out, "\n\n\tPlaces:");
  for (const Place* place : net.placeList)
    if (checkPlace(l, place) > 0) return 1;
  if (l.verbose) {
    fprintf(l.out, "\n\n\tInitially marked places: ");
    writePlaceNames(l.out, net.initMarking);
  }
  if (net.initMarking.empty()) return reject(l.out, l.reason, "\n\t", "Initial marking is empty.", "\n");
  return checkTarget(net, l.out, reason) > 0 ? 1 : 0;
}

int checkPlaceDelay(const Place* place) {
  const DelaySpec* spec = place->delaySpec;
  if (!spec) return 1;  // no delay clause was given
  switch (place->delayType) {
    case UNI: return checkUniformDelay(spec);
    case EXP: return checkExponentialDelay(spec);
    case BET: return checkBetaDelay(spec);
    case BIN: return checkBinomialDelay(spec);
    case GEO: return checkGeometricDelay(spec);
    case CUS: return checkCustomDelay(spec);
    case FIX: return checkFixedDelay(spec);
    default: return 1;
  }
}

int checkTarget(const Net& net, FILE* log, std::string* reason) {
  const TargetPair* target = net.target;
  if (!target || !target->source || !target->destination)
    return reject(log, reason, "\n\t", "No valid target TSE spec.", "\n");
  // A lower bound is held mirrored; the goal line shows the triple as the file wrote it.
  if (target->lowerBound == 1)
    fprintf(log, "\n\tGoal : Lower bound average TSE(%s, %s, %d)\n",
            target->destination->name.c_str(), target->source->name.c_str(),
            wrapNeg(target->separation));
  else
    fprintf(log, "\n\tGoal : Upper bound average TSE(%s, %s, %d)\n",
            target->source->name.c_str(), target->destination->name.c_str(),
            target->separation);
  if (!isLive(target->source))
    return reject(log, reason, "\n\t", "Non-live source transition " + target->source->name + " in target TSE spec.",
                  "\n");
  if (!isLive(target->destination))
    return reject(log, reason, "\n\t",
                  "Non-live destination transition " + target->destination->name + " in target TSE spec.", "\n");
  return 0;
}

void writePlaceNames(FILE* out, const PlaceList& list) {
  for (const Place* place : list) fprintf(out, "%s ", place->name.c_str());
  fprintf(out, "\n");
}

}  // namespace zelbo
