#include <cstdio>
#include <new>

#include "base/texts.h"
#include "cli/command_line.h"
#include "zelbo/error.h"

int main(int argc, char** argv) {
  try {
    return zelbo::runCommandLine(argc, argv);
  } catch (const std::bad_alloc&) {
    fputs(zelbo::printedText(zelbo::Error(zelbo::Error::Kind::run, zelbo::text::kOutOfMemory)).c_str(), stderr);
    fflush(nullptr);
    return 1;
  }
}
