#include "language/statements.h"

#include <cmath>
#include <cstdlib>
#include <map>
#include <memory>
#include <stdexcept>
#include <unordered_set>

#include "base/wrap.h"
#include "delay/delay.h"
#include "net/build.h"
#include "net/target.h"

namespace zelbo {

namespace {

void applyPlace(Net& net, const Statement& s) {
  Place* place = findOrAddPlace(&net, s.name.c_str());
  if (!place->preset.empty() || !place->poset.empty())
    throw std::logic_error("a second place statement with arcs for place " + s.name);
  std::vector<TransNode> nodes;
  std::unordered_set<const Trans*> listed;
  for (const Clause& clause : s.clauses) {
    if (clause.kind == Clause::Kind::mark) {
      markInitially(&net, place, clause.tokens);
      continue;
    }
    // As the reader builds a list: each name creates its transition where it stands, and a
    // transition listed again is dropped.
    nodes.clear();
    listed.clear();
    for (const TransRef& ref : clause.transitions) {
      Trans* trans = findOrAddTransition(&net, ref.name.c_str());
      if (listed.insert(trans).second) nodes.push_back(TransNode{ref.prob, trans});
    }
    if (clause.kind == Clause::Kind::preset) replacePlacePreset(&net, place, nodes);
    else replacePlacePoset(&net, place, nodes);
  }
}

void applyTarget(Net& net, const Statement& s) {
  Trans* source = findOrAddTransition(&net, s.source.c_str());
  Trans* destination = findOrAddTransition(&net, s.destination.c_str());
  if (net.target) return;  // the reader reports it and keeps the first
  addTargetPair(&net, storedTarget(source, destination, s.separation, s.lowerBound));
}

bool isLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

constexpr std::string_view kKeywords[] = {"uni", "fix", "geo", "exp", "cus", "bin", "bet"};
constexpr std::string_view kLongKeywords[] = {"uniform",     "fixed",  "geometric", "exponential",
                                              "custom",      "binomial", "beta"};

// The scanner matches a keyword together with the character before it, so a name that starts
// with one is read as that keyword unless a newline stands before it.
bool startsWithKeyword(std::string_view name) {
  for (const std::string_view k : kKeywords)
    if (name.substr(0, k.size()) == k) return true;
  return false;
}

class Printer {
 public:
  explicit Printer(std::string& out) : out_(out) {}

  void text(std::string_view s) { out_ += s; }
  void name(std::string_view s) {
    if (startsWithKeyword(s)) out_ += '\n';
    out_ += s;
  }

 private:
  std::string& out_;
};

void printPlace(Printer& p, const Statement& s) {
  p.text(".place ");
  p.name(s.name);
  for (const Clause& clause : s.clauses) {
    switch (clause.kind) {
      case Clause::Kind::mark:
        p.text(clause.tokens == 1 ? " .mark" : " .mark " + std::to_string(clause.tokens));
        break;
      case Clause::Kind::preset:
      case Clause::Kind::poset: {
        p.text(clause.kind == Clause::Kind::preset ? " .preset {" : " .poset {");
        bool first = true;
        for (const TransRef& ref : clause.transitions) {
          if (!first) p.text(" ");
          first = false;
          p.name(ref.name);
          if (ref.prob != 1.0) p.text("[" + realText(ref.prob) + "]");
        }
        p.text("}");
        break;
      }
    }
  }
  p.text("\n");
}

}  // namespace

void applyStatements(Net& net, std::string_view name, const std::vector<Statement>& statements) {
  net.name = std::string(name);
  std::map<const DelaySpec*, DelaySpec*> copies;
  for (const Statement& s : statements) {
    switch (s.kind) {
      case Statement::Kind::place:
        applyPlace(net, s);
        break;
      case Statement::Kind::delay: {
        Place* place = findOrAddPlace(&net, s.name.c_str());
        const auto it = copies.find(s.delay);
        if (it != copies.end()) {
          shareDelaySpec(&net, place, it->second);
        } else {
          std::unique_ptr<DelaySpec> copy = copyDelaySpec(*s.delay);
          copies.emplace(s.delay, copy.get());
          attachDelaySpec(&net, place, std::move(copy));
        }
        break;
      }
      case Statement::Kind::target:
        applyTarget(net, s);
        break;
    }
  }
  prepareFiring(net);
}

std::string realText(double value) {
  const float f = static_cast<float>(value);
  if (std::isinf(f)) return f > 0 ? "1.0e39" : "-1.0e39";
  char text[64];
  // The fewest significant digits that read back as the same float; nine always do.
  for (int digits = 1; digits <= 9; ++digits) {
    snprintf(text, sizeof text, "%.*g", digits, static_cast<double>(f));
    if (static_cast<float>(strtod(text, nullptr)) == f) break;
  }
  std::string out = text;
  // The scanner takes a real only with a point in it: "1e-07" would read as 1 and a name.
  if (const std::size_t e = out.find('e'); e != std::string::npos && out.find('.') == std::string::npos)
    out.insert(e, ".0");
  return out;
}

std::string delayText(const DelaySpec& spec) {
  const std::string loc = realText(spec.location);
  const std::string scale = realText(spec.scale);
  switch (spec.type) {
    case DelayType::uniform:
      return ".uni " + loc + " " + scale;
    case DelayType::exponential:
      return ".exp " + loc + " " + scale + " " + realText(spec.lambda);
    case DelayType::beta:
      return ".bet " + loc + " " + scale + " " + realText(spec.alpha) + " " + realText(spec.beta);
    case DelayType::binomial:
      return ".bin " + loc + " " + scale + " " + std::to_string(spec.count) + " " + realText(spec.prob);
    case DelayType::geometric:
      return ".geo " + loc + " " + scale + " " + realText(spec.prob);
    case DelayType::custom: {
      std::string text = ".cus " + loc + " " + scale;
      for (const double p : spec.probs) text += " " + realText(p);
      return text;
    }
    case DelayType::fixed:
      return ".fix " + loc;
    default:
      return {};
  }
}

bool isWritableName(std::string_view name) {
  if (name.empty() || !isLetter(name.front())) return false;
  for (const char c : name)
    if (!isLetter(c) && !isDigit(c) && c != '_') return false;
  const std::string_view rest = name.substr(1);
  for (const std::string_view k : kKeywords)
    if (rest == k) return false;
  for (const std::string_view k : kLongKeywords)
    if (rest == k) return false;
  return true;
}

std::string printStatements(std::string_view name, const std::vector<Statement>& statements,
                            std::string_view header) {
  std::string out(header);
  Printer p(out);
  p.text(".stpn ");
  p.name(name);
  p.text("\n");
  for (const Statement& s : statements) {
    switch (s.kind) {
      case Statement::Kind::place:
        printPlace(p, s);
        break;
      case Statement::Kind::delay:
        p.text(".delay ");
        p.name(s.name);
        p.text(" " + delayText(*s.delay) + "\n");
        break;
      case Statement::Kind::target:
        p.text(".tse (");
        p.name(s.source);
        p.text(", ");
        p.name(s.destination);
        p.text(", " + std::to_string(s.separation) + ")" + (s.lowerBound ? " .lb" : "") + "\n");
        break;
    }
  }
  return out;
}

}  // namespace zelbo
