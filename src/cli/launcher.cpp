// Telling a launcher's start from a plain one without asking MPI, whose start-up costs
// time; and, in a build without MPI, refusing to run as several independent copies.
#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "base/format.h"
#include "base/texts.h"
#include "cli/ranks.h"

namespace zelbo {

int launchedRanks() {
  // Open MPI's launcher, then those of the PMI interface (MPICH's, Slurm's srun).
  for (const char* size : {"OMPI_COMM_WORLD_SIZE", "PMI_SIZE"})
    if (const char* value = getenv(size)) return std::max(0, atoi(value));
  return getenv("PMIX_RANK") ? 0 : 1;
}

int launchedRank() {
  for (const char* name : {"OMPI_COMM_WORLD_RANK", "PMI_RANK", "PMIX_RANK"})
    if (const char* value = getenv(name)) return atoi(value);
  return 0;
}

std::optional<std::string> InputFiles::read(const std::string& path) {
  for (const auto& [name, content] : files_)
    if (name == path) return content;
  FILE* file = fopen(path.c_str(), "rb");
  if (!file) return std::nullopt;
  std::string content;
  char buffer[1 << 16];
  std::size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, file)) > 0) content.append(buffer, n);
  const bool failed = ferror(file) != 0;
  fclose(file);
  if (failed) return std::nullopt;
  files_.emplace_back(path, content);
  return content;
}

#ifndef ZELBO_MPI
// Each copy would run the whole estimation and write the same files: only the first says why
// none does.
int runOnRanks(int, char**, CommandLine) {
  if (launchedRank() == 0)
    fputs(printedText(Error(Error::Kind::usage, formatted(text::kBuiltWithoutMpi, launchedRanks()))).c_str(), stderr);
  return 1;
}
#endif

}  // namespace zelbo
