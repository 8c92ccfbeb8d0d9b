// Nets of other formats built into models: the order of their lists, the defaults that let
// them run, what an annotation file and -delay add, the errors that name what is wrong, and
// the model written back.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "delay/delay.h"
#include "net/net.h"
#include "readback.h"

namespace {

using namespace zelbo;
using readback::expectReadsBack;
using readback::read;

const char* const kChoiceStg =
    ".model choice\n"
    ".inputs a b\n"
    ".outputs c\n"
    ".graph\n"
    "p0 a+ b+\n"
    "a+ p1\n"
    "b+ p1\n"
    "p1 c+\n"
    "c+ p0\n"
    ".marking {p0}\n"
    ".end\n";

std::string names(const TransList& list) {
  std::string out;
  for (const TransNode& node : list) out += node.trans->name + "[" + std::to_string(node.prob).substr(0, 4) + "] ";
  return out;
}

// The message of the Error that reading `text` (with the options) ends with.
std::string readError(const std::string& text, const std::string& name, const ReadOptions& options = {}) {
  try {
    read(text, name, options);
  } catch (const Error& error) {
    EXPECT_EQ(error.status(), 1);
    return printedText(error);
  }
  return "read";
}

std::string tempFile(const std::string& name, const std::string& content) {
  const std::string path = testing::TempDir() + name;
  std::ofstream(path) << content;
  return path;
}

TEST(ImportedNets, BuiltInFileOrderWithDefaultsThatRun) {
  const Model model = read(kChoiceStg, "choice.g");
  const Net& net = netOf(model);
  ASSERT_EQ(model.places(), 2);
  ASSERT_EQ(model.transitions(), 3);
  const Place* p0 = net.placeByName.find("p0");
  const Place* p1 = net.placeByName.find("p1");
  EXPECT_EQ(names(p0->poset), "a_p[0.50] b_p[0.50] ");  // equal branches, arcs in file order
  EXPECT_EQ(names(p1->preset), "a_p[1.00] b_p[1.00] ");
  EXPECT_EQ(net.initMarking.size(), 1u);
  EXPECT_EQ(net.initMarking.front(), p0);
  // One ".fix 1" for every place, and the cycle time of the first transition as the target.
  EXPECT_EQ(p0->delaySpec, p1->delaySpec);
  EXPECT_EQ(p0->delaySpec->type, DelayType::fixed);
  EXPECT_EQ(p0->delaySpec->location, 1.0);
  EXPECT_EQ(model.target().source, "a_p");
  EXPECT_EQ(model.target().destination, "a_p");
  EXPECT_EQ(model.target().separation, 1);
  expectReadsBack(model);
}

TEST(ImportedNets, WhatCannotBeImportedEndsWithFileAndLine) {
  const std::string pnmlHead =
      "<?xml version=\"1.0\"?>\n<pnml>\n<net id=\"n\" type=\"http://www.pnml.org/version-2009/grammar/ptnet\">\n";
  struct Case {
    std::string text, name, message;
  } cases[] = {
      {".model m\n.inputs a\n.graph\np a+\na+ p\n.end\n", "m.g",
       "\n\tError: m.g:6: no .marking: the initial marking must be given\n"},
      {pnmlHead + "<place id=\"p\"><initialMarking><text>2</text></initialMarking></place>\n</net></pnml>\n", "n.pnml",
       "\n\tError: n.pnml:4: place \"p\" is marked with 2 tokens"},
      {pnmlHead + "<place id=\"p\">\n</net></pnml>\n", "n.pnml", "\n\tError: n.pnml:5: "},
      // A transition without an input place would fire at any time, for ever.
      {pnmlHead + "<place id=\"p\"/><transition id=\"t\"/>\n<arc id=\"a\" source=\"t\" target=\"p\"/>\n</net></pnml>\n",
       "n.pnml", "\n\tError: n.pnml:4: transition \"t\" has no input place"},
  };
  for (const Case& c : cases) {
    const std::string message = readError(c.text, c.name);
    EXPECT_EQ(message.substr(0, c.message.size()), c.message) << message;
  }
}

TEST(Annotations, DelaysProbabilitiesAndTargetApplyByName) {
  ReadOptions options;
  options.annotations = tempFile("timing.stpn",
                                 ".stpn timing\n"
                                 ".place p0 .poset {b_p[0.25] a_p[0.75]}\n"
                                 ".delay p1 .uni 1 2\n"
                                 ".tse (a_p, c_p, 0) .lb\n");
  options.defaultDelay = ".exp 0 1 2";
  const Model model = read(kChoiceStg, "choice.g", options);
  const Net& net = netOf(model);
  const Place* p0 = net.placeByName.find("p0");
  const Place* p1 = net.placeByName.find("p1");
  EXPECT_EQ(names(p0->poset), "a_p[0.75] b_p[0.25] ");  // the net's order, the annotation's values
  EXPECT_EQ(p1->delaySpec->type, DelayType::uniform);
  EXPECT_EQ(p0->delaySpec->type, DelayType::exponential);  // the default delay where the annotation gave none
  const Target target = model.target();
  EXPECT_EQ(target.source + " " + target.destination, "a_p c_p");
  EXPECT_TRUE(target.lowerBound);
  expectReadsBack(model);
}

TEST(Annotations, WhatTheNetDoesNotHaveIsAnErrorNamingIt) {
  const struct {
    const char* annotation;
    const char* message;
  } cases[] = {
      {".delay q .fix 1", "place q is not in the net choice"},
      {".tse (a_p, zz, 0)", "transition zz is not in the net choice; did you mean c+, a+ or b+?"},
      {".place p0 .poset {a_p[1]}", "place p0: the branch to b_p has no probability"},
      {".place p0 .poset {a_p[0.5] c_p[0.5]}", "transition c_p is not a branch of place p0"},
      {".place p0 .preset {c_p}", "the .preset of place p0: an annotation gives"},
      {".place p1 .mark", "the .mark of place p1: an annotation gives"},
  };
  for (const auto& c : cases) {
    ReadOptions options;
    options.annotations = tempFile("bad.stpn", std::string(".stpn bad\n") + c.annotation + "\n");
    const std::string message = readError(kChoiceStg, "choice.g", options);
    EXPECT_NE(message.find(options.annotations + ":2: " + c.message), std::string::npos) << message;
  }
}

TEST(DefaultDelay, IsOneDelayOfTheModelLanguage) {
  ReadOptions options;
  options.defaultDelay = ".bet 0 2 2 3";
  const Model model = read(kChoiceStg, "choice.g", options);
  const Place* p0 = netOf(model).placeByName.find("p0");
  EXPECT_EQ(p0->delaySpec->type, DelayType::beta);
  ASSERT_TRUE(p0->delaySpec->quantiles);
  EXPECT_EQ(p0->delaySpec, netOf(model).placeByName.find("p1")->delaySpec);  // one table for all

  // A model file keeps its own delays; only a place without one takes the option's.
  options.defaultDelay = ".fix 7";
  const Model own = read(".stpn m\n.place p .preset {t} .poset {t} .mark\n.place q\n.delay p .fix 2\n.tse (t t 1)\n",
                         "m.stpn", options);
  EXPECT_EQ(netOf(own).placeByName.find("p")->delaySpec->location, 2.0);
  EXPECT_EQ(netOf(own).placeByName.find("q")->delaySpec->location, 7.0);

  for (const char* bad : {".uni 1", "fix", ".fix 1 .place x .mark", ".fix 1 .delay y .fix 2"}) {
    options.defaultDelay = bad;
    EXPECT_NE(readError(kChoiceStg, "choice.g", options).find("is not "), std::string::npos) << bad;
  }
  options.defaultDelay = ".uni 1 -2";
  EXPECT_NE(readError(kChoiceStg, "choice.g", options).find("out of range"), std::string::npos);
}

TEST(PnmlNets, ReadBackAsTheSameModel) {
  const Model model = read(
      "<?xml version=\"1.0\"?>\n"
      "<pnml xmlns=\"http://www.pnml.org/version-2009/grammar/pnml\">\n"
      "<net id=\"handshake-1\" type=\"http://www.pnml.org/version-2009/grammar/ptnet\">\n"
      "<page id=\"top\"><page id=\"inner\">\n"
      "  <place id=\"req.0\"><initialMarking><text>1</text></initialMarking></place>\n"
      "  <place id=\"ack-0\"/>\n"
      "  <transition id=\"go\"/><transition id=\"retry\"/><transition id=\"done\"/>\n"
      "</page>\n"
      "  <referencePlace id=\"r\" ref=\"ack-0\"/>\n"
      "  <arc id=\"a1\" source=\"req.0\" target=\"go\"/>\n"
      "  <arc id=\"a2\" source=\"go\" target=\"r\"/>\n"
      "  <arc id=\"a3\" source=\"r\" target=\"retry\"/>\n"
      "  <arc id=\"a4\" source=\"r\" target=\"done\"/>\n"
      "  <arc id=\"a5\" source=\"retry\" target=\"req.0\"/>\n"
      "  <arc id=\"a6\" source=\"done\" target=\"req.0\"><inscription><text>1</text></inscription></arc>\n"
      "</page></net></pnml>\n",
      "handshake.pnml");
  EXPECT_EQ(model.name(), "handshake_m1");
  const std::string text = expectReadsBack(model);
  EXPECT_NE(text.find(".place ack_m0 .preset {go} .poset {retry[0.5] done[0.5]}"), std::string::npos) << text;
}

TEST(PnmlNets, ARingOf50000PlacesImportsAndRuns) {
  const int n = 50000;
  std::string text =
      "<?xml version=\"1.0\"?>\n<pnml>\n<net id=\"ring\" type=\"http://www.pnml.org/version-2009/grammar/ptnet\">\n";
  for (int i = 0; i < n; ++i) {
    const std::string k = std::to_string(i), next = std::to_string((i + 1) % n);
    text += "<place id=\"p" + k + "\">" + (i == 0 ? "<initialMarking><text>1</text></initialMarking>" : "") +
            "</place><transition id=\"t" + k + "\"/><arc id=\"i" + k + "\" source=\"p" + k + "\" target=\"t" + k +
            "\"/><arc id=\"o" + k + "\" source=\"t" + k + "\" target=\"p" + next + "\"/>\n";
  }
  text += "</net></pnml>\n";
  const Model model = read(text, "ring.pnml");
  ASSERT_EQ(model.places(), n);
  readback::Quiet quiet;
  quiet.settings.sampleSize = 2;
  check(model, quiet.settings);
  // Every place delays its token by 1: t0 fires again n time units later.
  EXPECT_EQ(estimate(model, quiet.settings, 5).bound, n);
}

}  // namespace
