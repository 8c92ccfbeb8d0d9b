// Placeholder.
#include "estimate/time.h"
void getZhalfAlpha() {}
