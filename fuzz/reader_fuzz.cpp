// Fuzz target of the model reader and the model checks: each input is one model file.
//
// Every read has its own state, so each input is read from memory into a fresh model, exactly
// as a file of that content would be read. A model the reader rejects is thrown as an Error,
// which ends that input; an accepted one is checked with the verbose listing. Diagnostics and
// the listing go to /dev/null, opened once by the harness.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "language/reader.h"
#include "net/check.h"
#include "net/net.h"
#include "zelbo/error.h"
#include "zelbo/settings.h"

namespace {

FILE* sink() {
  static FILE* const devNull = [] {
    FILE* file = fopen("/dev/null", "w");
    if (!file) abort();
    return file;
  }();
  return devNull;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  zelbo::Settings settings;
  settings.log = sink();
  settings.diagnostics = sink();
  settings.verbose = 2;
  zelbo::Net net;
  try {
    // Each diagnostic is printed as the command line prints it, to the sink.
    zelbo::parseModelText(net, std::string_view(reinterpret_cast<const char*>(data), size), "fuzz.stpn",
                          [&](const zelbo::Diagnostic& d) { fputs(zelbo::printedText(d).c_str(), settings.diagnostics); });
  } catch (const zelbo::Error&) {
    return 0;
  }
  zelbo::checkModel(net, settings);
  return 0;
}
