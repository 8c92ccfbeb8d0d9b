// A command line started by an MPI launcher: rank 0 runs the command line and the merge, the
// other ranks only draw samples (cli/mpi_ranks.cpp carries it over MPI). Without a launcher
// none of this runs.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "estimate/parallel.h"
#include "zelbo/edit.h"
#include "zelbo/formats.h"
#include "zelbo/settings.h"

namespace zelbo {

// The processes a launcher started for this run, from the variables it gives each of them:
// 1 without a launcher, 0 for a launcher that does not say how many. Asks nothing of MPI.
int launchedRanks();
// This process's rank among them, from the same variables (0 when none says).
int launchedRank();

// What rank 0 sends the other ranks: everything they need to draw what rank 0 would.
struct RankRun {
  Settings settings;           // jobs: the samplers of each rank
  long seed = 0;
  bool sharedStream = false;   // rank 0 writes the log and the diagnostics to one stream
  std::string modelFile;
  std::string annotations;     // ReadOptions
  std::string defaultDelay;
  std::vector<Target> targets;  // asked by name (-tse, -targets): they replace the model's own
  std::vector<std::pair<std::string, std::string>> files;  // every input file: path, content
};

// The input files of the command line as read, kept for the other ranks.
class InputFiles {
 public:
  // The content of the file; none when it cannot be read (the reader then opens it and says
  // why, as it does without a launcher).
  std::optional<std::string> read(const std::string& path);
  const std::vector<std::pair<std::string, std::string>>& all() const { return files_; }

 private:
  std::vector<std::pair<std::string, std::string>> files_;
};

// The other ranks, as the command line on rank 0 sees them.
class OtherRanks {
 public:
  virtual ~OtherRanks() = default;
  // The ranks of the run, this one included.
  virtual int ranks() const = 0;
  // Starts the run on the other ranks and brings their batches to the merge until its end.
  virtual void serve(const RankRun& run, MergeInbox& inbox) = 0;
  // Ends the other ranks (when no run started, they end without one) and returns the
  // processor seconds they used. Called once or more; only the first call ends them.
  virtual double finish() = 0;
};

using CommandLine = int (*)(int argc, char** argv, OtherRanks* ranks);

// Runs the command line under a launcher: on rank 0 with the other ranks, on the others as
// their samplers. Returns the exit status of this process.
int runOnRanks(int argc, char** argv, CommandLine commandLine);

}  // namespace zelbo
