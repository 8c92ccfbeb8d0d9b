// The STG reader: the graph's shapes, the marking, and every fault a file can have.
#include "import/stg.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace zelbo::import;

std::vector<std::string> originals(const std::vector<ImportedPlace>& places) {
  std::vector<std::string> out;
  for (const ImportedPlace& p : places) out.push_back(p.original + (p.tokens ? "*" : ""));
  return out;
}

// "source -> target" for each arc, in order.
std::vector<std::string> arcs(const ImportedNet& net) {
  std::vector<std::string> out;
  for (const ImportedArc& a : net.arcs) {
    const std::string& p = net.places[a.place].original;
    const std::string& t = net.transitions[a.transition].original;
    out.push_back(a.toTransition ? p + " -> " + t : t + " -> " + p);
  }
  return out;
}

TEST(StgReader, ImplicitPlacesInstancesDummiesAndMarking) {
  const ImportResult r = importStg(R"(# a comment line
.model two phase   # the rest of the line names the model
.inputs a
.outputs b
.internal c
.dummy d
.graph
p0 a+ d/1       # a place with two targets
a+ b-/1 c~/00   # /00 is no instance: c~
d/1 b-/1
b-/1 p0
c~ a+/0         # a+/0 is a+
.capacity p0=1 <a+,c~>=1
.marking {<a+ , b-/1>
  p0=0 <c~,a+>=1 }
.end
anything after .end is not read
)",
                                   "two.g");
  ASSERT_TRUE(r) << r.error().toString();
  const ImportedNet& net = r.value();
  EXPECT_EQ(net.original, "two phase");
  EXPECT_EQ(net.name, "two_sphase");
  EXPECT_EQ(originals(net.places),
            (std::vector<std::string>{"p0", "<a+,b-/1>*", "<a+,c~>", "<d/1,b-/1>", "<c~,a+>*"}));
  EXPECT_EQ(net.places[1].name, "n_n_la_p_cb_m_i1_r");
  EXPECT_EQ(net.places[1].line, 9);
  ASSERT_EQ(net.transitions.size(), 4u);
  EXPECT_EQ(net.transitions[0].original, "a+");
  EXPECT_EQ(net.transitions[0].kind, TransitionKind::input);
  EXPECT_EQ(net.transitions[1].original, "d/1");
  EXPECT_EQ(net.transitions[1].kind, TransitionKind::dummy);
  EXPECT_EQ(net.transitions[2].name, "b_m_i1");
  EXPECT_EQ(net.transitions[2].signal, "b");
  EXPECT_EQ(net.transitions[3].original, "c~");
  EXPECT_EQ(net.transitions[3].kind, TransitionKind::internal);
  EXPECT_EQ(arcs(net), (std::vector<std::string>{
                           "p0 -> a+", "p0 -> d/1", "a+ -> <a+,b-/1>", "<a+,b-/1> -> b-/1",
                           "a+ -> <a+,c~>", "<a+,c~> -> c~", "d/1 -> <d/1,b-/1>",
                           "<d/1,b-/1> -> b-/1", "b-/1 -> p0", "c~ -> <c~,a+>", "<c~,a+> -> a+"}));
}

TEST(StgReader, NameOfTheFileWhenTheModelHasNone) {
  const ImportResult r =
      importStg(".inputs a\n.graph\na+ a-\na- a+\n.marking{<a-,a+>}\n", "dir/x-1.g");
  ASSERT_TRUE(r) << r.error().toString();
  EXPECT_EQ(r.value().name, "x_m1");
  EXPECT_EQ(r.value().places.size(), 2u);
}

TEST(StgReader, NulByte) {
  const ImportResult r = importStg(std::string_view(".inputs a\n.gr\0ph\n", 17), "f.g");
  ASSERT_FALSE(r);
  EXPECT_EQ(r.error().toString(), "f.g:2: NUL byte: this is not a text file");
}

struct Broken {
  const char* text;
  int line;
  const char* message;  // a part of it
};

void PrintTo(const Broken& b, std::ostream* os) { *os << b.message; }

class StgFaults : public ::testing::TestWithParam<Broken> {};

TEST_P(StgFaults, ClearMessageAtTheLine) {
  const ImportResult r = importStg(GetParam().text, "f.g");
  ASSERT_FALSE(r) << GetParam().text;
  EXPECT_EQ(r.error().file, "f.g");
  EXPECT_EQ(r.error().line, GetParam().line) << r.error().message;
  EXPECT_NE(r.error().message.find(GetParam().message), std::string::npos) << r.error().message;
}

// A plain net saved in the format: its transitions are signals written without a sign, and an
// editor's keyword the reader does not know is skipped with a warning at its line.
TEST(StgReader, PlainNetsAndUnknownKeywords) {
  const ImportResult r = importStg(".model plain\n.outputs t0 t1\n.slowenv\n.graph\np0 t0\nt0 p1\np1 t1\nt1 p0\n"
                                   ".marking { p0 }\n.end\n",
                                   "plain.g");
  ASSERT_TRUE(r) << r.error().toString();
  ASSERT_EQ(r.value().transitions.size(), 2u);
  EXPECT_EQ(r.value().transitions[0].original, "t0");
  EXPECT_EQ(r.value().transitions[0].kind, TransitionKind::output);
  ASSERT_EQ(r.value().warnings.size(), 1u);
  EXPECT_EQ(r.value().warnings[0].line, 3);
  EXPECT_EQ(r.value().warnings[0].message, "unknown keyword \".slowenv\", skipped");
}

#define NET ".inputs a\n.outputs b\n.graph\np a+\na+ b+\nb+ p\n"  // lines 1 to 6
INSTANTIATE_TEST_SUITE_P(
    Faults, StgFaults,
    ::testing::Values(
        Broken{NET ".end\n\n", 7, "no .marking"},
        Broken{".inputs a\n.marking {}\n", 2, "no .graph"},
        Broken{"# nothing\n.graph\n\n.marking { }\n.end\n", 2, "the net is empty"},
        Broken{".dummy d\n.graph\nd\n.marking {}\n", 2, "no places"},
        Broken{NET ".marking {p=2}\n", 7, "given 2 tokens"},
        Broken{NET ".marking {p=000000000000000000000000000000000009}\n", 7, "given 9 tokens"},
        Broken{NET ".marking {p\n p}\n", 8, "listed twice"},
        Broken{NET ".marking {a+}\n", 7, "is a transition"},
        Broken{NET ".marking {q}\n", 7, "no place \"q\""},
        Broken{NET ".marking {<b+,a+>}\n", 7, "no implicit place"},
        Broken{NET ".marking {<a-,b+>}\n", 7, "not in the graph"},
        Broken{NET ".marking {<a+ b+>}\n", 7, "<transition,transition>"},
        Broken{NET ".marking {<a+,b+}\n", 7, "no closing >"}, Broken{NET ".marking p\n", 7, "{ }"},
        Broken{NET ".marking {p} q\n", 7, "after the }"},
        Broken{NET ".marking {p=}\n", 7, "number must follow"},
        Broken{NET ".marking {p\n.end\n", 7, "no closing }"},
        Broken{NET ".marking {}\n.marking {}\n", 8, "second .marking"},
        Broken{NET "p q\n", 7, "arc between two places"},
        Broken{NET "p a+\n", 7, "duplicate arc \"p\" -> \"a+\" (first at line 4)"},
        Broken{NET "a+/0 b+\n", 7, "duplicate arc \"a+\" -> \"b+\" (first at line 5)"},
        Broken{NET "x+ p\n", 7, "signal \"x\" is not declared"},
        Broken{NET "a p\n", 7, "is a signal, not a transition"},
        Broken{".dummy d\n.graph\nd+ p\n", 3, "is a dummy"},
        Broken{".inputs a\n.outputs b a\n", 2, "declared twice (first at line 1)"},
        Broken{".inputs a+\n", 1, "ends with a '+'"}, Broken{NET "a+/x p\n", 7, "must be a number"},
        Broken{NET "q/2 p\n", 7, "takes no instance number"},
        Broken{NET "<a+,b+> p\n", 7, "holds a '<'"}, Broken{"a+ b+\n.graph\n", 1, "before .graph"},
        Broken{NET ".capacity <a+,b+>=2\n", 7, "room for more than one token"},
        Broken{".graph x\n", 1, "after .graph"}, Broken{".model\n", 1, "needs a name"},
        Broken{NET ".capacity p=\n", 7, "number must follow"}));
#undef NET

}  // namespace
