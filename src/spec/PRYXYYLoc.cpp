// Placeholder until the model reader lands.
#include "spec/PRYXYYLoc.h"
#include <cstdio>
int PRYXerror(const char* message) { fprintf(stderr, "\n\tError: %s", message); return -1; }
