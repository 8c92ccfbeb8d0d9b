// The merge of several samplers: the sequence it takes, whichever thread merges, and the stop
// request asked on the caller's thread.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "estimate/estimation.h"
#include "estimate/parallel.h"
#include "estimate/sampler.h"
#include "netbuild.h"
#include "streams.h"

using namespace testnet;

namespace {

class Parallel : public NetTest {
 protected:
  CapturedStreams streams{settings};
  void SetUp() override {
    settings.stopping = Stopping::fixed;
    settings.printPeriod = 0;
    // Fork/join with random branch delays: every sample differs, so an outcome taken out of
    // turn shows.
    forkJoin();
    for (const char* p : {"p0", "c", "d"}) fixedDelay(p, 0.0);
    expDelay("a", 1.0);
    expDelay("b", 2.0);
    target("fork", "join", 0);
    run();  // prepares the net for firing
  }
  using Sample = std::pair<double, int>;

  // The samples as the merge must take them: outcome k from sampler k mod jobs, each sampler
  // drawing alone on its own stream.
  std::vector<Sample> expectedSamples(long seed, int jobs, int count) {
    std::vector<std::vector<Outcome>> drawn(jobs);
    for (int i = 0; i < jobs; ++i) {
      Sampler sampler(net, settings, 0);
      sampler.rng = samplerStream(seed, i, jobs);
      for (int k = 0; k <= count / jobs + 1; ++k) drawn[i].push_back(drawOutcome(sampler));
    }
    std::vector<Sample> samples;
    for (int k = 0; static_cast<int>(samples.size()) < count; ++k) {
      const Outcome& o = drawn[k % jobs][k / jobs];
      if (o.kind == Outcome::Kind::accepted) samples.emplace_back(o.value, o.groupSize);
    }
    return samples;
  }
};

TEST_F(Parallel, MergeTakesOutcomeKFromSamplerKModJobsWhicheverThreadMerges) {
  settings.sampleSize = 3000;  // several batches of every sampler
  for (int jobs : {2, 5}) {    // 5: more samplers than cores, so merging changes hands often
    const std::vector<Sample> expected = expectedSamples(7, jobs, settings.sampleSize);
    for (int repeat = 0; repeat < 3; ++repeat) {
      std::vector<Sample> taken;
      RunControl control;
      control.onSample = [&](double sum, int size) { taken.emplace_back(sum, size); };
      Result result;
      estimateInParallel(net, settings, 7, jobs, 0.0, {}, result, control);
      ASSERT_EQ(taken, expected) << jobs << " jobs, repeat " << repeat;
      EXPECT_EQ(result.samples, settings.sampleSize);
    }
  }
}

// Rank 0 of two, the other rank's sampler drawing in this process: a batch that comes in empty
// is passed over (it was taken as an outcome from memory never written), and the merge takes
// the sequence of one process with two samplers.
TEST_F(Parallel, AnEmptyBatchIsPassedOver) {
  settings.sampleSize = 3000;
  settings.jobs = 1;
  const std::vector<Sample> expected = expectedSamples(7, 2, settings.sampleSize);
  std::vector<Sample> taken;
  RunControl control;
  control.onSample = [&](double sum, int size) { taken.emplace_back(sum, size); };
  Result result;
  estimateInParallel(net, settings, 7, 1, 0.0, {}, result, control, 2, [&](MergeInbox& inbox) {
    inbox.deliver(1, "", 0.0);
    RankSamplers other(net, settings, 7, 1, 2);
    std::string outcomes;
    double seconds = 0;
    while (!inbox.ended()) {
      if (other.take(0, outcomes, seconds)) inbox.deliver(1, outcomes, seconds);
      else std::this_thread::yield();
    }
    other.stop();
  });
  EXPECT_EQ(taken, expected);
}

TEST_F(Parallel, StopRequestIsAskedOnTheCallersThreadAndEndsTheRun) {
  settings.sampleSize = 2000000000;
  const std::thread::id caller = std::this_thread::get_id();
  int asked = 0;
  bool elsewhere = false;
  RunControl control;
  control.stopRequested = [&] {
    elsewhere = elsewhere || std::this_thread::get_id() != caller;
    return ++asked == 3;
  };
  Result result;
  estimateInParallel(net, settings, 7, 2, 0.0, {}, result, control);
  EXPECT_TRUE(result.interrupted);
  EXPECT_FALSE(elsewhere);
  EXPECT_EQ(asked, 3);
}

}  // namespace
