// The model writer: its text read back by the model reader must build the same model, list
// orders included, however the original file ordered its statements.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "delay/delay.h"
#include "language/reader.h"
#include "language/statements.h"
#include "language/writer.h"
#include "net/build.h"
#include "readback.h"

namespace {

using namespace zelbo;
using readback::expectReadsBack;
using readback::read;

TEST(WriteModel, NumbersReadBackAsTheSameSinglePrecisionValue) {
  const double values[] = {0, 1, -1, 0.1, 1.0 / 3, 1e-7, 2.5e-5, 3e9, -2.5e10, 123456789, 1e-40, 3.4e38, 1e39,
                           -INFINITY};
  for (const double v : values) {
    const std::string text = realText(v);
    Net net;
    parseModelText(net, ".stpn n\n.delay p .fix " + text + "\n", "n", {});
    EXPECT_EQ(net.placeById[0]->delaySpec->location, static_cast<double>(static_cast<float>(v))) << text;
  }
  EXPECT_EQ(realText(1e-7), "1.0e-07");
  EXPECT_EQ(realText(0.5), "0.5");
}

TEST(WriteModel, NamesThatStartWithAKeywordStandAtTheStartOfALine) {
  const Model model = read(
      ".stpn\nuniq\n"
      ".place\nbinary .preset {\nexp_t} .poset {\nfixit} .mark\n"
      ".place\nbetween .preset {\nfixit} .poset {\nexp_t}\n"
      ".delay\nbinary .fix 1\n.delay\nbetween .cus 0 1 0.5 0.5\n"
      ".tse (\nexp_t,\nfixit, 0)\n");
  ASSERT_EQ(model.places(), 2);
  const std::string text = expectReadsBack(model);
  EXPECT_NE(text.find(".place \nbinary .preset {\nexp_t} .poset {\nfixit} .mark\n"), std::string::npos) << text;
  EXPECT_TRUE(isWritableName("xunit"));
  EXPECT_FALSE(isWritableName("xuni"));  // the scanner reads it as .uni after an "x"
  EXPECT_FALSE(isWritableName("Xbeta"));
}

TEST(WriteModel, ModelFilesOfAnyStatementOrderReadBackAsTheSameModel) {
  const char* const models[] = {
      // The target first: it creates its transitions before the places do.
      ".stpn a\n.tse (b a 1) .lb\n.place p .preset {a} .poset {b} .mark\n.place q .preset {b} .poset {a}\n"
      ".delay p .fix 1\n.delay q .exp 0 1 2\n",
      // Delays first, naming the places in another order than their statements.
      ".stpn b\n.delay q .uni 1 2\n.delay p .fix 1\n.place p .preset {y} .poset {x} .mark\n"
      ".place q .preset {x} .poset {y}\n.tse (x y 0)\n",
      // Posets before presets, and clauses of both orders.
      ".stpn c\n.place p .poset {x} .preset {y} .mark\n.place q .preset {x} .poset {y}\n"
      ".place r .poset {y} .preset {x}\n.delay p .fix 1\n.delay q .fix 2\n.delay r .fix 3\n.tse (x y -1)\n",
      // A marking whose order no statement order of the arcs gives: a place marked in two
      // statements, one marked twice in one.
      ".stpn d\n.place r .mark\n.place p .mark 2 .preset {y} .poset {x}\n.place q .preset {x} .poset {y}\n"
      ".place r .preset {x} .poset {y} .mark\n.delay p .fix 1\n.delay q .fix 1\n.delay r .fix 1\n.tse (x y 0)\n",
      // A clause replaced within its statement: the transition keeps the first list's arc.
      ".stpn e\n.place p .poset {x y} .poset {x} .preset {x} .mark\n.delay p .fix 1\n.tse (x x 1)\n",
      // Every distribution, branch probabilities, a self-loop and a place without arcs.
      ".stpn f\n.place s .preset {x y} .poset {x[0.3] y[0.7]} .mark\n.place lone .mark\n"
      ".place u .preset {y} .poset {z}\n.place v .preset {z} .poset {w}\n.place w2 .preset {w} .poset {y}\n"
      ".delay s .bet 0 4 2 5\n.delay lone .bin 1 2 10 0.25\n.delay u .geo 0 1 0.5\n"
      ".delay v .cus 0 2 0.25 0.25 0.5\n.delay w2 .exp 0.5 1 0.002\n.tse (x y 2)\n",
  };
  for (const char* text : models) {
    SCOPED_TRACE(text);
    expectReadsBack(read(text));
  }
}

// Random model files: places with random arcs written in random clause orders, marks in
// statements of their own, delays anywhere, the target first or last.
std::string randomModel(std::mt19937& rng) {
  auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  const int places = 1 + pick(6), transitions = 1 + pick(5);
  std::vector<std::vector<std::string>> queues(places);  // each place's statements, in order
  for (int p = 0; p < places; ++p) {
    const std::string name = "p" + std::to_string(p);
    for (int k = pick(3); k > 0; --k) queues[p].push_back(".place " + name + " .mark\n");
    std::vector<std::string> clauses;
    for (const char* kind : {" .preset {", " .poset {"}) {
      std::vector<int> ts(transitions);
      for (int t = 0; t < transitions; ++t) ts[t] = t;
      std::shuffle(ts.begin(), ts.end(), rng);
      ts.resize(pick(transitions + 1));
      if (ts.empty()) continue;
      std::string clause = kind;
      for (const int t : ts) clause += " t" + std::to_string(t) + (pick(3) == 0 ? "[0.25]" : "");
      clauses.push_back(clause + "}");
    }
    if (pick(2)) clauses.push_back(pick(2) ? " .mark" : " .mark 1");
    std::shuffle(clauses.begin(), clauses.end(), rng);
    std::string statement = ".place " + name;
    for (const std::string& c : clauses) statement += c;
    queues[p].push_back(statement + "\n");
    if (pick(2)) {
      const std::string delay = ".delay " + name + (pick(2) ? " .uni 1 2\n" : " .fix 0.5\n");
      queues[p].insert(pick(2) ? queues[p].begin() : queues[p].end(), delay);
    }
  }
  const std::string target = ".tse (t" + std::to_string(pick(transitions)) + " t" + std::to_string(pick(transitions)) +
                             " " + std::to_string(pick(5) - 2) + ")" + (pick(2) ? " .lb" : "") + "\n";
  const bool targetFirst = pick(2);
  std::string text = ".stpn random\n" + std::string(targetFirst ? target : "");
  for (;;) {
    std::vector<int> open;
    for (int p = 0; p < places; ++p)
      if (!queues[p].empty()) open.push_back(p);
    if (open.empty()) break;
    std::vector<std::string>& q = queues[open[pick(static_cast<int>(open.size()))]];
    text += q.front();
    q.erase(q.begin());
  }
  return text + (targetFirst ? "" : target);
}

TEST(WriteModel, RandomModelFilesReadBackAsTheSameModel) {
  std::mt19937 rng(12);
  for (int k = 0; k < 1000; ++k) {
    const std::string text = randomModel(rng);
    const Model model = read(text);
    std::string written;
    try {
      written = writeModel(model).text;
    } catch (const Error& error) {
      FAIL() << error.what() << text;
    }
    ASSERT_EQ(modelDifference(netOf(model), netOf(read(written))), "") << text << "\nwritten:\n" << written;
  }
}

TEST(WriteModel, ModelsTheLanguageCannotWriteAreErrorsThatSayWhy) {
  auto message = [](const Net& net) {
    try {
      writeModelText(net);
    } catch (const Error& error) {
      return std::string(error.what());
    }
    return std::string("written");
  };
  {
    Net net;  // a transition that nothing names
    net.name = "n";
    addInputArc(&net, findOrAddTransition(&net, "a"), findOrAddPlace(&net, "p"));
    findOrAddTransition(&net, "lonely");
    EXPECT_NE(message(net).find("transition lonely has no arcs"), std::string::npos) << message(net);
  }
  {
    Net net;  // two transitions that list the same places in opposite orders
    net.name = "n";
    Place* p = findOrAddPlace(&net, "p");
    Place* q = findOrAddPlace(&net, "q");
    Trans* a = findOrAddTransition(&net, "a");
    Trans* b = findOrAddTransition(&net, "b");
    addInputArc(&net, a, p);
    addInputArc(&net, a, q);
    addInputArc(&net, b, q);
    addInputArc(&net, b, p);
    EXPECT_NE(message(net).find("no order of place statements"), std::string::npos) << message(net);
  }
  {
    Net net;
    net.name = "n";
    findOrAddPlace(&net, "xuni");
    EXPECT_NE(message(net).find("place name xuni"), std::string::npos) << message(net);
  }
}

}  // namespace
