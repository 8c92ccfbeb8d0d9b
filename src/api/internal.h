// What the entry points share and the public headers do not show: the net a Model holds,
// models made from nets, and out of memory as an error like any other.
#pragma once

#include <memory>
#include <new>
#include <string>
#include <vector>

#include "base/texts.h"
#include "estimate/parallel.h"
#include "net/net.h"
#include "zelbo/zelbo.h"

namespace zelbo {

struct ModelAccess {
  static const Net& net(const Model& model) { return *model.net_; }
  static Model make(std::shared_ptr<const Net> net) { return Model(std::move(net)); }
};

inline const Net& netOf(const Model& model) { return ModelAccess::net(model); }
inline Model modelOf(std::shared_ptr<const Net> net) { return ModelAccess::make(std::move(net)); }

// `model` with the names its source file gives its places and transitions, in id order (a
// name equal to the identifier: none): what a model written out and read back has lost.
Model withWrittenNames(const Model& model, const std::vector<std::string>& places,
                       const std::vector<std::string>& transitions);

// The samplers a process runs in threads: settings.jobs, or one per hardware thread for 0.
int samplerThreads(const Settings& settings);

// estimate() on rank 0 of a run over `ranks` processes of samplerThreads(settings) samplers
// each (estimate/parallel.h): `server` brings in the other ranks' batches. The result counts
// every rank's samplers in `jobs`.
Result estimateOnRanks(const Model& model, const Settings& settings, long seed, const ReportCallback& onReport,
                       const RunControl& control, int ranks, const RankServer& server);

// Runs `f`; running out of memory anywhere below is reported like any other fatal end.
template <class F>
auto reportingOutOfMemory(F&& f) {
  try {
    return f();
  } catch (const std::bad_alloc&) {
    throw Error(Error::Kind::run, text::kOutOfMemory);
  }
}

}  // namespace zelbo
