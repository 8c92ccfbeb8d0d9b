// Identifiers for foreign names: the documented table, and no two names sharing one.
#include "import/names.h"

#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <set>
#include <string>

namespace {

using zelbo::import::isIdentifier;
using zelbo::import::quoteName;
using zelbo::import::toIdentifier;

// Reads an identifier back into the name it came from, by the table of names.h; nullopt when
// no name maps to it. Written apart from the encoder, so that a round trip checks both the
// table and that the mapping loses nothing.
std::optional<std::string> decode(std::string_view id) {
  std::string out;
  std::size_t i = 0;
  bool prefixed = false;
  if (id.substr(0, 3) == "n_n") {
    i = 3;
    prefixed = true;
  }
  const std::string plain = "__p+m-t~i/l<c,r>d.a@s ";  // code, byte
  while (i < id.size()) {
    if (id[i] != '_') {
      out += id[i++];
      continue;
    }
    if (i + 1 >= id.size()) return std::nullopt;
    const char code = id[i + 1];
    if (code == 'x') {
      const std::string hex = "0123456789abcdef";
      if (i + 4 > id.size() || hex.find(id[i + 2]) == std::string::npos ||
          hex.find(id[i + 3]) == std::string::npos)
        return std::nullopt;
      out += static_cast<char>(hex.find(id[i + 2]) * 16 + hex.find(id[i + 3]));
      i += 4;
      continue;
    }
    const std::size_t at = plain.find(code);
    if (at == std::string::npos || at % 2 != 0) return std::nullopt;
    out += plain[at + 1];
    i += 2;
  }
  // A name that starts with a letter takes the prefix only when the model language would read
  // it as a distribution keyword: a letter, then uni, fix, geo, exp, cus, bin, bet or a long form.
  static const std::set<std::string> keywords = {"uni", "uniform", "fix", "fixed", "geo", "geometric", "exp",
                                                 "exponential", "cus", "custom", "bin", "binomial", "bet", "beta"};
  const bool startsWithLetter = !out.empty() && std::isalpha(static_cast<unsigned char>(out[0]));
  const bool keywordLike = startsWithLetter && keywords.count(out.substr(1)) > 0;
  if (prefixed != (!startsWithLetter || keywordLike)) return std::nullopt;
  return out;
}

TEST(Names, DocumentedExamples) {
  EXPECT_EQ(toIdentifier("a+"), "a_p");
  EXPECT_EQ(toIdentifier("b-/2"), "b_m_i2");
  EXPECT_EQ(toIdentifier("x~"), "x_t");
  EXPECT_EQ(toIdentifier("<a+,b->"), "n_n_la_p_cb_m_r");
  EXPECT_EQ(toIdentifier("clock.C1@1"), "clock_dC1_a1");
  EXPECT_EQ(toIdentifier("my_place"), "my__place");
  EXPECT_EQ(toIdentifier("1st"), "n_n1st");
  EXPECT_EQ(toIdentifier("caf\xc3\xa9"), "caf_xc3_xa9");
  EXPECT_EQ(toIdentifier("a b"), "a_sb");
  EXPECT_EQ(toIdentifier(""), "n_n");
  EXPECT_EQ(toIdentifier("xuni"), "n_nxuni");
  EXPECT_EQ(toIdentifier("pexponential"), "n_npexponential");
  EXPECT_EQ(toIdentifier("Abeta"), "n_nAbeta");
  EXPECT_EQ(toIdentifier("xunit"), "xunit");
  EXPECT_EQ(toIdentifier("uni"), "uni");
  EXPECT_EQ(toIdentifier("x_uni"), "x__uni");
}

TEST(Names, TrickyNamesNeverShareAnIdentifier) {
  const std::string tricky[] = {"",    "_",    "__",   "+",     "_p",   "n_p",  "n_n", "n",
                                "n_",  "n__n", "1",    "n_n1",  "a_",   "a__",  "a_p", "a+",
                                "a_+", "a/0",  "a/00", "<a,b>", "a,b",  "x_x2", "x\"", "x\x00",
                                "a.b", "a_d",  "a_db", "p-0",   "p_m0", "~",    "-",   "a:b",
                                "xuni", "n_nxuni", "xbeta", "1beta", "bet"};
  std::set<std::string> seen;
  for (const std::string& name : tricky) {
    const std::string id = toIdentifier(name);
    EXPECT_TRUE(isIdentifier(id)) << id;
    EXPECT_TRUE(seen.insert(id).second) << quoteName(name) << " shares " << id;
    EXPECT_EQ(decode(id), name) << id;
  }
}

TEST(Names, RandomNamesRoundTrip) {
  std::mt19937 rng(7);
  static const char kBytes[] = "aZ09_+-~/<,>.@ n:#\xff\x80\0";
  const std::string alphabet(kBytes, sizeof kBytes - 1);
  for (int k = 0; k < 20000; ++k) {
    std::string name(rng() % 9, ' ');
    for (char& c : name) c = alphabet[rng() % alphabet.size()];
    const std::string id = toIdentifier(name);
    ASSERT_TRUE(isIdentifier(id)) << id;
    ASSERT_EQ(decode(id), name) << id;
  }
}

TEST(Names, QuotedForMessages) {
  EXPECT_EQ(quoteName("a+"), "\"a+\"");
  EXPECT_EQ(quoteName(std::string("a\n\"b", 4)), "\"a\\x0a\\\"b\"");
  // Cut past 80 bytes, never inside a UTF-8 sequence.
  const std::string longName = std::string(79, 'x') + "\xc3\xa9" + "yyy";
  EXPECT_EQ(quoteName(longName), "\"" + std::string(79, 'x') + "...\"");
}

}  // namespace
