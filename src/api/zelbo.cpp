// The library's public entry points over the reader, the checks and the estimation.
#include "zelbo/zelbo.h"

#include "zelbo/formats.h"

#include <algorithm>
#include <cmath>
#include <climits>
#include <thread>

#include "api/internal.h"
#include "base/texts.h"
#include "estimate/estimation.h"
#include "estimate/parallel.h"
#include "estimate/sampler.h"
#include "estimate/statistics.h"
#include "net/check.h"
#include "net/firing_index.h"
#include "net/lookup.h"
#include "net/net.h"
#include "net/target.h"

namespace zelbo {

Model::Model(std::shared_ptr<const Net> net) : net_(std::move(net)) {}

Interrupted::Interrupted(Result partial)
    : Error(Error::Kind::run, text::kInterrupted, 130), partial_(std::move(partial)) {}

namespace {

// The targets of the run as asked, in the names the user wrote and in identifiers.
void nameTargets(const Net& net, Result& result) {
  const std::vector<const TargetPair*> pairs = targetsOfRun(net);
  result.targets.resize(pairs.size());
  for (std::size_t i = 0; i < pairs.size(); ++i) {
    const AskedTarget asked = askedTarget(*pairs[i]);
    TargetResult& r = result.targets[i];
    r.identifiers = Target{asked.source->name, asked.destination->name, asked.separation, asked.lowerBound};
    r.asked = r.identifiers;
    r.asked.source = pairs[i]->askedSource.empty() ? writtenName(asked.source) : pairs[i]->askedSource;
    r.asked.destination =
        pairs[i]->askedDestination.empty() ? writtenName(asked.destination) : pairs[i]->askedDestination;
    for (Criticality& c : r.critical) {
      const Place* p = net.placeById[c.index];
      c.identifier = p->name;
      c.place = writtenName(p);
    }
  }
}

}  // namespace

// Any of the three languages of formats.h, without options.
Model Model::readFile(const std::string& path, const DiagnosticHandler& onDiagnostic) {
  ReadOptions options;
  options.onDiagnostic = onDiagnostic;
  return readModel(path, options);
}

Model Model::readText(std::string_view text, const std::string& name, const DiagnosticHandler& onDiagnostic) {
  ReadOptions options;
  options.onDiagnostic = onDiagnostic;
  return readModelText(text, name, options);
}

Model Model::empty() {
  auto net = std::make_shared<Net>();
  prepareFiring(*net);
  return Model(std::move(net));
}

const std::string& Model::name() const { return net_->name; }
int Model::places() const { return net_->numPlaces; }
int Model::transitions() const { return net_->numTrans; }
bool Model::hasTarget() const { return zelbo::hasTarget(*net_); }

Target Model::target() const {
  const AskedTarget asked = askedTarget(*net_->target);
  return {asked.source->name, asked.destination->name, asked.separation, asked.lowerBound};
}

void check(const Model& model, const Settings& settings) {
  std::string reason;
  if (checkModel(netOf(model), settings, &reason) != 0)
    throw Error(Error::Kind::model, text::kModelRejected)
        .note(Error::Note::Kind::info, text::kTerminates)
        .note(Error::Note::Kind::info, "")
        .withDetail(reason);
}

std::vector<SettingsError> settingsErrors(const Settings& s) {
  using Setting = SettingsError::Setting;
  std::vector<SettingsError> errors;
  auto require = [&](bool holds, Setting setting, const char* message) {
    if (!holds) errors.emplace_back(setting, message);
  };
  const auto positive = [](double x) { return x > 0 && std::isfinite(x); };
  require(s.stopping != Stopping::fixed || s.sampleSize >= 1, Setting::sampleSize, text::kBadSampleSize);
  require(s.criterion != ErrorCriterion::relative || positive(s.relativeError), Setting::relativeError,
          text::kBadRelativeError);
  require(s.criterion != ErrorCriterion::absolute || positive(s.absoluteError), Setting::absoluteError,
          text::kBadAbsoluteError);
  require(s.confidence > 0 && s.confidence <= 100, Setting::confidence, text::kBadConfidence);
  require(s.skip >= 0, Setting::skip, text::kBadSkip);
  require(s.jobs >= 0 && s.jobs <= kMaxJobs, Setting::jobs, text::kBadJobs);
  return errors;
}

void validate(const Settings& settings) {
  const std::vector<SettingsError> errors = settingsErrors(settings);
  if (!errors.empty()) throw errors.front();
}

int samplerThreads(const Settings& settings) {
  return settings.jobs > 0 ? settings.jobs : static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
}

namespace {

// estimate() on this process's samplers and, with several ranks, on the other ranks' too.
Result estimateOn(const Model& model, const Settings& settings, long seed, const ReportCallback& onReport,
                  const RunControl& control, int ranks, const RankServer& server) {
  if (settings.jobs < 0 || settings.jobs > kMaxJobs) throw SettingsError(SettingsError::Setting::jobs, text::kBadJobs);
  if (!model.hasTarget()) throw Error(Error::Kind::model, text::kNoTarget);
  return reportingOutOfMemory([&] {
    const double halfAlpha = stoppingQuantile(settings);
    Result result;
    result.seed = seed;
    const int threads = samplerThreads(settings);
    result.jobs = threads * ranks;
    if (result.jobs == 1) {
      Sampler sampler(netOf(model), settings, seed);
      estimateOnOneSampler(sampler, halfAlpha, onReport, result, control);
    } else {
      estimateInParallel(netOf(model), settings, seed, threads, halfAlpha, onReport, result, control, ranks, server);
    }
    nameTargets(netOf(model), result);
    if (result.interrupted) throw Interrupted(std::move(result));
    return result;
  });
}

}  // namespace

Result estimate(const Model& model, const Settings& settings, long seed, const ReportCallback& onReport,
                const RunControl& control) {
  return estimateOn(model, settings, seed, onReport, control, 1, {});
}

Result estimateOnRanks(const Model& model, const Settings& settings, long seed, const ReportCallback& onReport,
                       const RunControl& control, int ranks, const RankServer& server) {
  return estimateOn(model, settings, seed, onReport, control, ranks, server);
}

}  // namespace zelbo
