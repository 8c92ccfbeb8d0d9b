// Placeholder until the model checks land.
#include "spec/check.h"
int checkSpec(Net*) { return 1; }
