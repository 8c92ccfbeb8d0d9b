// Generated nets for the benchmarks, built through the model's construction operations.
#pragma once

#include <memory>
#include <string>

#include "delay/delay.h"
#include "driver/globals.h"
#include "spec/net.h"
#include "spec/read.h"

namespace benchnet {

inline std::string name(const char* stem, int i) { return stem + std::to_string(i); }
inline Place* place(const std::string& n) { return MustGetPlace(gNet, n.c_str()); }
inline Trans* trans(const std::string& n) { return MustGetTrans(gNet, n.c_str()); }

inline void uniformDelay(Place* p, double location, double scale) {
  auto spec = std::make_unique<DelaySpec>();
  spec->type = UNI;
  spec->location = location;
  spec->scale = scale;
  attachDelaySpec(gNet, p, std::move(spec));
}

inline void setTarget(Trans* source, Trans* destination, int separation) {
  auto pair = std::make_unique<TransPair>();
  pair->source = source;
  pair->destination = destination;
  pair->separation = separation;
  gTargetTransPair = pair.get();
  gNet->targetPairs.push_back(std::move(pair));
}

// t_i moves the token from p_i to p_(i+1 mod n); p_0 is marked.
inline void ring(int n) {
  for (int i = 0; i < n; ++i) {
    Place* p = place(name("p", i));
    setInputPlace(trans(name("t", i)), p);
    setOutputPlace(trans(name("t", i)), place(name("p", (i + 1) % n)));
    uniformDelay(p, 1.0, 2.0);
  }
  markInitPlace(gNet, place("p0"), 1);
  setTarget(trans("t0"), trans(name("t", n - 1)), 0);
}

// fork marks n branch places; each branch fires once; join collects them back into p0.
inline void forkJoin(int n) {
  Place* start = place("p0");
  setInputPlace(trans("fork"), start);
  uniformDelay(start, 0.0, 1.0);
  setOutputPlace(trans("join"), start);
  for (int i = 0; i < n; ++i) {
    Place* branch = place(name("b", i));
    Place* done = place(name("c", i));
    setOutputPlace(trans("fork"), branch);
    setInputPlace(trans(name("t", i)), branch);
    setOutputPlace(trans(name("t", i)), done);
    setInputPlace(trans("join"), done);
    uniformDelay(branch, 1.0, 3.0);
    uniformDelay(done, 0.0, 0.5);
  }
  markInitPlace(gNet, start, 1);
  setTarget(trans("fork"), trans("join"), 0);
}

// n two-place rings, each marked, joined by one transition that needs all of them.
inline void joinedRings(int n) {
  for (int i = 0; i < n; ++i) {
    Place* home = place(name("r", i));
    Place* ready = place(name("s", i));
    setInputPlace(trans(name("a", i)), home);
    setOutputPlace(trans(name("a", i)), ready);
    setInputPlace(trans("sync"), ready);
    setOutputPlace(trans("sync"), home);
    uniformDelay(home, 1.0, 2.0);
    uniformDelay(ready, 0.0, 1.0);
    markInitPlace(gNet, home, 1);
  }
  setTarget(trans("a0"), trans("sync"), 0);
}

}  // namespace benchnet
