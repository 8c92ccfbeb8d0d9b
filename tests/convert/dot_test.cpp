// Drawings in Graphviz DOT: each must render with `dot -Tsvg` (installed by
// scripts/install-deps) and show what it promises.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include <unistd.h>

#include "draw/dot.h"
#include "readback.h"

namespace {

using namespace zelbo;
using readback::read;

// True when Graphviz renders the drawing without complaint. The file is the process's own:
// the test runner runs tests side by side.
bool renders(const std::string& dot) {
  const std::string path = testing::TempDir() + "drawing-" + std::to_string(getpid()) + ".dot";
  std::ofstream(path) << dot;
  const std::string command = "dot -Tsvg '" + path + "' -o /dev/null 2>'" + path + ".err'";
  if (std::system(command.c_str()) != 0) return false;
  std::ifstream errors(path + ".err");
  return errors.peek() == std::ifstream::traits_type::eof();
}

std::size_t count(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

const char* const kChoice =
    ".stpn choice\n"
    ".place s .preset {bl br} .poset {left[0.25] right[0.75]} .mark\n"
    ".place l .preset {left} .poset {bl}\n"
    ".place r .preset {right} .poset {br}\n"
    ".delay s .fix 1\n.delay l .uni 1 2\n.delay r .exp 0 1 2\n"
    ".tse (left, bl, 0)\n";

TEST(Dot, ModelShowsTokensDelaysProbabilitiesAndTarget) {
  const std::string dot = modelDot(read(kChoice));
  EXPECT_TRUE(renders(dot)) << dot;
  EXPECT_EQ(count(dot, "&#9679;"), 1u);                   // one token
  EXPECT_NE(dot.find("l\\n.uni 1 2"), std::string::npos);  // a place with its delay
  EXPECT_NE(dot.find("p0 -> t2 [taillabel=\"0.25\""), std::string::npos) << dot;
  EXPECT_NE(dot.find("(target source)"), std::string::npos);
  EXPECT_NE(dot.find("(target destination)"), std::string::npos);
  EXPECT_EQ(dotString("a \"b\" \\c\nd"), "\"a \\\"b\\\" \\\\c\\nd\"");
}

TEST(Dot, UnfoldingShowsSegmentsTimesAndStopsAtItsLimit) {
  const Model model = read(kChoice);
  readback::Quiet quiet;
  check(model, quiet.settings);
  const std::string whole = unfoldingDot(model, quiet.settings, 7);
  EXPECT_TRUE(renders(whole)) << whole;
  EXPECT_NE(whole.find("label=\"segment 1\""), std::string::npos);
  EXPECT_NE(whole.find("target source"), std::string::npos);
  EXPECT_NE(whole.find("\\nat 0"), std::string::npos);  // the reference event fires at 0
  EXPECT_EQ(whole.find("cut off"), std::string::npos);

  // A long unfolding: -ts makes the sample skip 300 instances first.
  quiet.settings.skip = 300;
  const std::string cut = unfoldingDot(model, quiet.settings, 7, 40);
  EXPECT_TRUE(renders(cut)) << cut;
  EXPECT_NE(cut.find("cut off: "), std::string::npos);
  EXPECT_LE(count(cut, "shape=ellipse") + count(cut, "shape=box"), 40u);
  EXPECT_GT(count(cut, "subgraph cluster_"), 2u);
}

TEST(Dot, UnfoldingThatEndsEarlyIsDrawnAsFarAsItGot) {
  const Model model = read(
      ".stpn stuck\n.place p .poset {a} .mark\n.place q .preset {a} .poset {b}\n.place r .preset {b}\n"
      ".delay p .fix 1\n.delay q .fix 1\n.delay r .fix 1\n.tse (a b 0)\n");
  readback::Quiet quiet;
  check(model, quiet.settings);
  const std::string dot = unfoldingDot(model, quiet.settings, 1);
  EXPECT_TRUE(renders(dot)) << dot;
  EXPECT_NE(dot.find("the unfolding ended: No low priority transition is enabled."), std::string::npos) << dot;
  EXPECT_NE(dot.find("b #0"), std::string::npos);
}

}  // namespace
