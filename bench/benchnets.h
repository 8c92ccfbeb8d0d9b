// Generated nets for the benchmarks, built into a model through its construction calls. A
// built net is complete: its firing information is prepared, ready for samplers.
#pragma once

#include <memory>
#include <string>

#include "delay/delay.h"
#include "net/build.h"
#include "net/net.h"

namespace benchnet {

using namespace zelbo;

inline std::string name(const char* stem, int i) { return stem + std::to_string(i); }
inline Place* place(Net& net, const std::string& n) { return findOrAddPlace(&net, n.c_str()); }
inline Trans* trans(Net& net, const std::string& n) { return findOrAddTransition(&net, n.c_str()); }

inline void uniformDelay(Net& net, Place* p, double location, double scale) {
  auto spec = std::make_unique<DelaySpec>();
  spec->type = DelayType::uniform;
  spec->location = location;
  spec->scale = scale;
  attachDelaySpec(&net, p, std::move(spec));
}

inline void setTarget(Net& net, Trans* source, Trans* destination, int separation) {
  addTargetPair(&net, TargetPair{source, destination, separation, 0});
}

// t_i moves the token from p_i to p_(i+1 mod n); p_0 is marked.
inline void ring(Net& net, int n) {
  for (int i = 0; i < n; ++i) {
    Place* p = place(net, name("p", i));
    addInputArc(&net, trans(net, name("t", i)), p);
    addOutputArc(&net, trans(net, name("t", i)), place(net, name("p", (i + 1) % n)));
    uniformDelay(net, p, 1.0, 2.0);
  }
  markInitially(&net, place(net, "p0"), 1);
  setTarget(net, trans(net, "t0"), trans(net, name("t", n - 1)), 0);
  prepareFiring(net);
}

// fork marks n branch places; each branch fires once; join collects them back into p0.
inline void forkJoin(Net& net, int n) {
  Place* start = place(net, "p0");
  addInputArc(&net, trans(net, "fork"), start);
  uniformDelay(net, start, 0.0, 1.0);
  addOutputArc(&net, trans(net, "join"), start);
  for (int i = 0; i < n; ++i) {
    Place* branch = place(net, name("b", i));
    Place* done = place(net, name("c", i));
    addOutputArc(&net, trans(net, "fork"), branch);
    addInputArc(&net, trans(net, name("t", i)), branch);
    addOutputArc(&net, trans(net, name("t", i)), done);
    addInputArc(&net, trans(net, "join"), done);
    uniformDelay(net, branch, 1.0, 3.0);
    uniformDelay(net, done, 0.0, 0.5);
  }
  markInitially(&net, start, 1);
  setTarget(net, trans(net, "fork"), trans(net, "join"), 0);
  prepareFiring(net);
}

// n two-place rings, each marked, joined by one transition that needs all of them.
inline void joinedRings(Net& net, int n) {
  for (int i = 0; i < n; ++i) {
    Place* home = place(net, name("r", i));
    Place* ready = place(net, name("s", i));
    addInputArc(&net, trans(net, name("a", i)), home);
    addOutputArc(&net, trans(net, name("a", i)), ready);
    addInputArc(&net, trans(net, "sync"), ready);
    addOutputArc(&net, trans(net, "sync"), home);
    uniformDelay(net, home, 1.0, 2.0);
    uniformDelay(net, ready, 0.0, 1.0);
    markInitially(&net, home, 1);
  }
  setTarget(net, trans(net, "a0"), trans(net, "sync"), 0);
  prepareFiring(net);
}

}  // namespace benchnet
