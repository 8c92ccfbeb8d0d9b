#include "driver/globals.h"

#include <memory>

#include "estimate/pairs.h"
#include "spec/net.h"
#include "unfold/graph.h"

FILE* gOutFp = nullptr;
int gVerbose = 1;
int gStop = 0;
int gSampleSize = 0;
int gTolerance = 0;
double gRelativeError = 3.0;
double gAbsoluteError = 0.1;
double gConfidence = 97.0;
int gNumPrintIter = 100;
int gRequiredHeadingTSE = 0;
int gUnfoldTimes = 0;

Net* gNet = nullptr;
UnfoldNet* gUnfoldNet = nullptr;
TransPair* gTargetTransPair = nullptr;
std::vector<EventPair> gTargetEventPair;

int gSegmentNumber = 0;
int gCurrentSourceEventNumber = 0;
int gStartTSEindex = 0;
int gNumSource = 0;
int gNumIter = 0;
int gNumSample = 0;
double gHalfAlpha = 0.0;

namespace {
// Owners of the shared state; the globals above are plain views of them.
std::unique_ptr<Net> netStorage;
std::unique_ptr<UnfoldNet> unfoldStorage;
}  // namespace

void Init() {
  gOutFp = stderr;
  gVerbose = 1;
  gStop = 0;
  gSampleSize = 0;
  gTolerance = 0;
  gRelativeError = 3.0;
  gAbsoluteError = 0.1;
  gConfidence = 97.0;
  gNumPrintIter = 100;
  gRequiredHeadingTSE = 0;
  gUnfoldTimes = 0;

  netStorage = std::make_unique<Net>();
  unfoldStorage = std::make_unique<UnfoldNet>();
  gNet = netStorage.get();
  gUnfoldNet = unfoldStorage.get();
  gTargetTransPair = nullptr;
  gTargetEventPair.clear();

  gSegmentNumber = 0;
  gCurrentSourceEventNumber = 0;
  gStartTSEindex = 0;
  gNumSource = 0;
  gNumIter = 0;
  gNumSample = 0;
  gHalfAlpha = 0.0;
}
