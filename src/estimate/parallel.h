// The estimation with several samplers in threads over one model, merged in a fixed order.
#pragma once

#include "base/random.h"
#include "net/net.h"
#include "zelbo/zelbo.h"

namespace zelbo {

// The stream of sampler i of n: the seed's stream advanced by i * floor(2^48 / n) draws, so
// that the n streams share no number until one of them has drawn 2^48 / n numbers.
Random48 samplerStream(long seed, int i, int n);

// Runs the estimation with `jobs` (2 or more) samplers, sampler i drawing from
// samplerStream(seed, i, jobs). The run takes outcome k from sampler k mod jobs, each sampler
// in its own order, so that its result and its output do not depend on the threads'
// scheduling: what a sampler writes while drawing an outcome is held back and written when
// the run takes that outcome, and a fatal error is thrown when the run reaches it. Outcomes
// drawn past the run's end are dropped. Returns the average TSE of the pair as stored.
double estimateInParallel(const Net& net, const Settings& settings, long seed, int jobs, double halfAlpha,
                        const ReportCallback& onReport, Result& result, const RunControl& control = {});

}  // namespace zelbo
