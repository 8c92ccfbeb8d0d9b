#include "cli/record.h"

#include <cstdio>
#include <nlohmann/json.hpp>

namespace zelbo {

namespace {

using json = nlohmann::ordered_json;

// The message without the blank lines and tabs that frame it on standard error.
std::string trimmed(const std::string& text) {
  const auto first = text.find_first_not_of(" \t\n");
  if (first == std::string::npos) return {};
  const auto last = text.find_last_not_of(" \t\n");
  return text.substr(first, last - first + 1);
}

json settingsOf(const RunRecord& r) {
  const Settings& s = *r.settings;
  json error = {{"criterion", s.criterion == ErrorCriterion::absolute ? "absolute" : "relative"},
                {"value", s.criterion == ErrorCriterion::absolute ? s.absoluteError : s.relativeError}};
  return {{"stopping", s.stopping == Stopping::fixed ? "fixed" : "automatic"},
          {"sample_size", s.sampleSize},
          {"error", error},
          {"confidence", s.confidence},
          {"skip", s.skip},
          {"print_period", s.printPeriod},
          {"jobs", r.result ? r.result->jobs : r.jobs},
          {"seed", r.seed}};
}

json targetOf(const Model& model) {
  if (!model.hasTarget()) return nullptr;
  const Target t = model.target();
  return {{"source", t.source},
          {"destination", t.destination},
          {"separation", t.separation},
          {"bound", t.lowerBound ? "lower" : "upper"}};
}

json figuresOf(const TargetResult& t) {
  if (t.unpaired) return {{"unpaired", true}, {"bound", nullptr}, {"half_width", nullptr}, {"discarded", t.discarded}};
  return {{"bound", t.bound},         {"half_width", t.halfWidth}, {"samples", t.samples},
          {"instances", t.instances}, {"discarded", t.discarded},   {"unpaired", false}};
}

// Every target of the run: as the user wrote it, in identifiers, and its figures.
// Every place with a criticality other than 0, the most critical first.
json criticalOf(const TargetResult& t) {
  json places = json::array();
  for (const Criticality& c : t.critical)
    places.push_back({{"place", c.place}, {"place_id", c.identifier}, {"criticality", c.value},
                      {"half_width", c.halfWidth}});
  return places;
}

json targetsOf(const RunRecord& r) {
  if (!r.result) return nullptr;
  json targets = json::array();
  for (const TargetResult& t : r.result->targets) {
    json target = {{"source", t.asked.source},
                   {"destination", t.asked.destination},
                   {"separation", t.asked.separation},
                   {"bound", t.asked.lowerBound ? "lower" : "upper"},
                   {"source_id", t.identifiers.source},
                   {"destination_id", t.identifiers.destination},
                   {"result", figuresOf(t)}};
    if (r.settings && r.settings->criticalDelays) target["critical"] = criticalOf(t);
    targets.push_back(std::move(target));
  }
  return targets;
}

json resultOf(const RunRecord& r) {
  if (!r.result) return nullptr;
  const Result& result = *r.result;
  if (result.unpaired)
    return {{"unpaired", true}, {"bound", nullptr}, {"half_width", nullptr}, {"segments", result.segments}};
  return {{"bound", result.bound},
          {"half_width", result.halfWidth},
          {"samples", result.samples},
          {"instances", result.instances},
          {"segments", result.segments},
          {"discarded", result.discarded},
          {"unpaired", false}};
}

}  // namespace

std::string recordText(const RunRecord& r) {
  json record;
  record["version"] = ZELBO_VERSION;
  record["model"] = {{"file", r.modelFile}, {"name", r.model ? json(r.model->name()) : json(nullptr)}};
  record["target"] = r.model ? targetOf(*r.model) : json(nullptr);
  record["settings"] = settingsOf(r);
  record["result"] = resultOf(r);
  record["targets"] = targetsOf(r);
  record["cpu_seconds"] = r.cpuSeconds;
  record["wall_seconds"] = r.wallSeconds;
  if (r.ranks)
    record["ranks"] = {{"count", r.ranks->ranks},
                       {"threads", r.ranks->threads},
                       {"cpu_seconds", r.cpuSeconds + r.ranks->otherCpuSeconds}};
  if (r.errorMessage.empty()) {
    record["status"] = r.interrupted ? "interrupted" : "ok";
  } else {
    record["status"] = "error";
    json error = {{"message", trimmed(r.errorMessage)}};
    if (!r.errorDetail.empty()) error["detail"] = r.errorDetail;
    record["error"] = error;
  }
  record["exit_status"] = r.exitStatus;
  return record.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

}  // namespace zelbo
