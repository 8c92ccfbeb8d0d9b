#include <cstdio>
#include <new>

#include "base/texts.h"
#include "cli/command_line.h"
#include "cli/ranks.h"
#include "cli/stop_signals.h"
#include "zelbo/error.h"

namespace {

int guardedCommandLine(int argc, char** argv, zelbo::OtherRanks* ranks) {
  try {
    return zelbo::runCommandLine(argc, argv, ranks);
  } catch (const std::bad_alloc&) {
    fputs(zelbo::printedText(zelbo::Error(zelbo::Error::Kind::run, zelbo::text::kOutOfMemory)).c_str(), stderr);
    fflush(nullptr);
    return 1;
  }
}

}  // namespace

int main(int argc, char** argv) {
  zelbo::catchStopSignals();
  if (zelbo::launchedRanks() != 1) return zelbo::runOnRanks(argc, argv, guardedCommandLine);
  return guardedCommandLine(argc, argv, nullptr);
}
