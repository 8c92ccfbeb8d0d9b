#include <cstdio>
#include <new>

#include "driver/driver.h"
#include "driver/globals.h"

int main(int argc, char** argv) {
  try {
    return runZelbo(argc, argv);
  } catch (const std::bad_alloc&) {
    fprintf(stderr, "\n\tError: Out of memory.\n");
    if (gOutFp) fflush(gOutFp);
    return 1;
  }
}
