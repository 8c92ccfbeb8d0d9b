// The estimation with several samplers in threads over one model, merged in a fixed order,
// and the same with the samplers spread over several processes.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "base/random.h"
#include "net/net.h"
#include "zelbo/zelbo.h"

namespace zelbo {

// The stream of sampler i of n: the seed's stream advanced by i * floor(2^48 / n) draws, so
// that the n streams share no number until one of them has drawn 2^48 / n numbers.
Random48 samplerStream(long seed, int i, int n);

// A run over several processes ("ranks"): rank r runs samplers r * threads + t (t < threads)
// of ranks * threads, and rank 0 merges them all in the fixed order, as one process with
// ranks * threads samplers would. The library moves outcomes between threads; what moves
// them between ranks (the command line's MPI link) sees the run through the two views below.

// Rank 0's merge, as what brings it the other ranks' batches sees it. Called only on the
// thread that started the run.
class MergeInbox {
 public:
  // Hands in the next batch of sampler `sampler` (its outcomes one after the other, as
  // encodeOutcome writes them, drawn in `seconds`) and merges what can be merged.
  virtual void deliver(int sampler, std::string_view outcomes, double seconds) = 0;
  // Batches of sampler `sampler` that the merge has taken so far.
  virtual std::uint64_t taken(int sampler) const = 0;
  // True once the run has ended; asks the caller's stop request on the way.
  virtual bool ended() = 0;

 protected:
  ~MergeInbox() = default;
};

// Runs on the thread that started the run, in place of its wait for the end: hands the other
// ranks' batches to the inbox until it has ended, stops the other ranks, and returns.
using RankServer = std::function<void(MergeInbox& inbox)>;

// Runs the estimation with `jobs` samplers in this process (2 or more when `ranks` is 1),
// sampler i drawing from samplerStream(seed, i, jobs * ranks); with more ranks, `server`
// brings in the samplers jobs .. jobs * ranks - 1 of the others. The run takes outcome k from
// sampler k mod (jobs * ranks), each sampler in its own order, so that its result and its
// output do not depend on the threads' scheduling: what a sampler writes while drawing an
// outcome is held back and written when the run takes that outcome, and a fatal error is
// thrown when the run reaches it. Outcomes drawn past the run's end are dropped. Returns the
// average TSE of the pair as stored.
double estimateInParallel(const Net& net, const Settings& settings, long seed, int jobs, double halfAlpha,
                          const ReportCallback& onReport, Result& result, const RunControl& control = {},
                          int ranks = 1, const RankServer& server = {});

// The samplers of a rank after the first, `settings.jobs` of them: they draw, each in its
// thread, and hand their batches, encoded, to what sends them to rank 0; each may queue as
// much as a sampler of one process may. `settings.log` and `settings.diagnostics` stand for
// rank 0's streams: equal when rank 0 writes both to one stream.
class RankSamplers {
 public:
  RankSamplers(const Net& net, const Settings& settings, long seed, int rank, int ranks);  // starts them
  ~RankSamplers();  // stops them
  int threads() const;
  // Moves the oldest batch that thread t handed over into `outcomes` (encoded) and its
  // drawing time into `seconds`; false when none is waiting.
  bool take(int t, std::string& outcomes, double& seconds);
  void stop();

 private:
  struct Workers;
  std::unique_ptr<Workers> workers_;
};

}  // namespace zelbo
