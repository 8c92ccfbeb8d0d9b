#include "cli/report.h"

#include <cmath>
#include <ctime>

namespace zelbo {

namespace {

void writeSettingsLine(FILE* out, const Settings& settings) {
  if (settings.tolerance) {
    fprintf(out, "\n\tMonte-Carlo simulation within");
    fprintf(out, "\n\t%g %c absolute error interval", settings.absoluteError, '%');
    fprintf(out, " and %g %c confidence level", settings.confidence, '%');
  } else {
    fprintf(out, "\n\tMonte-Carlo simulation with");
    fprintf(out, "\n\t%g%c relative error interval", settings.relativeError, '%');
    fprintf(out, " and %g%c confidence level", settings.confidence, '%');
  }
}

// A run without samples has no estimate; it prints as "nan" whatever the sign bit says.
double printable(double value) { return std::isnan(value) ? std::fabs(value) : value; }

const char* boundKind(const Target& target) { return target.lowerBound ? "Lower" : "Upper"; }

}  // namespace

void writeIntermediateReport(FILE* out, const Target& target, const Progress& progress) {
  const int n = progress.samples, m = progress.instances;
  // The sums are kept for the pair as stored, which a lower bound mirrors.
  const double s = target.lowerBound ? -progress.groupSums : progress.groupSums;
  fprintf(out, "\n\n\t\t###Intermediate Report###\n\n");
  fprintf(out, "\n\tCPU time used: %.3g seconds.", clock() / 1000000.0);
  fprintf(out, "\n\tNumber of segments unfolded: %d", progress.segments);
  fprintf(out, "\n\tNumber of useful segments unfolded (samples): %d", n);
  fprintf(out, "\n\tNumber of TSE instances sampled: %d", m);
  if (progress.required < 0) {
    fprintf(out, "\n\tNumber of TSE instances to sample (expected): Not yet known.");
  } else {
    const long long expected = static_cast<long long>(progress.required) * (m / n);
    fprintf(out, "\n\tNumber of TSE instances to sample (expected): %lld", expected);
  }
  fprintf(out, "\n\tAverage number of TSE instances within a group: %lg", static_cast<double>(m) / n);
  fprintf(out, "\n\tAverage grouped TSE: %lg", s / n);
  fprintf(out, "\n\n\t%s bound on average TSE(%s, %s, %d) = %.5g\n", boundKind(target), target.source.c_str(),
          target.destination.c_str(), target.separation, s / m);
}

void writeResult(FILE* out, const Model& model, const Settings& settings, const Result& result,
                   const char* modelFileName) {
  const char* name = model.name().empty() ? "(none)" : model.name().c_str();
  fprintf(out, "\n\tSTPN model %s specified in %s.", name, modelFileName);
  fprintf(out, "\n\tNumber of transitions: %d", model.transitions());
  fprintf(out, "\n\tNumber of places: %d\n", model.places());
  if (result.unpaired) {
    fprintf(out, "\n\tWarning : The the two events in the target TSE may not be causual.");
    fprintf(out, "\n\t          Their average TSE may not be well defined.\n");
    return;
  }
  writeSettingsLine(out, settings);
  fprintf(out, "\n\n\tTotal CPU time used: %g seconds.", static_cast<double>(clock()) / 1000000);
  fprintf(out, "\n\tNumber of valid iteration made: %d", result.samples);
  fprintf(out, "\n\tTotal samples used: %d", result.instances);
  fputc('\n', out);
  const Target target = model.target();
  fprintf(out, "\n\t%s bound on average TSE(%s, %s, %d) = %.5g\n", boundKind(target), target.source.c_str(),
          target.destination.c_str(), target.separation, printable(result.bound));
}

}  // namespace zelbo
