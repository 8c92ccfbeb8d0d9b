// Builds small nets for unit tests through the model's construction operations.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "delay/delay.h"
#include "driver/globals.h"
#include "spec/net.h"
#include "spec/read.h"
#include "unfold/enabled.h"
#include "unfold/graph.h"

namespace testnet {

inline Place* place(const std::string& name) { return MustGetPlace(gNet, name.c_str()); }
inline Trans* trans(const std::string& name) { return MustGetTrans(gNet, name.c_str()); }

// Arcs "p -> t" and "t -> p".
inline void in(const std::string& p, const std::string& t) { setInputPlace(trans(t), place(p)); }
inline void out(const std::string& t, const std::string& p) { setOutputPlace(trans(t), place(p)); }

// A place's output transitions with branch probabilities, in this order.
inline void branches(const std::string& p, const std::vector<std::pair<std::string, double>>& choice) {
  std::vector<TransNode> nodes;
  for (const auto& [t, prob] : choice) nodes.push_back(TransNode{prob, trans(t)});
  replacePlacePoset(place(p), nodes);
}

inline void mark(const std::string& p, int count = 1) { markInitPlace(gNet, place(p), count); }

inline void fixedDelay(const std::string& p, double value) {
  auto spec = std::make_unique<DelaySpec>();
  spec->type = FIX;
  spec->location = value;
  attachDelaySpec(gNet, place(p), std::move(spec));
}

inline void expDelay(const std::string& p, double lambda) {
  auto spec = std::make_unique<DelaySpec>();
  spec->type = EXP;
  spec->scale = 1.0;
  spec->lambda = lambda;
  attachDelaySpec(gNet, place(p), std::move(spec));
}

inline void target(const std::string& source, const std::string& destination, int separation, int lowerBound = 0) {
  auto pair = std::make_unique<TransPair>();
  pair->source = trans(source);
  pair->destination = trans(destination);
  pair->separation = separation;
  pair->lowerBound = lowerBound;
  gTargetTransPair = pair.get();
  gNet->targetPairs.push_back(std::move(pair));
}

// A ring t0 -> p1 -> t1 -> ... -> p0 -> t0 of n places, p0 marked, every delay fixed.
inline void ring(int n, double delay = 1.0) {
  for (int i = 0; i < n; ++i) {
    const std::string p = "p" + std::to_string(i), t = "t" + std::to_string(i);
    in(p, t);
    out(t, "p" + std::to_string((i + 1) % n));
    fixedDelay(p, delay);
  }
  mark("p0");
}

// What unfold does before its segments: the enabled list and the initial conditions. Tests
// then fire transitions in an order of their choosing.
inline void startUnfolding() {
  updateEnabledList();
  UnfoldNet& graph = *gUnfoldNet;
  for (Place* p : gNet->initMarking) {
    p->lastCond = static_cast<CondId>(graph.conds.size());
    graph.conds.push_back(Cond{p, p->condCount++, 0.0, kNone, kNone});
    if (p->condCount == 1) graph.initConds.push_back(p->lastCond);
  }
}

inline void fire(const std::string& t) { instance(gNet, gUnfoldNet, trans(t)); }

// p0 -> fork -> a, b; a -> ta -> c; b -> tb -> d; c, d -> join -> p0; p0 marked, no delays.
inline void forkJoin() {
  in("p0", "fork");
  out("fork", "a");
  out("fork", "b");
  in("a", "ta");
  out("ta", "c");
  in("b", "tb");
  out("tb", "d");
  in("c", "join");
  in("d", "join");
  out("join", "p0");
  mark("p0");
}

// Names of the enabled list, head first.
inline std::vector<std::string> enabledNames() {
  std::vector<std::string> names;
  for (const Trans* t = gNet->enabledHead; t; t = t->enabledNext) names.push_back(t->name);
  return names;
}

}  // namespace testnet
