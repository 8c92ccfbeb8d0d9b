// The real .g files of shared/corpus (written by others): each imports, or fails with a
// message at a line. Skipped where the directory is absent.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>

#include "import/detect.h"

namespace {

using namespace zelbo::import;

TEST(RealStgFiles, ImportOrSayWhy) {
  const std::filesystem::path dir = ZELBO_REAL_G_DIR;
  if (!std::filesystem::is_directory(dir)) GTEST_SKIP() << dir << " is absent";
  // What the files known at the time of writing give: places, transitions, arcs, or the start
  // of the message. Other files need only import or give a message.
  const std::map<std::string, std::string> known = {
      {"_deadlock.g", "4 4 7"},
      {"_empty.g", "4: the net is empty"},
      {"empty.g", "4: the net is empty"},
      {"buffer-name_clash.g", "2 2 4"},  // signals written without a sign: plain transitions
      {"adfast.g", "15 12 30"},
      {"dlatch-split_place-hierarchy.g", "8 8 28"},
      {"duplicator.g", "14 12 28"},
      {"imec-sbuf-read-ctl.g", "14 12 28"},
      {"mr0.g", "31 22 62"},
      {"par_4.g", "23 20 46"},
      {"sis-master-read.g", "38 26 76"},
      {"vme.g", "17 17 38"},
  };
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    if (entry.path().extension() != ".g") continue;
    ++files;
    const std::string name = entry.path().filename().string();
    const ImportResult r = importFile(entry.path().string());
    std::string got;
    if (r) {
      const ImportedNet& net = r.value();
      got = std::to_string(net.places.size()) + " " + std::to_string(net.transitions.size()) + " " +
            std::to_string(net.arcs.size());
      int marked = 0;
      for (const ImportedPlace& p : net.places) marked += p.tokens;
      EXPECT_GT(marked, 0) << name;
    } else {
      EXPECT_GT(r.error().line, 0) << name;
      EXPECT_FALSE(r.error().message.empty()) << name;
      got = std::to_string(r.error().line) + ": " + r.error().message;
    }
    const auto it = known.find(name);
    if (it != known.end()) EXPECT_EQ(got.substr(0, it->second.size()), it->second) << name;
  }
  EXPECT_GE(files, static_cast<int>(known.size()));
}

}  // namespace
