// The model reader's warnings and parse errors as data: what each is about, where, and the
// text the command line prints for it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "zelbo/zelbo.h"

namespace {

using namespace zelbo;
using Code = Diagnostic::Code;

TEST(ReaderDiagnostics, ReachTheCallerAsDataInFileOrderAndPrintAsTheCommandLinePrints) {
  const std::string text =
      ".stpn m\n"
      ".place p .preset {t} .poset {t[2] u u} .mark 2\n"
      ".delay p .fix 1\n"
      ".delay p .fix 2\n"
      ".place p .poset {t}\n"
      ".place q .preset {u} .poset {t}\n"
      ".delay q .cus 0 1 0.5 3\n"
      ".tse (t u 0)\n"
      ".tse (u t 0)\n";
  std::vector<Diagnostic> seen;
  const Model model = Model::readText(text, "m.stpn", [&](const Diagnostic& d) { seen.push_back(d); });
  EXPECT_EQ(model.places(), 2);
  const struct {
    Code code;
    int line;  // 0: no place in the file
    const char* message;
    const char* printed;
  } expected[] = {
      {Code::probabilityAboveOne, 2, "Invalid probability value '2'",
       "\n\tWarning: Invalid probability value '2' @ line:column 2:32--2:32\n"},
      {Code::transitionListedTwice, 0, "Transition u duplicates on list.", "WARNING : Transition u duplicates on list.\n"},
      {Code::unsafeMarking, 2, "PRYX Solver supports only safe nets.",
       "\n\tWarning: PRYX Solver supports only safe nets.\n\t         Initial marking value 2 @ line:column 2:46--2:46\n"},
      {Code::delayRedefined, 4, "Multiple delay spec's for place p",
       "\n\tWARNING: Multiple delay spec's for place p @ line:column 4:10--4:15\n\n\t         Retaining the last delay spec.\n"},
      {Code::placeRedefined, 5, "Connection of place p redefined",
       "\n\tError: Connection of place p redefined  @ line:column 5:8--5:8. Use the previous definition.\n"},
      {Code::customWholeValueAboveOne, 0, "Invalid probability value '3' in spec.",
       "\t\nWarning: Invalid probability value '3' in spec."},
      {Code::targetIgnored, 9, "PRYX Solver handles only one target TSE pair.",
       "\n\tWarning: PRYX Solver handles only one target TSE pair.\n\t         Ignoring the requested TSE @ line:column 9:7--9:7\n"},
  };
  ASSERT_EQ(seen.size(), std::size(expected));
  for (std::size_t i = 0; i < seen.size(); ++i) {
    const Diagnostic& d = seen[i];
    EXPECT_EQ(d.code, expected[i].code) << i;
    EXPECT_EQ(d.severity, d.code == Code::placeRedefined ? Diagnostic::Severity::error : Diagnostic::Severity::warning);
    EXPECT_EQ(d.message, expected[i].message) << i;
    EXPECT_EQ(d.location ? d.location->line : 0, expected[i].line) << i;
    if (d.location) EXPECT_EQ(d.location->file, "m.stpn");
    EXPECT_EQ(printedText(d), expected[i].printed) << i;
  }
}

TEST(ReaderDiagnostics, ASyntaxErrorComesBeforeTheErrorThatEndsTheRead) {
  std::vector<Diagnostic> seen;
  try {
    Model::readText(".stpn m\n.place {\n", "m.stpn", [&](const Diagnostic& d) { seen.push_back(d); });
    ADD_FAILURE() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.kind(), Error::Kind::model);
    EXPECT_EQ(e.message(), "Failed to parse m.stpn.");
  }
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].severity, Diagnostic::Severity::error);
  EXPECT_EQ(printedText(seen[0]), "\n\tError: parse error @ line:column 2:8--2:8\n");
}

}  // namespace
