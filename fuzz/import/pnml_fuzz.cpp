// Fuzz target of the PNML reader, and of the model built from the net read: each input is one
// PNML document.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "check_build.h"
#include "check_net.h"
#include "import/pnml.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  zelbo::import::fuzz::checkResult(zelbo::import::importPnml(text, "input.pnml"));
  zelbo::import::fuzz::checkBuild(text, "input.pnml");
  return 0;
}
