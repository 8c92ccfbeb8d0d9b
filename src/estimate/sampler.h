// One stream of samples: an unfolder with what the estimation adds to it, the paired target
// events of the current unfolding and the scratch of its evaluation.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "unfold/graph.h"
#include "unfold/state.h"

namespace zelbo {

struct EventPair {
  EventId source = kNone;
  EventId destination = kNone;
  // The last reference whose fan-out cone holds the event, -1 for none yet. An event that is
  // the destination of one pair and the source of another has two counters that move alike.
  int sourceRefCounter = -1;
  int destinationRefCounter = -1;
};

// What drawing a place's delay reads, by place number: the delays of an unfolding are drawn
// from a small flat array instead of each place's record and delay record. The inline
// samplers' parameters are copied; the others are drawn from `spec`.
struct PlaceDelay {
  enum class Kind { uniform, exponential, fixed, other };
  // An inline sampler, or other: delaySample with `spec`. uniform only for a uniform delay
  // whose every sample is in range and takes a draw; fixed only for a fixed delay in range
  // (the newest-first draws take it as other, the one pass inline).
  // What the pass over the conditions reads comes first, within half a cache line.
  Kind kind = Kind::other;
  int draws = 0;                    // values a condition's delay takes from the stream: 0 or 1
  double location = 0.0, scale = 0.0, lambda = 0.0;
  DelayType type{};                 // Place::delayType
  const DelaySpec* spec = nullptr;
};
std::vector<PlaceDelay> placeDelays(const Net& net);
// Whether every place has a delay of a known type, so that what a graph's delays draw is
// known before they are drawn; and whether every place's delay takes one draw.
bool drawCountsKnown(const std::vector<PlaceDelay>& delays);
bool everyPlaceDraws(const std::vector<PlaceDelay>& delays);

struct Sampler : Unfolder {
  Sampler(const Net& net, const Settings& settings, long seed)
      : Unfolder(net, settings, seed),
        delays(placeDelays(net)),
        drawsKnown(drawCountsKnown(delays)),
        everyConditionDraws(everyPlaceDraws(delays)),
        critical(settings.criticalDelays) {
    for (std::size_t p = 0; p < delays.size(); ++p) state.places[p].delayDraws = static_cast<std::uint8_t>(delays[p].draws);
  }

  const std::vector<PlaceDelay> delays;    // by place number; the model does not change
  const bool drawsKnown;                   // see drawCountsKnown
  const bool everyConditionDraws;          // a graph's delays take one draw per condition
  const bool critical;                     // count the critical tokens of each outcome
  // The paired events of the current unfolding: the first target's in eventPairs, where the
  // evaluation of a target finds them, the others' beside.
  std::vector<EventPair> eventPairs;
  std::vector<std::vector<EventPair>> otherPairs;
  int evaluated = 0;                       // the target being evaluated

  // Scratch of the evaluation, reused from sample to sample.
  std::vector<std::uint64_t> coneWords;    // reachability: coneWidth words per event
  std::vector<std::uint8_t> coneBytes;     // the same for 8 references, when there are no more
  int coneChunk = -1;                      // the first 64 references the cones hold, or -1
  int coneWidth = 0;                       // how many 64s they hold
  // With many references and few target events, the reach the other way round: the target
  // events each event reaches, two bits a pair (see firing_times.cpp).
  std::vector<std::uint64_t> targetReach;  // targetWidth words per event
  int targetWidth = -1;                    // -1 until built for the current unfolding
  bool byTargets = false;                  // the current unfolding's references use it
  std::uint64_t leapDraws = 0;             // the draws of the last graph's delays
  Random48::Leap leap;                     // and the leap over them
  std::vector<double> instanceValue;
  std::vector<char> instanceEvaluated;
  std::vector<std::pair<EventId, double>> keptTimes;  // reference events' computed times
  std::vector<std::int32_t> eventWeight;   // of the critical tokens' count: 0 between counts
  std::vector<std::int32_t> placeTally;    // by place number: 0 between counts
  std::vector<std::int32_t> tallied;       // the places the last count touched
};

}  // namespace zelbo
