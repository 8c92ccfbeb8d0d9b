// Reading model files. Each read has its own scanner and parser state, so any number of
// models can be read, one after the other or at once, in one process.
#pragma once

#include <cstdio>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "delay/delay.h"
#include "language/location.h"
#include "language/transition_list.h"
#include "net/net.h"

namespace zelbo {

// Reads the model file into `net` (its places, transitions, delays and target) and prepares
// its firing information. Warnings and parse errors go to `report` as they are found (none
// goes anywhere without it). Throws an Error: status 1 when the file cannot be opened
// ("Failed to open file") or parsed ("Failed to parse"), status 2 when it cannot be read.
// Formerly ParseSpecFile.
void parseModelFile(Net& net, const std::string& path, const DiagnosticHandler& report);
// An annotation file: read as a model file, but a name may be written in double quotes, as the
// annotated model's source file writes it; such a place or transition of the net built keeps
// its quotes in its name.
void parseAnnotationFile(Net& net, const std::string& path, const DiagnosticHandler& report);
// The same for a model held in memory; `name` stands for the file in messages.
void parseModelText(Net& net, std::string_view text, const std::string& name, const DiagnosticHandler& report);
void parseAnnotationText(Net& net, std::string_view text, const std::string& name, const DiagnosticHandler& report);

// One value of a custom distribution; the list runs newest first.
struct CustomValueNode {
  float value;
  CustomValueNode* next;
};

// The state of one read: the model it builds, where diagnostics go, the scanner's position,
// and the records that serve only while the file is read (the model keeps copies or nothing).
struct ParseContext {
  ParseContext(Net& model, std::string fileName, const DiagnosticHandler& handler)
      : net(model), file(std::move(fileName)), report(handler) {}

  // Hands a diagnostic at `span` to the caller's handler.
  void diagnose(Diagnostic::Severity severity, Diagnostic::Code code, std::string message, const SourceSpan* span,
                std::vector<std::string> notes = {});

  Net& net;
  std::string file;
  const DiagnosticHandler& report;
  bool annotations = false;  // an annotation file: quoted names are names
  LocationState location;
  std::deque<TransNode> nodes;
  std::deque<TransIdList> lists;
  std::deque<CustomValueNode> probElems;
  std::deque<TargetPair> ignoredTargets;     // targets after the first
  std::unique_ptr<DelaySpec> pendingDelay;  // built, not yet attached to its place

  // The parser's stack once it outgrows its first 200 entries; owned here so that an error
  // thrown out of the parser does not leak it.
  void* allocateStack(std::size_t bytes);
  void releaseStack(void* block);
  std::vector<std::unique_ptr<char[]>> stackBlocks;
};

// The scanner over one input, for the parser and for tests: `next` returns the next token's
// code (0 at the end), its value in `value` (a pointer to the parser's value type) and the
// span of the last match in `loc`.
class ModelScanner {
 public:
  ModelScanner(FILE* input, ParseContext& context);
  ~ModelScanner();
  ModelScanner(const ModelScanner&) = delete;
  ModelScanner& operator=(const ModelScanner&) = delete;
  void* handle() const { return scanner_; }
  int next(void* value, SourceSpan& loc);

 private:
  void* scanner_ = nullptr;
};

}  // namespace zelbo
