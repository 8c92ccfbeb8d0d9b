// The report page: the template (page.html, compiled in) with the drawing, the data and the
// charting library put in its place.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <nlohmann/json.hpp>

#include "base/format.h"
#include "base/record_file.h"
#include "base/texts.h"
#include "report/recording.h"
#include "zelbo/formats.h"

namespace zelbo {

extern const char kPageTemplate[];  // generated from src/report/page.html

namespace {

using json = nlohmann::ordered_json;

json targetJson(const Target& t) {
  return {{"source", t.source}, {"destination", t.destination}, {"separation", t.separation}, {"lower_bound", t.lowerBound}};
}

json resultJson(const TargetResult& r) {
  return {{"bound", r.bound},     {"half_width", r.halfWidth}, {"samples", r.samples},
          {"instances", r.instances}, {"discarded", r.discarded}, {"unpaired", r.unpaired}};
}

json convergenceJson(const std::vector<ConvergencePoint>& points) {
  json samples = json::array(), bound = json::array(), halfWidth = json::array();
  for (const ConvergencePoint& p : points) {
    samples.push_back(p.samples);
    bound.push_back(p.bound);
    halfWidth.push_back(p.halfWidth);
  }
  return {{"samples", samples}, {"bound", bound}, {"half_width", halfWidth}};
}

json histogramJson(const TargetReport& report) {
  const Histogram h = histogramOf(report.separations);
  return {{"edges", h.edges}, {"counts", h.counts}, {"values", report.separations.size()}, {"sampled", report.sampled}};
}

json criticalJson(const std::vector<Criticality>& critical) {
  json out = json::array();
  for (const Criticality& c : critical)
    out.push_back({{"place", c.place}, {"identifier", c.identifier}, {"value", c.value}, {"half_width", c.halfWidth}});
  return out;
}

// A target as the page lists it: what the run found and what the recorder saw of it.
json targetsJson(const ReportInput& in) {
  const std::size_t results = in.result ? in.result->targets.size() : 0;
  json out = json::array();
  for (std::size_t i = 0; i < std::max(results, in.targets.size()); ++i) {
    const TargetResult* r = i < results ? &in.result->targets[i] : nullptr;
    const TargetReport report = i < in.targets.size() ? in.targets[i] : TargetReport{};
    out.push_back({{"asked", r ? targetJson(r->asked) : json(nullptr)},
                   {"identifiers", r ? targetJson(r->identifiers) : json(nullptr)},
                   {"result", r ? resultJson(*r) : json(nullptr)},
                   {"convergence", convergenceJson(report.convergence)},
                   {"histogram", histogramJson(report)},
                   {"critical", criticalJson(r ? r->critical : std::vector<Criticality>{})}});
  }
  return out;
}

// The run's facts; a run that ended before its result has the samples its recorder saw.
json runJson(const ReportInput& in) {
  const Result* r = in.result ? &*in.result : nullptr;
  const int samples = r                     ? r->samples
                      : in.targets.empty() || in.targets[0].convergence.empty()
                          ? 0
                          : in.targets[0].convergence.back().samples;
  return {{"seed", in.seed},
          {"jobs", r ? r->jobs : in.settings.jobs},
          {"stopping", in.settings.stopping == Stopping::fixed ? "fixed sample size" : "automatic"},
          {"confidence", in.settings.confidence},
          {"samples", samples},
          {"segments", r ? json(r->segments) : json(nullptr)},
          {"discarded", r ? json(r->discarded) : json(nullptr)},
          {"cpu_seconds", in.cpuSeconds},
          {"wall_seconds", in.wallSeconds},
          {"samples_per_second", in.wallSeconds > 0 ? json(samples / in.wallSeconds) : json(nullptr)},
          {"interrupted", in.interrupted || (r && r->interrupted)}};
}

std::string pageData(const ReportInput& in, const Drawing& drawing) {
  json data = {{"model", {{"name", in.modelName}, {"file", in.modelFile}}},
               {"run", runJson(in)},
               {"targets", targetsJson(in)},
               {"error", in.error ? json(*in.error) : json(nullptr)},
               {"error_detail", in.errorDetail},
               {"drawing", drawing.svg.empty() ? json(drawing.note) : json(nullptr)}};
  // Names of any bytes come out as valid JSON: invalid UTF-8 is replaced.
  return scriptSafeJson(data.dump(-1, ' ', false, json::error_handler_t::replace));
}

std::string readFile(const char* path, std::string& why) {
  FILE* file = fopen(path, "rb");
  if (!file) {
    why = strerror(errno);
    return {};
  }
  std::string text;
  char buffer[65536];
  std::size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, n);
  if (ferror(file)) why = strerror(errno);
  fclose(file);
  return text;
}

// The template with each marker, in order, replaced by its text.
std::string filled(std::string_view page, std::initializer_list<std::pair<std::string_view, std::string_view>> parts) {
  std::string out;
  for (const auto& [marker, text] : parts) {
    const std::size_t at = page.find(marker);
    if (at == std::string_view::npos) throw Error(Error::Kind::internal, "The report page's template lacks a marker.");
    out.append(page.substr(0, at));
    out.append(text);
    page.remove_prefix(at + marker.size());
  }
  out.append(page);
  return out;
}

}  // namespace

std::string scriptSafeJson(const std::string& json) {
  std::string out;
  out.reserve(json.size());
  for (const char c : json) {
    if (c == '<') out += "\\u003c";
    else if (c == '>') out += "\\u003e";
    else if (c == '&') out += "\\u0026";
    else out += c;
  }
  return out;
}

Histogram histogramOf(const std::vector<double>& values) {
  std::vector<double> finite;
  for (const double v : values)
    if (std::isfinite(v)) finite.push_back(v);
  Histogram h;
  if (finite.empty()) return h;
  const auto [low, high] = std::minmax_element(finite.begin(), finite.end());
  const std::size_t bins =
      *low == *high ? 1 : std::clamp<std::size_t>(static_cast<std::size_t>(std::ceil(2 * std::cbrt(finite.size()))), 1, 60);
  const double width = (*high - *low) / static_cast<double>(bins);
  for (std::size_t k = 0; k < bins; ++k) h.edges.push_back(*low + width * static_cast<double>(k));
  h.edges.push_back(*high);
  h.counts.assign(bins, 0);
  for (const double v : finite) {
    const double position = width > 0 ? (v - *low) / width : 0;
    ++h.counts[std::min(bins - 1, static_cast<std::size_t>(position))];
  }
  return h;
}

std::string chartLibrary() {
  const char* path = ZELBO_CHART_LIBRARY;
  std::string why;
  const std::string text = readFile(path, why);
  if (!why.empty()) throw Error(Error::Kind::io, formatted(text::kChartLibraryUnreadable, path, why.c_str()));
  // Inside a <script> element, these would end it or change how it is read.
  std::string lower = text;
  std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
  for (const char* ending : {"</script", "<!--"})
    if (lower.find(ending) != std::string::npos)
      throw Error(Error::Kind::io, formatted(text::kChartLibraryNotInlined, path, ending));
  return text;
}

ReportInput reportInput(const Model& model, const std::string& file, const Settings& settings, long seed) {
  ReportInput in;
  in.modelName = model.name();
  in.modelFile = file;
  in.settings = settings;
  in.seed = seed;
  if (model.places() > 0) in.netDot = modelDot(model);
  return in;
}

std::string reportPage(const ReportInput& input) {
  const std::string library = chartLibrary();
  const Drawing drawing = drawNet(input.netDot);
  return filled(kPageTemplate,
                {{"{{drawing}}", drawing.svg}, {"{{data}}", pageData(input, drawing)}, {"{{chart-library}}", library}});
}

void writeReportPage(const std::string& path, const ReportInput& input) {
  const std::string page = reportPage(input);
  RecordFile file;
  std::string why;
  if (!file.open(path, why) || !file.commit(page, why))
    throw Error(Error::Kind::io, formatted(text::kFailedToWriteReport, path.c_str(), why.c_str()));
}

}  // namespace zelbo
