// What every text that imports must give once it is built into a model: the checks accept the
// model or say why, the model is drawn, and it is written in the model language and read back
// as the same model. A violation aborts.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "api/internal.h"
#include "check_net.h"
#include "import/detect.h"
#include "language/writer.h"
#include "zelbo/formats.h"
#include "zelbo/zelbo.h"

namespace zelbo::import::fuzz {

inline FILE* sink() {
  static FILE* const devNull = [] {
    FILE* file = fopen("/dev/null", "w");
    if (!file) abort();
    return file;
  }();
  return devNull;
}

inline void checkBuild(std::string_view text, const char* name) {
  if (detectFormat(text, name) == Format::stpn) return;  // the reader's own target covers it
  std::optional<Model> model;
  try {
    model = readModelText(text, name, {});
  } catch (const Error& error) {
    require(error.status() == 1 && std::string(error.what()).find(name) != std::string::npos,
            "an import error that does not name the file");
    return;
  }
  Settings settings;
  settings.log = settings.diagnostics = sink();
  settings.verbose = 2;
  try {
    check(*model, settings);
  } catch (const Error&) {
  }
  modelDot(*model);
  WrittenModel written;
  try {
    written = writeModel(*model, name);
  } catch (const Error& error) {
    fprintf(stderr, "%s", printedText(error).c_str());
    require(false, "an imported net that the model language cannot write");
  }
  if (written.statements > kReadableStatements) return;
  const Model again = readModelText(written.text, "written.stpn", {});
  const std::string difference = modelDifference(netOf(*model), netOf(again));
  if (!difference.empty()) fprintf(stderr, "%s\n", difference.c_str());
  require(difference.empty(), "a written model that reads back as another");
}

}  // namespace zelbo::import::fuzz
