#include "driver/report.h"

#include <cmath>
#include <cstdio>
#include <ctime>

#include "driver/globals.h"
#include "spec/net.h"

namespace {

void writeSettingsLine() {
  if (gTolerance) {
    fprintf(gOutFp, "\n\tMonte-Carlo simulation within");
    fprintf(gOutFp, "\n\t%g %c absolute error interval", gAbsoluteError, '%');
    fprintf(gOutFp, " and %g %c confidence level", gConfidence, '%');
  } else {
    fprintf(gOutFp, "\n\tMonte-Carlo simulation with");
    fprintf(gOutFp, "\n\t%g%c relative error interval", gRelativeError, '%');
    fprintf(gOutFp, " and %g%c confidence level", gConfidence, '%');
  }
}

// A run without samples has no estimate; it prints as "nan" whatever the sign bit says.
double printable(double value) { return std::isnan(value) ? std::fabs(value) : value; }

}  // namespace

void displayResult(double bound, const char* modelFileName, int unpaired) {
  fprintf(gOutFp, "\n\tSTPN model %s specified in %s.", modelName(*gNet), modelFileName);
  fprintf(gOutFp, "\n\tNumber of transitions: %d", gNet->numTrans);
  fprintf(gOutFp, "\n\tNumber of places: %d\n", gNet->numPlaces);
  if (unpaired) {
    fprintf(gOutFp, "\n\tWarning : The the two events in the target TSE may not be causual.");
    fprintf(gOutFp, "\n\t          Their average TSE may not be well defined.\n");
    return;
  }
  writeSettingsLine();
  fprintf(gOutFp, "\n\n\tTotal CPU time used: %g seconds.", static_cast<double>(clock()) / 1000000);
  fprintf(gOutFp, "\n\tNumber of valid iteration made: %d", gNumIter);
  fprintf(gOutFp, "\n\tTotal samples used: %d", gNumSample);
  fputc('\n', gOutFp);

  const TransPair* target = gTargetTransPair;
  if (target->lowerBound) {
    fprintf(gOutFp, "\n\tLower bound on average TSE(%s, %s, %d) = %.5g\n", target->destination->name.c_str(),
            target->source->name.c_str(), wrapNeg(target->separation), printable(-bound));
  } else {
    fprintf(gOutFp, "\n\tUpper bound on average TSE(%s, %s, %d) = %.5g\n", target->source->name.c_str(),
            target->destination->name.c_str(), target->separation, printable(bound));
  }
}
