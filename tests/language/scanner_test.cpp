// The scanner over in-memory text: token kinds and values, and source locations.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "language/location.h"
#include "language/model_parser.h"
#include "language/reader.h"

namespace {

using namespace zelbo;

// Exact text of a single-precision value, widened.
std::string floatText(float value) {
  char text[40];
  snprintf(text, sizeof text, "%.17g", static_cast<double>(value));
  return text;
}

// The span as diagnostics print it.
std::string spanText(const SourceSpan& span) {
  Diagnostic d;
  d.code = Diagnostic::Code::probabilityAboveOne;
  d.location = locationOf(span, "model.stpn");
  const std::string printed = printedText(d);
  return printed.substr(printed.find(" @"), printed.size() - printed.find(" @") - 1);
}

const DiagnosticHandler kNoHandler;

struct Token {
  int kind;
  std::string text;  // the ID's text, or the number's value as read
  SourceSpan loc;
};

std::string tokenText(int kind, const YYSTYPE& value) {
  if (kind == TOK_ID) return value.text;
  if (kind == TOK_INT) return std::to_string(value.ival);
  if (kind == TOK_FLOAT) return floatText(value.fval);
  return "";
}

// Every token of `input` up to the end; `endLoc` receives the location at the end.
std::vector<Token> lex(const std::string& input, SourceSpan* endLoc = nullptr) {
  FILE* file = tmpfile();
  fwrite(input.data(), 1, input.size(), file);
  rewind(file);
  Net net;
  ParseContext context(net, "model.stpn", kNoHandler);
  std::vector<Token> tokens;
  SourceSpan loc{};
  {
    ModelScanner scanner(file, context);
    YYSTYPE value{};
    while (int kind = scanner.next(&value, loc)) {
      tokens.push_back({kind, tokenText(kind, value), loc});
    }
    // The end stays the end: asked again, the scanner reads nothing more.
    const SourceSpan atEnd = loc;
    EXPECT_EQ(scanner.next(&value, loc), 0) << "a token after the end";
    EXPECT_EQ(spanText(loc), spanText(atEnd));
  }
  if (endLoc) *endLoc = loc;
  fclose(file);
  return tokens;
}

std::vector<int> kinds(const std::string& input) {
  std::vector<int> result;
  for (const Token& token : lex(input)) result.push_back(token.kind);
  return result;
}

std::string intText(int value) { return std::to_string(value); }

void expectLoc(const SourceSpan& loc, int firstLine, int firstColumn, int lastLine, int lastColumn) {
  EXPECT_EQ(loc.firstLine, firstLine);
  EXPECT_EQ(loc.firstColumn, firstColumn);
  EXPECT_EQ(loc.lastLine, lastLine);
  EXPECT_EQ(loc.lastColumn, lastColumn);
}

TEST(Scanner, DistributionKeywordsTakeOneLeadingCharacterAndNoMoreLetters) {
  EXPECT_EQ(kinds(".unix"), (std::vector<int>{TOK_UNI, TOK_ID}));
  EXPECT_EQ(kinds(" bins"), (std::vector<int>{TOK_BIN, TOK_ID}));
  EXPECT_EQ(kinds(".uniformly"), (std::vector<int>{TOK_UNI, TOK_ID}));
  EXPECT_EQ(kinds(".exponential .geometric .custom .fixed .beta .binomial"),
            (std::vector<int>{TOK_EXP, TOK_GEO, TOK_CUS, TOK_FIX, TOK_BET, TOK_BIN}));
  // One letter and exactly a keyword: equal length, and the keyword rule comes first.
  EXPECT_EQ(kinds("xuni abeta Tfixed"), (std::vector<int>{TOK_UNI, TOK_BET, TOK_FIX}));
  EXPECT_EQ(kinds("xunif"), (std::vector<int>{TOK_ID}));
  EXPECT_EQ(kinds("{exp1}"), (std::vector<int>{TOK_EXP, TOK_INT, TOK_RCB}));
  EXPECT_EQ(kinds("(bin"), (std::vector<int>{TOK_BIN}));
  // No leading character at the start of the file or of a line.
  EXPECT_EQ(kinds("uni"), (std::vector<int>{TOK_ID}));
  EXPECT_EQ(kinds(".delay p\nuni 1 2"), (std::vector<int>{TOK_DELAY, TOK_ID, TOK_ID, TOK_INT, TOK_INT}));
  EXPECT_EQ(kinds(".delay p uni 1 2"), kinds(".delay p .uni 1 2"));
}

TEST(Scanner, DottedKeywordsNeedNoDelimiterAndAreCaseSensitive) {
  const std::vector<Token> tokens = lex(".placement .ubx .STPN");
  ASSERT_EQ(tokens.size(), 5u);
  EXPECT_EQ(tokens[0].kind, TOK_PLACE_TOK);
  EXPECT_EQ(tokens[1].text, "ment");
  EXPECT_EQ(tokens[2].kind, TOK_UB);
  EXPECT_EQ(tokens[3].text, "x");
  EXPECT_EQ(tokens[4].text, "STPN");
}

TEST(Scanner, NumbersAndSignsSplitAsTheLongestMatchGives) {
  struct Case {
    const char* input;
    std::vector<std::pair<int, std::string>> tokens;
  };
  const Case cases[] = {
      {"5.", {{TOK_INT, "5"}}},
      {"1e3", {{TOK_INT, "1"}, {TOK_ID, "e3"}}},
      {"1.5e", {{TOK_FLOAT, floatText(1.5f)}, {TOK_ID, "e"}}},
      {"1.5.3", {{TOK_FLOAT, floatText(1.5f)}, {TOK_FLOAT, floatText(0.3f)}}},
      {".5 -.5 2.5E-1", {{TOK_FLOAT, floatText(0.5f)}, {TOK_FLOAT, floatText(-0.5f)}, {TOK_FLOAT, floatText(0.25f)}}},
      {"+7 - 5 007", {{TOK_INT, "7"}, {TOK_INT, "5"}, {TOK_INT, "7"}}},
      {"-x _x x_1 abc_", {{TOK_ID, "x"}, {TOK_ID, "x"}, {TOK_ID, "x_1"}, {TOK_ID, "abc_"}}},
      {"a,b;c", {{TOK_ID, "a"}, {TOK_ID, "b"}, {TOK_ID, "c"}}},
      {"/* x */", {{TOK_ID, "x"}}},
      {"2147483648 -2147483649 99999999999999999999999",
       {{TOK_INT, intText(2147483647)}, {TOK_INT, intText(-2147483647 - 1)}, {TOK_INT, intText(2147483647)}}},
  };
  for (const Case& c : cases) {
    std::vector<std::pair<int, std::string>> actual;
    for (const Token& token : lex(c.input)) actual.emplace_back(token.kind, token.text);
    EXPECT_EQ(actual, c.tokens) << "input: " << c.input;
  }
}

TEST(Scanner, RealLiteralsPassThroughDoubleThenSingle) {
  const std::vector<Token> tokens = lex("t2[0.7]");
  ASSERT_EQ(tokens.size(), 4u);
  EXPECT_EQ(tokens[2].kind, TOK_FLOAT);
  EXPECT_EQ(tokens[2].text, "0.69999998807907104");
  // Just above the midpoint of two floats, but rounded to it in double: the two roundings
  // give 1, a direct conversion to float the next float up.
  EXPECT_EQ(lex("1.00000005960464477539062501")[0].text, "1");
}

TEST(Scanner, CommentsNeedTheirNewline) {
  EXPECT_EQ(kinds("# .stpn\n// .place\nx"), (std::vector<int>{TOK_ID}));
  EXPECT_TRUE(kinds("x\n# last line\n").size() == 1);
  // A last line without newline holds no comment: its characters are scanned as tokens.
  EXPECT_EQ(kinds("#bet"), (std::vector<int>{TOK_BET}));
  EXPECT_EQ(kinds("x\n#beta y"), (std::vector<int>{TOK_ID, TOK_BET, TOK_ID}));
  EXPECT_EQ(kinds("//x"), (std::vector<int>{TOK_ID}));
  EXPECT_EQ(kinds("# ## .mark 2"), (std::vector<int>{TOK_MARK, TOK_INT}));
  EXPECT_EQ(kinds("#"), (std::vector<int>{}));
  EXPECT_EQ(kinds(""), (std::vector<int>{}));
}

TEST(Scanner, LastLineFullOfCommentOpenersTakesLinearTime) {
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(kinds(".mark\n" + std::string(100000, '#') + "x"), (std::vector<int>{TOK_MARK, TOK_ID}));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

TEST(Scanner, LocationsCountLinesAndColumnsOfEveryMatch) {
  std::vector<Token> tokens = lex(".stpn m\n.delay p uni 1 2\n\tx");
  ASSERT_EQ(tokens.size(), 8u);
  expectLoc(tokens[0].loc, 1, 1, 1, 5);
  expectLoc(tokens[1].loc, 1, 7, 1, 7);
  // The keyword includes the blank in front of it.
  expectLoc(tokens[4].loc, 2, 9, 2, 12);
  // A tab is one column.
  expectLoc(tokens[7].loc, 3, 2, 3, 2);

  SourceSpan end{};
  lex("x # comment\n", &end);
  expectLoc(end, 1, 3, 2, 0);
  lex(".stpn m\n", &end);
  expectLoc(end, 1, 8, 2, 0);
  lex("", &end);
  expectLoc(end, 0, 0, 0, 0);
  tokens = lex("a\n\n  b");
  expectLoc(tokens[1].loc, 3, 3, 3, 3);
  // The last line is scanned twice; its location counts it once.
  tokens = lex("a\n#b x");
  ASSERT_EQ(tokens.size(), 3u);
  expectLoc(tokens[1].loc, 2, 2, 2, 2);
  expectLoc(tokens[2].loc, 2, 4, 2, 4);
}

// Each scanner keeps its own buffer, start condition and position: two scanned in turns
// give what each gives alone.
TEST(Scanner, ScannersTakenInTurnsKeepTheirOwnState) {
  const std::string inputs[2] = {".stpn a\n.delay p uni 1 2\n# x\n#bet", "x\n\n  .mark 3 {exp1} 2.5"};
  FILE* files[2];
  Net nets[2];
  std::vector<std::unique_ptr<ParseContext>> contexts;
  std::vector<std::unique_ptr<ModelScanner>> scanners;
  for (int i = 0; i < 2; ++i) {
    files[i] = tmpfile();
    fwrite(inputs[i].data(), 1, inputs[i].size(), files[i]);
    rewind(files[i]);
    contexts.push_back(std::make_unique<ParseContext>(nets[i], "model.stpn", kNoHandler));
    scanners.push_back(std::make_unique<ModelScanner>(files[i], *contexts[i]));
  }
  std::vector<Token> together[2];
  SourceSpan locs[2] = {};
  for (bool more[2] = {true, true}; more[0] || more[1];)
    for (int i = 0; i < 2; ++i) {
      if (!more[i]) continue;
      YYSTYPE value{};
      const int kind = scanners[i]->next(&value, locs[i]);
      if (kind == 0) {
        more[i] = false;
        continue;
      }
      together[i].push_back({kind, tokenText(kind, value), locs[i]});
    }
  scanners.clear();
  for (int i = 0; i < 2; ++i) {
    fclose(files[i]);
    const std::vector<Token> alone = lex(inputs[i]);
    ASSERT_EQ(together[i].size(), alone.size()) << inputs[i];
    for (std::size_t k = 0; k < alone.size(); ++k) {
      EXPECT_EQ(together[i][k].kind, alone[k].kind) << inputs[i] << " token " << k;
      EXPECT_EQ(together[i][k].text, alone[k].text) << inputs[i] << " token " << k;
      EXPECT_EQ(spanText(together[i][k].loc), spanText(alone[k].loc)) << inputs[i] << " token " << k;
    }
  }
}

TEST(Scanner, LocationTextHoldsAnyValuesInFull) {
  EXPECT_EQ(spanText(SourceSpan{-2147483647 - 1, 2147483647, -2147483647 - 1, 2147483647}),
            " @ line:column -2147483648:-2147483648--2147483647:2147483647");
}

}  // namespace
