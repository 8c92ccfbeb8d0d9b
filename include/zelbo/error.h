// Failures and diagnostics as data. The library writes neither: it throws an Error and hands
// its reader's diagnostics to the caller; printedText() gives the exact text the command
// line writes for each.
#pragma once

#include <exception>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace zelbo {

// Where in a file a diagnostic or an error points: a line and column (each from 1; 0 when
// the location is the whole file or the whole line), and for the model reader's spans where
// the text ends.
struct SourceLocation {
  std::string file;
  int line = 0;
  int column = 0;
  int endLine = 0;
  int endColumn = 0;
};

class Error : public std::exception {
 public:
  enum class Kind {
    model,     // the model cannot be read, or fails its checks
    run,       // a fatal condition of a run: a net that is not 1-safe, a deadlock, ...
    usage,     // a setting out of range
    io,        // a file that cannot be opened, read or written
    internal,  // the library's own fault
  };
  // A line that follows the message, of its own kind: "Please check its delay spec." is an
  // error note, the line that says the solver terminates an informational one. An empty note
  // is a blank line.
  struct Note {
    enum class Kind { error, info } kind = Kind::info;
    std::string text;
  };
  // How the command line frames the message: as an error line (the usual), as an error line
  // without its line break, or as the message alone (the model scanner's own failures).
  enum class Framing { errorLine, openErrorLine, bare };

  Error(Kind kind, std::string message, int status = 1);

  Kind kind() const { return kind_; }
  int status() const { return status_; }
  // The message itself, one line without framing: "Net is not 1-safe."
  const std::string& message() const { return message_; }
  const std::optional<SourceLocation>& location() const { return location_; }
  const std::vector<Note>& notes() const { return notes_; }
  // A listing that explains the failure (the marking at a deadlock, in verbose runs).
  const std::string& listing() const { return listing_; }
  // What the message does not say but was written elsewhere: why the checks rejected a model.
  const std::string& detail() const { return detail_; }
  Framing framing() const { return framing_; }
  // The location ("file:line: ") and the message.
  const char* what() const noexcept override { return what_.c_str(); }

  Error& at(SourceLocation location);
  Error& note(Note::Kind kind, std::string text);
  Error& withListing(std::string listing);
  Error& withDetail(std::string detail);
  Error& framed(Framing framing);

 private:
  Kind kind_;
  int status_;
  std::string message_;
  std::optional<SourceLocation> location_;
  std::vector<Note> notes_;
  std::string listing_;
  std::string detail_;
  Framing framing_ = Framing::errorLine;
  std::string what_;
};

// A warning or an error the model reader found on its way through a file. An error
// diagnostic (a syntax error) is followed by the Error that ends the read.
struct Diagnostic {
  enum class Severity { warning, error };
  // What it is about; each has its own printed form.
  enum class Code {
    syntaxError,                 // the parser's "parse error" or "parser stack overflow"
    placeRedefined,              // a second place statement with arcs: its clauses are skipped
    probabilityAboveOne,         // a branch probability in brackets above 1
    unsafeMarking,               // ".mark N" above 1
    delayRedefined,              // a second delay of a place: the last one is kept
    targetIgnored,               // a second target: only the first is the model's
    customValueAboveOne,         // a probability of a custom delay above 1 (a real)
    customWholeValueAboveOne,    // the same, written as a whole number
    transitionListedTwice,       // a transition twice in one braced list: once is kept
    binomialNotInverted,         // a binomial delay's quantile table could not be completed
    betaNotInverted,             // a beta delay's quantile table could not be completed
    importWarning,               // a reader of another format skipped something (an unknown keyword)
  };
  Severity severity = Severity::warning;
  Code code = Code::syntaxError;
  std::string message;                      // plain: "Invalid probability value '2'"
  std::vector<std::string> notes;           // lines that follow it: "Retaining the last delay spec."
  std::optional<SourceLocation> location;   // the span the reader was at
};

using DiagnosticHandler = std::function<void(const Diagnostic&)>;

// The exact text the command line writes to standard error for an error, and for a
// diagnostic of the model reader.
std::string printedText(const Error& error);
std::string printedText(const Diagnostic& diagnostic);

}  // namespace zelbo
