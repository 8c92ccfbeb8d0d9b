#include "import/pnml.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <new>
#include <pugixml.hpp>
#include <string>
#include <unordered_map>
#include <vector>

#include "import/common.h"
#include "import/names.h"

namespace zelbo::import {

namespace {

using detail::fail;
using detail::trim;

constexpr std::string_view kPtNetType = "http://www.pnml.org/version-2009/grammar/ptnet";

// An element's name without its namespace prefix.
std::string_view localName(const pugi::xml_node& node) {
  const std::string_view name = node.name();
  const std::size_t colon = name.rfind(':');
  return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

std::string_view localName(const pugi::xml_attribute& attribute) {
  const std::string_view name = attribute.name();
  const std::size_t colon = name.rfind(':');
  return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

pugi::xml_node child(const pugi::xml_node& node, std::string_view name) {
  for (pugi::xml_node c = node.first_child(); c; c = c.next_sibling())
    if (c.type() == pugi::node_element && localName(c) == name) return c;
  return {};
}

// The text of <name><text>...</text></name> and the like: child `outer`, then its <text>.
std::string_view textOf(const pugi::xml_node& node, std::string_view outer) {
  const pugi::xml_node o = child(node, outer);
  if (!o) return {};
  return trim(child(o, "text").child_value());
}

std::string lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// Calls f on every element below `root` (not on root), in document order, without recursion.
template <class F>
void forEachDescendant(const pugi::xml_node& root, F&& f) {
  pugi::xml_node cur = root.first_child();
  while (cur) {
    if (cur.type() == pugi::node_element) f(cur);
    if (cur.first_child()) {
      cur = cur.first_child();
      continue;
    }
    while (cur && cur != root && !cur.next_sibling()) cur = cur.parent();
    if (!cur || cur == root) break;
    cur = cur.next_sibling();
  }
}

class PnmlReader {
 public:
  PnmlReader(std::string_view text, std::string_view file) : text_(text), file_(file) {}

  ImportedNet read() {
    if (const int line = detail::nulLine(text_)) fail(line, "NUL byte: this is not a text file");
    const pugi::xml_parse_result parsed =
        doc_.load_buffer(text_.data(), text_.size(), pugi::parse_default, pugi::encoding_auto);
    // Positions are those of the UTF-8 text; another encoding leaves errors without a line.
    linesKnown_ = parsed.encoding == pugi::encoding_utf8;
    if (linesKnown_) indexLines();
    if (!parsed) fail(lineAt(parsed.offset), std::string("XML error: ") + parsed.description());
    const pugi::xml_node root = doc_.document_element();
    if (localName(root) != "pnml")
      fail(lineOf(root), "the root element is " + quoteName(root.name()) +
                             ", not pnml: this is not a PNML document");
    // A document may hold several nets: the first is the one read.
    const pugi::xml_node net = child(root, "net");
    if (!net) fail(lineOf(root), "no <net> in the <pnml> document");
    checkType(net);
    collect(net);
    resolveReferences();
    for (const Pending& arc : arcs_) addArc(arc);
    if (net_.transitions.empty()) fail(lineOf(net), "the net is empty: it has no transitions");
    if (net_.places.empty()) fail(lineOf(net), "the net has no places");

    const std::string_view label = textOf(net, "name");
    const std::string_view id = net.attribute("id").value();
    net_.original = !label.empty() ? std::string(label)
                    : !id.empty()  ? std::string(id)
                                   : detail::fallbackNetName(file_);
    net_.name = toIdentifier(net_.original);
    return std::move(net_);
  }

 private:
  enum class Kind { place, transition, referencePlace, referenceTransition, arc, page };
  struct Entry {
    Kind kind;
    int index;  // into net_.places / net_.transitions / references_ by kind
    pugi::xml_node node;
  };
  struct Reference {
    pugi::xml_node node;
    std::string_view id;
    int resolved = -2;  // -2 not yet, -1 being resolved, else the place or transition index
  };
  struct Pending {
    pugi::xml_node node;
    std::string_view id;
  };

  void indexLines() {
    lineStarts_.push_back(0);
    for (std::size_t i = 0; i < text_.size(); ++i)
      if (text_[i] == '\n') lineStarts_.push_back(i + 1);
  }

  int lineAt(std::ptrdiff_t offset) const {
    if (!linesKnown_ || offset < 0) return 0;
    const auto it =
        std::upper_bound(lineStarts_.begin(), lineStarts_.end(), static_cast<std::size_t>(offset));
    return static_cast<int>(it - lineStarts_.begin());
  }

  int lineOf(const pugi::xml_node& node) const { return lineAt(node.offset_debug()); }

  static std::string kindName(Kind kind) {
    switch (kind) {
      case Kind::place:
        return "place";
      case Kind::transition:
        return "transition";
      case Kind::referencePlace:
        return "referencePlace";
      case Kind::referenceTransition:
        return "referenceTransition";
      case Kind::arc:
        return "arc";
      case Kind::page:
        return "page";
    }
    return "element";
  }

  void checkType(const pugi::xml_node& net) const {
    const std::string_view type = trim(net.attribute("type").value());
    if (type.empty())
      fail(lineOf(net),
           "the <net> has no type; a place/transition net has type " + std::string(kPtNetType));
    if (type == kPtNetType) return;
    const std::string t = lower(type);
    const bool highLevel = t.find("symmetricnet") != std::string::npos ||
                           t.find("highlevelnet") != std::string::npos ||
                           t.find("hlpng") != std::string::npos;
    fail(lineOf(net), "net type " + quoteName(type) +
                          (highLevel ? " is a high-level (coloured) net, which cannot be imported"
                                     : " is not a place/transition net") +
                          "; expected " + std::string(kPtNetType));
  }

  std::string_view requireId(const pugi::xml_node& node, Kind kind) {
    const std::string_view id = node.attribute("id").value();
    if (id.empty()) fail(lineOf(node), "<" + kindName(kind) + "> has no id");
    const int index = kind == Kind::place        ? static_cast<int>(net_.places.size())
                      : kind == Kind::transition ? static_cast<int>(net_.transitions.size())
                                                 : static_cast<int>(references_.size());
    const auto [it, added] = ids_.try_emplace(id, Entry{kind, index, node});
    if (!added)
      fail(lineOf(node), "id " + quoteName(id) + " is used twice (first by the " +
                             kindName(it->second.kind) + " at line " +
                             std::to_string(lineOf(it->second.node)) + ")");
    return id;
  }

  // High-level annotations among a node's children: `names` are those that a
  // place/transition net has not there.
  void rejectHighLevel(const pugi::xml_node& node, const char* what, std::string_view id,
                       std::initializer_list<std::string_view> names) const {
    for (pugi::xml_node c = node.first_child(); c; c = c.next_sibling()) {
      if (c.type() != pugi::node_element) continue;
      const std::string_view n = localName(c);
      if (std::find(names.begin(), names.end(), n) != names.end())
        fail(lineOf(c), std::string(what) + " " + quoteName(id) + " has a high-level annotation <" +
                            std::string(n) + ">, which a place/transition net has not");
    }
  }

  // Nodes of the net and of its pages (flattened, in document order), ids registered. The
  // elements are gathered first, so that every table is sized once.
  void collect(const pugi::xml_node& net) {
    std::vector<std::pair<pugi::xml_node, Kind>> elements;
    std::size_t places = 0;
    std::size_t transitions = 0;
    pugi::xml_node cur = net.first_child();
    while (cur) {
      bool descend = false;
      if (cur.type() == pugi::node_element) {
        const std::string_view n = localName(cur);
        if (n == "page") {
          if (!cur.attribute("id").empty()) elements.emplace_back(cur, Kind::page);
          descend = true;
        } else if (n == "place") {
          elements.emplace_back(cur, Kind::place);
          ++places;
        } else if (n == "transition") {
          elements.emplace_back(cur, Kind::transition);
          ++transitions;
        } else if (n == "referencePlace") {
          elements.emplace_back(cur, Kind::referencePlace);
        } else if (n == "referenceTransition") {
          elements.emplace_back(cur, Kind::referenceTransition);
        } else if (n == "arc") {
          elements.emplace_back(cur, Kind::arc);
        }
      }
      if (descend && cur.first_child()) {
        cur = cur.first_child();
        continue;
      }
      while (cur && cur != net && !cur.next_sibling()) cur = cur.parent();
      if (!cur || cur == net) break;
      cur = cur.next_sibling();
    }

    ids_.reserve(elements.size());
    net_.places.reserve(places);
    net_.transitions.reserve(transitions);
    arcs_.reserve(elements.size() - places - transitions);
    for (const auto& [node, kind] : elements) {
      switch (kind) {
        case Kind::page:
          requireId(node, kind);
          break;
        case Kind::place:
          addPlace(node);
          break;
        case Kind::transition: {
          const std::string_view id = requireId(node, kind);
          ImportedTransition t;
          t.name = toIdentifier(id);
          t.original = std::string(id);
          t.label = std::string(textOf(node, "name"));
          t.line = lineOf(node);
          net_.transitions.push_back(std::move(t));
          break;
        }
        case Kind::referencePlace:
        case Kind::referenceTransition:
          references_.push_back({node, requireId(node, kind)});
          break;
        case Kind::arc:
          arcs_.push_back({node, requireId(node, kind)});
          break;
      }
    }
    arcIds_.reserve(arcs_.size());
  }

  void addPlace(const pugi::xml_node& node) {
    const std::string_view id = requireId(node, Kind::place);
    rejectHighLevel(node, "place", id, {"hlinitialMarking", "type"});
    ImportedPlace p;
    p.name = toIdentifier(id);
    p.original = std::string(id);
    p.label = std::string(textOf(node, "name"));
    p.line = lineOf(node);
    if (const pugi::xml_node marking = child(node, "initialMarking")) {
      const std::string_view text = trim(child(marking, "text").child_value());
      if (!detail::allDigits(text))
        fail(lineOf(marking), "the initial marking of place " + quoteName(id) + " is " +
                                  quoteName(text) + ", not a number of tokens");
      const std::string_view digits = detail::significantDigits(text);
      if (digits.size() > 1 || (digits.size() == 1 && digits[0] != '1'))
        fail(lineOf(marking), "place " + quoteName(id) + " is marked with " +
                                  (digits.size() > 18 ? "more than 10^18" : std::string(digits)) +
                                  " tokens: only nets with at most one token per place can be "
                                  "imported");
      p.tokens = digits.empty() ? 0 : 1;
    }
    net_.places.push_back(std::move(p));
  }

  // Follows each reference's chain of refs to a place or transition.
  void resolveReferences() {
    std::vector<int> path;
    for (std::size_t start = 0; start < references_.size(); ++start) {
      path.clear();
      int cur = static_cast<int>(start);
      const bool wantPlace = localName(references_[start].node) == "referencePlace";
      int result = -1;
      while (true) {
        Reference& r = references_[cur];
        if (r.resolved >= 0) {
          result = r.resolved;
          break;
        }
        if (r.resolved == -1)
          fail(lineOf(r.node),
               "reference " + quoteName(r.id) + " is part of a cycle of references");
        r.resolved = -1;
        path.push_back(cur);
        const std::string_view ref = r.node.attribute("ref").value();
        if (ref.empty()) fail(lineOf(r.node), "reference " + quoteName(r.id) + " has no ref");
        const auto it = ids_.find(ref);
        if (it == ids_.end())
          fail(lineOf(r.node), "reference " + quoteName(r.id) + " refers to " + quoteName(ref) +
                                   ", which is not in the net");
        const Kind k = it->second.kind;
        const Kind real = wantPlace ? Kind::place : Kind::transition;
        const Kind chain = wantPlace ? Kind::referencePlace : Kind::referenceTransition;
        if (k == real) {
          result = it->second.index;
          break;
        }
        if (k != chain)
          fail(lineOf(r.node), std::string(wantPlace ? "referencePlace " : "referenceTransition ") +
                                   quoteName(r.id) + " refers to the " + kindName(k) + " " +
                                   quoteName(ref) + ", not to a " +
                                   (wantPlace ? "place" : "transition"));
        cur = it->second.index;
      }
      for (const int p : path) references_[p].resolved = result;
    }
  }

  // The place or transition an arc end names: {is place, index}.
  std::pair<bool, int> endpoint(const Pending& arc, const char* end) const {
    const std::string_view ref = arc.node.attribute(end).value();
    if (ref.empty()) fail(lineOf(arc.node), "arc " + quoteName(arc.id) + " has no " + end);
    const auto it = ids_.find(ref);
    if (it == ids_.end())
      fail(lineOf(arc.node), "the " + std::string(end) + " " + quoteName(ref) + " of arc " +
                                 quoteName(arc.id) + " is not in the net");
    switch (it->second.kind) {
      case Kind::place:
        return {true, it->second.index};
      case Kind::transition:
        return {false, it->second.index};
      case Kind::referencePlace:
        return {true, references_[it->second.index].resolved};
      case Kind::referenceTransition:
        return {false, references_[it->second.index].resolved};
      default:
        break;
    }
    fail(lineOf(arc.node), "the " + std::string(end) + " " + quoteName(ref) + " of arc " +
                               quoteName(arc.id) + " is " + "a " + kindName(it->second.kind) +
                               ", not a place or transition");
  }

  // Arcs other than normal ones: a type attribute, a <type> element (also inside tool-specific
  // data) or an element named after the arc kind.
  void checkArcType(const pugi::xml_node& node, std::string_view id) const {
    auto refuse = [&](const pugi::xml_node& at, std::string_view what) {
      fail(lineOf(at), "arc " + quoteName(id) + " is of type " + quoteName(what) +
                           ": only normal arcs can be imported (no inhibitor, reset or read arcs)");
    };
    auto check = [&](const pugi::xml_node& at, std::string_view value) {
      const std::string v = lower(trim(value));
      if (!v.empty() && v != "normal" && v != "regular" && v != "ordinary") refuse(at, trim(value));
    };
    auto visit = [&](const pugi::xml_node& e) {
      for (const pugi::xml_attribute a : e.attributes()) {
        const std::string n = lower(localName(a));
        if (n == "type" || n == "arctype" || n == "kind") check(e, a.value());
      }
      const std::string n = lower(localName(e));
      if (n == "type" || n == "arctype") {
        const pugi::xml_attribute value = e.attribute("value");
        if (value) {
          check(e, value.value());
        } else if (const pugi::xml_node text = child(e, "text")) {
          check(e, text.child_value());
        } else {
          check(e, e.child_value());
        }
      } else if (n == "inhibitor" || n == "reset" || n == "read" || n == "test") {
        refuse(e, localName(e));
      }
    };
    for (const pugi::xml_attribute a : node.attributes()) {
      const std::string n = lower(localName(a));
      if (n == "type" || n == "arctype" || n == "kind") check(node, a.value());
    }
    forEachDescendant(node, visit);
  }

  void addArc(const Pending& arc) {
    const auto [sourcePlace, source] = endpoint(arc, "source");
    const auto [targetPlace, target] = endpoint(arc, "target");
    rejectHighLevel(arc.node, "arc", arc.id, {"hlinscription"});
    checkArcType(arc.node, arc.id);
    if (sourcePlace == targetPlace)
      fail(lineOf(arc.node),
           "arc " + quoteName(arc.id) + " joins two " + (sourcePlace ? "places" : "transitions"));
    if (const pugi::xml_node inscription = child(arc.node, "inscription")) {
      const std::string_view text = trim(child(inscription, "text").child_value());
      if (!detail::allDigits(text))
        fail(lineOf(inscription), "the inscription of arc " + quoteName(arc.id) + " is " +
                                      quoteName(text) + ", not a weight");
      const std::string_view digits = detail::significantDigits(text);
      if (digits != "1")
        fail(lineOf(inscription), "arc " + quoteName(arc.id) + " has weight " +
                                      (digits.empty()       ? std::string("0")
                                       : digits.size() > 18 ? std::string("more than 10^18")
                                                            : std::string(digits)) +
                                      ": only arcs of weight 1 can be imported");
    }
    const int place = sourcePlace ? source : target;
    const int transition = sourcePlace ? target : source;
    const std::uint64_t key =
        (static_cast<std::uint64_t>(static_cast<std::uint32_t>(place)) << 33) |
        (static_cast<std::uint64_t>(static_cast<std::uint32_t>(transition)) << 1) |
        static_cast<std::uint64_t>(sourcePlace);
    const auto [it, added] = arcIds_.try_emplace(key, arc.id);
    if (!added)
      fail(lineOf(arc.node),
           "arcs " + quoteName(it->second) + " and " + quoteName(arc.id) + " join the same " +
               (sourcePlace ? "place to the same transition" : "transition to the same place"));
    net_.arcs.push_back({place, transition, sourcePlace, lineOf(arc.node)});
  }

  std::string_view text_;
  std::string_view file_;
  pugi::xml_document doc_;
  bool linesKnown_ = false;
  std::vector<std::size_t> lineStarts_;
  ImportedNet net_;
  std::unordered_map<std::string_view, Entry> ids_;
  std::vector<Reference> references_;
  std::vector<Pending> arcs_;
  std::unordered_map<std::uint64_t, std::string_view> arcIds_;
};

}  // namespace

ImportResult importPnml(std::string_view text, std::string_view file) {
  try {
    return PnmlReader(text, file).read();
  } catch (const detail::Failure& f) {
    return ImportError{std::string(file), f.line, f.message};
  } catch (const std::bad_alloc&) {
    return ImportError{std::string(file), 0, "out of memory"};
  }
}

}  // namespace zelbo::import
