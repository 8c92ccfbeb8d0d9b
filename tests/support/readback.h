// Models written in the model language and read back: the reading, the comparison of the two
// models, and a seeded run of each, for the tests of the writer and the importers.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "api/internal.h"
#include "language/writer.h"
#include "net/net.h"
#include "zelbo/formats.h"
#include "zelbo/zelbo.h"

namespace readback {

using namespace zelbo;

// Settings of a fixed-size run whose streams go nowhere.
struct Quiet {
  Quiet() : file(fopen("/dev/null", "w")) {
    settings.log = file;
    settings.diagnostics = file;
    settings.stopping = Stopping::fixed;
    settings.sampleSize = 50;
  }
  ~Quiet() { fclose(file); }
  FILE* file;
  Settings settings;
};

inline Model read(const std::string& text, const std::string& name = "model.stpn", const ReadOptions& options = {}) {
  return readModelText(text, name, options);
}

// The run's figures as text, or its error message.
inline std::string runOf(const Model& model, long seed) {
  Quiet quiet;
  try {
    check(model, quiet.settings);
    const Result r = estimate(model, quiet.settings, seed);
    char text[160];
    snprintf(text, sizeof text, "%.17g %d %d %.17g %d %d", r.bound, r.samples, r.instances, r.groupSums, r.segments,
             r.discarded);
    return text;
  } catch (const Error& error) {
    return printedText(error);
  }
}

// Writes `model`, reads the text back, and expects the same model and the same seeded run
// (whose figures or error go to `run`). Returns the text.
inline std::string expectReadsBack(const Model& model, long seed = 3, std::string* run = nullptr) {
  const std::string text = writeModel(model).text;
  const Model again = read(text, "written.stpn");
  EXPECT_EQ(modelDifference(netOf(model), netOf(again)), "") << text;
  const std::string first = runOf(model, seed);
  EXPECT_EQ(first, runOf(again, seed)) << text;
  if (run) *run = first;
  return text;
}

}  // namespace readback
