// Checks of a model once it is read: the summary, the verbose listing of the net, warnings
// about unconnected nodes, and the rejections (branch probabilities, delay clauses, initial
// marking, target TSE). Everything goes to the log stream; the first rejection ends the check.
#include "net/check.h"

#include <cstdio>
#include <string>

#include "base/format.h"
#include "base/texts.h"
#include "delay/delay.h"
#include "net/target.h"

namespace zelbo {

namespace {

// The log and verbosity of one check, and where the reason of a rejection goes.
struct Listing {
  FILE* out;
  FILE* diagnostics;
  bool verbose;
  std::string* reason;
};

// Writes a rejection as "<lead>Error: <reason><trail>" and keeps its reason; returns 1.
int reject(FILE* out, std::string* kept, const char* lead, const std::string& reason, const char* trail) {
  fprintf(out, text::kRejection, lead, reason.c_str(), trail);
  if (kept) *kept = reason;
  return 1;
}

void writeSummary(const Listing& l, const Net& net) {
  fprintf(l.out, text::kSummaryModel, modelName(net));
  fprintf(l.out, text::kSummaryTransitions, net.numTrans);
  fprintf(l.out, text::kSummaryPlaces, net.numPlaces);
}

void checkTransition(const Listing& l, const Trans* trans) {
  if (trans->preset.empty()) fprintf(l.out, text::kTransitionWithoutPreset, trans->name.c_str());
  if (l.verbose) {
    fprintf(l.out, text::kListingNode, trans->name.c_str());
    fputs(text::kListingPreset, l.out);
    writePlaceNames(l.out, trans->preset);
  }
  if (trans->poset.empty()) fprintf(l.out, text::kTransitionWithoutPoset, trans->name.c_str());
  if (l.verbose) {
    fputs(text::kListingPoset, l.out);
    writePlaceNames(l.out, trans->poset);
  }
}

// The branch probabilities of a choice place must sum to 1 within n * 1e-6 for n branches.
// The sum is kept in single precision, as the model's numbers are read.
bool branchesAreStochastic(const Listing& l, const Place* place) {
  float sum = 0.0f;
  int branches = 0;
  for (const TransNode& node : place->poset) {
    if (l.verbose) fprintf(l.out, text::kListingBranch, node.trans->name.c_str(), node.prob);
    sum = static_cast<float>(sum + node.prob);
    ++branches;
  }
  if (branches == 0) return true;
  double tolerance = branches * 1e-6;
  return !(sum < 1 - tolerance || sum > 1 + tolerance);
}

// 0 when the place passes, 1 after its rejection has been written.
int checkPlace(const Listing& l, const Place* place) {
  if (place->preset.empty()) fprintf(l.out, text::kPlaceWithoutPreset, place->name.c_str());
  if (l.verbose) {
    fprintf(l.out, text::kListingNode, place->name.c_str());
    fputs(text::kListingPreset, l.out);
    for (const TransNode& node : place->preset) fprintf(l.out, text::kListingName, node.trans->name.c_str());
    fputs(text::kListingPoset, l.out);
  }
  if (place->poset.empty()) fprintf(l.out, text::kPlaceWithoutPoset, place->name.c_str());
  if (!branchesAreStochastic(l, place))
    return reject(l.out, l.reason, "\n\n\t", formatted(text::kNonStochastic, place->name.c_str()), "\n");
  if (l.verbose) fprintf(l.out, text::kListingDelayType, codeOf(place->delayType));
  if (checkPlaceDelay(place, l.diagnostics) > 0)
    return reject(l.out, l.reason, "\n\n\t", formatted(text::kBadDelaySpec, place->name.c_str()), "");
  return 0;
}

bool isLive(const Trans* trans) { return !trans->preset.empty() && !trans->poset.empty(); }

}  // namespace

int checkModel(const Net& net, const Settings& settings, std::string* reason) {
  const Listing l{settings.log, settings.diagnostics, settings.verbose > 1, reason};
  writeSummary(l, net);
  if (l.verbose) fputs(text::kListingTransitions, l.out);
  for (const Trans* trans : net.transList) checkTransition(l, trans);
  if (l.verbose) fputs(text::kListingPlaces, l.out);
  for (const Place* place : net.placeList)
    if (checkPlace(l, place) > 0) return 1;
  if (l.verbose) {
    fputs(text::kListingMarked, l.out);
    writePlaceNames(l.out, net.initMarking);
    fputc('\n', l.out);
  }
  if (net.initMarking.empty()) return reject(l.out, l.reason, "\n\t", text::kEmptyMarking, "\n");
  return checkTarget(net, l.out, reason) > 0 ? 1 : 0;
}

int checkPlaceDelay(const Place* place, FILE* diagnostics) {
  const DelaySpec* spec = place->delaySpec;
  if (!spec) return 1;  // no delay clause was given
  switch (place->delayType) {
    case DelayType::uniform: return checkUniformDelay(spec, diagnostics);
    case DelayType::exponential: return checkExponentialDelay(spec, diagnostics);
    case DelayType::beta: return checkBetaDelay(spec, diagnostics);
    case DelayType::binomial: return checkBinomialDelay(spec, diagnostics);
    case DelayType::geometric: return checkGeometricDelay(spec, diagnostics);
    case DelayType::custom: return checkCustomDelay(spec, diagnostics);
    case DelayType::fixed: return checkFixedDelay(spec, diagnostics);
    default: return 1;  // no delay, or a code no check knows
  }
}

int checkTarget(const Net& net, FILE* log, std::string* reason) {
  if (!hasTarget(net)) return reject(log, reason, "\n\t", text::kNoTarget, "\n");
  // The goal line shows the triple as the file wrote it.
  const AskedTarget asked = askedTarget(*net.target);
  fprintf(log, asked.lowerBound ? text::kGoalLower : text::kGoalUpper, asked.source->name.c_str(),
          asked.destination->name.c_str(), asked.separation);
  // The goal line is the first target's; every target of the run must be live.
  for (const TargetPair* stored : targetsOfRun(net)) {
    if (!isLive(stored->source))
      return reject(log, reason, "\n\t", formatted(text::kNonLiveSource, stored->source->name.c_str()), "\n");
    if (!isLive(stored->destination))
      return reject(log, reason, "\n\t", formatted(text::kNonLiveDestination, stored->destination->name.c_str()),
                    "\n");
  }
  return 0;
}

void writePlaceNames(FILE* out, const PlaceList& list) {
  for (const Place* place : list) fprintf(out, text::kListingName, place->name.c_str());
}

}  // namespace zelbo
