#include "cli/model_files.h"

#include <cstdio>

#include "base/format.h"
#include "base/texts.h"

namespace zelbo {

namespace {

void commit(RecordFile& file, const std::string& text) {
  std::string why;
  if (!file.commit(text, why))
    throw Error(Error::Kind::io, formatted(text::kFailedToWriteFile, file.path().c_str(), why.c_str()));
}

}  // namespace

void writeModelFiles(FormatOptions& options, const Model& model, const std::string& source) {
  if (options.emit) {
    const WrittenModel written = writeModel(model, source);
    commit(*options.emit, written.text);
    if (written.statements > 9990)
      fprintf(stderr, text::kTooManyStatements, options.emit->path().c_str(), written.statements);
  }
  if (options.dot && !options.drawAfterRun) commit(*options.dot, modelDot(model));
}

void writeColouredDrawing(FormatOptions& options, const Model& model, const std::vector<Criticality>& critical) {
  if (options.dot && options.drawAfterRun) commit(*options.dot, modelDot(model, critical));
}

void writeUnfoldingFile(FormatOptions& options, const Model& model, const Settings& settings, long seed) {
  if (!options.unfolding) return;
  // The same sampler as the run's first one; what it writes on the way is the run's to write.
  Settings quiet = settings;
  FILE* sink = fopen("/dev/null", "w");
  if (sink) quiet.log = quiet.diagnostics = sink;
  std::string drawing;
  try {
    drawing = unfoldingDot(model, quiet, seed);
  } catch (...) {
    if (sink) fclose(sink);
    throw;
  }
  if (sink) fclose(sink);
  commit(*options.unfolding, drawing);
}

}  // namespace zelbo
