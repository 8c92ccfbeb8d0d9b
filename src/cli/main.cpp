#include <cstdio>
#include <new>

#include "cli/command_line.h"

int main(int argc, char** argv) {
  try {
    return zelbo::runCommandLine(argc, argv);
  } catch (const std::bad_alloc&) {
    fprintf(stderr, "\n\tError: Out of memory.\n");
    fflush(nullptr);
    return 1;
  }
}
