// The command line: options, the run, and the exit status.
#pragma once

namespace zelbo {

class OtherRanks;

// Runs zelbo on the given arguments and returns the exit status. Under a launcher, on rank 0,
// `ranks` are the others: they draw with this process, which alone reads and writes files.
int runCommandLine(int argc, char** argv, OtherRanks* ranks = nullptr);

}  // namespace zelbo
