// The command line's options about formats: what is added to the model it reads (-with,
// -delay) and the files written from it (-emit, -dot, -dot-unfolding). Each file is written
// whole or not at all (base/record_file.h), and only once the model is read.
#pragma once

#include <memory>
#include <string>

#include "cli/record.h"
#include "zelbo/formats.h"
#include "zelbo/zelbo.h"

namespace zelbo {

struct FormatOptions {
  ReadOptions read;
  std::unique_ptr<RecordFile> emit;       // -emit: the model in the model language
  std::unique_ptr<RecordFile> dot;        // -dot: the model drawn
  std::unique_ptr<RecordFile> unfolding;  // -dot-unfolding: the first unfolding drawn
  bool drawAfterRun = false;              // -dot coloured by the run's critical places
};

// Writes the -emit and -dot files of the model read from `source`. A model that the model
// language cannot write exactly, or a file that cannot be written, is thrown as an Error.
void writeModelFiles(FormatOptions& options, const Model& model, const std::string& source);

// Writes the -dot file after the run, coloured by `critical` (none when the run failed).
void writeColouredDrawing(FormatOptions& options, const Model& model, const std::vector<Criticality>& critical);

// Writes the -dot-unfolding file: the first unfolding of the run that these settings and this
// seed give, drawn with its sample's diagnostics discarded.
void writeUnfoldingFile(FormatOptions& options, const Model& model, const Settings& settings, long seed);

}  // namespace zelbo
