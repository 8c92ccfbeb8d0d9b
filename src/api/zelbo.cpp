// The library's public entry points over the reader, the checks and the estimation.
#include "zelbo/zelbo.h"

#include "zelbo/formats.h"

#include <algorithm>
#include <new>
#include <thread>

#include "base/wrap.h"
#include "estimate/estimation.h"
#include "estimate/parallel.h"
#include "estimate/sampler.h"
#include "estimate/statistics.h"
#include "net/check.h"
#include "net/net.h"
#include "language/reader.h"
#include "net/build.h"

namespace zelbo {

namespace {

// Running out of memory anywhere below is reported like any other fatal end.
template <class F>
auto reportingOutOfMemory(F&& f) {
  try {
    return f();
  } catch (const std::bad_alloc&) {
    throw Error("\n\tError: Out of memory.\n", 1);
  }
}

}  // namespace

Model::Model(std::shared_ptr<Net> net) : net_(std::move(net)) {}

// Any of the three languages of formats.h, without options.
Model Model::readFile(const std::string& path, FILE* diagnostics) { return readModel(path, ReadOptions{}, diagnostics); }

Model Model::readText(std::string_view text, const std::string& name, FILE* diagnostics) {
  return readModelText(text, name, ReadOptions{}, diagnostics);
}

Model Model::empty() {
  auto net = std::make_shared<Net>();
  prepareFiring(*net);
  return Model(std::move(net));
}

const std::string& Model::name() const { return net_->name; }
int Model::places() const { return net_->numPlaces; }
int Model::transitions() const { return net_->numTrans; }
bool Model::hasTarget() const { return net_->target && net_->target->source && net_->target->destination; }

Target Model::target() const {
  const TargetPair& stored = *net_->target;
  // A lower bound is held mirrored; the target as asked swaps it back.
  if (stored.lowerBound)
    return {stored.destination->name, stored.source->name, wrapNeg(stored.separation), true};
  return {stored.source->name, stored.destination->name, stored.separation, false};
}

void check(const Model& model, const Settings& settings) {
  std::string reason;
  if (checkModel(model.net(), settings, &reason) != 0)
    throw Error("\n\tError: Incorrect or incomplete spec.\n\tInfo : PRYX Solver terminates.\n\n", 1,
                Error::Kind::model, reason);
}

Result estimate(const Model& model, const Settings& settings, long seed, const ReportCallback& onReport,
                const RunControl& control) {
  if (!model.hasTarget()) throw Error("\n\tError: No valid target TSE spec.\n", 1, Error::Kind::model);
  return reportingOutOfMemory([&] {
    const double halfAlpha = stoppingQuantile(settings);
    Result result;
    result.seed = seed;
    result.jobs = settings.jobs > 0 ? settings.jobs : static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    if (result.jobs == 1) {
      Sampler sampler(model.net(), settings, seed);
      estimateOnOneSampler(sampler, halfAlpha, onReport, result, control);
    } else {
      estimateInParallel(model.net(), settings, seed, result.jobs, halfAlpha, onReport, result, control);
    }
    return result;
  });
}

}  // namespace zelbo
