#include "driver/driver.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <optional>
#include <string>

#include "driver/report.h"
#include "zelbo/zelbo.h"

namespace zelbo {

namespace {

void usage(FILE* log) {
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
  fflush(log);
}

// What the command line asks for.
struct Invocation {
  Settings settings;
  long seed = 0;
  std::string modelFileName;
  std::optional<Model> model;
};

// An option that cannot be applied: the status to end with, its message already written.
struct OptionFailure {
  int status;
};

// Option values are read with the C library's formatted scan: leading blanks are skipped,
// trailing characters ignored, and a value that does not convert leaves the setting alone.
void scanReal(const char* value, double& setting) { sscanf(value, "%lg", &setting); }
void scanInt(const char* value, int& setting) { sscanf(value, "%d", &setting); }

void openLog(Invocation& run, const char* path) {
  FILE* log = fopen(path, "w");
  if (!log) {
    fprintf(stderr, "\n\tError: Failed to open log file %s to write.\n", path);
    fflush(run.settings.log);
    throw OptionFailure{1};
  }
  run.settings.log = log;  // an earlier log file stays open, no longer written
}

// The seed must be a whole decimal integer in the range of a long.
void scanSeed(Invocation& run, const char* value) {
  char* end = nullptr;
  errno = 0;
  const long seed = strtol(value, &end, 10);
  if (end == value || *end != '\0' || errno == ERANGE || isspace(static_cast<unsigned char>(*value))) {
    fprintf(stderr, "command line error: %s\n", value);
    fflush(run.settings.log);
    throw OptionFailure{1};
  }
  run.seed = seed;
}

struct Option {
  const char* longForm;   // nullptr: the option has only a short form
  const char* shortForm;  // nullptr: the option has only a long form
  bool takesValue;
  void (*apply)(Invocation& run, const char* value);
};

// Matched in this order, long form first, against whole arguments only.
const Option kOptions[] = {
    {"-auto", "-a", false, [](Invocation& r, const char*) { r.settings.stop = 0; }},
    {"-error%", "-e%", true,
     [](Invocation& r, const char* v) { r.settings.tolerance = 0; scanReal(v, r.settings.relativeError); }},
    {"-error", "-e", true,
     [](Invocation& r, const char* v) { r.settings.tolerance = 1; scanReal(v, r.settings.absoluteError); }},
    {"-confi", "-c", true, [](Invocation& r, const char* v) { scanReal(v, r.settings.confidence); }},
    {"-sample", "-ss", true,
     [](Invocation& r, const char* v) { r.settings.stop = 1; scanInt(v, r.settings.sampleSize); }},
    {"-unfold", "-u", true, [](Invocation& r, const char* v) { scanInt(v, r.settings.unfoldTimes); }},
    {nullptr, "-v", true, [](Invocation& r, const char* v) { scanInt(v, r.settings.verbose); }},
    {"-log", "-o", true, openLog},
    {"-tseSkip", "-ts", true, [](Invocation& r, const char* v) { scanInt(v, r.settings.requiredHeadingTSE); }},
    {"-printPeriod", "-pp", true, [](Invocation& r, const char* v) { scanInt(v, r.settings.printPeriod); }},
    {"-seed", nullptr, true, scanSeed},
};

const Option* findOption(const char* arg) {
  for (const Option& option : kOptions) {
    if (option.longForm && strcmp(arg, option.longForm) == 0) return &option;
    if (option.shortForm && strcmp(arg, option.shortForm) == 0) return &option;
  }
  return nullptr;
}

// Applies the options and reads the model file, which must be the last argument. Returns
// the status to end with when the run cannot go on.
std::optional<int> readCommandLine(Invocation& run, int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (const Option* option = findOption(arg)) {
      const char* value = nullptr;
      if (option->takesValue) {
        if (i + 1 >= argc) {
          usage(run.settings.log);
          return 1;
        }
        value = argv[++i];
      }
      option->apply(run, value);
    } else if (i == argc - 1 && arg[0] != '-') {
      run.modelFileName = arg;
      run.model = Model::readFile(arg, stderr);
    } else {
      fprintf(stderr, "command line error: %s\n", arg);
      fflush(run.settings.log);
      return 1;
    }
  }
  return std::nullopt;
}

void writeFinalReport(const Invocation& run, const Result& result) {
  FILE* log = run.settings.log;
  fprintf(log, "\n\n\t*** FINAL REPORT ***\n");
  displayResult(log, *run.model, run.settings, result, run.modelFileName.c_str());
  fprintf(log, "\n\n\t*** END OF FINAL REPORT ***\n");
  fputc('\n', log);
}

int estimateAndReport(Invocation& run) {
  check(*run.model, run.settings);
  FILE* log = run.settings.log;
  fflush(log);
  const Target target = run.model->target();
  const Result result = estimate(*run.model, run.settings, run.seed, [&](const Progress& progress) {
    writeIntermediateReport(log, target, progress);
    fflush(log);
  });
  writeFinalReport(run, result);
  // A normal end: the final flush of the log stream decides.
  return fflush(log) == 0 ? 0 : 1;
}

}  // namespace

int runZelbo(int argc, char** argv) {
  Invocation run;
  run.seed = static_cast<long>(time(nullptr));
  if (argc < 2) {
    usage(run.settings.log);
    return 1;
  }
  try {
    if (std::optional<int> status = readCommandLine(run, argc, argv)) return *status;
    if (!run.model) run.model = Model::empty();  // no model file: the checks reject it
    return estimateAndReport(run);
  } catch (const OptionFailure& failure) {
    return failure.status;
  } catch (const Error& error) {
    fputs(error.what(), stderr);
    fflush(run.settings.log);
    return error.status();
  }
}

}  // namespace zelbo
