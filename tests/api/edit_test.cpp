// Changed copies of models: a copy is the model again, list orders and all, and a copy with
// changes is the model whose file has them written in; changes that name what the model does
// not have are model errors.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "language/writer.h"
#include "readback.h"
#include "zelbo/edit.h"
#include "zelbo/formats.h"

namespace {

using namespace zelbo;

using readback::Quiet;

Model read(const std::string& text, const std::string& name = "model.stpn") { return Model::readText(text, name); }

std::string runOf(const Model& model, long seed) {
  Quiet quiet;
  quiet.settings.sampleSize = 300;
  check(model, quiet.settings);
  const Result r = estimate(model, quiet.settings, seed);
  char text[160];
  snprintf(text, sizeof text, "%.17g %.17g %d %d %d %d", r.bound, r.halfWidth, r.samples, r.instances, r.segments,
           r.discarded);
  return text;
}

// Transitions whose lists no creation order gives (a clause replaced within its statement,
// places named by a delay before their statement), a place marked twice and a lower bound:
// a net that is copied, not run.
const char* const kTangled =
    ".stpn tangled\n"
    ".delay q .uni 1 2\n"
    ".place p .preset {b a} .poset {a} .preset {b} .mark\n"
    ".place q .preset {a} .poset {b[0.25] c[0.75]}\n"
    ".place r .preset {c} .poset {b} .mark .mark\n"
    ".delay p .bet 0 2 2 3\n"
    ".delay r .bin 0.5 0.5 4 0.5\n"
    ".tse (a b 1) .lb\n";

const char* const kStg =
    ".model hs\n.inputs req\n.outputs ack\n.graph\nreq+ ack+\nack+ req-\nreq- ack-\nack- req+\n"
    ".marking { <ack-,req+> }\n.end\n";

// An imported net, whose places share one delay.
TEST(Edit, CopiesAreTheModelAgain) {
  const Model tangled = read(kTangled);
  EXPECT_EQ(modelDifference(netOf(tangled), netOf(edit(tangled, {}))), "");
  const Model imported = read(kStg, "hs.g");
  const Model copy = edit(imported, {});
  EXPECT_EQ(modelDifference(netOf(imported), netOf(copy)), "");
  EXPECT_EQ(runOf(imported, 7), runOf(copy, 7));
}

TEST(Edit, ChangesBuildTheModelWithTheChangesWritten) {
  const std::string text =  // a fork with a choice on one side
      ".stpn fork\n"
      ".place s .preset {j} .poset {f} .mark\n"
      ".place a .preset {f x} .poset {x[0.5] y[0.5]}\n"
      ".place b .preset {f} .poset {j}\n"
      ".place c .preset {y} .poset {j}\n"
      ".delay s .fix 1\n.delay a .uni 1 2\n.delay b .exp 0.5 1 1\n.delay c .fix 0.5\n"
      ".tse (f j 0)\n";
  auto replaced = [](std::string s, const std::string& from, const std::string& to) {
    return s.replace(s.find(from), from.size(), to);
  };
  ModelChanges changes;
  changes.delays = {{"b", ".cus 0 2 0.25 0.75"}, {"a", ".geo 0.1 1 0.3"}};
  changes.branches = {{"a", {{"y", 0.7}, {"x", 0.3}}}};
  changes.target = Target{"j", "f", 1, true};
  const Model changed = edit(read(text), changes);
  std::string written = replaced(text, ".exp 0.5 1 1", ".cus 0 2 0.25 0.75");
  written = replaced(written, ".uni 1 2", ".geo 0.1 1 0.3");
  written = replaced(written, "x[0.5] y[0.5]", "x[0.3] y[0.7]");
  written = replaced(written, ".tse (f j 0)", ".tse (j f 1) .lb");
  EXPECT_EQ(modelDifference(netOf(changed), netOf(read(written))), "");
  EXPECT_EQ(runOf(changed, 11), runOf(read(written), 11));
  const ModelView view = describe(changed);
  EXPECT_EQ(view.places[1].delay, ".geo 0.1 1 0.3");
  EXPECT_EQ(view.places[1].poset[1].transition, "y");
  EXPECT_EQ(view.transitions[0].name, "j");
  ASSERT_TRUE(view.target);
  EXPECT_EQ(view.target->source, "j");
  EXPECT_TRUE(view.target->lowerBound);
}

TEST(Edit, ChangesNamingWhatTheModelLacksAreModelErrors) {
  const Model model = read(kTangled);
  const struct {
    ModelChanges changes;
    const char* says;
  } cases[] = {
      {{{{"nowhere", ".fix 1"}}, {}, {}}, "has no place nowhere."},
      {{{{"p", ".fix"}}, {}, {}}, "is not a delay of the model language"},
      {{{{"p", ".fix 1\n.delay p .fix 2"}}, {}, {}}, "is not one delay"},
      {{{{"p", ".uni -1 1"}}, {}, {}}, "out of range"},
      {{{}, {{"q", {{"b", 1}}}}, {}}, "the branch to c has no probability"},
      {{{}, {{"q", {{"b", 0.5}, {"c", 0.5}, {"b", 0.5}}}}, {}}, "the branch to b is given twice"},
      {{{}, {{"q", {{"a", 1}}}}, {}}, "Transition a is not a branch of place q."},
      {{{}, {{"q", {{"b", -0.5}, {"c", 1.5}}}}, {}}, "must lie in [0, 1]"},
      {{{}, {}, Target{"a", "z", 0, false}}, "has no transition z; did you mean"},
  };
  for (const auto& c : cases) {
    try {
      edit(model, c.changes);
      ADD_FAILURE() << "accepted: " << c.says;
    } catch (const Error& error) {
      EXPECT_EQ(error.kind(), Error::Kind::model);
      EXPECT_EQ(error.status(), 1);
      EXPECT_NE(std::string(error.what()).find(c.says), std::string::npos) << error.what();
    }
  }
}

}  // namespace
