#include "estimate/parallel.h"

#include <stdio.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "base/capture.h"
#include "base/clock.h"
#include "base/texts.h"
#include "estimate/delivered.h"
#include "estimate/estimation.h"
#include "estimate/outcome_codec.h"
#include "estimate/pairs.h"
#include "estimate/sampler.h"
#include "net/target.h"

namespace zelbo {

Random48 samplerStream(long seed, int i, int n) {
  Random48 stream(seed);
  stream.jump(static_cast<std::uint64_t>(i) * ((std::uint64_t{1} << 48) / static_cast<std::uint64_t>(n)));
  return stream;
}

namespace {

// Outcomes handed over at once: the merge takes a lock per batch, not per outcome. A batch
// also goes once it has taken this long to draw, so that outcomes of large unfoldings reach
// the merge, and the run's end, without waiting for a full batch.
constexpr std::size_t kBatch = 256;
constexpr double kBatchSeconds = 0.005;
// How far a sampler may draw ahead of the merge: enough drawing time that a core held up by
// other work for a while does not stall the other samplers, in few enough batches to keep
// the outcomes' memory small.
constexpr double kAheadSeconds = 0.05;
constexpr std::size_t kQueuedBatches = 128;
constexpr std::size_t kCacheLine = 64;
// How often the thread that started the run asks the caller's stop request while it waits.
constexpr auto kStopRequestPeriod = std::chrono::milliseconds(20);

class Worker;

// The samplers' threads, stopped and joined however the run ends.
struct Crew {
  alignas(kCacheLine) std::atomic<bool> stop{false};  // apart from the merge's own state
  std::vector<std::unique_ptr<Worker>> workers;
  void stopAll();
  ~Crew() { stopAll(); }
};

// The merged sequence. There is no merging thread: a sampler that hands over a batch merges
// what it can, so that no thread has to be woken per batch (on a virtual machine each wake-up
// of a sleeping thread costs the waker an interrupt to the other core). Of two samplers that
// hand over at once, one merges and the other goes back to drawing; `offers_` tells the
// merging one that there is more to take before it lets go.
class alignas(kCacheLine) Merge final : public MergeInbox {
 public:
  Merge(const Settings& settings, double halfAlpha, std::vector<bool> lowerBounds, const ReportCallback& onReport,
        Result& result,
        const RunControl& control)
      : settings_(settings), caller_(control), run_(settings, halfAlpha, std::move(lowerBounds), onReport, result, mergeControl()) {}

  // Called by a sampler after it has handed over a batch.
  void offer();

  // Runs the samplers to the run's end; returns the average TSE of the pair as stored or
  // throws what ended the run fatally. With several ranks, this process runs the first
  // `jobs` samplers and `server` brings in the others'.
  double run(const Net& net, long seed, int jobs, int ranks, const RankServer& server);

  void deliver(int sampler, std::string_view outcomes, double seconds) override;
  std::uint64_t taken(int sampler) const override;
  bool ended() override;

 private:
  // The run's control as the merge sees it: the caller's samples, and a stop request that the
  // thread which started the run has taken from the caller.
  RunControl mergeControl() {
    RunControl control;
    control.onSample = caller_.onSample;
    control.onTargetSample = caller_.onTargetSample;
    if (caller_.stopRequested) control.stopRequested = [this] { return interrupted_.load(); };
    return control;
  }
  void awaitEnd();
  void takeAvailable();
  void end(std::exception_ptr failure);

  const Settings settings_;
  const RunControl caller_;
  Estimation run_;
  const std::function<void(int)> afterNoDiscard_ = [](int) {};  // made once, not per outcome
  std::size_t next_ = 0;  // the sampler of the next outcome
  std::mutex merging_;
  alignas(kCacheLine) std::atomic<unsigned> offers_{0};
  std::atomic<bool> interrupted_{false};
  double nextStopAsk_ = 0.0;  // when ended() asks the caller's stop request again
  std::mutex endMutex_;
  std::condition_variable ended_;
  bool done_ = false;
  std::exception_ptr failure_;
  Crew crew_;  // last, so that the threads are joined before the rest goes
};

// Whole cache lines of its own: what one sampler reads at every firing shares none with what
// another core writes.
class alignas(kCacheLine) Worker {
 public:
  Worker(const Net& net, const Settings& runSettings, Random48 stream, const std::atomic<bool>& stop)
      : net_(net), settings_(runSettings), stream_(stream), stop_(stop) {
    // One capture when the run writes both streams to one file keeps their interleaving.
    settings_.diagnostics = diagnostics_.file();
    settings_.log = runSettings.log == runSettings.diagnostics ? diagnostics_.file() : log_.file();
    sharedStream_ = runSettings.log == runSettings.diagnostics;
  }

  // Starts the sampler's thread; `merge` is null when the batches go to another process. The
  // sampler and its run state are made in its own thread, on its stack, so that their memory
  // comes from that thread and lies apart from the other samplers'.
  void start(Merge* merge) {
    thread_ = std::thread([this, merge] {
      std::optional<Sampler> sampler;
      try {
        sampler.emplace(net_, settings_, 0);
      } catch (...) {  // no memory for it: the run ends when the merge reaches this sampler
        Batch failed;
        Delivered& d = failed.outcomes.emplace_back();
        d.extras = std::make_unique<Extras>();
        d.extras->error = std::current_exception();
        handOver(std::move(failed), merge);
        return;
      }
      sampler->rng = stream_;
      draw(*sampler, merge);
    });
  }

  void join() {
    wake();
    if (thread_.joinable()) thread_.join();
  }

  bool started() const { return thread_.joinable(); }

  void wake() {
    std::lock_guard<std::mutex> lock(mutex_);
    changed_.notify_all();
  }

  // The next outcome of this sampler, or null when it has not been handed over yet. Called
  // by the merge only. A batch may be empty (another rank's, say): the next one is taken.
  Delivered* next() {
    while (position_ == current_.outcomes.size()) {
      if (!takeBatch(current_)) return nullptr;
      position_ = 0;
    }
    return &current_.outcomes[position_++];
  }

  // Moves the oldest batch handed over into `batch`; false when there is none.
  bool takeBatch(Batch& batch) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (queue_.empty()) return false;
    batch = std::move(queue_.front());
    queue_.pop_front();
    queuedSeconds_ -= batch.seconds;
    taken_.fetch_add(1, std::memory_order_relaxed);
    if (waiting_) changed_.notify_all();
    return true;
  }

  // A batch of this sampler drawn in another process; it has no thread here.
  void receive(Batch batch) {
    std::lock_guard<std::mutex> lock(mutex_);
    queuedSeconds_ += batch.seconds;
    queue_.push_back(std::move(batch));
  }

  std::uint64_t taken() const { return taken_.load(std::memory_order_relaxed); }

 private:
  // What the sampler wrote since the last call.
  Written writtenSinceLast() {
    std::string diagnostics = diagnostics_.take();
    std::string log = sharedStream_ ? std::string() : log_.take();
    return Written{std::move(log), std::move(diagnostics)};
  }
  static bool empty(const Written& w) { return w.log.empty() && w.diagnostics.empty(); }
  static Extras& extrasOf(Delivered& d) {
    if (!d.extras) d.extras = std::make_unique<Extras>();
    return *d.extras;
  }
  void keepBody(Delivered& d) {
    Written body = writtenSinceLast();
    if (!empty(body)) extrasOf(d).body = std::move(body);
  }
  // Grows the skip count of each target whose outcome was discarded, as the sampler of a run of
  // its own would, keeping what it writes for the merge to write if it takes the discard.
  void growSkipCounts(Sampler& sampler, Delivered& d) {
    for (std::size_t i = 0; i < d.outcome.targets(); ++i) {
      if (d.outcome.of(i).kind != Outcome::Kind::discarded) continue;
      growSkipCount(sampler, sampler.targets[i], sampler.settings.diagnostics);
      Written trailer = writtenSinceLast();
      if (empty(trailer)) continue;
      std::vector<Written>& trailers = extrasOf(d).trailers;
      trailers.resize(d.outcome.targets());
      trailers[i] = std::move(trailer);
    }
  }

  // Draws outcomes in batches until the run stops or this sampler ends fatally. A batch holds
  // at least one outcome: a thread kept off the processor past a batch's time would otherwise
  // hand over an empty one.
  void draw(Sampler& sampler, Merge* merge) {
    bool last = false;
    while (!last && !stop_) {
      Batch batch;
      batch.outcomes.reserve(kBatch);
      const double started = coarseSeconds();
      while (batch.outcomes.empty() ||
             (batch.outcomes.size() < kBatch && !last && !stop_ && coarseSeconds() - started < kBatchSeconds)) {
        Delivered& d = batch.outcomes.emplace_back();
        try {
          drawOutcome(sampler, d.outcome);
          keepBody(d);
          growSkipCounts(sampler, d);
          last = d.outcome.allUnpaired();
        } catch (...) {
          keepBody(d);
          extrasOf(d).error = std::current_exception();
          last = true;
        }
      }
      batch.seconds = coarseSeconds() - started;
      handOver(std::move(batch), merge);
    }
  }

  // Queues a batch, merges what can be merged, and waits while this sampler is too far ahead.
  void handOver(Batch batch, Merge* merge) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      queuedSeconds_ += batch.seconds;
      queue_.push_back(std::move(batch));
    }
    if (merge) merge->offer();
    std::unique_lock<std::mutex> lock(mutex_);
    waiting_ = true;
    changed_.wait(lock, [&] {
      return (queuedSeconds_ < kAheadSeconds && queue_.size() < kQueuedBatches) || stop_;
    });
    waiting_ = false;
  }

  const Net& net_;
  Settings settings_;
  Random48 stream_;
  Capture diagnostics_, log_;
  bool sharedStream_ = false;
  const std::atomic<bool>& stop_;
  std::thread thread_;

  // What the sampler and the merge share, and what the merge alone writes at every outcome,
  // each on cache lines of its own: the sampler reads its fields above at every outcome, and
  // a line written by the other core would be fetched back each time.
  alignas(kCacheLine) std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Batch> queue_;  // handed over, not yet taken by the merge
  double queuedSeconds_ = 0.0;
  bool waiting_ = false;     // the sampler waits for the merge to take a batch

  alignas(kCacheLine) Batch current_;  // the merge's batch of this sampler
  std::size_t position_ = 0;
  std::atomic<std::uint64_t> taken_{0};  // batches taken from the queue
};

void write(const std::string& text, FILE* stream) {
  if (!text.empty()) fwrite(text.data(), 1, text.size(), stream);
}

void write(const Written& written, const Settings& settings) {
  write(written.diagnostics, settings.diagnostics);
  write(written.log, settings.log);
}

void Merge::offer() {
  // A sampler that finds the merge busy leaves its batch to the merging one, which sees the
  // raised count when it lets go and takes another turn.
  offers_.fetch_add(1);
  while (merging_.try_lock()) {
    const unsigned seen = offers_.load();
    takeAvailable();
    merging_.unlock();
    if (offers_.load() == seen) return;
  }
}

// Takes outcomes in the fixed order while the next one has been handed over. Holds merging_.
void Merge::takeAvailable() {
  try {
    while (!done_) {
      if (!run_.wantsMore()) return end(nullptr);
      Delivered* d = crew_.workers[next_]->next();
      if (!d) return;
      next_ = next_ + 1 == crew_.workers.size() ? 0 : next_ + 1;
      if (!d->extras) {
        run_.take(d->outcome, afterNoDiscard_);
        continue;
      }
      write(d->extras->body, settings_);
      if (d->extras->error) return end(d->extras->error);
      run_.take(d->outcome, [&](int target) {
        if (static_cast<std::size_t>(target) < d->extras->trailers.size()) write(d->extras->trailers[target], settings_);
      });
    }
  } catch (...) {
    end(std::current_exception());
  }
}

void Merge::end(std::exception_ptr failure) {
  crew_.stop = true;
  std::lock_guard<std::mutex> lock(endMutex_);
  done_ = true;
  failure_ = failure;
  ended_.notify_all();
}

void Merge::awaitEnd() {
  std::unique_lock<std::mutex> lock(endMutex_);
  if (!caller_.stopRequested) {
    ended_.wait(lock, [&] { return done_; });
  } else {
    while (!ended_.wait_for(lock, kStopRequestPeriod, [&] { return done_; })) {
      lock.unlock();
      if (!interrupted_ && caller_.stopRequested()) interrupted_ = true;  // once is enough
      lock.lock();
    }
  }
}

double Merge::run(const Net& net, long seed, int jobs, int ranks, const RankServer& server) {
  const int samplers = jobs * ranks;
  for (int i = 0; i < samplers; ++i)
    crew_.workers.push_back(std::make_unique<Worker>(net, settings_, samplerStream(seed, i, samplers), crew_.stop));
  for (int i = 0; i < jobs; ++i) crew_.workers[i]->start(this);
  if (server) server(*this);
  else awaitEnd();
  crew_.stopAll();
  if (failure_) std::rethrow_exception(failure_);
  return run_.finish();
}

void Merge::deliver(int sampler, std::string_view outcomes, double seconds) {
  // Only samplers of other ranks come in this way.
  if (sampler < 0 || static_cast<std::size_t>(sampler) >= crew_.workers.size() || crew_.workers[sampler]->started())
    throw Error(Error::Kind::internal, text::kMalformedMessage);
  Batch batch;
  batch.seconds = seconds;
  for (std::size_t at = 0; at < outcomes.size();) batch.outcomes.push_back(decodeOutcome(outcomes, at));
  crew_.workers[sampler]->receive(std::move(batch));
  offer();
}

std::uint64_t Merge::taken(int sampler) const { return crew_.workers[sampler]->taken(); }

bool Merge::ended() {
  if (caller_.stopRequested && coarseSeconds() >= nextStopAsk_) {
    nextStopAsk_ = coarseSeconds() + std::chrono::duration<double>(kStopRequestPeriod).count();
    if (!interrupted_ && caller_.stopRequested()) interrupted_ = true;
  }
  std::lock_guard<std::mutex> lock(endMutex_);
  return done_;
}

void Crew::stopAll() {
  stop = true;
  for (auto& worker : workers) worker->join();
}

}  // namespace

double estimateInParallel(const Net& net, const Settings& settings, long seed, int jobs, double halfAlpha,
                          const ReportCallback& onReport, Result& result, const RunControl& control, int ranks,
                          const RankServer& server) {
  std::vector<bool> lowerBounds;
  for (const TargetPair* target : targetsOfRun(net)) lowerBounds.push_back(target->lowerBound != 0);
  Merge merge(settings, halfAlpha, std::move(lowerBounds), onReport, result, control);
  return merge.run(net, seed, jobs, ranks, server);
}

struct RankSamplers::Workers {
  Crew crew;
};

RankSamplers::RankSamplers(const Net& net, const Settings& settings, long seed, int rank, int ranks)
    : workers_(std::make_unique<Workers>()) {
  const int jobs = settings.jobs;
  std::vector<std::unique_ptr<Worker>>& workers = workers_->crew.workers;
  for (int t = 0; t < jobs; ++t)
    workers.push_back(
        std::make_unique<Worker>(net, settings, samplerStream(seed, rank * jobs + t, jobs * ranks), workers_->crew.stop));
  for (auto& worker : workers) worker->start(nullptr);
}

RankSamplers::~RankSamplers() = default;

int RankSamplers::threads() const { return static_cast<int>(workers_->crew.workers.size()); }

bool RankSamplers::take(int t, std::string& outcomes, double& seconds) {
  Batch batch;
  if (!workers_->crew.workers[t]->takeBatch(batch)) return false;
  outcomes.clear();
  for (const Delivered& d : batch.outcomes) encodeOutcome(d, outcomes);
  seconds = batch.seconds;
  return true;
}

void RankSamplers::stop() { workers_->crew.stopAll(); }

}  // namespace zelbo
