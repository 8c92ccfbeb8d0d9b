// Format detection by content, the extension as a hint, and the file entry points.
#include "import/detect.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

using namespace zelbo::import;

TEST(Detect, ContentFirstExtensionForAmbiguousText) {
  const std::string stg = "# comment\n\n  .inputs a\n.graph\n";
  EXPECT_EQ(detectFormat(stg), Format::stg);
  EXPECT_EQ(detectFormat(stg, "net.stpn"), Format::stg);
  EXPECT_EQ(detectFormat(".marking{p}\n", "x"), Format::stg);
  EXPECT_EQ(detectFormat("// made by hand\n# too\n.stpn m\n", "x.g"), Format::stpn);
  EXPECT_EQ(detectFormat("\xEF\xBB\xBF \n<?xml version=\"1.0\"?><pnml/>", "x.stpn"), Format::pnml);
  EXPECT_EQ(detectFormat("<foo/>"), Format::pnml);  // the PNML reader names the wrong root
  EXPECT_EQ(detectFormat("", "a/b.G"), Format::stg);
  EXPECT_EQ(detectFormat("# only a comment\n", "b.PNML"), Format::pnml);
  EXPECT_EQ(detectFormat("stray text\n.graph\n", "b.xml"), Format::pnml);
  EXPECT_EQ(detectFormat("stray text\n.graph\n"), Format::stpn);
  EXPECT_EQ(detectFormat(".place p\n", "m.txt"), Format::stpn);
}

TEST(Detect, FilesAndTexts) {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("zelbo_import_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::string g = (dir / "ring.g").string();
  std::ofstream(g) << ".inputs a\n.graph\na+ a-\na- a+\n.marking {<a-,a+>}\n.end\n";
  const ImportResult r = importFile(g);
  ASSERT_TRUE(r) << r.error().toString();
  EXPECT_EQ(r.value().name, "ring");
  EXPECT_EQ(r.value().transitions.size(), 2u);

  const ImportResult missing = importFile((dir / "none.g").string());
  ASSERT_FALSE(missing);
  EXPECT_EQ(missing.error().toString(),
            (dir / "none.g").string() + ": cannot read: No such file or directory");
  const ImportResult directory = importFile(dir.string());
  ASSERT_FALSE(directory);
  EXPECT_NE(directory.error().message.find("directory"), std::string::npos);
  std::filesystem::remove_all(dir);

  const ImportResult own = importText(".stpn m\n", "m.stpn");
  ASSERT_FALSE(own);
  EXPECT_EQ(own.error().line, 0);
  EXPECT_NE(own.error().message.find("zelbo model"), std::string::npos);
  const ImportResult xml = importText("<pnml/>", "in memory");
  ASSERT_FALSE(xml);
  EXPECT_EQ(xml.error().toString(), "in memory:1: no <net> in the <pnml> document");
}

}  // namespace
