// The target as the model stores it and as the user asked it. A lower bound from a to b at
// separation k is stored as the upper bound from b to a at separation -k, mirrored: the
// estimation then takes every target as an upper bound.
#pragma once

#include <vector>

#include "base/wrap.h"
#include "net/net.h"

namespace zelbo {

// The target as asked: the stored pair, mirrored back for a lower bound.
struct AskedTarget {
  const Trans* source;
  const Trans* destination;
  int separation;
  bool lowerBound;
};

// True when the model has a target with both transitions.
inline bool hasTarget(const Net& net) { return net.target && net.target->source && net.target->destination; }

// A pair as the model stores it, with no names asked for it.
inline TargetPair targetPair(Trans* source, Trans* destination, int separation, int lowerBound) {
  TargetPair pair;
  pair.source = source;
  pair.destination = destination;
  pair.separation = separation;
  pair.lowerBound = lowerBound;
  return pair;
}

// The pair to store for an upper bound asked as `pair` with `.lb`: mirrored, marked lower.
inline TargetPair lowerBoundPair(const TargetPair& pair) {
  return targetPair(pair.destination, pair.source, wrapNeg(pair.separation), 1);
}

// The stored pair for the target asked as (source, destination, separation), as `.tse` and
// `.lb` give it.
inline TargetPair storedTarget(Trans* source, Trans* destination, int separation, bool lowerBound) {
  const TargetPair asked = targetPair(source, destination, separation, 0);
  return lowerBound ? lowerBoundPair(asked) : asked;
}

// The targets a run estimates, in order: those asked by name, or else the model's target.
inline std::vector<const TargetPair*> targetsOfRun(const Net& net) {
  if (!net.runTargets.empty()) return {net.runTargets.begin(), net.runTargets.end()};
  if (hasTarget(net)) return {net.target};
  return {};
}

inline AskedTarget askedTarget(const TargetPair& stored) {
  if (stored.lowerBound) return {stored.destination, stored.source, wrapNeg(stored.separation), true};
  return {stored.source, stored.destination, stored.separation, false};
}

}  // namespace zelbo
