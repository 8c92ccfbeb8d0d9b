// The command line: options, the run, and the exit status.
#pragma once

namespace zelbo {

// Runs zelbo on the given arguments and returns the exit status.
int runCommandLine(int argc, char** argv);

}  // namespace zelbo
