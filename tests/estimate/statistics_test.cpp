// The stopping rule, the estimation loop and its reports, and a whole estimate against a
// closed-form answer.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdio>
#include <string>

#include "estimate/bounds.h"
#include "estimate/time.h"
#include "netbuild.h"

using namespace testnet;

namespace {

std::string readAll(FILE* f) {
  rewind(f);
  std::string text;
  for (int c; (c = fgetc(f)) != EOF;) text += static_cast<char>(c);
  return text;
}

class Statistics : public ::testing::Test {
 protected:
  void SetUp() override { Init(); }
  void TearDown() override {
    if (gOutFp != stderr) fclose(gOutFp);
  }
};

TEST_F(Statistics, QuantileOfTheConfidenceLevel) {
  for (const auto& [confidence, z] :
       std::vector<std::pair<double, double>>{{90, 1.64487}, {95, 1.96000}, {97, 2.17014}, {99, 2.57597}}) {
    gConfidence = confidence;
    getZhalfAlpha();
    EXPECT_NEAR(gHalfAlpha, z, 1e-9) << confidence;
  }
  gConfidence = 0;
  getZhalfAlpha();
  EXPECT_EQ(gHalfAlpha, 0.0);
  gConfidence = 99.9999999999;  // tail below what the sum resolves: stops at x = 10
  getZhalfAlpha();
  EXPECT_LT(gHalfAlpha, 10.00002);
  gStop = 1;
  gHalfAlpha = 0.5;
  getZhalfAlpha();
  EXPECT_EQ(gHalfAlpha, 0.5);
}

TEST_F(Statistics, ConfidenceOfAHundredPercentIsRejected) {
  gConfidence = 100;
  EXPECT_EXIT(getZhalfAlpha(), ::testing::ExitedWithCode(1),
              "^\n\tError: Confidence level must be below 100 percent.\n$");
}

TEST_F(Statistics, RequiredCountTruncatesBeforeSquaringAndSaturates) {
  gConfidence = 97;
  getZhalfAlpha();
  EXPECT_EQ(requiredSampleCount(1.0, 10.0 * 3.0 / 100), 49);  // r = 7.2338
  EXPECT_EQ(requiredSampleCount(0.5, 0.1), 100);              // r = 10.8507
  gHalfAlpha = 1.0;
  EXPECT_EQ(requiredSampleCount(9.9, 1.0), 81);
  EXPECT_EQ(requiredSampleCount(0.0, 0.0), 0);
  EXPECT_EQ(requiredSampleCount(1.0, 0.0), INT_MAX);
  EXPECT_EQ(requiredSampleCount(1e10, 1.0), INT_MAX);
  EXPECT_EQ(requiredSampleCount(46340.9, 1.0), 46340 * 46340);
  EXPECT_EQ(requiredSampleCount(46341.0, 1.0), INT_MAX);
  EXPECT_EQ(requiredSampleCount(NAN, 1.0), INT_MAX);
  EXPECT_EQ(requiredSampleCount(2.5, -1.0), 4);  // a negative error bound
}

// Feeds `values` (cycled) to one series; the sample count at which it converged, or 0.
int convergesAt(const std::vector<double>& values, int limit) {
  double sum = 0, sumSq = 0;
  int required = -1;
  for (int n = 1; n <= limit; ++n) {
    const double value = values[(n - 1) % values.size()];
    sum += value;
    if (Monte_Carlo(value, n, sum, sumSq, required)) return n;
  }
  return 0;
}

TEST_F(Statistics, SeriesConvergeAfterThirtyOnceEnoughSamplesAreTaken) {
  gConfidence = 97;
  getZhalfAlpha();
  EXPECT_EQ(convergesAt({9.0, 11.0}, 200), 50);  // mean 10, deviation 1: n' = 49
  EXPECT_EQ(convergesAt({2.0}, 200), 31);        // no spread: never before the 31st
  gTolerance = 1;
  EXPECT_EQ(convergesAt({9.5, 10.5}, 200), 101);  // deviation about 0.5 within 0.1: n' = 100
}

TEST_F(Statistics, VerboseSeriesReportsEverySampleAndThePeriodicMoments) {
  gConfidence = 97;
  getZhalfAlpha();
  gVerbose = 2;
  gNumPrintIter = 2;
  gOutFp = tmpfile();
  double sumSq = 0;
  int required = -1;
  EXPECT_FALSE(Monte_Carlo(1.0, 1, 1.0, sumSq, required));
  EXPECT_FALSE(Monte_Carlo(3.0, 2, 4.0, sumSq, required));
  // The second sample: mean 2, deviation 1, E = 0.06, r = 36.17.
  EXPECT_EQ(readAll(gOutFp),
            "\n\tInfo : nprime: 0, n: 1\n"
            "\n\tInfo : nprime: 1296, n: 2\n"
            "\n\tInfo : Variance 1: Deviation: 1\n"
            "\n\tInfo : Expected samples: 1296, current samples: 2\n");
  EXPECT_EQ(required, 1296);
}

TEST_F(Statistics, IntermediateReportOfTwoGroups) {
  ring(2);
  target("t0", "t1", 3);
  gOutFp = tmpfile();
  writeIntermediateReport(2, 5, 24.0, 7);
  const std::string first = readAll(gOutFp);
  EXPECT_EQ(first.substr(first.find("\n\tNumber of segments")),
            "\n\tNumber of segments unfolded: 0"
            "\n\tNumber of useful segments unfolded (samples): 2"
            "\n\tNumber of TSE instances sampled: 5"
            "\n\tNumber of TSE instances to sample (expected): 14"
            "\n\tAverage number of TSE instances within a group: 2.5"
            "\n\tAverage grouped TSE: 12"
            "\n\n\tUpper bound on average TSE(t0, t1, 3) = 4.8\n");
  Init();
  ring(2);
  target("t1", "t0", -3, 1);  // ".tse (t0 t1 3) .lb" as stored
  gOutFp = tmpfile();
  writeIntermediateReport(2, 5, 24.0, -1);
  const std::string report = readAll(gOutFp);
  EXPECT_NE(report.find("(expected): Not yet known.\n"), std::string::npos);
  EXPECT_NE(report.find("\n\tAverage grouped TSE: -12\n\n\tLower bound on average TSE(t0, t1, 3) = -4.8\n"),
            std::string::npos);
}

TEST_F(Statistics, FixedModeTakesExactlyTheRequestedSamplesAndResetsTheModel) {
  ring(3, 2.0);
  target("t0", "t2", 0);
  gStop = 1;
  gSampleSize = 10;
  gOutFp = tmpfile();
  int unpaired = -1;
  EXPECT_EQ(bounds(unpaired), 4.0);
  EXPECT_EQ(unpaired, 0);
  EXPECT_EQ(gSegmentNumber, 10);
  EXPECT_EQ(gNumIter, 10);
  EXPECT_EQ(gNumSample, 10);
  EXPECT_EQ(readAll(gOutFp), "");  // the period of 100 was not reached
  for (const Place* p : gNet->placeList) EXPECT_EQ(p->tokens, p->name == "p0" ? 1 : 0);
  for (const Trans* t : gNet->transList) EXPECT_EQ(t->occurrences, 0);
  EXPECT_EQ(gNet->numEnabled, 0);
  EXPECT_EQ(gNet->enabledHead, nullptr);
}

TEST_F(Statistics, AutomaticModeStopsAtTheThirtyFirstConstantSample) {
  ring(3, 2.0);
  target("t0", "t2", 0);
  gConfidence = 97;
  getZhalfAlpha();
  gNumPrintIter = 10;
  gOutFp = tmpfile();
  int unpaired = -1;
  EXPECT_EQ(bounds(unpaired), 4.0);
  EXPECT_EQ(gNumIter, 31);
  const std::string log = readAll(gOutFp);
  int reports = 0;
  for (std::size_t at = 0; (at = log.find("###Intermediate Report###", at)) != std::string::npos; ++at) ++reports;
  EXPECT_EQ(reports, 3);  // samples 10, 20, 30: the counts are computed from the 31st only
  EXPECT_EQ(log.find("(expected): 0"), std::string::npos);
}

TEST_F(Statistics, UnpairedEventsEndTheEstimationAtOnce) {
  ring(2);
  in("z", "never");
  out("never", "z");
  target("t0", "never", 0);
  int unpaired = -1;
  EXPECT_EQ(bounds(unpaired), 0.0);
  EXPECT_EQ(unpaired, 1);
  EXPECT_EQ(gNumIter, 0);
  EXPECT_EQ(gNumSample, 0);
}

TEST_F(Statistics, ForkJoinOfTwoExponentialsAveragesTheirMaximum) {
  // The join waits for the later of two Exp(1) delays: E[max] = 1.5, Var[max] = 1.25.
  forkJoin();
  for (const char* p : {"p0", "c", "d"}) fixedDelay(p, 0.0);
  expDelay("a", 1.0);
  expDelay("b", 1.0);
  target("fork", "join", 0);
  gStop = 1;
  gSampleSize = 20000;
  gNumPrintIter = 0;
  srand48(2026);
  int unpaired = -1;
  const double estimate = bounds(unpaired);
  const double standardError = std::sqrt(1.25 / gSampleSize);
  EXPECT_NEAR(estimate, 1.5, 4 * standardError);
}

}  // namespace
