// A fixture that builds small nets for unit tests through the model's construction calls, and
// runs the token game on them with a sampler of its own.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "delay/delay.h"
#include "estimate/sampler.h"
#include "net/build.h"
#include "net/net.h"
#include "unfold/firing.h"
#include "unfold/graph.h"
#include "unfold/unfold.h"
#include "zelbo/settings.h"

namespace testnet {

using namespace zelbo;

class NetTest : public ::testing::Test {
 protected:
  Net net;
  Settings settings;

  Place* place(const std::string& name) { return findOrAddPlace(&net, name.c_str()); }
  Trans* trans(const std::string& name) { return findOrAddTransition(&net, name.c_str()); }

  // Arcs "p -> t" and "t -> p".
  void in(const std::string& p, const std::string& t) { addInputArc(&net, trans(t), place(p)); }
  void out(const std::string& t, const std::string& p) { addOutputArc(&net, trans(t), place(p)); }

  // A place's output transitions with branch probabilities, in this order.
  void branches(const std::string& p, const std::vector<std::pair<std::string, double>>& choice) {
    std::vector<TransNode> nodes;
    for (const auto& [t, prob] : choice) nodes.push_back(TransNode{prob, trans(t)});
    replacePlacePoset(&net, place(p), nodes);
  }

  void mark(const std::string& p, int count = 1) { markInitially(&net, place(p), count); }

  void fixedDelay(const std::string& p, double value) {
    auto spec = std::make_unique<DelaySpec>();
    spec->type = DelayType::fixed;
    spec->location = value;
    attachDelaySpec(&net, place(p), std::move(spec));
  }

  void expDelay(const std::string& p, double lambda) {
    auto spec = std::make_unique<DelaySpec>();
    spec->type = DelayType::exponential;
    spec->scale = 1.0;
    spec->lambda = lambda;
    attachDelaySpec(&net, place(p), std::move(spec));
  }

  void target(const std::string& source, const std::string& destination, int separation, int lowerBound = 0) {
    addTargetPair(&net, TargetPair{trans(source), trans(destination), separation, lowerBound});
  }

  // A ring t0 -> p1 -> t1 -> ... -> p0 -> t0 of n places, p0 marked, every delay fixed.
  void ring(int n, double delay = 1.0) {
    for (int i = 0; i < n; ++i) {
      const std::string p = "p" + std::to_string(i), t = "t" + std::to_string(i);
      in(p, t);
      out(t, "p" + std::to_string((i + 1) % n));
      fixedDelay(p, delay);
    }
    mark("p0");
  }

  // p0 -> fork -> a, b; a -> ta -> c; b -> tb -> d; c, d -> join -> p0; p0 marked, no delays.
  void forkJoin() {
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

  // The sampler over the net as built so far, made (with its firing information and the
  // initial marking) on first use; `seed` seeds its random stream.
  Sampler& run(long seed = 0) {
    if (!sampler_) {
      prepareFiring(net);
      sampler_ = std::make_unique<Sampler>(net, settings, seed);
    }
    return *sampler_;
  }
  UnfoldedGraph& graph() { return run().graph; }
  RunState& state() { return run().state; }
  TransState& stateOf(const std::string& t) { return run().state.at(trans(t)); }
  PlaceState& stateOf(const Place* p) { return run().state.at(p); }

  // What unfold does before its segments: the enabled list and the initial conditions. Tests
  // then fire transitions in an order of their choosing.
  void startUnfolding() {
    Sampler& s = run();
    updateEnabledList(s);
    createInitialConditions(s);
  }

  void fire(const std::string& t) { fireTransition(run(), trans(t)); }

  // Names of the enabled list, head first.
  std::vector<std::string> enabledNames() {
    std::vector<std::string> names;
    const RunState& s = state();
    forEachEnabled(s, [&](std::int32_t t) { names.push_back(net.transById[t]->name); });
    return names;
  }

 private:
  std::unique_ptr<Sampler> sampler_;
};

}  // namespace testnet
