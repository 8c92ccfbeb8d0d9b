// The report page's recorder against the run it records, its reservoir, and a page whose every
// text is hostile.
#include <gtest/gtest.h>

#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>

#include "draw/dot.h"
#include "report/recording.h"
#include "zelbo/report.h"

namespace {

using namespace zelbo;

// A ring whose target is asked as a lower bound: the recorder sees the sums as asked.
const char* const kRing =
    ".stpn ring\n"
    ".place p .preset {b} .poset {a} .mark\n"
    ".place q .preset {a} .poset {b}\n"
    ".delay p .exp 0 1 2\n"
    ".delay q .uni 1 3\n"
    ".tse (a b 0) .lb\n";

TEST(RunRecorder, EndsOnTheRunsFiguresAndLeavesTheRunAlone) {
  FILE* quiet = fopen("/dev/null", "w");
  const Model model = Model::readText(kRing);
  struct Case { Stopping stopping; int samples; int jobs; };
  for (const Case c : {Case{Stopping::fixed, 25000, 1}, Case{Stopping::automatic, 0, 2}}) {
    Settings settings;
    settings.log = settings.diagnostics = quiet;
    settings.stopping = c.stopping;
    settings.sampleSize = c.samples;
    settings.jobs = c.jobs;
    RunRecorder recorder(settings, 11);
    const Result recorded = estimate(model, settings, 11, {}, recorder.control());
    const Result plain = estimate(model, settings, 11);
    EXPECT_EQ(recorded.bound, plain.bound);
    EXPECT_EQ(recorded.samples, plain.samples);

    const std::vector<TargetReport> reports = recorder.reports();
    ASSERT_EQ(reports.size(), 1u);
    const std::vector<ConvergencePoint>& points = reports[0].convergence;
    EXPECT_EQ(points.back().samples, plain.samples);
    EXPECT_EQ(points.back().bound, plain.bound);
    EXPECT_EQ(points.back().halfWidth, plain.halfWidth);
    EXPECT_LE(points.size(), 400u);
    for (int i = 0; i < 100 && i < static_cast<int>(points.size()); ++i) EXPECT_EQ(points[i].samples, i + 1);
    EXPECT_EQ(reports[0].separations.size(), std::min<std::size_t>(plain.samples, kKeptSeparations));
    EXPECT_EQ(reports[0].sampled, plain.samples > static_cast<int>(kKeptSeparations));
  }
  fclose(quiet);
}

TEST(RunRecorder, ThinsToFewPointsAndSamplesUniformly) {
  int points = 0;
  for (int n = 1; n < 2147483647; n = nextConvergencePoint(n)) ++points;
  EXPECT_LT(points, 400);

  // 0 .. 99999 through a reservoir of 10000: every tenth of the range gets about a tenth.
  SeparationReservoir reservoir(5, 10000);
  for (int i = 0; i < 100000; ++i) reservoir.add(i);
  int tenths[10] = {};
  for (const double v : reservoir.kept()) ++tenths[static_cast<int>(v) / 10000];
  for (const int count : tenths) EXPECT_NEAR(count, 1000, 150);
  EXPECT_TRUE(reservoir.sampled());

  const Histogram equal = histogramOf({2, 2, 2});
  EXPECT_EQ(equal.counts, std::vector<long>{3});
  const Histogram spread = histogramOf({0, 1, 2, 3, 4, 5, 6, 7, NAN});
  EXPECT_EQ(spread.counts, (std::vector<long>{2, 2, 2, 2}));  // 2 * cbrt(8) bins, the NaN left out
  EXPECT_EQ(spread.edges.back(), 7);
}

TEST(ReportPage, ShowsHostileTextsAsText) {
  const std::string hostile = "<script>alert(1)</script> & \"q\" ' <!-- \xff";
  ReportInput in;
  in.modelName = in.modelFile = hostile;
  in.error = hostile;
  Result result;
  TargetResult target;
  target.asked = target.identifiers = Target{hostile, hostile, 0, false};
  target.critical = {Criticality{hostile, hostile, 0, 0.5, 0.1}};
  result.targets = {target};
  in.result = result;
  TargetReport report;
  report.convergence = {{1, 2.0, NAN}};
  report.separations = {2.0};
  in.targets = {report};
  in.netDot = "digraph g { n [label=" + dotString(hostile.substr(0, hostile.size() - 1)) + "]; }\n";
  const std::string page = reportPage(in);

  // Outside the charting library, the page's own four script elements and nothing else.
  std::string own = page;
  own.erase(own.find(chartLibrary()), chartLibrary().size());
  int scripts = 0;
  for (std::size_t at = own.find("<script"); at != std::string::npos; at = own.find("<script", at + 1)) ++scripts;
  EXPECT_EQ(scripts, 4);
  // The data reads back as given (invalid UTF-8 replaced); the drawing holds the label as text.
  const std::string open = "<script type=\"application/json\" id=\"zelbo-data\">";
  const std::size_t start = own.find(open) + open.size();
  const auto data = nlohmann::json::parse(own.substr(start, own.find("</script>", start) - start));
  const std::string shown = hostile.substr(0, hostile.size() - 1) + "\xEF\xBF\xBD";
  EXPECT_EQ(data["model"]["name"], shown);
  EXPECT_EQ(data["error"], shown);
  EXPECT_EQ(data["targets"][0]["asked"]["source"], shown);
  EXPECT_EQ(data["targets"][0]["critical"][0]["place"], shown);
  EXPECT_EQ(data["drawing"], nullptr);
  EXPECT_NE(own.find("&lt;script&gt;alert(1)&lt;/script&gt; &amp; &quot;q&quot;"), std::string::npos);
}

}  // namespace
