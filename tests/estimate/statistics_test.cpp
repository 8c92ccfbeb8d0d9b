// The stopping rule, the estimation loop and its reports, and a whole estimate against a
// closed-form answer.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdio>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "estimate/estimation.h"
#include "estimate/sampler.h"
#include "estimate/statistics.h"
#include "netbuild.h"
#include "streams.h"
#include "thrown.h"
#include "zelbo/error.h"
#include "zelbo/zelbo.h"

// The intermediate report is written by the command line, not by the library.
#include "cli/report.h"

using namespace testnet;

namespace {

class Statistics : public NetTest {
 protected:
  CapturedStreams streams{settings};
  // The whole estimation on the fixture's sampler, keeping the reports it passes on.
  double estimateAll(Result& result, double halfAlpha = 0.0) {
    return estimateOnOneSampler(run(), halfAlpha, [&](const Progress& p) { reports.push_back(p); }, result);
  }
  std::vector<Progress> reports;
};

TEST_F(Statistics, QuantileOfTheConfidenceLevel) {
  for (const auto& [confidence, z] :
       std::vector<std::pair<double, double>>{{90, 1.64487}, {95, 1.96000}, {97, 2.17014}, {99, 2.57597}}) {
    settings.confidence = confidence;
    EXPECT_NEAR(stoppingQuantile(settings), z, 1e-9) << confidence;
  }
  settings.confidence = 0;
  EXPECT_EQ(stoppingQuantile(settings), 0.0);
  settings.confidence = 99.9999999999;  // tail below what the sum resolves: stops at x = 10
  EXPECT_LT(stoppingQuantile(settings), 10.00002);
  settings.stopping = Stopping::fixed;  // a fixed sample count needs no quantile
  EXPECT_EQ(stoppingQuantile(settings), 0.0);
}

TEST_F(Statistics, ConfidenceOfAHundredPercentIsRejected) {
  settings.confidence = 100;
  EXPECT_EQ(thrown([&] { stoppingQuantile(settings); }),
            (Thrown{"\n\tError: Confidence level must be below 100 percent.\n", 1}));
  settings.stopping = Stopping::fixed;  // only the automatic mode asks for it
  EXPECT_EQ(stoppingQuantile(settings), 0.0);
}

TEST_F(Statistics, RequiredCountTruncatesBeforeSquaringAndSaturates) {
  settings.confidence = 97;
  const double z = stoppingQuantile(settings);
  EXPECT_EQ(requiredSampleCount(z, 1.0, 10.0 * 3.0 / 100), 49);  // r = 7.2338
  EXPECT_EQ(requiredSampleCount(z, 0.5, 0.1), 100);              // r = 10.8507
  EXPECT_EQ(requiredSampleCount(1.0, 9.9, 1.0), 81);
  EXPECT_EQ(requiredSampleCount(1.0, 0.0, 0.0), 0);
  EXPECT_EQ(requiredSampleCount(1.0, 1.0, 0.0), INT_MAX);
  EXPECT_EQ(requiredSampleCount(1.0, 1e10, 1.0), INT_MAX);
  EXPECT_EQ(requiredSampleCount(1.0, 46340.9, 1.0), 46340 * 46340);
  EXPECT_EQ(requiredSampleCount(1.0, 46341.0, 1.0), INT_MAX);
  EXPECT_EQ(requiredSampleCount(1.0, NAN, 1.0), INT_MAX);
  EXPECT_EQ(requiredSampleCount(1.0, 2.5, -1.0), 4);  // a negative error bound
}

// Feeds `values` (cycled) to one series; the sample count at which it converged, or 0.
int convergesAt(const Settings& settings, double z, const std::vector<double>& values, int limit) {
  double sum = 0, sumSq = 0;
  int required = -1;
  for (int n = 1; n <= limit; ++n) {
    const double value = values[(n - 1) % values.size()];
    sum += value;
    if (addToSeries(settings, z, value, n, sum, sumSq, required)) return n;
  }
  return 0;
}

TEST_F(Statistics, SeriesConvergeAfterThirtyOnceEnoughSamplesAreTaken) {
  settings.confidence = 97;
  const double z = stoppingQuantile(settings);
  EXPECT_EQ(convergesAt(settings, z, {9.0, 11.0}, 200), 50);  // mean 10, deviation 1: n' = 49
  EXPECT_EQ(convergesAt(settings, z, {2.0}, 200), 31);        // no spread: never before the 31st
  settings.criterion = ErrorCriterion::absolute;
  EXPECT_EQ(convergesAt(settings, z, {9.5, 10.5}, 200), 101);  // deviation about 0.5 within 0.1: n' = 100
  EXPECT_EQ(readAll(settings.log), "");
}

TEST_F(Statistics, VerboseSeriesReportsEverySampleAndThePeriodicMomentsToTheLog) {
  settings.confidence = 97;
  const double z = stoppingQuantile(settings);
  settings.verbose = 2;
  settings.printPeriod = 2;
  double sumSq = 0;
  int required = -1;
  EXPECT_FALSE(addToSeries(settings, z, 1.0, 1, 1.0, sumSq, required));
  EXPECT_FALSE(addToSeries(settings, z, 3.0, 2, 4.0, sumSq, required));
  // The second sample: mean 2, deviation 1, E = 0.06, r = 36.17.
  EXPECT_EQ(readAll(settings.log),
            "\n\tInfo : nprime: 0, n: 1\n"
            "\n\tInfo : nprime: 1296, n: 2\n"
            "\n\tInfo : Variance 1: Deviation: 1\n"
            "\n\tInfo : Expected samples: 1296, current samples: 2\n");
  EXPECT_EQ(required, 1296);
  EXPECT_EQ(readAll(settings.diagnostics), "");
}

// The intermediate report after two groups of 5 instances in all whose separations sum to
// `sums`, for a two-place ring read with the target clause `tse`.
std::string reportOfTwoGroups(const std::string& tse, int required, double sums = 24.0) {
  const std::string text =
      ".stpn r\n"
      ".place p0 .preset {t1} .poset {t0} .mark\n"
      ".place p1 .preset {t0} .poset {t1}\n"
      ".delay p0 .fix 1\n"
      ".delay p1 .fix 1\n" +
      tse + "\n";
  const Model model = Model::readText(text, "ring.stpn");
  FILE* out = tmpfile();
  writeIntermediateReport(out, model.target(), Progress{2, 5, sums, required, 0});
  std::string report = readAll(out);
  fclose(out);
  return report;
}

TEST(IntermediateReport, OfTwoGroups) {
  const std::string first = reportOfTwoGroups(".tse (t0, t1, 3)", 7);
  EXPECT_TRUE(first.starts_with("\n\n\t\t###Intermediate Report###\n\n\n\tCPU time used: ")) << first;
  EXPECT_EQ(first.substr(first.find("\n\tNumber of segments")),
            "\n\tNumber of segments unfolded: 0"
            "\n\tNumber of useful segments unfolded (samples): 2"
            "\n\tNumber of TSE instances sampled: 5"
            "\n\tNumber of TSE instances to sample (expected): 14"
            "\n\tAverage number of TSE instances within a group: 2.5"
            "\n\tAverage grouped TSE: 12"
            "\n\n\tUpper bound on average TSE(t0, t1, 3) = 4.8\n");
}

TEST(IntermediateReport, OfALowerBoundShowsTheTargetAsAsked) {
  // The model stores ".tse (t0, t1, 3) .lb" mirrored, as (t1, t0, -3); the run's reports carry
  // the sums of the target as asked.
  const std::string report = reportOfTwoGroups(".tse (t0, t1, 3) .lb", -1, -24.0);
  EXPECT_NE(report.find("(expected): Not yet known.\n"), std::string::npos) << report;
  EXPECT_NE(report.find("\n\tAverage grouped TSE: -12\n\n\tLower bound on average TSE(t0, t1, 3) = -4.8\n"),
            std::string::npos)
      << report;
}

TEST_F(Statistics, FixedModeTakesExactlyTheRequestedSamplesAndResetsTheModel) {
  ring(3, 2.0);
  target("t0", "t2", 0);
  settings.stopping = Stopping::fixed;
  settings.sampleSize = 10;
  Result result;
  EXPECT_EQ(estimateAll(result), 4.0);
  EXPECT_EQ(result.bound, 4.0);
  EXPECT_FALSE(result.unpaired);
  EXPECT_EQ(run().segmentNumber, 10);
  EXPECT_EQ(result.segments, 10);
  EXPECT_EQ(result.samples, 10);
  EXPECT_EQ(result.instances, 10);
  EXPECT_EQ(result.groupSums, 40.0);
  EXPECT_EQ(result.discarded, 0);
  EXPECT_TRUE(reports.empty());  // the period of 100 was not reached
  EXPECT_EQ(readAll(settings.log), "");
  for (const Place* p : net.placeList) EXPECT_EQ(stateOf(p).tokens, p->name == "p0" ? 1 : 0) << p->name;
  for (const Trans* t : net.transList) EXPECT_EQ(run().state.at(t).occurrences, 0) << t->name;
  EXPECT_EQ(state().numEnabled, 0);
  EXPECT_EQ(state().enabledHead, kNoTrans);
}

TEST_F(Statistics, LowerBoundIsReportedAsAsked) {
  ring(3, 2.0);
  target("t2", "t0", 0, 1);  // ".tse (t0, t2, 0) .lb" as stored
  settings.stopping = Stopping::fixed;
  settings.sampleSize = 3;
  Result result;
  EXPECT_EQ(estimateAll(result), -4.0);  // the pair as stored: t0 fires 4 before t2
  EXPECT_EQ(result.bound, 4.0);
}

TEST_F(Statistics, AutomaticModeStopsAtTheThirtyFirstConstantSample) {
  ring(3, 2.0);
  target("t0", "t2", 0);
  settings.confidence = 97;
  settings.printPeriod = 10;
  Result result;
  EXPECT_EQ(estimateAll(result, stoppingQuantile(settings)), 4.0);
  EXPECT_EQ(result.samples, 31);
  ASSERT_EQ(reports.size(), 3u);  // samples 10, 20, 30
  for (std::size_t i = 0; i < reports.size(); ++i) {
    EXPECT_EQ(reports[i].samples, 10 * static_cast<int>(i + 1));
    EXPECT_EQ(reports[i].instances, reports[i].samples);
    EXPECT_EQ(reports[i].groupSums, 4.0 * reports[i].samples);
    EXPECT_EQ(reports[i].segments, reports[i].samples);
    EXPECT_EQ(reports[i].required, -1);  // the counts are computed from the 31st only
  }
}

TEST_F(Statistics, UnpairedEventsEndTheEstimationAtOnce) {
  ring(2);
  in("z", "never");
  out("never", "z");
  target("t0", "never", 0);
  Result result;
  EXPECT_EQ(estimateAll(result), 0.0);
  EXPECT_TRUE(result.unpaired);
  EXPECT_EQ(result.samples, 0);
  EXPECT_EQ(result.instances, 0);
  EXPECT_EQ(result.segments, 1);
}

TEST_F(Statistics, ReferencesThatNeverReachTheTargetEndTheRunAfterFiftyDiscards) {
  // Two independent rings, each segment the cycle of one of them. Once the b ring has fired
  // in an unfolding, its reference reaches none of the a ring's events: the unfolding is
  // discarded, and the longer ones that follow contain a b cycle all the more.
  for (const char* r : {"a", "b"}) {
    const std::string home = std::string(r) + "0", next = std::string(r) + "1";
    in(home, std::string(r) + "go");
    out(std::string(r) + "go", next);
    in(next, std::string(r) + "back");
    out(std::string(r) + "back", home);
    fixedDelay(home, 1.0);
    fixedDelay(next, 1.0);
    mark(home);
  }
  target("ago", "aback", 0);
  settings.stopping = Stopping::fixed;
  settings.sampleSize = 1000;
  run(1);
  Result result;
  EXPECT_EQ(thrown([&] { estimateAll(result); }),
            (Thrown{"\n\tError: The reference events did not lead to every TSE event in 50 consecutive unfoldings.\n", 1}));
  EXPECT_GE(result.discarded, 50);
  EXPECT_GE(run().targets[0].skipCount, 49);  // each discard but the last made the next unfolding longer
}

TEST_F(Statistics, ForkJoinOfTwoExponentialsAveragesTheirMaximum) {
  // The join waits for the later of two Exp(1) delays: E[max] = 1.5, Var[max] = 1.25.
  forkJoin();
  for (const char* p : {"p0", "c", "d"}) fixedDelay(p, 0.0);
  expDelay("a", 1.0);
  expDelay("b", 1.0);
  target("fork", "join", 0);
  settings.stopping = Stopping::fixed;
  settings.sampleSize = 20000;
  settings.printPeriod = 0;
  run(2026);
  Result result;
  const double estimate = estimateAll(result);
  const double standardError = std::sqrt(1.25 / settings.sampleSize);
  EXPECT_NEAR(estimate, 1.5, 4 * standardError);
  EXPECT_TRUE(reports.empty());
}

}  // namespace
