// Drawings in Graphviz DOT: a model's net, and the unfolded graph of one sample.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "estimate/estimation.h"
#include "estimate/sampler.h"
#include "net/net.h"
#include "zelbo/settings.h"

namespace zelbo {

// `text` as a DOT quoted string: quotes and backslashes escaped, line breaks as \n.
std::string dotString(std::string_view text);

// The net: places as circles (a token inside when initially marked, the name and delay beside),
// transitions as bars with their names in them, branch probabilities on the arcs of choice places, the target's
// transitions in colour; with `criticality` (by place number), places and their arcs coloured
// by it.
std::string netDot(const Net& net, const std::vector<double>& criticality = {});

// The sampler's unfolded graph: its events (transition, occurrence, firing time) and
// conditions (place, occurrence, delay), the initial marking and each segment boxed, the
// paired target events in colour. `outcome` is the sample's (null when the unfolding ended
// early, with `ending` saying why); at most `nodeLimit` events and conditions are drawn.
std::string graphDot(const Sampler& s, const Outcome* outcome, int nodeLimit, std::string_view ending = {});

// The first unfolding of a sampler with these settings and this seed, drawn by graphDot.
std::string firstUnfoldingDot(const Net& net, const Settings& settings, long seed, int nodeLimit);

}  // namespace zelbo
