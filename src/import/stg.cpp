#include "import/stg.h"

#include <cstdint>
#include <new>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "import/common.h"
#include "import/names.h"

namespace zelbo::import {

namespace {

using detail::fail;
using detail::isBlank;
using detail::trim;

bool isSign(char c) { return c == '+' || c == '-' || c == '~'; }

// Splits a line into words separated by blanks.
std::vector<std::string_view> words(std::string_view s) {
  std::vector<std::string_view> out;
  std::size_t i = 0;
  while (i < s.size()) {
    while (i < s.size() && isBlank(s[i])) ++i;
    const std::size_t b = i;
    while (i < s.size() && !isBlank(s[i])) ++i;
    if (i > b) out.push_back(s.substr(b, i - b));
  }
  return out;
}

// One entry of a .marking or .capacity list: a place name, or an implicit place <a,b>;
// `count` holds the digits after "=", empty when there is none.
struct ListEntry {
  int line;
  bool implicit;
  std::string_view first;
  std::string_view second;
  std::string_view count;
  bool hasCount;
};

// Reads the entries of a .marking list ({...}, possibly over several lines) or of a
// .capacity line (no braces), one chunk of text at a time.
class ListScanner {
 public:
  ListScanner(const char* directive, bool braces) : directive_(directive), braces_(braces) {}

  bool closed() const { return closed_; }
  const std::vector<ListEntry>& entries() const { return entries_; }

  void feed(std::string_view s, int line) {
    std::size_t i = 0;
    const std::size_t n = s.size();
    while (i < n) {
      const char c = s[i];
      if (isBlank(c)) {
        ++i;
        continue;
      }
      if (braces_ && !open_) {
        if (c != '{') fail(line, std::string(directive_) + " needs its list in { }");
        open_ = true;
        ++i;
        continue;
      }
      if (braces_ && c == '}') {
        if (!trim(s.substr(i + 1)).empty())
          fail(line, "unexpected text after the } of " + std::string(directive_));
        closed_ = true;
        return;
      }
      if (c == '<') {
        const std::size_t close = s.find('>', i);
        if (close == std::string_view::npos)
          fail(line, "an implicit place in " + std::string(directive_) +
                         " has no closing >: write <transition,transition>");
        const std::string_view inner = s.substr(i + 1, close - i - 1);
        const std::size_t comma = inner.find(',');
        if (comma == std::string_view::npos || inner.find(',', comma + 1) != std::string_view::npos)
          fail(line, "implicit place " + quoteName(s.substr(i, close - i + 1)) +
                         " is not of the form <transition,transition>");
        const std::string_view a = trim(inner.substr(0, comma));
        const std::string_view b = trim(inner.substr(comma + 1));
        if (a.empty() || b.empty())
          fail(line, "implicit place " + quoteName(s.substr(i, close - i + 1)) +
                         " is not of the form <transition,transition>");
        i = close + 1;
        ListEntry entry{line, true, a, b, {}, false};
        i = count(s, i, line, entry);
        entries_.push_back(entry);
        continue;
      }
      if (c == '{' || c == '}' || c == '>' || c == ',' || c == '=')
        fail(line, "unexpected " + quoteName(s.substr(i, 1)) + " in " + directive_);
      std::size_t j = i;
      while (j < n && !isBlank(s[j]) && s[j] != '{' && s[j] != '}' && s[j] != '<' && s[j] != '>' &&
             s[j] != '=' && s[j] != ',')
        ++j;
      ListEntry entry{line, false, s.substr(i, j - i), {}, {}, false};
      i = count(s, j, line, entry);
      entries_.push_back(entry);
    }
  }

 private:
  // Reads "=N" at s[i] if there; returns the position after the entry.
  std::size_t count(std::string_view s, std::size_t i, int line, ListEntry& entry) {
    if (i < s.size() && s[i] == '=') {
      std::size_t j = ++i;
      while (j < s.size() && s[j] >= '0' && s[j] <= '9') ++j;
      if (j == i) fail(line, "a number must follow '=' in " + std::string(directive_));
      entry.count = s.substr(i, j - i);
      entry.hasCount = true;
      i = j;
    }
    if (i < s.size() && !isBlank(s[i]) && s[i] != '}' && s[i] != '<')
      fail(line, "unexpected " + quoteName(s.substr(i, 1)) + " in " + directive_);
    return i;
  }

  const char* directive_;
  bool braces_;
  bool open_ = false;
  bool closed_ = false;
  std::vector<ListEntry> entries_;
};

// What a name of the graph stands for, before any node is made for it.
struct Parsed {
  bool transition;
  std::string canonical;  // "a+", "a+/2", "d", "d/3"; the place name for a place
  TransitionKind kind;
  std::string_view signal;
};

class StgReader {
 public:
  StgReader(std::string_view text, std::string_view file) : text_(text), file_(file) {}

  ImportedNet read() {
    if (const int line = detail::nulLine(text_)) fail(line, "NUL byte: this is not a text file");
    scan();
    if (graphLine_ == 0) fail(endLine_, "no .graph section");
    build();
    if (net_.transitions.empty())
      fail(graphLine_, "the net is empty: the .graph section has no transitions");
    if (net_.places.empty()) fail(graphLine_, "the net has no places");
    if (!marking_) fail(endLine_, "no .marking: the initial marking must be given");
    mark();
    if (modelName_.empty()) {
      net_.original = detail::fallbackNetName(file_);
    } else {
      net_.original = std::string(modelName_);
    }
    net_.name = toIdentifier(net_.original);
    return std::move(net_);
  }

 private:
  struct Declaration {
    TransitionKind kind;
    int line;
  };
  struct GraphLine {
    int line;
    std::vector<std::string_view> words;
  };
  struct Node {
    bool transition;
    int index;
  };

  // Pass 1: directives, declarations, graph lines and the marking list, in file order.
  void scan() {
    std::size_t pos = 0;
    int line = 0;
    while (pos < text_.size()) {
      ++line;
      std::size_t eol = text_.find('\n', pos);
      if (eol == std::string_view::npos) eol = text_.size();
      std::string_view s = text_.substr(pos, eol - pos);
      pos = eol + 1;
      if (const std::size_t hash = s.find('#'); hash != std::string_view::npos)
        s = s.substr(0, hash);
      s = trim(s);
      if (!s.empty()) endLine_ = line;
      if (marking_ && !marking_->closed()) {
        if (!s.empty() && s.front() == '.') fail(markingLine_, ".marking has no closing }");
        marking_->feed(s, line);
        continue;
      }
      if (s.empty()) continue;
      if (s.front() == '.') {
        if (!directive(s, line)) return;  // .end
        continue;
      }
      if (graphLine_ == 0) fail(line, "unexpected line before .graph: " + quoteName(s));
      graph_.push_back({line, words(s)});
    }
    if (marking_ && !marking_->closed()) fail(markingLine_, ".marking has no closing }");
  }

  // Returns false at .end.
  bool directive(std::string_view s, int line) {
    std::size_t k = 1;
    while (k < s.size() && !isBlank(s[k]) && s[k] != '{') ++k;
    const std::string_view word = s.substr(0, k);
    const std::string_view rest = trim(s.substr(k));
    if (word == ".model" || word == ".name") {
      if (rest.empty()) fail(line, std::string(word) + " needs a name");
      if (!modelName_.empty()) fail(line, "the model is named twice");
      modelName_ = rest;
    } else if (word == ".inputs") {
      declare(rest, TransitionKind::input, line);
    } else if (word == ".outputs") {
      declare(rest, TransitionKind::output, line);
    } else if (word == ".internal") {
      declare(rest, TransitionKind::internal, line);
    } else if (word == ".dummy") {
      declare(rest, TransitionKind::dummy, line);
    } else if (word == ".graph") {
      if (!rest.empty()) fail(line, "unexpected text after .graph");
      if (graphLine_ == 0) graphLine_ = line;
    } else if (word == ".marking") {
      if (marking_)
        fail(line, "second .marking (the first is at line " + std::to_string(markingLine_) + ")");
      marking_.emplace(".marking", true);
      markingLine_ = line;
      marking_->feed(rest, line);
    } else if (word == ".capacity") {
      ListScanner capacity(".capacity", false);
      capacity.feed(rest, line);
      // A capacity of one token (or none) is what every place of a 1-safe net has anyway.
      for (const ListEntry& e : capacity.entries()) {
        const std::string_view digits = detail::significantDigits(e.count);
        if (!e.hasCount || digits.empty() || digits == "1") continue;
        const std::string place =
            e.implicit ? "<" + std::string(e.first) + "," + std::string(e.second) + ">" : std::string(e.first);
        fail(line, ".capacity gives place " + quoteName(place) +
                       " room for more than one token: only 1-safe nets can be imported");
      }
    } else if (word == ".mode" || word == ".initial") {
      // Timing mode and initial signal values: no bearing on the net.
    } else if (word == ".end") {
      if (!rest.empty()) fail(line, "unexpected text after .end");
      return false;
    } else {
      // The format's editors skip what they do not know, saying so.
      net_.warnings.push_back(ImportWarning{line, "unknown keyword " + quoteName(word) + ", skipped"});
    }
    return true;
  }

  void declare(std::string_view list, TransitionKind kind, int line) {
    for (const std::string_view name : words(list)) {
      for (const char c : name)
        if (c == '/' || c == '<' || c == '>' || c == ',' || c == '{' || c == '}' || c == '=')
          fail(line,
               "invalid signal or dummy name " + quoteName(name) + ": it holds a '" + c + "'");
      if (isSign(name.back()))
        fail(line, "invalid signal or dummy name " + quoteName(name) + ": it ends with a '" +
                       name.back() + "'");
      const auto [it, added] = declared_.try_emplace(name, Declaration{kind, line});
      if (!added)
        fail(line, quoteName(name) + " is declared twice (first at line " +
                       std::to_string(it->second.line) + ")");
    }
  }

  // What the graph name `w` stands for; fails on names that are neither.
  Parsed parse(std::string_view w, int line) const {
    for (const char c : w)
      if (c == '<' || c == '>' || c == ',' || c == '{' || c == '}' || c == '=')
        fail(line, quoteName(w) + " is not a place or transition name: it holds a '" + c + "'");
    std::string_view base = w;
    std::string_view instance;
    bool hasInstance = false;
    if (const std::size_t slash = w.rfind('/'); slash != std::string_view::npos) {
      base = w.substr(0, slash);
      instance = w.substr(slash + 1);
      hasInstance = true;
      if (!detail::allDigits(instance))
        fail(line, quoteName(w) + ": the instance after '/' must be a number");
      if (base.empty()) fail(line, quoteName(w) + " names no transition before '/'");
    }
    std::string suffix;
    if (hasInstance) {
      const std::string_view digits = detail::significantDigits(instance);
      if (!digits.empty()) suffix = "/" + std::string(digits);
    }
    if (isSign(base.back())) {
      const std::string_view signal = base.substr(0, base.size() - 1);
      if (signal.empty())
        fail(line, quoteName(w) + " names no signal before its '" + base.back() + "'");
      const auto it = declared_.find(signal);
      if (it == declared_.end())
        fail(line, quoteName(w) + ": signal " + quoteName(signal) +
                       " is not declared in .inputs, .outputs or .internal");
      if (it->second.kind == TransitionKind::dummy)
        fail(line,
             quoteName(w) + ": " + quoteName(signal) + " is a dummy, which takes no +, - or ~");
      return {true, std::string(base) + suffix, it->second.kind, signal};
    }
    const auto it = declared_.find(base);
    if (it != declared_.end()) {
      if (it->second.kind == TransitionKind::dummy)
        return {true, std::string(base) + suffix, TransitionKind::dummy, {}};
      // A plain net saved as a .g file declares its transitions as signals and uses them
      // without a sign: a signal never written with one is a transition of that name.
      if (!signedSignals_.contains(base)) return {true, std::string(base) + suffix, it->second.kind, it->first};
      fail(line, quoteName(w) + " is a signal, not a transition: write " + std::string(base) +
                     "+, " + std::string(base) + "- or " + std::string(base) + "~");
    }
    if (hasInstance)
      fail(line, quoteName(w) + ": " + quoteName(base) +
                     " is neither a declared dummy nor a signal transition, and a place takes no "
                     "instance number");
    return {false, std::string(w), TransitionKind::plain, {}};
  }

  // The node of graph name `w`, made at its first appearance.
  Node node(std::string_view w, int line) {
    if (const auto it = nodeOfWord_.find(w); it != nodeOfWord_.end()) return it->second;
    Parsed p = parse(w, line);
    Node n;
    if (p.transition) {
      const auto [it, added] =
          transitionIndex_.try_emplace(p.canonical, static_cast<int>(net_.transitions.size()));
      if (added) {
        ImportedTransition t;
        t.name = toIdentifier(p.canonical);
        t.original = std::move(p.canonical);
        t.kind = p.kind;
        t.signal = std::string(p.signal);
        t.line = line;
        net_.transitions.push_back(std::move(t));
      }
      n = {true, it->second};
    } else {
      const auto [it, added] =
          placeIndex_.try_emplace(p.canonical, static_cast<int>(net_.places.size()));
      if (added) addPlace(std::move(p.canonical), line);
      n = {false, it->second};
    }
    nodeOfWord_.emplace(w, n);
    return n;
  }

  void addPlace(std::string original, int line) {
    ImportedPlace p;
    p.name = toIdentifier(original);
    p.original = std::move(original);
    p.line = line;
    net_.places.push_back(std::move(p));
  }

  static std::uint64_t pairKey(int a, int b) {
    return (static_cast<std::uint64_t>(static_cast<std::uint32_t>(a)) << 32) |
           static_cast<std::uint32_t>(b);
  }

  void addArc(int place, int transition, bool toTransition, int line) {
    const std::uint64_t key =
        (pairKey(place, transition) << 1) | static_cast<std::uint64_t>(toTransition);
    const auto [it, added] = arcLine_.try_emplace(key, line);
    if (!added) {
      const std::string& p = net_.places[place].original;
      const std::string& t = net_.transitions[transition].original;
      fail(line, "duplicate arc " +
                     (toTransition ? quoteName(p) + " -> " + quoteName(t)
                                   : quoteName(t) + " -> " + quoteName(p)) +
                     " (first at line " + std::to_string(it->second) + ")");
    }
    net_.arcs.push_back({place, transition, toTransition, line});
  }

  // The signals the graph writes with a sign ("a" of "a+", "a-/2").
  void findSignedSignals() {
    for (const GraphLine& g : graph_)
      for (std::string_view w : g.words) {
        if (const std::size_t slash = w.rfind('/'); slash != std::string_view::npos) w = w.substr(0, slash);
        if (w.size() > 1 && isSign(w.back())) signedSignals_.insert(w.substr(0, w.size() - 1));
      }
  }

  // Pass 2: nodes and arcs of the graph lines.
  void build() {
    findSignedSignals();
    std::size_t words = 0;
    for (const GraphLine& g : graph_) words += g.words.size();
    // Each word adds at most one node and two arcs: no table grows twice.
    nodeOfWord_.reserve(words);
    arcLine_.reserve(2 * words);
    implicitPlace_.reserve(words);
    for (const GraphLine& g : graph_) {
      const Node source = node(g.words[0], g.line);
      for (std::size_t k = 1; k < g.words.size(); ++k) {
        const Node target = node(g.words[k], g.line);
        if (!source.transition && !target.transition)
          fail(g.line,
               "arc between two places: " + quoteName(g.words[0]) + " -> " + quoteName(g.words[k]));
        if (!source.transition) {
          addArc(source.index, target.index, true, g.line);
        } else if (!target.transition) {
          addArc(target.index, source.index, false, g.line);
        } else {
          const auto [it, added] = implicitPlace_.try_emplace(pairKey(source.index, target.index),
                                                              static_cast<int>(net_.places.size()));
          if (!added) {
            const ImportedPlace& p = net_.places[it->second];
            fail(g.line, "duplicate arc " + quoteName(net_.transitions[source.index].original) +
                             " -> " + quoteName(net_.transitions[target.index].original) +
                             " (first at line " + std::to_string(p.line) + ")");
          }
          addPlace("<" + net_.transitions[source.index].original + "," +
                       net_.transitions[target.index].original + ">",
                   g.line);
          addArc(it->second, source.index, false, g.line);
          addArc(it->second, target.index, true, g.line);
        }
      }
    }
  }

  // The transition named `w` in the marking; fails when the graph has none.
  int markedTransition(std::string_view w, int line) const {
    const Parsed p = parse(w, line);
    if (!p.transition) fail(line, quoteName(w) + " in .marking is not a transition");
    const auto it = transitionIndex_.find(p.canonical);
    if (it == transitionIndex_.end())
      fail(line, "transition " + quoteName(w) + " in .marking is not in the graph");
    return it->second;
  }

  // Pass 3: the initial marking.
  void mark() {
    std::unordered_map<int, int> listedAt;
    for (const ListEntry& e : marking_->entries()) {
      int place;
      std::string shown;
      if (e.implicit) {
        const int a = markedTransition(e.first, e.line);
        const int b = markedTransition(e.second, e.line);
        shown = "<" + std::string(e.first) + "," + std::string(e.second) + ">";
        const auto it = implicitPlace_.find(pairKey(a, b));
        if (it == implicitPlace_.end())
          fail(e.line, "no implicit place " + quoteName(shown) + ": the graph has no arc " +
                           quoteName(e.first) + " -> " + quoteName(e.second));
        place = it->second;
      } else {
        shown = std::string(e.first);
        const Parsed p = parse(e.first, e.line);
        if (p.transition)
          fail(e.line,
               quoteName(e.first) + " in .marking is a transition; the marking lists places");
        const auto it = placeIndex_.find(p.canonical);
        if (it == placeIndex_.end())
          fail(e.line, "no place " + quoteName(e.first) + " in the graph");
        place = it->second;
      }
      const auto [seen, added] = listedAt.try_emplace(place, e.line);
      if (!added)
        fail(e.line, "place " + quoteName(shown) + " is listed twice in .marking (first at line " +
                         std::to_string(seen->second) + ")");
      int tokens = 1;
      if (e.hasCount) {
        const std::string_view digits = detail::significantDigits(e.count);
        if (digits.size() > 1 || (digits.size() == 1 && digits[0] != '1')) {
          fail(e.line, "place " + quoteName(shown) + " is given " +
                           std::string(digits.size() > 18 ? "more than 10^18" : digits) +
                           " tokens: only nets with at most one token per place can be imported");
        }
        tokens = digits.empty() ? 0 : 1;
      }
      net_.places[place].tokens = tokens;
    }
  }

  std::string_view text_;
  std::string_view file_;
  ImportedNet net_;

  std::string_view modelName_;
  std::unordered_map<std::string_view, Declaration> declared_;
  std::unordered_set<std::string_view> signedSignals_;
  std::vector<GraphLine> graph_;
  int graphLine_ = 0;  // line of the first .graph
  int endLine_ = 1;    // line of .end, else the last line with text
  std::optional<ListScanner> marking_;
  int markingLine_ = 0;

  std::unordered_map<std::string_view, Node> nodeOfWord_;
  std::unordered_map<std::string, int> transitionIndex_;  // by canonical name
  std::unordered_map<std::string, int> placeIndex_;       // explicit places by name
  std::unordered_map<std::uint64_t, int> implicitPlace_;  // by (source, target) transition
  std::unordered_map<std::uint64_t, int> arcLine_;
};

}  // namespace

ImportResult importStg(std::string_view text, std::string_view file) {
  try {
    return StgReader(text, file).read();
  } catch (const detail::Failure& f) {
    return ImportError{std::string(file), f.line, f.message};
  } catch (const std::bad_alloc&) {
    return ImportError{std::string(file), 0, "out of memory"};
  }
}

}  // namespace zelbo::import
