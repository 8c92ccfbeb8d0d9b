// What the library writes, kept for the tests to read: its streams (the log and the run's
// diagnostics) in temporary files, and the model reader's diagnostics as the command line
// prints them.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <string>

#include "zelbo/error.h"
#include "zelbo/settings.h"

namespace testnet {

// The whole content of a stream written so far.
inline std::string readAll(FILE* f) {
  fflush(f);
  rewind(f);
  std::string text;
  for (int c; (c = fgetc(f)) != EOF;) text += static_cast<char>(c);
  return text;
}

// The settings' log and diagnostics in temporary files of their own.
class CapturedStreams {
 public:
  explicit CapturedStreams(zelbo::Settings& settings) : settings_(settings) {
    settings_.log = tmpfile();
    settings_.diagnostics = tmpfile();
  }
  ~CapturedStreams() {
    fclose(settings_.log);
    fclose(settings_.diagnostics);
  }
  CapturedStreams(const CapturedStreams&) = delete;
  CapturedStreams& operator=(const CapturedStreams&) = delete;
  std::string log() const { return readAll(settings_.log); }
  // What the diagnostics stream received since the last call. The stream stays the same:
  // a sampler made before holds a copy of the settings.
  std::string diagnostics() {
    std::string text = readAll(settings_.diagnostics);
    if (ftruncate(fileno(settings_.diagnostics), 0) != 0) text += "(the stream could not be emptied)";
    rewind(settings_.diagnostics);
    return text;
  }

 private:
  zelbo::Settings& settings_;
};

// The model reader's diagnostics, printed as the command line prints them.
struct PrintedDiagnostics {
  std::string text;
  zelbo::DiagnosticHandler handler() {
    return [this](const zelbo::Diagnostic& d) { text += zelbo::printedText(d); };
  }
};

}  // namespace testnet
