#include <cstdio>
#include <new>

#include "driver/driver.h"

int main(int argc, char** argv) {
  try {
    return zelbo::runZelbo(argc, argv);
  } catch (const std::bad_alloc&) {
    fprintf(stderr, "\n\tError: Out of memory.\n");
    fflush(nullptr);
    return 1;
  }
}
