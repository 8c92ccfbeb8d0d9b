#include "driver/globals.h"

#include <memory>

#include "estimate/pairs.h"
#include "spec/net.h"
#include "unfold/graph.h"

// Every setting gets its default from Init, before the command line is read.
FILE* gOutFp = nullptr;
int gVerbose, gStop, gSampleSize, gTolerance;
double gRelativeError, gAbsoluteError, gConfidence;
int gNumPrintIter, gRequiredHeadingTSE, gUnfoldTimes;

Net* gNet = nullptr;
UnfoldNet* gUnfoldNet = nullptr;
TransPair* gTargetTransPair = nullptr;
std::vector<EventPair> gTargetEventPair;

int gSegmentNumber, gCurrentSourceEventNumber, gStartTSEindex, gNumSource;
int gNumIter, gNumSample;
double gHalfAlpha;

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
