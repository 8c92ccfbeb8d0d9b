// The command line over MPI. Rank 0 runs the command line; when it comes to the estimation,
// it sends the others the run (its settings and the bytes of its input files), and they draw
// on their samplers' streams and send their outcomes back in batches. Each sampler of another
// rank may have so much drawing time in flight, sent and not yet taken by the merge; rank 0
// tells each rank what the merge took, and tells them all to stop at the run's end. Every MPI
// call is made on a process's main thread, which looks for messages and sleeps between looks,
// so that no rank spins on a core its samplers need. A rank that dies ends the job through
// the launcher, which takes down the others. MPI itself is reached through the module that
// cli/mpi_calls.h describes, loaded only here.
#include <dlfcn.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <list>
#include <string>
#include <thread>
#include <vector>

#include "api/internal.h"
#include "base/bytes.h"
#include "base/clock.h"
#include "base/format.h"
#include "base/texts.h"
#include "cli/mpi_calls.h"
#include "cli/ranks.h"
#include "estimate/delivered.h"
#include "estimate/outcome_codec.h"
#include "zelbo/formats.h"

namespace zelbo {

namespace {

enum Tag : int {
  kRunTag = 1,  // rank 0 to the others: the run
  kBatchTag,    // to rank 0: a batch of a sampler's outcomes
  kTakenTag,    // rank 0 to a rank: the batches of each of its samplers that the merge took
  kStopTag,     // rank 0 to the others: the run has ended, or none starts
  kDoneTag,     // to rank 0: stopped, with the processor seconds used
};

// How long a process's main thread sleeps when it found nothing to do: short beside the
// drawing time a sampler may have in flight, long beside the few microseconds of a look.
constexpr auto kPollPeriod = std::chrono::microseconds(1000);
// What a sampler of another rank may have in flight besides what it queues as a thread does:
// drawing time, and batches.
constexpr double kInFlightSeconds = 0.05;
constexpr std::uint64_t kInFlightBatches = 64;

void sleepAPeriod() { std::this_thread::sleep_for(kPollPeriod); }

const MpiCalls* mpi = nullptr;  // once loaded

struct Message {
  int source = 0;
  int tag = 0;
  std::string bytes;
};

// Receives a message when one has arrived (from `source`, -1 for any); never waits.
bool receive(Message& message, int source = -1) {
  int count = 0;
  if (!mpi->arrived(source, &message.source, &message.tag, &count)) return false;
  message.bytes.resize(static_cast<std::size_t>(count));
  mpi->receive(message.bytes.data(), count, message.source, message.tag);
  return true;
}

// Messages on their way, each kept until MPI is done with its bytes.
class Sends {
 public:
  void send(int to, int tag, std::string bytes) {
    Pending& p = pending_.emplace_back();  // a list: the bytes never move
    p.bytes = std::move(bytes);
    p.request = mpi->send(p.bytes.data(), static_cast<int>(p.bytes.size()), to, tag);
  }
  void progress() {
    for (auto p = pending_.begin(); p != pending_.end();) p = mpi->done(p->request) ? pending_.erase(p) : std::next(p);
  }
  // Waits, sleeping between looks, until every message has been taken.
  void finish() {
    for (progress(); !pending_.empty(); progress()) sleepAPeriod();
  }

 private:
  struct Pending {
    std::string bytes;
    void* request = nullptr;
  };
  std::list<Pending> pending_;
};

std::string encodeRun(const RankRun& run) {
  std::string bytes;
  ByteWriter w(bytes);
  const Settings& s = run.settings;
  w.put(s.verbose);
  w.put(s.stopping);
  w.put(s.sampleSize);
  w.put(s.criterion);
  w.put(s.relativeError);
  w.put(s.absoluteError);
  w.put(s.confidence);
  w.put(s.printPeriod);
  w.put(s.skip);
  w.put(s.unfoldTimes);
  w.put(s.jobs);
  w.put(s.criticalDelays);
  w.put(static_cast<std::int64_t>(run.seed));
  w.put(run.sharedStream);
  w.putText(run.modelFile);
  w.putText(run.annotations);
  w.putText(run.defaultDelay);
  w.put(static_cast<std::uint64_t>(run.targets.size()));
  for (const Target& t : run.targets) {
    w.putText(t.source);
    w.putText(t.destination);
    w.put(t.separation);
    w.put(t.lowerBound);
  }
  w.put(static_cast<std::uint64_t>(run.files.size()));
  for (const auto& [path, content] : run.files) {
    w.putText(path);
    w.putText(content);
  }
  return bytes;
}

RankRun decodeRun(const std::string& bytes) {
  std::size_t at = 0;
  ByteReader r(bytes, at);
  RankRun run;
  Settings& s = run.settings;
  s.verbose = r.get<int>();
  s.stopping = r.get<Stopping>();
  s.sampleSize = r.get<int>();
  s.criterion = r.get<ErrorCriterion>();
  s.relativeError = r.get<double>();
  s.absoluteError = r.get<double>();
  s.confidence = r.get<double>();
  s.printPeriod = r.get<int>();
  s.skip = r.get<int>();
  s.unfoldTimes = r.get<int>();
  s.jobs = r.get<int>();
  s.criticalDelays = r.get<bool>();
  run.seed = static_cast<long>(r.get<std::int64_t>());
  run.sharedStream = r.get<bool>();
  run.modelFile = r.getText();
  run.annotations = r.getText();
  run.defaultDelay = r.getText();
  for (auto targets = r.get<std::uint64_t>(); targets > 0; --targets) {
    Target& t = run.targets.emplace_back();
    t.source = r.getText();
    t.destination = r.getText();
    t.separation = r.get<int>();
    t.lowerBound = r.get<bool>();
  }
  for (auto files = r.get<std::uint64_t>(); files > 0; --files) {
    std::string path = r.getText();
    run.files.emplace_back(std::move(path), r.getText());
  }
  if (s.jobs < 1 || !r.atEnd()) throw Error(Error::Kind::internal, text::kMalformedMessage);
  return run;
}

std::string processorSecondsBytes() {
  std::string bytes;
  ByteWriter(bytes).put(processorSeconds());
  return bytes;
}

// Rank 0's side.
class FirstRank final : public OtherRanks {
 public:
  explicit FirstRank(int ranks) : ranks_(ranks) {}
  int ranks() const override { return ranks_; }

  void serve(const RankRun& run, MergeInbox& inbox) override {
    started_ = true;
    sendToOthers(kRunTag, encodeRun(run));
    try {
      bringBatches(inbox, run.settings.jobs);
    } catch (...) {
      stopOthers();
      throw;
    }
    stopOthers();
  }

  double finish() override {
    if (!started_) {
      started_ = true;
      stopOthers();
    }
    return otherCpuSeconds_;
  }

 private:
  void sendToOthers(int tag, const std::string& bytes) {
    for (int rank = 1; rank < ranks_; ++rank) sends_.send(rank, tag, bytes);
  }

  void bringBatches(MergeInbox& inbox, int threads) {
    std::vector<std::uint64_t> told(static_cast<std::size_t>(ranks_) * threads, 0);
    Message message;
    while (!inbox.ended()) {
      bool busy = false;
      while (!inbox.ended() && receive(message)) {
        busy = true;
        if (message.tag != kBatchTag) throw Error(Error::Kind::internal, text::kMalformedMessage);
        std::size_t at = 0;
        ByteReader r(message.bytes, at);
        const auto sampler = r.get<std::int32_t>();
        const auto seconds = r.get<double>();
        if (sampler / threads != message.source) throw Error(Error::Kind::internal, text::kMalformedMessage);
        inbox.deliver(sampler, std::string_view(message.bytes).substr(at), seconds);
      }
      for (int rank = 1; rank < ranks_; ++rank) tellTaken(inbox, rank, threads, told);
      sends_.progress();
      if (!busy) sleepAPeriod();
    }
  }

  // Tells a rank what the merge took of its samplers' batches, when that changed.
  void tellTaken(MergeInbox& inbox, int rank, int threads, std::vector<std::uint64_t>& told) {
    std::string bytes;
    ByteWriter w(bytes);
    bool changed = false;
    for (int t = 0; t < threads; ++t) {
      const int sampler = rank * threads + t;
      const std::uint64_t taken = inbox.taken(sampler);
      changed = changed || taken != told[sampler];
      told[sampler] = taken;
      w.put(taken);
    }
    if (changed) sends_.send(rank, kTakenTag, std::move(bytes));
  }

  // Tells the others to stop and waits until each has: what they send before is dropped.
  void stopOthers() {
    sendToOthers(kStopTag, {});
    Message message;
    for (int left = ranks_ - 1; left > 0;) {
      sends_.progress();
      if (!receive(message)) {
        sleepAPeriod();
        continue;
      }
      if (message.tag != kDoneTag) continue;
      std::size_t at = 0;
      otherCpuSeconds_ += ByteReader(message.bytes, at).get<double>();
      --left;
    }
    sends_.finish();
  }

  int ranks_;
  bool started_ = false;
  double otherCpuSeconds_ = 0;
  Sends sends_;
};

// The drawing time and batches a sampler of this rank has in flight.
struct InFlight {
  std::uint64_t sent = 0, taken = 0;
  std::deque<double> seconds;  // of the batches sent and not taken, oldest first
  double total = 0;
  bool mayDraw() const { return sent - taken < kInFlightBatches && total < kInFlightSeconds; }
  void sendOne(double s) {
    ++sent;
    seconds.push_back(s);
    total += s;
  }
  void takenUpTo(std::uint64_t count) {
    for (; taken < count && !seconds.empty(); ++taken) {
      total -= seconds.front();
      seconds.pop_front();
    }
  }
};

std::string batchMessage(int sampler, double seconds, const std::string& outcomes) {
  std::string bytes;
  ByteWriter w(bytes);
  w.put(static_cast<std::int32_t>(sampler));
  w.put(seconds);
  bytes += outcomes;
  return bytes;
}

// A rank whose model cannot be built ends the run when the merge reaches its first outcome.
void sendFailure(Sends& sends, int rank, int threads, std::exception_ptr failure) {
  Delivered failed;
  failed.extras = std::make_unique<Extras>();
  failed.extras->error = failure;
  std::string outcome;
  encodeOutcome(failed, outcome);
  for (int t = 0; t < threads; ++t) sends.send(0, kBatchTag, batchMessage(rank * threads + t, 0.0, outcome));
}

// Draws on this rank's samplers until rank 0 says stop.
void drawForRankZero(const RankRun& run, int rank, int ranks, Sends& sends) {
  ReadOptions options;
  options.annotations = run.annotations;
  options.defaultDelay = run.defaultDelay;
  options.fileSource = [&run](const std::string& path) -> std::optional<std::string> {
    for (const auto& [name, content] : run.files)
      if (name == path) return content;
    return std::nullopt;
  };
  // The samplers write to captures of their own; these stand for rank 0's streams.
  FILE* log = fopen("/dev/null", "w");
  FILE* diagnostics = run.sharedStream ? log : fopen("/dev/null", "w");
  Settings settings = run.settings;
  settings.log = log;
  settings.diagnostics = diagnostics;
  const int threads = settings.jobs;
  std::unique_ptr<RankSamplers> samplers;
  std::optional<Model> model;
  try {
    model = readModel(run.modelFile, options);
    if (!run.targets.empty()) {
      std::vector<TargetRequest> requests;
      for (const Target& t : run.targets) requests.push_back(TargetRequest{t, std::nullopt});
      model = withTargets(*model, requests);
    }
    samplers = std::make_unique<RankSamplers>(netOf(*model), settings, run.seed, rank, ranks);
  } catch (...) {
    sendFailure(sends, rank, threads, std::current_exception());
  }
  std::vector<InFlight> inFlight(threads);
  Message message;
  std::string outcomes;
  for (bool stop = false; !stop;) {
    bool busy = false;
    while (!stop && receive(message, 0)) {
      busy = true;
      if (message.tag == kStopTag) stop = true;
      if (message.tag != kTakenTag) continue;
      std::size_t at = 0;
      ByteReader r(message.bytes, at);
      for (InFlight& f : inFlight) f.takenUpTo(r.get<std::uint64_t>());
    }
    for (int t = 0; samplers && !stop && t < threads; ++t) {
      double seconds = 0;
      while (inFlight[t].mayDraw() && samplers->take(t, outcomes, seconds)) {
        sends.send(0, kBatchTag, batchMessage(rank * threads + t, seconds, outcomes));
        inFlight[t].sendOne(seconds);
        busy = true;
      }
    }
    sends.progress();
    if (!busy) sleepAPeriod();
  }
  samplers.reset();  // stops them
  if (diagnostics != log && diagnostics) fclose(diagnostics);
  if (log) fclose(log);
}

// A rank after the first: waits for the run (or for none), draws, and says when it stopped.
int helpRankZero(int rank, int ranks) {
  Sends sends;
  Message message;
  while (!receive(message, 0)) sleepAPeriod();
  if (message.tag == kRunTag) drawForRankZero(decodeRun(message.bytes), rank, ranks, sends);
  else if (message.tag != kStopTag) throw Error(Error::Kind::internal, text::kMalformedMessage);
  sends.finish();
  sends.send(0, kDoneTag, processorSecondsBytes());
  sends.finish();
  return 0;
}

// The module beside the program (a build tree), or where it is installed relative to it.
const MpiCalls* loadMpi(std::string& why) {
  char program[4096];
  const ssize_t length = readlink("/proc/self/exe", program, sizeof program);
  if (length <= 0 || static_cast<std::size_t>(length) >= sizeof program) {
    why = "cannot find the program's directory";
    return nullptr;
  }
  const std::string path(program, static_cast<std::size_t>(length));
  const std::string directory = path.substr(0, path.find_last_of('/') + 1);
  for (const std::string& place : {directory + "zelbo_mpi.so", directory + ZELBO_MPI_MODULE}) {
    // Global, so that the components Open MPI loads in turn find its symbols.
    if (void* module = dlopen(place.c_str(), RTLD_NOW | RTLD_GLOBAL)) {
      if (auto calls = reinterpret_cast<const MpiCalls* (*)()>(dlsym(module, "zelboMpiCalls"))) return calls();
    }
    if (why.empty()) why = dlerror();
  }
  return nullptr;
}

}  // namespace

int runOnRanks(int argc, char** argv, CommandLine commandLine) {
  std::string why;
  mpi = loadMpi(why);
  if (!mpi) {
    // Every rank would end alike: only the first says why.
    if (launchedRank() == 0)
      fputs(printedText(Error(Error::Kind::internal, formatted(text::kNoMpiModule, why.c_str()))).c_str(), stderr);
    return 1;
  }
  int rank = 0, size = 1;
  const bool threadsAllowed = mpi->start(&argc, &argv, &rank, &size);
  int status = 0;
  if (!threadsAllowed) {
    if (rank == 0) fputs(printedText(Error(Error::Kind::internal, text::kMpiThreads)).c_str(), stderr);
    status = 1;
  } else if (size == 1) {
    status = commandLine(argc, argv, nullptr);
  } else if (rank == 0) {
    FirstRank others(size);
    status = commandLine(argc, argv, &others);
    others.finish();
  } else {
    try {
      status = helpRankZero(rank, size);
    } catch (const Error& error) {
      // The protocol's own fault: nothing of it can be trusted to end the job in order.
      fputs(printedText(error).c_str(), stderr);
      fflush(stderr);
      mpi->abort(1);
    }
  }
  fflush(nullptr);
  mpi->finish();
  return status;
}

}  // namespace zelbo
