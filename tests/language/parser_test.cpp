// Reading model files: the model the grammar actions build, and the exact diagnostics.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <iterator>
#include <fstream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "delay/delay.h"
#include "language/location.h"
#include "language/model_parser.h"
#include "language/reader.h"
#include "net/net.h"
#include "streams.h"
#include "zelbo/error.h"

namespace {

using namespace zelbo;

std::vector<std::pair<std::string, double>> entries(const TransList& list) {
  std::vector<std::pair<std::string, double>> result;
  for (const TransNode& node : list) result.emplace_back(node.trans->name, node.prob);
  return result;
}

std::vector<std::string> names(const PlaceList& list) {
  std::vector<std::string> result;
  for (const Place* place : list) result.push_back(place->name);
  return result;
}

std::vector<std::string> names(const HeadList<Trans*>& list) {
  std::vector<std::string> result;
  for (const Trans* trans : list) result.push_back(trans->name);
  return result;
}

class Parser : public testing::Test {
 protected:
  void TearDown() override { std::remove(path_.c_str()); }

  // Reads `text` as a model file into a fresh model: the diagnostics go to `err`, the
  // message of an error thrown to `failure`. Returns 0, or the status of the error.
  int parse(const std::string& text) {
    std::ofstream(path_, std::ios::binary) << text;
    net_ = std::make_unique<Net>();
    testnet::PrintedDiagnostics diagnostics;
    int status = 0;
    failure.clear();
    try {
      parseModelFile(*net_, path_, diagnostics.handler());
    } catch (const Error& e) {
      status = e.status();
      failure = printedText(e);
    }
    err = diagnostics.text;
    return status;
  }

  Net& net() { return *net_; }
  Place* place(const char* name) { return net_->placeByName.find(name); }
  Trans* trans(const char* name) { return net_->transByName.find(name); }

  const std::string path_ =
      testing::TempDir() + "reader_" + testing::UnitTest::GetInstance()->current_test_info()->name() + ".stpn";
  std::unique_ptr<Net> net_ = std::make_unique<Net>();
  std::string err;
  std::string failure;
};

const char* const kRing =
    "// ring with a choice\n"
    ".stpn ring\n"
    ".place p0 .preset {t2 t3} .poset {t1} .mark\n"
    ".place p1 .preset {t1} .poset {t2[0.7] t3[0.3]}\n"
    ".delay p0 .fix 2\n"
    ".delay p1 .bin 0 1.5 10 0.25\n"
    ".tse (t1, t1, 1) .ub\n";

using Entries = std::vector<std::pair<std::string, double>>;
using Names = std::vector<std::string>;

TEST_F(Parser, BuildsTheRingModel) {
  ASSERT_EQ(parse(kRing), 0);
  EXPECT_EQ(err, "");
  EXPECT_EQ(net().name, "ring");
  EXPECT_EQ(names(net().transList), (Names{"t1", "t3", "t2"}));
  EXPECT_EQ(names(net().placeList), (Names{"p1", "p0"}));
  EXPECT_EQ(net().numTrans, 3);
  EXPECT_EQ(net().numPlaces, 2);

  Place* p0 = place("p0");
  EXPECT_EQ(entries(p0->preset), (Entries{{"t2", 1.0}, {"t3", 1.0}}));
  EXPECT_EQ(entries(p0->poset), (Entries{{"t1", 1.0}}));
  EXPECT_EQ(p0->initTokens, 1);
  EXPECT_EQ(p0->initMarked, 1);
  ASSERT_NE(p0->delaySpec, nullptr);
  EXPECT_EQ(p0->delaySpec->type, DelayType::fixed);
  EXPECT_EQ(p0->delayType, DelayType::fixed);
  EXPECT_EQ(p0->delaySpec->location, 2.0);
  EXPECT_EQ(p0->delaySpec->scale, 0.0);

  Place* p1 = place("p1");
  EXPECT_EQ(entries(p1->preset), (Entries{{"t1", 1.0}}));
  EXPECT_EQ(entries(p1->poset), (Entries{{"t2", static_cast<double>(0.7f)}, {"t3", static_cast<double>(0.3f)}}));
  EXPECT_EQ(p1->initTokens, 0);
  EXPECT_EQ(p1->initMarked, 0);
  ASSERT_NE(p1->delaySpec, nullptr);
  EXPECT_EQ(p1->delayType, DelayType::binomial);
  EXPECT_EQ(p1->delaySpec->location, 0.0);
  EXPECT_EQ(p1->delaySpec->scale, 1.5);
  EXPECT_EQ(p1->delaySpec->count, 10);
  EXPECT_EQ(p1->delaySpec->prob, 0.25);
  EXPECT_NE(p1->delaySpec->quantiles, nullptr);

  EXPECT_EQ(names(trans("t1")->preset), (Names{"p0"}));
  EXPECT_EQ(names(trans("t1")->poset), (Names{"p1"}));
  for (const char* name : {"t2", "t3"}) {
    EXPECT_EQ(names(trans(name)->preset), (Names{"p1"}));
    EXPECT_EQ(names(trans(name)->poset), (Names{"p0"}));
  }
  EXPECT_EQ(names(net().initMarking), (Names{"p0"}));

  ASSERT_NE(net().target, nullptr);
  EXPECT_EQ(net().target->source, trans("t1"));
  EXPECT_EQ(net().target->destination, trans("t1"));
  EXPECT_EQ(net().target->separation, 1);
  EXPECT_EQ(net().target->lowerBound, 0);
}

TEST_F(Parser, LowerBoundStoresTheMirroredQuestion) {
  ASSERT_EQ(parse(".stpn m\n.tse (a b 2) .lb\n"), 0);
  EXPECT_EQ(net().target->source, trans("b"));
  EXPECT_EQ(net().target->destination, trans("a"));
  EXPECT_EQ(net().target->separation, -2);
  EXPECT_EQ(net().target->lowerBound, 1);

  ASSERT_EQ(parse(".stpn m\n.tse (a b 2) .lb .ub .lb\n"), 0);
  EXPECT_EQ(net().target->source, trans("a"));
  EXPECT_EQ(net().target->destination, trans("b"));
  EXPECT_EQ(net().target->separation, 2);
  EXPECT_EQ(net().target->lowerBound, 1);
}

TEST_F(Parser, SecondTargetIsReportedAndKeepsTheFirst) {
  ASSERT_EQ(parse(".stpn m\n.tse (a b 1)\n.tse (x[0.5] y -3) .lb\n"), 0);
  EXPECT_EQ(err,
            "\n\tWarning: PRYX Solver handles only one target TSE pair."
            "\n\t         Ignoring the requested TSE @ line:column 3:7--3:12\n");
  EXPECT_EQ(net().target->source, trans("a"));
  EXPECT_EQ(net().target->destination, trans("b"));
  EXPECT_EQ(net().target->separation, 1);
  EXPECT_EQ(net().target->lowerBound, 0);
  EXPECT_EQ(net().numTrans, 4);
  EXPECT_TRUE(trans("x")->preset.empty() && trans("x")->poset.empty());
}

TEST_F(Parser, MarkingAboveOneIsReportedAndAdded) {
  ASSERT_EQ(parse(".stpn w\n.place p .mark 2\n"), 0);
  EXPECT_EQ(err,
            "\n\tWarning: PRYX Solver supports only safe nets."
            "\n\t         Initial marking value 2 @ line:column 2:16--2:16\n");
  EXPECT_EQ(place("p")->initTokens, 2);

  ASSERT_EQ(parse(".stpn w\n.place p .mark 0 .mark -4\n.place q .mark .mark 1\n"), 0);
  EXPECT_EQ(err, "");
  EXPECT_EQ(place("p")->initMarked, 0);
  EXPECT_EQ(place("q")->initTokens, 2);
  EXPECT_EQ(names(net().initMarking), (Names{"q", "q"}));
}

TEST_F(Parser, RedefinedConnectionSkipsTheWholeStatement) {
  ASSERT_EQ(parse(".stpn w\n.place p .preset {a}\n.place p .poset {b} .mark 3\n"), 0);
  EXPECT_EQ(err,
            "\n\tError: Connection of place p redefined  @ line:column 3:8--3:8. Use the previous definition.\n"
            "\n\tWarning: PRYX Solver supports only safe nets."
            "\n\t         Initial marking value 3 @ line:column 3:27--3:27\n");
  EXPECT_EQ(entries(place("p")->preset), (Entries{{"a", 1.0}}));
  EXPECT_TRUE(place("p")->poset.empty());
  EXPECT_EQ(place("p")->initTokens, 0);
  EXPECT_TRUE(trans("b")->preset.empty() && trans("b")->poset.empty());
}

TEST_F(Parser, PlaceWithOnlyADelayOrMarkingMayBeConnectedLater) {
  ASSERT_EQ(parse(".stpn w\n.delay p .uni 0.1 3\n.place p .mark\n.place p .poset {a}\n.place q\n"), 0);
  EXPECT_EQ(err, "");
  EXPECT_EQ(names(net().placeList), (Names{"q", "p"}));
  EXPECT_EQ(entries(place("p")->poset), (Entries{{"a", 1.0}}));
  EXPECT_EQ(place("p")->initTokens, 1);
  EXPECT_EQ(place("p")->delaySpec->location, static_cast<double>(0.1f));
  EXPECT_EQ(place("p")->delaySpec->scale, 3.0);
}

TEST_F(Parser, BracketedProbabilitiesAboveOneAreReportedAndStand) {
  ASSERT_EQ(parse(".stpn w\n.place p .poset {a[1.5] b[2] c[1] d[1.0] e[-0.2] f[0.2][0.4]}\n"), 0);
  EXPECT_EQ(err,
            "\n\tWarning: Invalid probability value '1.5' @ line:column 2:20--2:22\n"
            "\n\tWarning: Invalid probability value '2' @ line:column 2:27--2:27\n");
  EXPECT_EQ(entries(place("p")->poset), (Entries{{"a", 1.5},
                                                 {"b", 2.0},
                                                 {"c", 1.0},
                                                 {"d", 1.0},
                                                 {"e", static_cast<double>(-0.2f)},
                                                 {"f", static_cast<double>(0.4f)}}));
}

TEST_F(Parser, RepeatedTransitionKeepsItsFirstOccurrence) {
  ASSERT_EQ(parse(".stpn w\n.place p .poset {a[0.3] b a[0.9]}\n"), 0);
  EXPECT_EQ(err, "WARNING : Transition a duplicates on list.\n");
  EXPECT_EQ(entries(place("p")->poset), (Entries{{"a", static_cast<double>(0.3f)}, {"b", 1.0}}));
  EXPECT_EQ(names(trans("a")->preset), (Names{"p"}));
}

TEST_F(Parser, SecondPosetClauseReplacesTheList) {
  ASSERT_EQ(parse(".stpn w\n.place p .poset {a} .poset {b}\n"), 0);
  EXPECT_EQ(entries(place("p")->poset), (Entries{{"b", 1.0}}));
  EXPECT_EQ(names(trans("a")->preset), (Names{"p"}));
  EXPECT_EQ(names(trans("b")->preset), (Names{"p"}));
}

TEST_F(Parser, CustomDistributionKeepsFileOrderAndReportsLargeValues) {
  ASSERT_EQ(parse(".stpn w\n.delay p .cus 0 10 0.25 2 1.5 0.5\n"), 0);
  EXPECT_EQ(err,
            "\t\nWarning: Invalid probability value '2' in spec."
            "\n\tWarning: Invalid probability value '1.5' in spec.");
  const DelaySpec* spec = place("p")->delaySpec;
  EXPECT_EQ(spec->type, DelayType::custom);
  EXPECT_EQ(spec->scale, 10.0);
  EXPECT_EQ(spec->count, 4);
  EXPECT_EQ(spec->probs, (std::vector<double>{0.25, 2.0, 1.5, 0.5}));
}

TEST_F(Parser, LaterDelayReplacesTheEarlierOne) {
  ASSERT_EQ(parse(".stpn w\n.delay p .exp 1 2 3\n.delay p  geo 4 5 0.5\n.delay q .bet 0 1 2 3\n"), 0);
  EXPECT_EQ(err,
            "\n\tWARNING: Multiple delay spec's for place p @ line:column 3:10--3:21\n"
            "\n\t         Retaining the last delay spec.\n");
  const DelaySpec* spec = place("p")->delaySpec;
  EXPECT_EQ(place("p")->delayType, DelayType::geometric);
  EXPECT_EQ(spec->location, 4.0);
  EXPECT_EQ(spec->scale, 5.0);
  EXPECT_EQ(spec->prob, 0.5);
  const DelaySpec* beta = place("q")->delaySpec;
  EXPECT_EQ(beta->alpha, 2.0);
  EXPECT_EQ(beta->beta, 3.0);
  EXPECT_NE(beta->quantiles, nullptr);
}

TEST_F(Parser, NegativeBinomialTrialCountIsPassedOn) {
  ASSERT_EQ(parse(".stpn w\n.delay p .bin 0 1 -5 0.5\n.delay q .bin 0 1 -2147483648 0.5\n"), 0);
  EXPECT_EQ(place("p")->delaySpec->count, -5);
  EXPECT_EQ(place("q")->delaySpec->count, -2147483647 - 1);
}

// Every statement stays on the parse stack until the end of the file.
TEST_F(Parser, StackHoldsAtMost9995Statements) {
  std::string text = ".stpn m\n";
  for (int i = 0; i < 9995; ++i) text += ".place p .mark 1\n";
  ASSERT_EQ(parse(text), 0);
  EXPECT_EQ(place("p")->initTokens, 9995);

  text += ".place p .mark 1\n";
  EXPECT_EQ(parse(text), 1);
  EXPECT_EQ(err, "\n\tError: parser stack overflow @ line:column 9997:16--9997:16\n");
  EXPECT_EQ(failure, "\n\tError: Failed to parse " + path_ + ".\n");

  // The parser itself ends an overflow with its own status 2.
  Net fresh;
  FILE* file = fopen(path_.c_str(), "r");
  const DiagnosticHandler none;
  ParseContext context(fresh, path_, none);
  {
    ModelScanner scanner(file, context);
    EXPECT_EQ(model_parse(scanner.handle(), context), 2);
  }
  fclose(file);
}

// Each read starts afresh, whatever an earlier read left behind (here: unread input and a
// position in mid-line).
TEST_F(Parser, EveryReadStartsAfresh) {
  EXPECT_EQ(parse(".stpn w\n.place p .mark 1.0 .place stale .mark 5\n"), 1);
  ASSERT_EQ(parse(".stpn w\n.place p .mark 2\n"), 0);
  EXPECT_EQ(err,
            "\n\tWarning: PRYX Solver supports only safe nets."
            "\n\t         Initial marking value 2 @ line:column 2:16--2:16\n");
  EXPECT_EQ(net().numPlaces, 1);

  EXPECT_EQ(parse(""), 1);
  EXPECT_EQ(err, "\n\tError: parse error @ line:column 0:0--0:0\n");
  EXPECT_EQ(failure, "\n\tError: Failed to parse " + path_ + ".\n");
}

TEST_F(Parser, FilesThatCannotBeOpenedOrReadAreErrors) {
  const std::string missing = testing::TempDir() + "reader_no_such_file.stpn";
  std::remove(missing.c_str());
  Net net;
  testnet::PrintedDiagnostics diagnostics;
  try {
    parseModelFile(net, missing, diagnostics.handler());
    ADD_FAILURE() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(printedText(e), "\n\tError: Failed to open file " + missing + " to read.\n");
    EXPECT_EQ(e.status(), 1);
  }
  // A directory opens, but reading it fails.
  try {
    parseModelFile(net, testing::TempDir(), diagnostics.handler());
    ADD_FAILURE() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(printedText(e), "input in flex scanner failed\n");
    EXPECT_EQ(e.status(), 2);
    EXPECT_EQ(e.kind(), Error::Kind::io);
  }
  EXPECT_EQ(diagnostics.text, "");
}

// A model in memory reads as a file of that content; its name stands for the file.
TEST_F(Parser, TextReadsAsAFileOfThatContent) {
  Net fromText;
  testnet::PrintedDiagnostics diagnostics;
  parseModelText(fromText, kRing, "ring.stpn", diagnostics.handler());
  ASSERT_EQ(parse(kRing), 0);
  EXPECT_EQ(fromText.name, net().name);
  EXPECT_EQ(names(fromText.placeList), names(net().placeList));
  EXPECT_EQ(names(fromText.transList), names(net().transList));
  EXPECT_EQ(entries(fromText.placeByName.find("p1")->poset), entries(place("p1")->poset));
  ASSERT_NE(fromText.target, nullptr);
  EXPECT_EQ(fromText.target->source->name, "t1");

  // Text without a newline at the end, and no text at all.
  Net open;
  parseModelText(open, ".stpn m\n.place p .mark 3", "open.stpn", diagnostics.handler());
  EXPECT_EQ(open.placeByName.find("p")->initTokens, 3);
  EXPECT_EQ(diagnostics.text,
            "\n\tWarning: PRYX Solver supports only safe nets."
            "\n\t         Initial marking value 3 @ line:column 2:16--2:16\n");
  Net empty;
  try {
    parseModelText(empty, "", "empty.stpn", diagnostics.handler());
    ADD_FAILURE() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(printedText(e), "\n\tError: Failed to parse empty.stpn.\n");
    EXPECT_EQ(e.status(), 1);
  }
}

// A read closes its file whether it succeeds or fails, so that a process reading many
// files does not run out of descriptors.
TEST_F(Parser, ReadsCloseTheModelFile) {
  const auto openDescriptors = [] {
    return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {});
  };
  const auto before = openDescriptors();
  for (int i = 0; i < 20; ++i) {
    ASSERT_EQ(parse(".stpn m .place p"), 0) << err;
    ASSERT_EQ(parse(".stpn m .place"), 1);
  }
  EXPECT_EQ(openDescriptors(), before);
}

}  // namespace
