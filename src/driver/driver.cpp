#include "driver/driver.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "driver/globals.h"
#include "driver/report.h"
#include "estimate/bounds.h"
#include "estimate/time.h"
#include "spec/check.h"
#include "spec/parse.h"

void usage() {
  fprintf(stderr, "zelbo [-auto][-e[%%]][-confi][-sample][-v][-log][-ts][-pp] filename\n\n");
  fprintf(stderr, "\t-auto \t\tautomatic Monte-Carlo stopping\n");
  fprintf(stderr, "\t-e%% <float> \trelative error interval\n");
  fprintf(stderr, "\t-e <float>  \tabsolute error interval\n");
  fprintf(stderr, "\t-confi <float> \tconfindence level in percentage\n");
  fprintf(stderr, "\t-sample <int> \tsample size\n");
  fprintf(stderr, "\t-v <int> \tverbosity level\n");
  fprintf(stderr, "\t-ts <int> \tnumber of TSE instances to skip\n");
  fprintf(stderr, "\t-pp <int> \tprint period in number of samples\n");
  fprintf(stderr, "\t-log <string> \toutput file \n");
  fflush(gOutFp);
  exit(1);
}

namespace {

// Option values are read with the C library's formatted scan: leading blanks are skipped,
// trailing characters ignored, and a value that does not convert leaves the setting alone.
void scanReal(const char* value, double& setting) { sscanf(value, "%lg", &setting); }
void scanInt(const char* value, int& setting) { sscanf(value, "%d", &setting); }

void openLog(const char* path) {
  FILE* log = fopen(path, "w");
  if (!log) {
    fprintf(stderr, "\n\tError: Failed to open log file %s to write.\n", path);
    fflush(gOutFp);
    exit(1);
  }
  gOutFp = log;  // an earlier log file stays open, no longer written
}

struct Option {
  const char* longForm;   // nullptr: the option has only a short form
  const char* shortForm;
  bool takesValue;
  void (*apply)(const char* value);
};

// Matched in this order, long form first, against whole arguments only.
const Option kOptions[] = {
    {"-auto", "-a", false, [](const char*) { gStop = 0; }},
    {"-error%", "-e%", true, [](const char* v) { gTolerance = 0; scanReal(v, gRelativeError); }},
    {"-error", "-e", true, [](const char* v) { gTolerance = 1; scanReal(v, gAbsoluteError); }},
    {"-confi", "-c", true, [](const char* v) { scanReal(v, gConfidence); }},
    {"-sample", "-ss", true, [](const char* v) { gStop = 1; scanInt(v, gSampleSize); }},
    {"-unfold", "-u", true, [](const char* v) { scanInt(v, gUnfoldTimes); }},
    {nullptr, "-v", true, [](const char* v) { scanInt(v, gVerbose); }},
    {"-log", "-o", true, openLog},
    {"-tseSkip", "-ts", true, [](const char* v) { scanInt(v, gRequiredHeadingTSE); }},
    {"-printPeriod", "-pp", true, [](const char* v) { scanInt(v, gNumPrintIter); }},
};

const Option* findOption(const char* arg) {
  for (const Option& option : kOptions) {
    if (option.longForm && strcmp(arg, option.longForm) == 0) return &option;
    if (strcmp(arg, option.shortForm) == 0) return &option;
  }
  return nullptr;
}

// Status of a normal end: the final flush of the log stream decides.
int finish() { return fflush(gOutFp) == 0 ? 0 : 1; }

}  // namespace

int runZelbo(int argc, char** argv) {
  Init();
  srand48(time(nullptr));
  gOutFp = stderr;
  if (argc < 2) usage();

  std::string modelFileName;
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (const Option* option = findOption(arg)) {
      const char* value = nullptr;
      if (option->takesValue) {
        if (i + 1 >= argc) usage();
        value = argv[++i];
      }
      option->apply(value);
    } else if (i == argc - 1 && arg[0] != '-') {
      modelFileName = arg;
      if (ParseSpecFile(arg) > 0) {
        fflush(gOutFp);
        return 1;
      }
    } else {
      fprintf(stderr, "command line error: %s\n", arg);
      fflush(gOutFp);
      return 1;
    }
  }

  if (checkSpec(gNet) != 0) {
    fprintf(stderr, "\n\tError: Incorrect or incomplete spec.");
    fprintf(stderr, "\n\tInfo : PRYX Solver terminates.\n\n");
    fflush(gOutFp);
    return 1;
  }
  fflush(gOutFp);

  getZhalfAlpha();
  int unpaired = 0;
  double bound = bounds(unpaired);
  fprintf(gOutFp, "\n\n\t*** FINAL REPORT ***\n");
  displayResult(bound, modelFileName.c_str(), unpaired);
  fprintf(gOutFp, "\n\n\t*** END OF FINAL REPORT ***\n");
  fputc('\n', gOutFp);
  return finish();
}
