// Fuzz target of the STG reader and of format detection, and of the model built from the net
// read: each input is one .g file.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "check_build.h"
#include "check_net.h"
#include "import/detect.h"
#include "import/stg.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  zelbo::import::detectFormat(text, "input.g");
  zelbo::import::fuzz::checkResult(zelbo::import::importStg(text, "input.g"));
  zelbo::import::fuzz::checkBuild(text, "input.g");
  return 0;
}
