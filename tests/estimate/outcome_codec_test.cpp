// Outcomes sent to another process come back as they were: kind and figures, what the
// sampler wrote, and a fatal end as the same Error (printed text, kind, status, detail).
#include <gtest/gtest.h>

#include <new>
#include <string>
#include <vector>

#include "estimate/outcome_codec.h"

using namespace zelbo;

namespace {

struct Fatal {
  std::string printed, detail;
  Error::Kind kind;
  int status;
  bool operator==(const Fatal&) const = default;
};

Fatal fatal(const std::exception_ptr& failure) {
  try {
    std::rethrow_exception(failure);
  } catch (const Error& e) {
    return {printedText(e), e.detail(), e.kind(), e.status()};
  }
}

Delivered failing(std::exception_ptr error, Written body = {}) {
  Delivered d;
  d.extras = std::make_unique<Extras>();
  d.extras->body = std::move(body);
  d.extras->error = std::move(error);
  return d;
}

Outcome outcome(Outcome::Kind kind, double value, int size, std::vector<TargetOutcome> others = {}) {
  Outcome o;
  o.kind = kind;
  o.value = value;
  o.groupSize = size;
  o.others = std::move(others);
  return o;
}

TEST(OutcomeCodec, EveryOutcomeComesBackAsItWas) {
  std::vector<Delivered> sent;
  sent.push_back({outcome(Outcome::Kind::accepted, 3.25, 4), nullptr});
  sent.push_back({outcome(Outcome::Kind::unpaired, 0, 0), nullptr});
  Delivered discarded{outcome(Outcome::Kind::discarded, -1.5, 2, {{TargetOutcome::Kind::accepted, 7.5, 3, {}}}),
                      std::make_unique<Extras>()};
  discarded.outcome.others[0].critical = {{4, -2}, {9, 1}};
  discarded.extras->body = {"log\n", std::string("trace\0\xff", 7)};
  discarded.extras->trailers = {{"", "skip count grows\n"}, {}};
  sent.push_back(std::move(discarded));
  Error located(Error::Kind::model, "Bad thing.", 2);
  located.at({"m.stpn", 3, 4, 5, 6}).note(Error::Note::Kind::error, "Look here.").note(Error::Note::Kind::info, "");
  located.withListing("\tp q\n").withDetail("why").framed(Error::Framing::openErrorLine);
  sent.push_back(failing(std::make_exception_ptr(located), {"", "before the end\n"}));
  sent.push_back(failing(std::make_exception_ptr(std::bad_alloc())));

  std::string bytes;
  for (const Delivered& d : sent) encodeOutcome(d, bytes);
  std::size_t at = 0;
  for (const Delivered& d : sent) {
    const Delivered back = decodeOutcome(bytes, at);
    EXPECT_EQ(back.outcome.kind, d.outcome.kind);
    EXPECT_EQ(back.outcome.value, d.outcome.value);
    EXPECT_EQ(back.outcome.groupSize, d.outcome.groupSize);
    ASSERT_EQ(back.outcome.targets(), d.outcome.targets());
    for (std::size_t t = 0; t < d.outcome.targets(); ++t) {
      EXPECT_EQ(back.outcome.of(t).value, d.outcome.of(t).value);
      ASSERT_EQ(back.outcome.of(t).critical.size(), d.outcome.of(t).critical.size());
      for (std::size_t k = 0; k < d.outcome.of(t).critical.size(); ++k)
        EXPECT_EQ(back.outcome.of(t).critical[k].count, d.outcome.of(t).critical[k].count);
    }
    ASSERT_EQ(!back.extras, !d.extras);
    if (!d.extras) continue;
    EXPECT_EQ(back.extras->body.log, d.extras->body.log);
    EXPECT_EQ(back.extras->body.diagnostics, d.extras->body.diagnostics);
    ASSERT_EQ(back.extras->trailers.size(), d.extras->trailers.size());
    for (std::size_t t = 0; t < d.extras->trailers.size(); ++t)
      EXPECT_EQ(back.extras->trailers[t].diagnostics, d.extras->trailers[t].diagnostics);
    ASSERT_EQ(!back.extras->error, !d.extras->error);
  }
  EXPECT_EQ(at, bytes.size());
  at = 0;
  for (int i = 0; i < 3; ++i) decodeOutcome(bytes, at);
  EXPECT_EQ(fatal(decodeOutcome(bytes, at).extras->error),
            (Fatal{printedText(located), "why", Error::Kind::model, 2}));
  EXPECT_EQ(fatal(decodeOutcome(bytes, at).extras->error),
            (Fatal{"\n\tError: Out of memory.\n", "", Error::Kind::run, 1}));
  // Bytes cut short (in the third outcome) are the program's own fault, not a crash.
  const std::string_view cut = std::string_view(bytes).substr(0, 30);
  at = 0;
  decodeOutcome(cut, at);
  decodeOutcome(cut, at);
  EXPECT_THROW(decodeOutcome(cut, at), Error);
}

}  // namespace
