// Fuzz target of the model reader and the model checks: each input is one model file.
//
// The reader keeps its state in globals and a run reads one file, so every input starts
// from a fresh process state: Init() recreates the model and the settings, PRYXResetReader()
// the scanner, the source location and the parse's records. The input is handed to the
// reader as a file (an in-memory one, named by its /proc path), exactly as the command line
// would name it. Nothing here can end the process: the reader and the checks report and
// return; only a read error of the model file would exit, and an in-memory file has none.
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "driver/globals.h"
#include "spec/check.h"
#include "spec/parse.h"

namespace {

int modelFd = -1;
std::string modelPath;
FILE* logSink = nullptr;

void setUp() {
  modelFd = memfd_create("model.stpn", 0);
  if (modelFd < 0) {
    perror("memfd_create");
    abort();
  }
  modelPath = "/proc/self/fd/" + std::to_string(modelFd);
  logSink = fopen("/dev/null", "w");
  if (!logSink) abort();
}

void writeModel(const uint8_t* data, size_t size) {
  if (ftruncate(modelFd, 0) != 0) abort();
  size_t done = 0;
  while (done < size) {
    const ssize_t n = pwrite(modelFd, data + done, size - done, static_cast<off_t>(done));
    if (n <= 0) abort();
    done += static_cast<size_t>(n);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (modelFd < 0) setUp();
  Init();
  PRYXResetReader();
  // The verbose listing of the checks runs too; the summary goes nowhere.
  gOutFp = logSink;
  gVerbose = 2;
  writeModel(data, size);
  if (ParseSpecFile(modelPath.c_str()) == 0) checkSpec(gNet);
  return 0;
}
