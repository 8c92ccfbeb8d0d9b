#include "cli/report.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <string_view>

#include "base/clock.h"
#include "base/format.h"
#include "base/texts.h"

namespace zelbo {

namespace {

void writeSettingsLine(FILE* out, const Settings& settings) {
  if (settings.criterion == ErrorCriterion::absolute) {
    fputs(text::kAbsoluteMode, out);
    fprintf(out, text::kAbsoluteError, settings.absoluteError, '%');
    fprintf(out, text::kAbsoluteConfidence, settings.confidence, '%');
  } else {
    fputs(text::kRelativeMode, out);
    fprintf(out, text::kRelativeError, settings.relativeError, '%');
    fprintf(out, text::kRelativeConfidence, settings.confidence, '%');
  }
}

// A run without samples has no estimate; it prints as "nan" whatever the sign bit says.
double printable(double value) { return std::isnan(value) ? std::fabs(value) : value; }

const char* boundKind(const Target& target) { return target.lowerBound ? text::kLower : text::kUpper; }

}  // namespace

void writeIntermediateReport(FILE* out, const Target& target, const Progress& progress) {
  const int n = progress.samples, m = progress.instances;
  const double s = progress.groupSums;
  fputs(text::kIntermediateHeading, out);
  fprintf(out, text::kIntermediateCpu, processorSeconds());
  fprintf(out, text::kIntermediateSegments, progress.segments);
  fprintf(out, text::kIntermediateSamples, n);
  fprintf(out, text::kIntermediateInstances, m);
  if (progress.required < 0) {
    fputs(text::kIntermediateRequiredUnknown, out);
  } else {
    const long long expected = static_cast<long long>(progress.required) * (m / n);
    fprintf(out, text::kIntermediateRequired, expected);
  }
  fprintf(out, text::kIntermediateGroupSize, static_cast<double>(m) / n);
  fprintf(out, text::kIntermediateGroupAverage, s / n);
  fprintf(out, text::kBoundLine, boundKind(target), target.source.c_str(), target.destination.c_str(),
          target.separation, s / m);
}

std::string targetName(const Target& target) {
  return formatted(text::kTargetName, target.lowerBound ? text::kLower : text::kUpper, target.source.c_str(),
                   target.destination.c_str(), target.separation);
}

void writeEveryTarget(FILE* out, const Result& result) {
  int width = static_cast<int>(std::string_view(text::kTargetColumn).size());
  for (const TargetResult& t : result.targets) width = std::max(width, static_cast<int>(targetName(t.asked).size()));
  fputs(text::kEveryTargetHeading, out);
  fprintf(out, text::kEveryTargetColumns, width, text::kTargetColumn, text::kBoundColumn, text::kHalfWidthColumn,
          text::kInstancesColumn);
  for (const TargetResult& t : result.targets) {
    const std::string name = targetName(t.asked);
    if (t.unpaired) fprintf(out, text::kEveryTargetUnpaired, width, name.c_str());
    else fprintf(out, text::kEveryTargetRow, width, name.c_str(), printable(t.bound), printable(t.halfWidth), t.instances);
  }
  fputc('\n', out);
}

void writeCriticalPlaces(FILE* out, const Result& result, int rows) {
  // The table of every target, when there is one, ends with a blank line already.
  bool first = true;
  for (const TargetResult& t : result.targets) {
    if (!first || result.targets.size() == 1) fputc('\n', out);
    first = false;
    fprintf(out, text::kCriticalHeading, targetName(t.asked).c_str());
    if (t.unpaired) {
      fputs(text::kCriticalUnpaired, out);
      continue;
    }
    const std::size_t shown = std::min(t.critical.size(), static_cast<std::size_t>(rows));
    if (shown == 0) {
      fputs(text::kCriticalNone, out);
      continue;
    }
    int width = static_cast<int>(std::string_view(text::kPlaceColumn).size());
    for (std::size_t k = 0; k < shown; ++k) width = std::max(width, static_cast<int>(t.critical[k].place.size()));
    fprintf(out, text::kCriticalColumns, width, text::kPlaceColumn, text::kCriticalityColumn, text::kHalfWidthColumn);
    for (std::size_t k = 0; k < shown; ++k) {
      const Criticality& c = t.critical[k];
      fprintf(out, text::kCriticalRow, width, c.place.c_str(), printable(c.value), printable(c.halfWidth));
    }
  }
  fputc('\n', out);
}

void writeResult(FILE* out, const Model& model, const Settings& settings, const Result& result,
                 const char* modelFileName) {
  const char* name = model.name().empty() ? text::kUnnamedModel : model.name().c_str();
  fprintf(out, text::kFinalModel, name, modelFileName);
  fprintf(out, text::kFinalTransitions, model.transitions());
  fprintf(out, text::kFinalPlaces, model.places());
  if (result.unpaired) {
    fputs(text::kNotCausal, out);
    fputs(text::kNotWellDefined, out);
    return;
  }
  writeSettingsLine(out, settings);
  fprintf(out, text::kFinalCpu, processorSeconds());
  fprintf(out, text::kFinalIterations, result.samples);
  fprintf(out, text::kFinalSamples, result.instances);
  fputc('\n', out);
  const Target target = model.target();
  fprintf(out, text::kFinalBoundLine, boundKind(target), target.source.c_str(), target.destination.c_str(),
          target.separation, printable(result.bound));
}

}  // namespace zelbo
