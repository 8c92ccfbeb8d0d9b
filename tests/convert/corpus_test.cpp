// The real .g files of shared/corpus (written by others) with the defaults: each runs or ends
// with a message that says why, and each that imports is written and read back as the same
// model, with the same seeded run. Skipped where the directory is absent.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "readback.h"

namespace {

using namespace zelbo;

TEST(RealStgFiles, RunOrSayWhyAndReadBack) {
  const std::filesystem::path dir = ZELBO_REAL_G_DIR;
  if (!std::filesystem::is_directory(dir)) GTEST_SKIP() << dir << " is absent";
  int files = 0, ran = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    if (entry.path().extension() != ".g") continue;
    ++files;
    SCOPED_TRACE(entry.path().filename().string());
    std::optional<Model> model;
    try {
      model = readModel(entry.path().string(), {});
    } catch (const Error& error) {
      // An import error names the file and the line.
      ASSERT_TRUE(error.location()) << error.what();
      EXPECT_EQ(error.location()->file, entry.path().string());
      EXPECT_GT(error.location()->line, 0);
      continue;
    }
    std::string run;
    readback::expectReadsBack(*model, 1, &run);
    ran += run.find("Error") == std::string::npos;
  }
  EXPECT_GE(files, 30);
  EXPECT_GE(ran, 25);
}

}  // namespace
