// Several targets answered by one run, asked in the names the model's file writes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "estimate/statistics.h"
#include "zelbo/edit.h"
#include "zelbo/formats.h"
#include "zelbo/zelbo.h"

namespace {

using namespace zelbo;

// Two stages started together and joined, then one time unit before the next start: stage a
// takes U[1,3), stage b U[0,4). E[a] = 2, E[max(a, b)] = 61/24, the cycle 1 + 61/24, and the
// time from the end of stage a back to its start, asked as a lower bound, -E[a] = -2.
const char* const kForkJoin =
    ".stpn fj\n"
    ".place ready .preset {done} .poset {start} .mark\n"
    ".place a .preset {start} .poset {fa}\n.place b .preset {start} .poset {fb}\n"
    ".place a2 .preset {fa} .poset {done}\n.place b2 .preset {fb} .poset {done}\n"
    ".delay ready .fix 1\n.delay a .uni 1 2\n.delay b .uni 0 4\n.delay a2 .fix 0\n.delay b2 .fix 0\n"
    ".tse (start, done, 0)\n";

Settings quiet(FILE* sink, int samples) {
  Settings settings;
  settings.log = settings.diagnostics = sink;
  settings.stopping = Stopping::fixed;
  settings.sampleSize = samples;
  settings.printPeriod = 0;
  return settings;
}

TEST(Targets, EachWithinFourStandardErrorsOfItsClosedForm) {
  FILE* sink = fopen("/dev/null", "w");
  const Model model = withTargets(Model::readText(kForkJoin),
                                  {{parseTarget("start, done, 0"), {}},
                                   {parseTarget("start,fa,0"), {}},
                                   {parseTarget("start start 1"), {}},
                                   {parseTarget("fa,start,0,lb"), {}}});
  const Result r = estimate(model, quiet(sink, 20000), 11);
  fclose(sink);
  const double exact[] = {61.0 / 24, 2.0, 1 + 61.0 / 24, -2.0};
  ASSERT_EQ(r.targets.size(), 4u);
  const double z = intervalQuantile(97);
  for (std::size_t i = 0; i < r.targets.size(); ++i) {
    const TargetResult& t = r.targets[i];
    EXPECT_EQ(t.samples, 20000) << i;
    EXPECT_NEAR(t.bound, exact[i], 4 * t.halfWidth / z) << i;
  }
  EXPECT_TRUE(r.targets[3].asked.lowerBound);
  EXPECT_EQ(r.bound, r.targets[0].bound);  // the run's figures are the first target's
}

TEST(Targets, OneTargetAskedAsTheModelsOwnRunsAsTheModelAndSeveralRunTheSameTwice) {
  FILE* sink = fopen("/dev/null", "w");
  const Model own = Model::readText(kForkJoin);
  const Model asked = withTargets(own, {{parseTarget("start,done,0"), {}}});
  for (const int jobs : {1, 2}) {
    Settings settings = quiet(sink, 3000);
    settings.jobs = jobs;
    const Result a = estimate(own, settings, 5), b = estimate(asked, settings, 5);
    EXPECT_EQ(a.bound, b.bound);
    EXPECT_EQ(a.halfWidth, b.halfWidth);
    EXPECT_EQ(a.segments, b.segments);
    const Model several = withTargets(own, {{parseTarget("start,done,0"), {}}, {parseTarget("fb,done,0"), {}}});
    settings.stopping = Stopping::automatic;
    const Result c = estimate(several, settings, 5), d = estimate(several, settings, 5);
    for (std::size_t i = 0; i < 2; ++i) {
      EXPECT_EQ(c.targets[i].bound, d.targets[i].bound) << jobs;
      EXPECT_EQ(c.targets[i].samples, d.targets[i].samples) << jobs;
    }
  }
  fclose(sink);
}

// 300 stages started by one token each and joined by `sync`, which starts them all again: more
// references than the cones take in one pass, so the references are checked by the targets'
// reach, built first for the first target's pairs. The second target's first unfoldings miss
// a reference, and the message must name the one that misses (a0), not one its event has.
TEST(Targets, ManyReferencesCheckedForEachTargetsOwnEvents) {
  std::string text = ".stpn wide\n";
  for (int i = 0; i < 300; ++i) {
    const std::string n = std::to_string(i);
    text += ".place p" + n + " .preset {sync} .poset {a" + n + "} .mark\n.place q" + n + " .preset {a" + n +
            "} .poset {sync}\n.delay p" + n + " .uni 0 1\n.delay q" + n + " .uni 1 " + std::to_string(1 + i % 5) +
            "\n";
  }
  FILE* log = tmpfile();
  const Model model = Model::readText(text + ".tse (a0, sync, 0)\n");
  estimate(withTargets(model, {{parseTarget("a0,a0,40"), {}}, {parseTarget("a1,sync,0"), {}}}), quiet(log, 20), 3);
  std::string written(1 << 16, '\0');
  rewind(log);
  written.resize(fread(written.data(), 1, written.size(), log));
  fclose(log);
  EXPECT_NE(written.find("Reference event a0 (id=0) does not lead to the 0-th TSE source: a1"), std::string::npos);
  EXPECT_EQ(written.find("Reference event a1 (id=0) does not lead to the 0-th TSE source: a1"), std::string::npos);
}

TEST(Targets, TextsAndNamesAsTheModelsFileWritesThem) {
  const Model g = readModelText(".model hs\n.inputs req\n.outputs ack\n.graph\nreq+ ack+\nack+ req-\nreq- ack-\n"
                                "ack- req+\n.marking { <ack-,req+> }\n.end\n",
                                "hs.g", {});
  const struct {
    const char* text;
    const char* says;  // empty: accepted, then asked as (req+, ack-, 0)
  } cases[] = {
      {"req+,ack-,0", ""},
      {" req_p , ack_m , 0 ", ""},  // identifiers, and blanks
      {"\"req+\" ack- 0 ub", ""},
      {"req+,ack-", "a target is SOURCE,DESTINATION,SEPARATION"},
      {"req+,ack-,1x", "the separation of a target is a whole number"},
      {"req+,ack-,0,below", "a target is SOURCE,DESTINATION,SEPARATION"},
      {"\"req+,ack-,0", "a target is SOURCE,DESTINATION,SEPARATION"},
      {"reqq+,ack-,0", "transition reqq+ is not in the net hs; did you mean req+ or req-?"},
      {"<ack-,req+>,ack-,0", "a target is"},  // a place, and its comma splits it
  };
  for (const auto& c : cases) {
    try {
      const Model m = withTargets(g, {{parseTarget(c.text), {}}});
      EXPECT_STREQ(c.says, "") << c.text;
      EXPECT_EQ(m.target().source + " " + m.target().destination, "req_p ack_m") << c.text;
    } catch (const Error& e) {
      EXPECT_NE(std::string(e.message()).find(c.says), std::string::npos) << c.text << ": " << e.message();
      EXPECT_NE(*c.says, '\0') << c.text << ": " << e.message();
    }
  }
}

}  // namespace
