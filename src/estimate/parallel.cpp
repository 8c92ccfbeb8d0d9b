#include "estimate/parallel.h"

#include <stdio.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/capture.h"
#include "base/clock.h"
#include "estimate/bounds.h"
#include "estimate/pairs.h"
#include "estimate/sampler.h"

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
// Batches a sampler may draw ahead of the merge.
constexpr std::size_t kQueuedBatches = 4;
constexpr std::size_t kCacheLine = 64;

// What a sampler wrote to the run's two streams.
struct Written {
  std::string log, diagnostics;
};

// What is rare: output while drawing, and a fatal end.
struct Extras {
  Written body;                // while drawing the outcome
  Written trailer;             // while growing the skip count after a discarded outcome
  std::exception_ptr error;    // the drawing ended fatally
};

struct Delivered {
  Outcome outcome;
  std::unique_ptr<Extras> extras;  // none when the drawing wrote nothing and ended well
};

using Batch = std::vector<Delivered>;

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

  // The sampler and its run state are made in its own thread, so that their memory comes from
  // that thread's allocation arena and lies apart from the other samplers'.
  void start() {
    thread_ = std::thread([this] {
      try {
        sampler_ = std::make_unique<Sampler>(net_, settings_, 0);
      } catch (...) {  // no memory for it: the run ends when the merge reaches this sampler
        Batch failed(1);
        failed[0].extras = std::make_unique<Extras>();
        failed[0].extras->error = std::current_exception();
        handOver(std::move(failed));
        return;
      }
      sampler_->rng = stream_;
      draw();
    });
  }

  void join() {
    wake();
    if (thread_.joinable()) thread_.join();
  }

  void wake() {
    std::lock_guard<std::mutex> lock(mutex_);
    changed_.notify_all();
  }

  // The next outcome of this sampler; waits for it.
  Delivered& next() {
    if (position_ == current_.size()) {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [&] { return !queue_.empty(); });
      current_ = std::move(queue_.front());
      queue_.pop_front();
      position_ = 0;
      changed_.notify_all();
    }
    return current_[position_++];
  }

 private:
  // Moves what the sampler wrote since the last call into `d`'s body or trailer.
  void keepWritten(Delivered& d, Written Extras::*part) {
    std::string diagnostics = diagnostics_.take();
    std::string log = sharedStream_ ? std::string() : log_.take();
    if (diagnostics.empty() && log.empty()) return;
    if (!d.extras) d.extras = std::make_unique<Extras>();
    ((*d.extras).*part) = Written{std::move(log), std::move(diagnostics)};
  }

  // Draws outcomes in batches until the run stops or this sampler ends fatally.
  void draw() {
    bool last = false;
    while (!last && !stop_) {
      Batch batch;
      batch.reserve(kBatch);
      const double started = coarseSeconds();
      while (batch.size() < kBatch && !last && !stop_ && coarseSeconds() - started < kBatchSeconds) {
        Delivered& d = batch.emplace_back();
        try {
          d.outcome = drawOutcome(*sampler_);
          keepWritten(d, &Extras::body);
          if (d.outcome.kind == Outcome::Kind::discarded) {
            PRYXIncreaseSegmentHistory(*sampler_);
            keepWritten(d, &Extras::trailer);
          }
          last = d.outcome.kind == Outcome::Kind::unpaired;
        } catch (...) {
          keepWritten(d, &Extras::body);
          if (!d.extras) d.extras = std::make_unique<Extras>();
          d.extras->error = std::current_exception();
          last = true;
        }
      }
      handOver(std::move(batch));
    }
  }

  // Queues a batch for the merge, waiting while the queue is full.
  void handOver(Batch batch) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return queue_.size() < kQueuedBatches || stop_; });
    queue_.push_back(std::move(batch));
    changed_.notify_all();
  }

  const Net& net_;
  Settings settings_;
  Random48 stream_;
  Capture diagnostics_, log_;
  bool sharedStream_ = false;
  std::unique_ptr<Sampler> sampler_;
  const std::atomic<bool>& stop_;
  std::thread thread_;

  // What the sampler and the merge share, and what the merge alone writes at every outcome,
  // each on cache lines of its own: the sampler reads its fields above at every outcome, and
  // a line written by the other core would be fetched back each time.
  alignas(kCacheLine) std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Batch> queue_;    // handed over, not yet taken by the merge

  alignas(kCacheLine) Batch current_;  // the merge's batch of this sampler
  std::size_t position_ = 0;
};

void write(const std::string& text, FILE* stream) {
  if (!text.empty()) fwrite(text.data(), 1, text.size(), stream);
}

void write(const Written& written, const Settings& settings) {
  write(written.diagnostics, settings.diagnostics);
  write(written.log, settings.log);
}

// Stops and joins the samplers however the merge ends.
struct Crew {
  alignas(kCacheLine) std::atomic<bool> stop{false};  // apart from the merge's own state
  std::vector<std::unique_ptr<Worker>> workers;
  ~Crew() {
    stop = true;
    for (auto& worker : workers) worker->join();
  }
};

}  // namespace

double boundsInParallel(const Net& net, const Settings& settings, long seed, int jobs, double halfAlpha,
                        const ReportCallback& onReport, Result& result, const RunControl& control) {
  Crew crew;
  for (int i = 0; i < jobs; ++i)
    crew.workers.push_back(std::make_unique<Worker>(net, settings, samplerStream(seed, i, jobs), crew.stop));
  for (auto& worker : crew.workers) worker->start();

  Estimation run(settings, halfAlpha, net.target->lowerBound != 0, onReport, result, control);
  const std::function<void()> nothing = [] {};
  for (std::size_t k = 0; run.wantsMore(); k = k + 1 == crew.workers.size() ? 0 : k + 1) {
    Delivered& d = crew.workers[k]->next();
    if (!d.extras) {
      run.take(d.outcome, nothing);
      continue;
    }
    write(d.extras->body, settings);
    if (d.extras->error) std::rethrow_exception(d.extras->error);
    run.take(d.outcome, [&] { write(d.extras->trailer, settings); });
  }
  return run.finish();
}

}  // namespace zelbo
