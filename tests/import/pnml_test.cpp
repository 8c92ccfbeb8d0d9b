// The PNML reader: pages, references, weights and markings, every fault with its line, and a
// large net.
#include "import/pnml.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace zelbo::import;

constexpr const char* kHead =
    "<?xml version=\"1.0\"?>\n"
    "<pnml xmlns=\"http://www.pnml.org/version-2009/grammar/pnml\">\n"
    "<net id=\"n\" type=\"http://www.pnml.org/version-2009/grammar/ptnet\">\n";  // lines 1-3
constexpr const char* kTail = "</net>\n</pnml>\n";

std::string pnml(const std::string& body) { return kHead + body + kTail; }

TEST(PnmlReader, NestedPagesReferencesAndInscriptions) {
  const ImportResult r = importPnml(pnml(R"(<name><text>Ring net</text></name>
<page id="top">
  <place id="p.1"><name><text>first</text></name>
    <initialMarking><text> 1 </text></initialMarking></place>
  <page id="inner"><page id="deeper">
    <transition id="t-1"><name><text>go</text></name></transition>
    <referencePlace id="rp2" ref="rp1"/>
  </page></page>
  <referencePlace id="rp1" ref="p2"/>
  <referenceTransition id="rt" ref="t-1"/>
  <place id="p2"><initialMarking><text>0</text></initialMarking><graphics/></place>
  <arc id="a1" source="p.1" target="rt"><inscription><text>1</text></inscription></arc>
  <arc id="a2" source="t-1" target="rp2"/>
</page>
<page id="other"><transition id="2t"/><arc id="a3" source="p2" target="2t"/></page>
)"),
                                    "ring.pnml");
  ASSERT_TRUE(r) << r.error().toString();
  const ImportedNet& net = r.value();
  EXPECT_EQ(net.name, "Ring_snet");
  ASSERT_EQ(net.places.size(), 2u);
  EXPECT_EQ(net.places[0].name, "p_d1");
  EXPECT_EQ(net.places[0].label, "first");
  EXPECT_EQ(net.places[0].tokens, 1);
  EXPECT_EQ(net.places[0].line, 6);
  EXPECT_EQ(net.places[1].original, "p2");
  EXPECT_EQ(net.places[1].tokens, 0);
  ASSERT_EQ(net.transitions.size(), 2u);
  EXPECT_EQ(net.transitions[0].name, "t_m1");
  EXPECT_EQ(net.transitions[0].label, "go");
  EXPECT_EQ(net.transitions[1].name, "n_n2t");
  ASSERT_EQ(net.arcs.size(), 3u);
  EXPECT_EQ(net.arcs[0].place, 0);
  EXPECT_EQ(net.arcs[0].transition, 0);
  EXPECT_TRUE(net.arcs[0].toTransition);
  EXPECT_EQ(net.arcs[1].place, 1);  // through two references
  EXPECT_FALSE(net.arcs[1].toTransition);
  EXPECT_EQ(net.arcs[1].line, 16);
  EXPECT_EQ(net.arcs[2].transition, 1);
}

TEST(PnmlReader, FirstNetOfSeveral) {
  const std::string text = pnml(R"(<page id="g"><place id="p"/><transition id="t"/>
<arc id="a" source="p" target="t"/></page>)");
  const std::string two = text.substr(0, text.size() - 8) +
                          "<net id=\"m\" type=\"other\"/></pnml>\n";  // a second net, never read
  const ImportResult r = importPnml(two, "two.pnml");
  ASSERT_TRUE(r) << r.error().toString();
  EXPECT_EQ(r.value().name, "n");
}

TEST(PnmlReader, RingOfFiftyThousandPlaces) {
  constexpr int kSize = 50000;
  std::string body = "<page id=\"g\">\n";
  for (int i = 0; i < kSize; ++i) {
    const std::string k = std::to_string(i);
    const std::string next = std::to_string((i + 1) % kSize);
    body += "<place id=\"p" + k + "\"" +
            (i == 0 ? "><initialMarking><text>1</text></initialMarking></place>" : "/>") +
            "<transition id=\"t" + k + "\"/><arc id=\"i" + k + "\" source=\"p" + k +
            "\" target=\"t" + k + "\"/><arc id=\"o" + k + "\" source=\"t" + k + "\" target=\"p" +
            next + "\"/>\n";
  }
  const ImportResult r = importPnml(pnml(body + "</page>\n"), "ring.pnml");
  ASSERT_TRUE(r) << r.error().toString();
  EXPECT_EQ(r.value().places.size(), static_cast<std::size_t>(kSize));
  EXPECT_EQ(r.value().transitions.size(), static_cast<std::size_t>(kSize));
  EXPECT_EQ(r.value().arcs.size(), static_cast<std::size_t>(2 * kSize));
  EXPECT_EQ(r.value().places.back().line, kSize + 4);
}

struct Broken {
  std::string text;
  int line;
  const char* message;  // a part of it
};

void PrintTo(const Broken& b, std::ostream* os) { *os << b.message; }

class PnmlFaults : public ::testing::TestWithParam<Broken> {};

TEST_P(PnmlFaults, ClearMessageAtTheLine) {
  const ImportResult r = importPnml(GetParam().text, "f.pnml");
  ASSERT_FALSE(r) << GetParam().text;
  EXPECT_EQ(r.error().line, GetParam().line) << r.error().message;
  EXPECT_NE(r.error().message.find(GetParam().message), std::string::npos) << r.error().message;
}

// A place p (line 5), a transition t (line 6) and the given lines from line 7 on.
std::string net(const std::string& more) {
  return pnml("<page id=\"g\">\n<place id=\"p\"/>\n<transition id=\"t\"/>\n" + more + "</page>\n");
}

INSTANTIATE_TEST_SUITE_P(
    Faults, PnmlFaults,
    ::testing::Values(
        Broken{net("<arc id=\"a\" source=\"p\" target=\"t\">\n</arcc>\n"), 8, "XML error"},
        Broken{"<?xml version=\"1.0\"?>\n<pnml>\n<net id=\"n\"\n", 3, "XML error"},
        Broken{
            "\xEF\xBB\xBF" + net("<place id=\"q\">\n<initialMarking><text>2</text></initialMarking>"
                                 "</place>\n"),
            8, "marked with 2 tokens"},
        Broken{"<?xml version=\"1.0\"?>\n\n<petrinet/>\n", 3, "not a PNML document"},
        Broken{"<pnml>\n  <nett/>\n</pnml>\n", 1, "no <net>"},
        Broken{"<pnml>\n<net id=\"n\" type=\"http://www.pnml.org/version-2009/grammar/"
               "symmetricnet\"/>\n</pnml>\n",
               2, "high-level (coloured) net"},
        Broken{"<pnml>\n<net id=\"n\"/>\n</pnml>\n", 2, "has no type"},
        Broken{net("<place id=\"q\">\n<initialMarking><text>2</text></initialMarking></place>\n"),
               8, "marked with 2 tokens"},
        Broken{net("<place id=\"q\"><initialMarking><text>-1</text></initialMarking></place>\n"), 7,
               "not a number of tokens"},
        Broken{net("<place id=\"q\"><type><text>Dot</text></type></place>\n"), 7,
               "high-level annotation <type>"},
        Broken{net("<arc id=\"a\" source=\"p\" target=\"t\">\n"
                   "<inscription><text>3</text></inscription></arc>\n"),
               8, "weight 3"},
        Broken{net("<arc id=\"a\" source=\"p\" target=\"t\"><inscription><text>0</text>"
                   "</inscription></arc>\n"),
               7, "weight 0"},
        Broken{net("<arc id=\"a\" source=\"p\" target=\"t\" type=\"inhibitor\"/>\n"), 7,
               "of type \"inhibitor\""},
        Broken{net("<arc id=\"a\" source=\"p\" target=\"t\">\n<type value=\"reset\"/></arc>\n"), 8,
               "of type \"reset\""},
        Broken{
            net("<arc id=\"a\" source=\"p\" target=\"t\"><toolspecific tool=\"x\" version=\"1\">\n"
                "<arcType><text>inhibitor</text></arcType></toolspecific></arc>\n"),
            8, "of type \"inhibitor\""},
        Broken{net("<arc id=\"a\" source=\"p\" target=\"t\"><hlinscription/></arc>\n"), 7,
               "high-level annotation <hlinscription>"},
        Broken{net("<place id=\"q\"/>\n<arc id=\"a\" source=\"p\" target=\"q\"/>\n"), 8,
               "joins two places"},
        Broken{net("<arc id=\"a\" source=\"p\" target=\"t\"/>\n<arc id=\"b\" source=\"p\" "
                   "target=\"t\"/>\n"),
               8, "arcs \"a\" and \"b\" join the same place"},
        Broken{net("<transition id=\"p\"/>\n"), 7,
               "id \"p\" is used twice (first by the place at line 5)"},
        Broken{net("<arc source=\"p\" target=\"t\"/>\n"), 7, "<arc> has no id"},
        Broken{net("<arc id=\"a\" source=\"p\" target=\"x\"/>\n"), 7,
               "target \"x\" of arc \"a\" is not in the net"},
        Broken{net("<arc id=\"a\" source=\"g\" target=\"t\"/>\n"), 7, "is a page"},
        Broken{net("<referencePlace id=\"r\" ref=\"nowhere\"/>\n"), 7, "not in the net"},
        Broken{net("<referencePlace id=\"r\" ref=\"s\"/>\n<referencePlace id=\"s\" ref=\"r\"/>\n"),
               7, "cycle of references"},
        Broken{net("<referenceTransition id=\"r\" ref=\"p\"/>\n"), 7, "not to a transition"},
        Broken{pnml("<page id=\"g\">\n<place id=\"p\"/>\n</page>\n"), 3, "no transitions"},
        Broken{pnml("<page id=\"g\"><transition id=\"t\"/></page>\n"), 3, "no places"},
        Broken{std::string("<pnml>\n<net\0/>", 14), 2, "NUL byte"}));

}  // namespace
