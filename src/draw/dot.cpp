#include "draw/dot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>
#include <vector>

#include "base/texts.h"
#include "delay/delay.h"
#include "language/statements.h"
#include "net/target.h"
#include "zelbo/error.h"

namespace zelbo {

namespace {

constexpr const char* kSourceColour = "#d62728";
constexpr const char* kDestinationColour = "#1f77b4";
constexpr const char* kBothColour = "#9467bd";

std::string number(double value) {
  char text[32];
  snprintf(text, sizeof text, "%.4g", value);
  return text;
}

// A colour from white towards red (a figure above 0) or blue (below), by the figure's share of
// the largest magnitude; none for 0.
std::string criticalColour(double value, double largest) {
  if (value == 0.0 || !(largest > 0.0)) return {};
  const double share = std::min(1.0, std::fabs(value) / largest);
  const int full[3] = {value > 0 ? 0xd7 : 0x21, value > 0 ? 0x30 : 0x66, value > 0 ? 0x1f : 0xac};
  char text[16];
  int channel[3];
  for (int k = 0; k < 3; ++k) channel[k] = static_cast<int>(0xff + share * (full[k] - 0xff) + 0.5);
  snprintf(text, sizeof text, "#%02x%02x%02x", channel[0], channel[1], channel[2]);
  return text;
}

// The arc attributes of a critical place: its colour, and a width by its share.
std::string criticalArc(const std::string& colour, double value, double largest) {
  if (colour.empty()) return {};
  return "color=\"" + colour + "\", penwidth=" + number(1.0 + 2.0 * std::fabs(value) / largest);
}

const char* preamble =
    "  graph [fontname=\"Helvetica\", fontsize=12, labelloc=t, forcelabels=true, nodesep=0.45, ranksep=0.4];\n"
    "  node [fontname=\"Helvetica\", fontsize=10];\n"
    "  edge [fontname=\"Helvetica\", fontsize=9, arrowsize=0.6];\n";

// The fatal message of a run, as one line: "Error: ", tabs and line breaks taken out.
std::string oneLine(std::string_view message) {
  std::string out;
  for (const char c : message) {
    if (c == '\n' || c == '\t') {
      if (!out.empty() && out.back() != ' ') out += ' ';
    } else {
      out += c;
    }
  }
  for (const std::string_view word : {"Error: ", "Info : "}) {
    std::size_t at;
    while ((at = out.find(word)) != std::string::npos) out.erase(at, word.size());
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  while (!out.empty() && out.front() == ' ') out.erase(out.begin());
  return out;
}

}  // namespace

std::string dotString(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      continue;
    } else {
      out += c;
    }
  }
  out += '"';
  return out;
}

std::string netDot(const Net& net, const std::vector<double>& criticality) {
  double largest = 0.0;
  for (const double value : criticality) largest = std::max(largest, std::fabs(value));
  const auto figure = [&](const Place* p) { return criticality.empty() ? 0.0 : criticality[p->id]; };
  const std::optional<AskedTarget> target =
      hasTarget(net) ? std::optional<AskedTarget>(askedTarget(*net.target)) : std::nullopt;
  const Trans* source = target ? target->source : nullptr;
  const Trans* destination = target ? target->destination : nullptr;
  std::string title = "model " + std::string(modelName(net));
  if (target)
    title += std::string("\n") + (target->lowerBound ? "lower" : "upper") + " bound of the average TSE(" +
             source->name + ", " + destination->name + ", " + std::to_string(target->separation) + ")";
  if (!criticality.empty()) title += "\nplaces coloured by criticality: red lengthens the separation, blue shortens it";
  std::string out = "digraph " + dotString(modelName(net)) + " {\n" + preamble;
  out += "  label=" + dotString(title) + ";\n";
  for (const Place* p : net.placeById) {
    // A token is a black circle (HTML-like label, so that the name beside keeps its size);
    // more tokens than one, their count.
    std::string token = "\"\"";
    if (p->initTokens == 1) token = "<<FONT POINT-SIZE=\"16\">&#9679;</FONT>>";
    else if (p->initTokens != 0) token = dotString(std::to_string(p->initTokens));
    std::string beside = p->name + "\n" + (p->delaySpec ? delayText(*p->delaySpec) : "no delay");
    const std::string colour = criticalColour(figure(p), largest);
    std::string fill;
    if (!colour.empty()) {
      beside += "\ncriticality " + number(figure(p));
      fill = ", style=filled, fillcolor=\"" + colour + "\"";
    }
    out += "  p" + std::to_string(p->id) + " [shape=circle, width=0.3, height=0.3, fixedsize=true, label=" + token +
           ", xlabel=" + dotString(beside) + fill + "];\n";
  }
  for (const Trans* t : net.transById) {
    std::string label = t->name;
    const char* colour = "black";
    if (t == source && t == destination) {
      label += "\n(target source and destination)";
      colour = kBothColour;
    } else if (t == source) {
      label += "\n(target source)";
      colour = kSourceColour;
    } else if (t == destination) {
      label += "\n(target destination)";
      colour = kDestinationColour;
    }
    // A bar that holds its name: no label beside it to collide with the places'.
    out += "  t" + std::to_string(t->id) + " [shape=box, style=filled, color=\"" + colour + "\", fillcolor=\"" + colour +
           "\", fontcolor=white, fontsize=9, width=0.3, height=0.2, margin=\"0.06,0.02\", label=" + dotString(label) +
           "];\n";
  }
  for (const Place* p : net.placeById) {
    const std::string arc = criticalArc(criticalColour(figure(p), largest), figure(p), largest);
    for (const TransNode& node : p->preset)
      out += "  t" + std::to_string(node.trans->id) + " -> p" + std::to_string(p->id) +
             (arc.empty() ? "" : " [" + arc + "]") + ";\n";
    const bool choice = p->poset.size() > 1;
    for (const TransNode& node : p->poset) {
      out += "  p" + std::to_string(p->id) + " -> t" + std::to_string(node.trans->id);
      std::string attributes = arc;
      if (choice)
        attributes += (attributes.empty() ? "" : ", ") + std::string("taillabel=") + dotString(realText(node.prob)) +
                      ", labeldistance=1.8, labelfontsize=9";
      if (!attributes.empty()) out += " [" + attributes + "]";
      out += ";\n";
    }
  }
  out += "}\n";
  return out;
}

std::string graphDot(const Sampler& s, const Outcome* outcome, int nodeLimit, std::string_view ending) {
  const UnfoldedGraph& g = s.graph;
  const bool timed = outcome && outcome->kind != Outcome::Kind::unpaired;
  const std::size_t events = g.events.size(), conds = g.conds.size();


  // Roles of the paired target events.
  std::vector<int> role(events, 0);  // 1 source, 2 destination, 3 both
  if (outcome)
    for (const EventPair& pair : s.eventPairs) {
      if (pair.source != kNone) role[pair.source] |= 1;
      if (pair.destination != kNone) role[pair.destination] |= 2;
    }

  // What fits: the initial conditions, then each event with the conditions it produces.
  std::vector<char> drawnCond(conds, 0);
  std::size_t initial = 0;
  while (initial < conds && g.conds[initial].producer == kNone) ++initial;
  const std::size_t limit = nodeLimit > 0 ? static_cast<std::size_t>(nodeLimit) : 0;
  std::size_t nodes = 0, drawnEvents = 0;
  for (std::size_t c = 0; c < initial && nodes < limit; ++c, ++nodes) drawnCond[c] = 1;
  bool cut = nodes < initial;
  for (std::size_t e = 0; e < events && !cut; ++e) {
    const auto [firstOut, endOut] = outConds(g, static_cast<EventId>(e));
    const std::size_t numOut = static_cast<std::size_t>(endOut - firstOut);
    if (nodes + 1 + numOut > limit) {
      cut = true;
      break;
    }
    ++drawnEvents;
    nodes += 1 + numOut;
    for (CondId c = firstOut; c < endOut; ++c) drawnCond[c] = 1;
  }
  const std::vector<int> condIndex = condIndices(g);

  std::string title = "model " + std::string(modelName(s.net)) + ": the first unfolding, " + std::to_string(events) +
                      " events and " + std::to_string(conds) + " conditions in " +
                      std::to_string(g.segmentStarts.size()) + " segment" + (g.segmentStarts.size() == 1 ? "" : "s");
  if (outcome) {
    switch (outcome->kind) {
      case Outcome::Kind::accepted:
        title += "\nits sample: " + std::to_string(outcome->groupSize) + " TSE instance" +
                 (outcome->groupSize == 1 ? "" : "s") + ", separations summing to " + number(outcome->value);
        break;
      case Outcome::Kind::empty:
        title += "\nno TSE instance";
        break;
      case Outcome::Kind::discarded:
        title += "\ndiscarded: a reference event does not lead to every TSE event";
        break;
      case Outcome::Kind::unpaired:
        title += "\nthe target events could not be paired; no delays were drawn";
        break;
    }
  } else {
    title += "\nthe unfolding ended: " + oneLine(ending);
  }
  std::string out = "digraph " + dotString(std::string(modelName(s.net)) + " unfolding") + " {\n" + preamble;
  out += "  label=" + dotString(title) + ";\n";

  auto condNode = [&](std::size_t c) {
    const Cond& cond = g.conds[c];
    std::string label = s.net.placeById[cond.place]->name + " #" + std::to_string(condIndex[c]);
    if (cond.producer == kNone) label += "\ninitial";
    else if (timed) label += "\ndelay " + number(cond.delay);
    return "    c" + std::to_string(c) + " [shape=ellipse, label=" + dotString(label) + "];\n";
  };
  auto eventNode = [&](std::size_t e) {
    const Event& ev = g.events[e];
    std::string label = ev.trans->name + " #" + std::to_string(ev.index);
    if (timed) label += "\nat " + number(ev.firingTime);
    std::string attributes = "shape=box, style=filled, fillcolor=\"#e8e8e8\"";
    if (role[e]) {
      const char* colour = role[e] == 3 ? kBothColour : role[e] == 1 ? kSourceColour : kDestinationColour;
      attributes = std::string("shape=box, style=\"filled,bold\", color=\"") + colour + "\", fillcolor=\"" + colour +
                   "\", fontcolor=white";
      label += role[e] == 3 ? "\ntarget source and destination" : role[e] == 1 ? "\ntarget source" : "\ntarget destination";
    }
    std::string text = "    e" + std::to_string(e) + " [" + attributes + ", label=" + dotString(label) + "];\n";
    forEachOutCond(g, static_cast<EventId>(e), [&](CondId c) { text += condNode(static_cast<std::size_t>(c)); });
    return text;
  };

  if (initial > 0) {
    out += "  subgraph cluster_initial {\n    label=\"initial marking\";\n    style=dashed;\n";
    for (std::size_t c = 0; c < initial; ++c)
      if (drawnCond[c]) out += condNode(c);
    out += "  }\n";
  }
  // Segments, then the destination's firings after the last one.
  std::vector<std::pair<std::size_t, std::string>> parts;
  for (std::size_t k = 0; k < g.segmentStarts.size(); ++k)
    parts.emplace_back(static_cast<std::size_t>(g.segmentStarts[k]), "segment " + std::to_string(k + 1));
  if (g.tailStart != kNone) parts.emplace_back(static_cast<std::size_t>(g.tailStart), "after the last segment");
  if (parts.empty() || parts.front().first > 0) parts.insert(parts.begin(), {0, "before the first segment"});
  for (std::size_t k = 0; k < parts.size(); ++k) {
    const std::size_t begin = parts[k].first;
    const std::size_t end = std::min(k + 1 < parts.size() ? parts[k + 1].first : events, drawnEvents);
    if (begin >= end) continue;
    out += "  subgraph cluster_" + std::to_string(k) + " {\n    label=" + dotString(parts[k].second) +
           ";\n    style=rounded;\n    color=\"#888888\";\n";
    for (std::size_t e = begin; e < end; ++e) out += eventNode(e);
    out += "  }\n";
  }
  for (std::size_t e = 0; e < drawnEvents; ++e) {
    const EventId id = static_cast<EventId>(e);
    for (const CondId c : inConds(g, id))
      if (c != kNone && drawnCond[c]) out += "  c" + std::to_string(c) + " -> e" + std::to_string(e) + ";\n";
    forEachOutCond(g, id, [&](CondId c) { out += "  e" + std::to_string(e) + " -> c" + std::to_string(c) + ";\n"; });
  }
  if (cut) {
    const std::size_t total = events + conds;
    out += "  cutoff [shape=note, style=filled, fillcolor=\"#fff3b0\", label=" +
           dotString("cut off: " + std::to_string(nodes) + " of " + std::to_string(total) + " nodes drawn (" +
                     std::to_string(drawnEvents) + " of " + std::to_string(events) +
                     " events); the drawing stops at " + std::to_string(limit) + " nodes") +
           "];\n";
  }
  out += "}\n";
  return out;
}

std::string firstUnfoldingDot(const Net& net, const Settings& settings, long seed, int nodeLimit) {
  if (!hasTarget(net)) throw Error(Error::Kind::model, text::kNoTarget);
  Sampler sampler(net, settings, seed);
  std::string drawing;
  try {
    drawOutcome(sampler, [&](const Sampler& s, const Outcome& outcome) { drawing = graphDot(s, &outcome, nodeLimit); });
  } catch (const Error& error) {
    drawing = graphDot(sampler, nullptr, nodeLimit, printedText(error));
  }
  return drawing;
}

}  // namespace zelbo
