// Model checks: where single precision decides a branch or custom sum, the per-type delay
// ranges, the rejections of checkModel with their messages, and the verbose listing.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "delay/delay.h"
#include "net/build.h"
#include "net/check.h"
#include "zelbo/settings.h"

namespace {

using namespace zelbo;

// Numbers of the model file pass through single precision.
double asRead(double value) { return static_cast<double>(static_cast<float>(value)); }

DelaySpec clause(DelayType type, double location, double scale) {
  DelaySpec s;
  s.type = type;
  s.location = location;
  s.scale = scale;
  return s;
}

DelaySpec customClause(std::vector<double> probs, double location = 0.0, double scale = 1.0) {
  DelaySpec s = clause(DelayType::custom, location, scale);
  for (double& p : probs) p = asRead(p);
  s.count = static_cast<int>(probs.size());
  s.probs = std::move(probs);
  return s;
}

class CheckSpec : public ::testing::Test {
 protected:
  void SetUp() override { fresh(); }
  void TearDown() override { fclose(log_); }

  // An empty model, default settings and an empty log.
  void fresh() {
    if (log_) fclose(log_);
    net_ = std::make_unique<Net>();
    log_ = tmpfile();
    settings = Settings{};
    settings.log = log_;
  }

  Net& net() { return *net_; }
  int check() { return checkModel(net(), settings); }

  std::string logText() {
    fflush(log_);
    rewind(log_);
    std::string out;
    for (int c; (c = fgetc(log_)) != EOF;) out.push_back(static_cast<char>(c));
    return out;
  }

  Place* place(const char* name) { return findOrAddPlace(&net(), name); }
  Trans* trans(const char* name) { return findOrAddTransition(&net(), name); }

  void delay(Place* p, DelaySpec s) { attachDelaySpec(&net(), p, std::make_unique<DelaySpec>(std::move(s))); }

  // Makes the pair the model's target, replacing any earlier one.
  void target(Trans* source, Trans* destination, int separation, int lowerBound = 0) {
    net().target = addTargetPair(&net(), TargetPair{source, destination, separation, lowerBound});
  }

  // A marked place "p" with a fixed delay that chooses among t1..tn, each of which puts the
  // token back; the branch probabilities are stored as the reader stores them.
  void choiceNet(const std::vector<double>& probs) {
    Place* p = place("p");
    std::vector<TransNode> branches;
    for (std::size_t i = 0; i < probs.size(); ++i) {
      Trans* t = trans(("t" + std::to_string(i + 1)).c_str());
      addOutputArc(&net(), t, p);
      branches.push_back(TransNode{asRead(probs[i]), t});
    }
    replacePlacePoset(&net(), p, branches);
    markInitially(&net(), p, 1);
    delay(p, clause(DelayType::fixed, 1.0, 0.0));
    target(trans("t1"), trans("t1"), 1);
  }

  std::unique_ptr<Net> net_;
  Settings settings;
  FILE* log_ = nullptr;
};

const char kNonStochastic[] = "\n\n\tError: Place p has non-stochastic choice probabilities.\n";

TEST_F(CheckSpec, BranchSumsAreTestedInSinglePrecision) {
  const std::pair<std::vector<double>, bool> cases[] = {
      {{0.3, 0.7}, true},                     // single-precision sum exactly 1
      {{0.333333, 0.333333, 0.333333}, true},  // 0.99999893, within 3e-6
      {{0.33333, 0.33333, 0.33333}, false},    // 0.99998999
      {{0.5, 0.499998}, false},                // 0.99999797 in single, 0.99999800 in double
      {{1.0, 1.0}, false},                     // two branches without explicit probabilities
      {{1.0}, true},
      {{0.999998}, false},                     // one branch: 1 within 1e-6 only
  };
  for (const auto& [probs, passes] : cases) {
    fresh();
    choiceNet(probs);
    EXPECT_EQ(check(), passes ? 0 : 1) << probs.size() << " x " << probs[0];
    EXPECT_EQ(logText().find(kNonStochastic) != std::string::npos, !passes) << logText();
  }
}

TEST(CheckDelaySpec, CustomSumUsesSinglePrecisionAndItsTolerance) {
  const std::pair<std::vector<double>, int> cases[] = {
      {{0.5, 0.499995}, 0}, {{0.5, 0.49999}, 1}, {{0.5, 0.500005}, 0}, {{0.5, 0.50001}, 1},
      {{1.5, -0.5}, 1},  // a negative probability rejects even when the sum is 1
  };
  for (const auto& [probs, result] : cases) {
    DelaySpec s = customClause(probs);
    EXPECT_EQ(checkCustomDelay(&s), result) << probs[0] << " + " << probs[1];
  }
  // The delays location + scale * j / count must not go negative.
  DelaySpec shifted = customClause({0.5, 0.5}, 2.0, -1.0);
  EXPECT_EQ(checkCustomDelay(&shifted), 0);
  shifted.scale = -1.01;
  EXPECT_EQ(checkCustomDelay(&shifted), 1);
}

TEST(CheckDelaySpec, RangesOfTheOtherTypes) {
  auto with = [](DelaySpec s, auto change) {
    change(s);
    return s;
  };
  const struct {
    const char* what;
    DelaySpec spec;
    int (*check)(const DelaySpec*, FILE*);
    int result;
  } cases[] = {
      {"UNI 5/-5", clause(DelayType::uniform, 5, -5), checkUniformDelay, 0},
      {"UNI 5/-6", clause(DelayType::uniform, 5, -6), checkUniformDelay, 1},
      {"UNI -1/5", clause(DelayType::uniform, -1, 5), checkUniformDelay, 1},
      {"EXP lambda 0", with(clause(DelayType::exponential, 0, 1), [](DelaySpec& s) { s.lambda = 0; }), checkExponentialDelay, 0},
      {"EXP scale -1", with(clause(DelayType::exponential, 5, -1), [](DelaySpec& s) { s.lambda = 1; }), checkExponentialDelay, 1},
      {"BET 3/-3", with(clause(DelayType::beta, 3, -3), [](DelaySpec& s) { s.alpha = s.beta = 2; }), checkBetaDelay, 0},
      {"BET beta -1", with(clause(DelayType::beta, 0, 1), [](DelaySpec& s) { s.alpha = 1, s.beta = -1; }), checkBetaDelay, 1},
      {"BIN prob 1.5", with(clause(DelayType::binomial, 0, 1), [](DelaySpec& s) { s.count = 4, s.prob = 1.5; }), checkBinomialDelay, 1},
      {"BIN prob 1", with(clause(DelayType::binomial, 0, 1), [](DelaySpec& s) { s.count = 4, s.prob = 1; }), checkBinomialDelay, 0},
      {"BIN 8/-2 x 4", with(clause(DelayType::binomial, 8, -2), [](DelaySpec& s) { s.count = 4, s.prob = 0.5; }), checkBinomialDelay, 0},
      {"BIN 8/-2 x 5", with(clause(DelayType::binomial, 8, -2), [](DelaySpec& s) { s.count = 5, s.prob = 0.5; }), checkBinomialDelay, 1},
      {"BIN count -1", with(clause(DelayType::binomial, 0, 1), [](DelaySpec& s) { s.count = -1, s.prob = 0.5; }), checkBinomialDelay, 1},
      {"GEO prob 1.5", with(clause(DelayType::geometric, 0, 1), [](DelaySpec& s) { s.prob = 1.5; }), checkGeometricDelay, 0},
      {"GEO scale -1", with(clause(DelayType::geometric, 5, -1), [](DelaySpec& s) { s.prob = 0.5; }), checkGeometricDelay, 1},
      {"FIX 0", clause(DelayType::fixed, 0, 0), checkFixedDelay, 0},
      {"FIX -0.5", clause(DelayType::fixed, -0.5, 0), checkFixedDelay, 1},
  };
  for (const auto& c : cases) EXPECT_EQ(c.check(&c.spec, stderr), c.result) << c.what;
}

TEST(CheckDelaySpec, MismatchedRecordIsReportedAndStillTested) {
  DelaySpec uni = clause(DelayType::uniform, 1.0, 1.0);
  fflush(stderr);
  FILE* capture = tmpfile();
  int saved = dup(2);
  dup2(fileno(capture), 2);
  int result = checkFixedDelay(&uni);
  int matching = checkUniformDelay(&uni);
  fflush(stderr);
  dup2(saved, 2);
  close(saved);
  rewind(capture);
  std::string text;
  for (int c; (c = fgetc(capture)) != EOF;) text.push_back(static_cast<char>(c));
  fclose(capture);

  EXPECT_EQ(result, 0);
  EXPECT_EQ(matching, 0);
  EXPECT_EQ(text, "\n\tvintro internal error.\n\tPlease contact PRYX Solver support <support@zelbo.invalid>.\n");
}

TEST_F(CheckSpec, PlaceWithoutDelayIsRejectedBeforeLaterChecks) {
  choiceNet({1.0});
  Place* bare = place("q");
  addOutputArc(&net(), trans("t1"), bare);
  EXPECT_EQ(checkPlaceDelay(bare), 1);
  EXPECT_EQ(check(), 1);
  std::string log = logText();
  EXPECT_NE(log.find("\n\tWarning: Place q has no poset."), std::string::npos);
  EXPECT_TRUE(log.ends_with("\n\n\tError: Place q has incorrect or incomplete delay spec.")) << log;
  EXPECT_EQ(log.find("Goal"), std::string::npos);
}

TEST_F(CheckSpec, EmptyModelHasAnEmptyMarking) {
  EXPECT_EQ(check(), 1);
  EXPECT_EQ(logText(),
            "\n\tSTPN model (none)\n\tNumber of transitions: 0\n\tNumber of places: 0"
            "\n\tError: Initial marking is empty.\n");
}

TEST_F(CheckSpec, TargetMustExistAndBeLive) {
  choiceNet({1.0});
  net().target = nullptr;
  EXPECT_EQ(check(), 1);
  EXPECT_TRUE(logText().ends_with("\n\tError: No valid target TSE spec.\n"));

  fresh();
  choiceNet({1.0});
  target(trans("t1"), trans("named"), 2);  // created by its name alone, no arcs
  EXPECT_EQ(check(), 1);
  EXPECT_TRUE(logText().ends_with("\n\tGoal : Upper bound average TSE(t1, named, 2)\n"
                                  "\n\tError: Non-live destination transition named in target TSE spec.\n"))
      << logText();

  fresh();
  choiceNet({1.0});
  target(trans("named"), trans("t1"), 0);
  EXPECT_EQ(check(), 1);
  EXPECT_TRUE(logText().ends_with("\n\tError: Non-live source transition named in target TSE spec.\n"));
}

TEST_F(CheckSpec, GoalLineShowsTheTargetAsWritten) {
  choiceNet({0.5, 0.5});
  target(trans("t1"), trans("t2"), 3);
  EXPECT_EQ(checkTarget(net(), log_), 0);
  target(trans("t2"), trans("t1"), -2, 1);  // ".lb" of (t1, t2, 2), stored mirrored
  EXPECT_EQ(checkTarget(net(), log_), 0);
  EXPECT_EQ(logText(),
            "\n\tGoal : Upper bound average TSE(t1, t2, 3)\n"
            "\n\tGoal : Lower bound average TSE(t1, t2, 2)\n");
}

// p1 chooses between t1 (to p2) and t3 (a dead end); p2 feeds t2, which returns to p1.
class CheckListing : public CheckSpec {
 protected:
  void SetUp() override {
    CheckSpec::SetUp();
    net().name = "ring";
    Place* p1 = place("p1");
    Place* p2 = place("p2");
    Trans* t1 = trans("t1");
    Trans* t2 = trans("t2");
    Trans* t3 = trans("t3");
    replacePlacePoset(&net(), p1, {{asRead(0.3), t1}, {asRead(0.7), t3}});
    replacePlacePoset(&net(), p2, {{1.0, t2}});
    addOutputArc(&net(), t1, p2);
    addOutputArc(&net(), t2, p1);
    markInitially(&net(), p1, 1);
    delay(p1, clause(DelayType::fixed, 1.0, 0.0));
    delay(p2, clause(DelayType::uniform, 0.0, 2.0));
    target(t1, t2, 1);
  }
};

TEST_F(CheckListing, VerboseListingOfASmallNet) {
  settings.verbose = 2;
  testing::internal::CaptureStderr();
  EXPECT_EQ(check(), 0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");  // everything goes to the log
  EXPECT_EQ(logText(),
            "\n\tSTPN model ring\n\tNumber of transitions: 3\n\tNumber of places: 2"
            "\n\tTransitions:"
            "\n\tt3:\n\t   preset: p1 \n\tWarning: Transition t3 has no poset.\n\t    poset: "
            "\n\tt2:\n\t   preset: p2 \n\t    poset: p1 "
            "\n\tt1:\n\t   preset: p1 \n\t    poset: p2 "
            "\n\n\tPlaces:"
            "\n\tp2:\n\t   preset: t1 \n\t    poset: t2 [1] \n\t   delay type: 1 "
            "\n\tp1:\n\t   preset: t2 \n\t    poset: t1 [0.3] t3 [0.7] \n\t   delay type: 7 "
            "\n\n\tInitially marked places: p1 \n"
            "\n\tGoal : Upper bound average TSE(t1, t2, 1)\n");
}

TEST_F(CheckListing, QuietListingKeepsSummaryWarningsAndGoal) {
  EXPECT_EQ(check(), 0);
  EXPECT_EQ(logText(),
            "\n\tSTPN model ring\n\tNumber of transitions: 3\n\tNumber of places: 2"
            "\n\tWarning: Transition t3 has no poset."
            "\n\tGoal : Upper bound average TSE(t1, t2, 1)\n");
}

}  // namespace
