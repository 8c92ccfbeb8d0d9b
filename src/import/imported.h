// The neutral description of a net read from a foreign format (an STG .g file, a PNML
// place/transition net), and the error a failed import returns.
//
// Every name in an ImportedNet is already an identifier of zelbo's model language
// ([a-zA-Z][a-zA-Z0-9_]*), made by toIdentifier() (names.h) from the name in the file, which
// is kept as `original` for messages. Places and transitions never share a name. Lists are in
// order of first appearance in the file, arcs in file order.
#pragma once

#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace zelbo::import {

struct ImportedPlace {
  std::string name;      // identifier: toIdentifier(original)
  std::string original;  // as in the file: "p1", "<a+,b->" for an implicit place, a PNML id
  std::string label;     // PNML <name> text; empty when absent and for STG
  int tokens = 0;        // initial marking, 0 or 1
  int line = 0;          // source line of the first appearance; 0 when unknown
};

// What an STG transition stands for; a PNML transition is plain.
enum class TransitionKind { plain, input, output, internal, dummy };

struct ImportedTransition {
  std::string name;      // identifier: toIdentifier(original)
  std::string original;  // as in the file, instance written canonically: "a+", "b-/2", "d"
  std::string label;     // PNML <name> text; empty when absent and for STG
  TransitionKind kind = TransitionKind::plain;
  std::string signal;  // STG signal of a signal transition ("a" for "a+/2"), else empty
  int line = 0;
};

// An arc between places[place] and transitions[transition]; toTransition tells its direction
// (place -> transition when true, transition -> place otherwise). No two arcs are equal.
struct ImportedArc {
  int place = 0;
  int transition = 0;
  bool toTransition = true;
  int line = 0;
};

// Something a reader skipped, at its line.
struct ImportWarning {
  int line = 0;
  std::string message;
};

struct ImportedNet {
  std::string name;  // identifier of the net: the STG model or PNML net id, else the
                     // stem of the file name, else "net"
  std::string original;
  std::vector<ImportedPlace> places;
  std::vector<ImportedTransition> transitions;
  std::vector<ImportedArc> arcs;
  std::vector<ImportWarning> warnings;  // in file order
};

struct ImportError {
  std::string file;
  int line = 0;  // 1-based; 0 when the fault belongs to no line (an unreadable file)
  std::string message;

  // "FILE:LINE: message", or "FILE: message" without a line.
  std::string toString() const {
    return line > 0 ? file + ":" + std::to_string(line) + ": " + message : file + ": " + message;
  }
};

// A value or the ImportError that stopped its making.
template <class T>
class Result {
 public:
  Result(T value) : v_(std::move(value)) {}
  Result(ImportError error) : v_(std::move(error)) {}

  bool ok() const { return v_.index() == 0; }
  explicit operator bool() const { return ok(); }
  const T& value() const& { return std::get<0>(v_); }
  T& value() & { return std::get<0>(v_); }
  T&& value() && { return std::get<0>(std::move(v_)); }
  const ImportError& error() const { return std::get<1>(v_); }

 private:
  std::variant<T, ImportError> v_;
};

using ImportResult = Result<ImportedNet>;

}  // namespace zelbo::import
