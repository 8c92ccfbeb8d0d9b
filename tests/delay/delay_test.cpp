// Delay sampling and the quantile tables: draws consumed, values against a replay of the
// generator, the error flag at its boundaries, and the tables at their edge cases.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/random.h"
#include "delay/delay.h"

namespace {

using namespace zelbo;

const char kBinMessage[] = "\n\tError: Failed to invert a binomial cdf.\n";
const char kBetaMessage[] = "\n\tError: Failed to invert a beta cdf.\n";
const char kUnknownTypeMessage[] = "\n\tError: Unknown delay type.\n";

// A stream for diagnostics whose text can be read back.
class Diagnostics {
 public:
  Diagnostics() : file_(tmpfile()) {}
  ~Diagnostics() { fclose(file_); }
  Diagnostics(const Diagnostics&) = delete;
  Diagnostics& operator=(const Diagnostics&) = delete;
  FILE* file() { return file_; }
  std::string text() {
    fflush(file_);
    rewind(file_);
    std::string out;
    for (int c; (c = fgetc(file_)) != EOF;) out.push_back(static_cast<char>(c));
    return out;
  }

 private:
  FILE* file_;
};

constexpr std::uint64_t kMultiplier = 0x5DEECE66DULL, kIncrement = 0xB, kMask = (1ULL << 48) - 1;

// A stream whose next draw is exactly v / 2^48. The generator has full period, so its state
// before that draw lies on the stream seeded with 0, and the distance to it is found bit by
// bit: the low j + 1 bits of the state repeat with period 2^(j + 1), and 2^j further steps
// keep the low j bits and flip bit j.
Random48 streamDrawingNext(std::uint64_t v) {
  std::uint64_t inverse = kMultiplier;  // Newton's iteration for the inverse modulo 2^64
  for (int i = 0; i < 6; ++i) inverse *= 2 - kMultiplier * inverse;
  const std::uint64_t before = ((v - kIncrement) * inverse) & kMask;
  std::uint64_t steps = 0;
  for (int j = 0; j < 48; ++j) {
    Random48 probe(0);
    probe.jump(steps);
    const std::uint64_t low = (std::uint64_t{2} << j) - 1;
    if ((probe.state() ^ before) & low) steps |= std::uint64_t{1} << j;
  }
  Random48 rng(0);
  rng.jump(steps);
  EXPECT_EQ(rng.state(), before);
  return rng;
}
constexpr double kTwoTo48 = 281474976710656.0;

// The first two draws of the C library after srand48(seed), which a stream seeded with
// `seed` must give too.
struct Replay {
  double first, second;
};
Replay replay(long seed) {
  srand48(seed);
  return Replay{drand48(), drand48()};
}

DelaySpec spec(DelayType type, double location, double scale) {
  DelaySpec s;
  s.type = type;
  s.location = location;
  s.scale = scale;
  return s;
}

DelaySpec custom(double location, double scale, std::vector<double> probs) {
  DelaySpec s = spec(DelayType::custom, location, scale);
  s.count = static_cast<int>(probs.size());
  s.probs = std::move(probs);
  return s;
}

// The table, and in `messages` what the reader reports of a table it could not complete.
std::unique_ptr<QuantileTable> binTable(int count, double prob, std::string& messages) {
  bool inverted = false;
  auto table = binomialQuantiles(count, prob, &inverted);
  messages = inverted ? "" : kBinMessage;
  return table;
}

std::unique_ptr<QuantileTable> betaTable(double alpha, double beta, std::string& messages) {
  bool inverted = false;
  auto table = betaQuantiles(alpha, beta, &inverted);
  messages = inverted ? "" : kBetaMessage;
  return table;
}

// The binomial table computed in full, with every cumulative value held.
std::vector<double> fullBinomialTable(int n, double p, bool& ranOut) {
  std::vector<double> c(n + 1);
  double t = std::pow(1 - p, n), r = p / (1 - p);
  c[0] = t;
  for (int i = 0; i < n; ++i) c[i + 1] = c[i] + (t = t * (r * (n - i) / (i + 1)));
  std::vector<double> table(kQuantileCount);
  ranOut = false;
  for (int k = 0, j = 0; k < kQuantileCount; ++k) {
    double threshold = k * 0.001;
    ranOut = ranOut || threshold > c[n];
    while (j < n && threshold > c[j]) ++j;
    table[k] = j;
  }
  return table;
}

// ---------------------------------------------------------------------------------------

TEST(DelayBinTable, FourFairTrialsSplitAtTheCumulativeValues) {
  std::string messages;
  auto table = binTable(4, 0.5, messages);
  const int firstEntryOf[] = {0, 63, 313, 688, 938, 1000};
  for (int successes = 0; successes <= 4; ++successes)
    for (int k = firstEntryOf[successes]; k < firstEntryOf[successes + 1]; ++k)
      ASSERT_EQ((*table)[k], successes) << "entry " << k;
  EXPECT_EQ(messages, "");
}

TEST(DelayBinTable, DegenerateParametersGiveConstantTables) {
  std::string messages;
  for (int count : {0, 7})
    for (double prob : {0.0, 0.3}) {
      if (count != 0 && prob != 0.0) continue;
      auto table = binTable(count, prob, messages);
      for (double entry : *table) ASSERT_EQ(entry, 0.0) << count << "/" << prob;
      EXPECT_EQ(messages, "");
    }

  // A negative count has no distribution: zeros, and no message (the clause check rejects it).
  auto negative = binTable(-3, 0.5, messages);
  for (double entry : *negative) ASSERT_EQ(entry, 0.0);
  EXPECT_EQ(messages, "");
}

TEST(DelayBinTable, CertainSuccessUsesTheLimitingCdf) {
  std::string messages;
  for (int count : {1, 5, 2147483647}) {
    auto table = binTable(count, 1.0, messages);
    EXPECT_EQ((*table)[0], 0.0);  // threshold 0 is reached by c[0] = 0
    for (int k = 1; k < kQuantileCount; ++k) ASSERT_EQ((*table)[k], count) << "entry " << k;
    EXPECT_EQ(messages, "");
  }
  auto none = binTable(0, 1.0, messages);
  for (double entry : *none) ASSERT_EQ(entry, 0.0);
}

TEST(DelayBinTable, HugeTrialCountsAreQuickAndReportUnderflowOnce) {
  std::string messages;
  auto start = std::chrono::steady_clock::now();

  // (1/2)^n underflows: every cumulative value is 0, so all but entry 0 run out to n.
  auto underflow = binTable(2147483647, 0.5, messages);
  EXPECT_EQ((*underflow)[0], 0.0);
  EXPECT_EQ((*underflow)[1], 2147483647.0);
  EXPECT_EQ((*underflow)[999], 2147483647.0);
  EXPECT_EQ(messages, kBinMessage);

  // A small mean: the table stays at a few successes and nothing runs out.
  auto rare = binTable(2147483647, 1e-9, messages);
  EXPECT_EQ((*rare)[0], 0.0);
  EXPECT_GT((*rare)[999], 3.0);
  EXPECT_LT((*rare)[999], 15.0);
  EXPECT_EQ(messages, "");

  // Probabilities that make the terms underflow, or overflow into a NaN sum, right away.
  for (double prob : {0.9999999, -1e-7, 1.5, -0.5, 3.0}) binTable(2147483647, prob, messages);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
}

TEST(DelayBinTable, MatchesTheFullComputation) {
  // Includes probabilities outside [0, 1] (tables are built before the clause check), where
  // the cumulative values oscillate, overflow or turn into NaN.
  const double probs[] = {0.5, 0.01, 1e-6, 0.999, 0.9999999, 1e-300, -0.2, -1e-7, 1.5, 2.0000001, 7.0};
  for (int n : {1, 3, 40, 1074, 1075, 5000, 200000})
    for (double p : probs) {
      bool ranOut = false;
      std::vector<double> want = fullBinomialTable(n, p, ranOut);
      std::string messages;
      auto table = binTable(n, p, messages);
      for (int k = 0; k < kQuantileCount; ++k)
        ASSERT_EQ((*table)[k], want[k]) << "n " << n << " p " << p << " entry " << k;
      EXPECT_EQ(messages, ranOut ? kBinMessage : "") << "n " << n << " p " << p;
    }
}

TEST(DelayBetaTable, UniformDensityGivesTheGrid) {
  std::string messages;
  auto table = betaTable(1.0, 1.0, messages);
  for (int j = 0; j < kQuantileCount; ++j) ASSERT_EQ((*table)[j], j * 0.001) << "entry " << j;
  EXPECT_EQ(messages, "");
}

TEST(DelayBetaTable, PolesAtTheEndsAreIgnored) {
  std::string messages;
  // alpha 1/2: infinite density at 0, cdf ~ sqrt(x), so entry j ~ (j / 1000)^2. The grid
  // loses the mass next to the pole, hence the loose tolerance.
  auto table = betaTable(0.5, 1.0, messages);
  EXPECT_EQ(messages, "");
  for (int j = 1; j < kQuantileCount; ++j) ASSERT_GE((*table)[j], (*table)[j - 1]);
  EXPECT_NEAR((*table)[500], 0.25, 0.02);

  auto both = betaTable(0.5, 0.5, messages);
  EXPECT_EQ(messages, "");
  for (int j = 1; j < kQuantileCount; ++j) ASSERT_GE((*both)[j], (*both)[j - 1]);
  EXPECT_NEAR((*both)[500], 0.5, 0.02);
}

TEST(DelayBetaTable, UnnormalisableDensityGivesZerosAndOneMessage) {
  std::string messages;
  for (double alpha : {1e6, -1e6}) {
    auto table = betaTable(alpha, 1.0, messages);
    for (double entry : *table) ASSERT_EQ(entry, 0.0);
    EXPECT_EQ(messages, kBetaMessage) << alpha;
  }
}

// ---------------------------------------------------------------------------------------

TEST(DelaySampling, GeneratorControlIsExact) {
  Random48 rng = streamDrawingNext(12345);
  EXPECT_EQ(rng.next(), 12345 / kTwoTo48);
  rng = streamDrawingNext(0);
  EXPECT_EQ(rng.next(), 0.0);
}

TEST(DelaySampling, FixedAndZeroScaleUniformDrawNothing) {
  Replay r = replay(11);
  Random48 rng(11);
  DelaySpec fix = spec(DelayType::fixed, 5.0, 0.0);
  DelaySpec flat = spec(DelayType::uniform, 2.5, 0.0);
  int flag = 7;
  EXPECT_EQ(delaySample(DelayType::fixed, &fix, flag, rng), 5.0);
  EXPECT_EQ(flag, 0);
  EXPECT_EQ(delaySample(DelayType::uniform, &flat, flag, rng), 2.5);
  EXPECT_EQ(rng.next(), r.first);
}

TEST(DelaySampling, EachDrawingTypeUsesExactlyOneDraw) {
  DelaySpec uni = spec(DelayType::uniform, 2.0, 3.0);
  DelaySpec exp = spec(DelayType::exponential, 1.0, 2.0);
  exp.lambda = 0.5;
  DelaySpec bin = spec(DelayType::binomial, 1.0, 2.0);
  bin.count = 4;
  bin.prob = 0.5;
  bin.quantiles = binomialQuantiles(4, 0.5);
  DelaySpec bet = spec(DelayType::beta, 1.0, 10.0);
  bet.alpha = bet.beta = 1.0;
  bet.quantiles = betaQuantiles(1.0, 1.0);
  DelaySpec geo = spec(DelayType::geometric, 1.0, 2.0);
  geo.prob = 0.25;
  DelaySpec cus = custom(1.0, 10.0, {0.25, 0.25, 0.5});

  for (long seed : {1L, 2L, 3L, 99L}) {
    int flag = 0;
    Replay r = replay(seed);
    double u = r.first;
    auto check = [&](const DelaySpec& s, double want) {
      Random48 rng(seed);
      EXPECT_EQ(delaySample(s.type, &s, flag, rng), want) << "type " << codeOf(s.type) << " U " << u;
      EXPECT_EQ(flag, 0);
      EXPECT_EQ(rng.next(), r.second) << "type " << codeOf(s.type);
    };
    int k = static_cast<int>(1000 * u);
    check(uni, 2.0 + 3.0 * u);
    check(exp, 1.0 + (-std::log(u) / 0.5) * 2.0);
    check(bin, 1.0 + 2.0 * (*bin.quantiles)[k]);
    check(bet, 1.0 + 10.0 * (k * 0.001));
    check(geo, 1.0 + 2.0 * static_cast<int>(std::log(u) / std::log(0.75) + 1));
    int j = u <= 0.25 + 1e-6 ? 0 : u <= 0.5 + 1e-6 ? 1 : 2;
    check(cus, 1.0 + 10.0 * (j / 3.0));
  }
}

TEST(DelaySampling, SamplesStayInTheirRanges) {
  Random48 rng(5);
  DelaySpec uni = spec(DelayType::uniform, 2.0, 3.0);
  DelaySpec halves = custom(0.0, 10.0, {0.5, 0.5});
  DelaySpec geo = spec(DelayType::geometric, 0.0, 1.0);
  geo.prob = 1.0;  // the first trial always succeeds
  int fives = 0;
  for (int i = 0; i < 20000; ++i) {
    int flag = 0;
    double x = delaySample(DelayType::uniform, &uni, flag, rng);
    ASSERT_TRUE(x >= 2.0 && x < 5.0) << x;
    double c = delaySample(DelayType::custom, &halves, flag, rng);
    ASSERT_TRUE(c == 0.0 || c == 5.0) << c;
    ASSERT_EQ(flag, 0);
    fives += c == 5.0;
    ASSERT_EQ(delaySample(DelayType::geometric, &geo, flag, rng), 1.0);
    ASSERT_EQ(flag, 0);
  }
  EXPECT_NEAR(fives, 10000, 400);
}

TEST(DelaySampling, CustomWalkFlagsOnlyDrawsBeyondTheSumAndSlack) {
  DelaySpec short_ = custom(1.0, 4.0, {0.5, 0.4});
  double bound = (0.0 + 0.5 + 0.4) + 1e-6;
  auto lastInside = static_cast<std::uint64_t>(std::floor(bound * kTwoTo48));
  int flag = 0;

  Random48 rng = streamDrawingNext(lastInside);
  EXPECT_EQ(delaySample(DelayType::custom, &short_, flag, rng), 1.0 + 4.0 * 0.5);
  EXPECT_EQ(flag, 0);

  rng = streamDrawingNext(lastInside + 1);
  EXPECT_EQ(delaySample(DelayType::custom, &short_, flag, rng), 1.0 + 4.0);  // j = count
  EXPECT_EQ(flag, 1);

  // The walk reads no more than `count` values.
  DelaySpec truncated = custom(0.0, 1.0, {0.5, 0.5});
  truncated.count = 1;
  rng = streamDrawingNext(static_cast<std::uint64_t>(0.75 * kTwoTo48));
  EXPECT_EQ(delaySample(DelayType::custom, &truncated, flag, rng), 1.0);
  EXPECT_EQ(flag, 1);
}

TEST(DelaySampling, UnusableDrawsAndParametersRaiseTheFlag) {
  int flag = 0;
  DelaySpec geo = spec(DelayType::geometric, 3.0, 1.0);
  geo.prob = 0.5;
  Random48 rng = streamDrawingNext(0);  // ln 0 / ln 0.5: infinite trial count
  EXPECT_EQ(delaySample(DelayType::geometric, &geo, flag, rng), 3.0);
  EXPECT_EQ(flag, 1);

  for (double prob : {0.0, 1.5, 1e-12}) {  // no success, NaN, beyond 2^31 trials
    geo.prob = prob;
    rng = streamDrawingNext(1);
    EXPECT_EQ(delaySample(DelayType::geometric, &geo, flag, rng), 3.0) << prob;
    EXPECT_EQ(flag, 1) << prob;
  }
  geo.prob = -1e-12;  // a negative trial count far outside the 32-bit range
  rng = streamDrawingNext(1);
  EXPECT_EQ(delaySample(DelayType::geometric, &geo, flag, rng), 3.0);
  EXPECT_EQ(flag, 1);

  DelaySpec exp = spec(DelayType::exponential, 0.0, 1.0);
  exp.lambda = 1.0;
  rng = streamDrawingNext(0);
  EXPECT_EQ(delaySample(DelayType::exponential, &exp, flag, rng), INFINITY);
  EXPECT_EQ(flag, 1);
  exp.lambda = 0.0;
  rng = streamDrawingNext(1 << 20);
  EXPECT_EQ(delaySample(DelayType::exponential, &exp, flag, rng), INFINITY);
  EXPECT_EQ(flag, 1);

  // Every type: a sample that is not finite is flagged and returned as computed.
  DelaySpec fix = spec(DelayType::fixed, -INFINITY, 0.0);
  EXPECT_EQ(delaySample(DelayType::fixed, &fix, flag, rng), -INFINITY);
  EXPECT_EQ(flag, 1);
  DelaySpec uni = spec(DelayType::uniform, INFINITY, -INFINITY);
  EXPECT_TRUE(std::isnan(delaySample(DelayType::uniform, &uni, flag, rng)));
  EXPECT_EQ(flag, 1);

  // A flag raised once does not stick to the next sample.
  DelaySpec ok = spec(DelayType::fixed, 1.0, 0.0);
  EXPECT_EQ(delaySample(DelayType::fixed, &ok, flag, rng), 1.0);
  EXPECT_EQ(flag, 0);
}

TEST(DelaySampling, UnknownTypeCodesAreReportedWithoutDrawing) {
  DelaySpec fix = spec(DelayType::fixed, 5.0, 0.0);
  for (int code : {0, -1, 8}) {
    Replay r = replay(21);
    Random48 rng(21);
    int flag = 0;
    Diagnostics diagnostics;
    EXPECT_EQ(delaySample(static_cast<DelayType>(code), &fix, flag, rng, diagnostics.file()), -1.0);
    EXPECT_EQ(flag, 1);
    EXPECT_EQ(diagnostics.text(), kUnknownTypeMessage);
    EXPECT_EQ(rng.next(), r.first);
  }
  int flag = 0;
  Random48 rng(21);
  Diagnostics diagnostics;
  EXPECT_EQ(delaySample(DelayType::none, nullptr, flag, rng, diagnostics.file()), -1.0);  // a place without a delay clause
  EXPECT_EQ(diagnostics.text(), kUnknownTypeMessage);
}

}  // namespace
