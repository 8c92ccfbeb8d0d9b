// Settings of a run and the run-wide shared state.
//
// Every global of the tool lives here: the settings that the command line sets (with their
// defaults, given by Init), the model and the unfolded graph of the current sample, and the
// counters that the unfolding and the estimation share.
#pragma once

#include <cstdio>
#include <vector>

struct Net;
struct UnfoldNet;
struct TransPair;
struct EventPair;

// Settings (command line).
extern FILE* gOutFp;               // log stream: model summary, reports
extern int gVerbose;               // above 1: detailed listings and traces
extern int gStop;                  // 0 = stop by confidence interval, 1 = fixed sample count
extern int gSampleSize;            // samples to take when gStop is 1
extern int gTolerance;             // 0 = relative error criterion, 1 = absolute
extern double gRelativeError;      // percent
extern double gAbsoluteError;
extern double gConfidence;         // percent
extern int gNumPrintIter;          // period of intermediate reports, in samples; <= 0: none
extern int gRequiredHeadingTSE;    // leading TSE instances each unfolding skips
extern int gUnfoldTimes;           // stored only

// Shared state of the run.
extern Net* gNet;                            // the model
extern UnfoldNet* gUnfoldNet;                // the unfolded graph of the current sample
extern TransPair* gTargetTransPair;          // the target TSE, or none
extern std::vector<EventPair> gTargetEventPair;  // the paired events of the current unfolding

// Counters of the unfolding and the estimation.
extern int gSegmentNumber;              // unfoldings built so far in the run
extern int gCurrentSourceEventNumber;   // source firings in the segments of this unfolding
extern int gStartTSEindex;              // occurrence index of the first counted source event
extern int gNumSource;                  // TSE instances in this unfolding
extern int gNumIter;                    // accepted samples (set when the estimation ends)
extern int gNumSample;                  // TSE instances in the accepted samples
extern double gHalfAlpha;               // normal quantile of the confidence level

// Gives every setting its default and creates the empty model and graph.
void Init();

// 32-bit two's complement arithmetic for counters that may overflow on hostile input.
inline int wrapAdd(int a, int b) {
  return static_cast<int>(static_cast<unsigned>(a) + static_cast<unsigned>(b));
}
inline int wrapNeg(int a) { return static_cast<int>(0u - static_cast<unsigned>(a)); }
