#include "cli/command_line.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <optional>
#include <string>

#include "cli/model_files.h"
#include "cli/record.h"
#include "cli/report.h"
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

// Every option with its value, for --help.
void help() {
  printf("usage: zelbo [options] model-file\n\n");
  printf("Estimates the average time separation of two events of a stochastic timed Petri net.\n\n");
  printf("  -auto, -a              stop when the confidence interval is narrow enough (default)\n");
  printf("  -sample, -ss N         take exactly N samples\n");
  printf("  -error%%, -e%% X         relative error interval in percent (default 3)\n");
  printf("  -error, -e X           absolute error interval\n");
  printf("  -confi, -c X           confidence level in percent (default 97)\n");
  printf("  -printPeriod, -pp N    an intermediate report every N samples (default 100; 0: none)\n");
  printf("  -tseSkip, -ts N        leading TSE instances of every unfolding to skip (default 0)\n");
  printf("  -v N                   verbosity; 2 lists the model and traces the unfolding\n");
  printf("  -log, -o FILE          write the summary and reports to FILE instead of standard error\n");
  printf("  -unfold, -u N          accepted and stored, no effect\n");
  printf("  -seed N                seed of the random stream (default: the clock's current second)\n");
  printf("  -jobs, -j N            N samplers in threads (default 1; 0: one per hardware thread)\n");
  printf("  -json FILE             write a machine-readable record of the run to FILE\n");
  printf("  -with FILE             delays, branch probabilities and a target for the model, by name\n");
  printf("  -delay SPEC            the delay of places without one (default for .g and PNML: .fix 1)\n");
  printf("  -emit FILE             write the model as read, in zelbo's model language, to FILE\n");
  printf("  -dot FILE              draw the model in Graphviz DOT to FILE\n");
  printf("  -dot-unfolding FILE    draw the first sample's unfolding in Graphviz DOT to FILE\n");
  printf("  --help                 this text\n");
  printf("  --version              the version\n");
}

// What the command line asks for.
struct Invocation {
  Settings settings;
  long seed = 0;
  std::string modelFileName;
  std::optional<Model> model;
  std::unique_ptr<RecordFile> record;  // -json
  FormatOptions formats;               // -with, -delay, -emit, -dot, -dot-unfolding
};

// An end before the run: the status to end with, its message already written.
struct OptionFailure {
  int status;
};

// A command-line error about an option's value.
[[noreturn]] void badValue(const Invocation& run, const char* option, const char* value, const char* why) {
  fprintf(stderr, "command line error: %s %s: %s\n", option, value, why);
  fflush(run.settings.log);
  throw OptionFailure{1};
}

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

void scanJobs(Invocation& run, const char* value) {
  char* end = nullptr;
  errno = 0;
  const long jobs = strtol(value, &end, 10);
  if (end == value || *end != '\0' || errno == ERANGE || isspace(static_cast<unsigned char>(*value)) || jobs < 0 ||
      jobs > 4096)
    badValue(run, "-jobs", value, "the number of samplers must be a whole number from 0 to 4096");
  run.settings.jobs = static_cast<int>(jobs);
}

void openRecord(Invocation& run, const char* path) {
  auto record = std::make_unique<RecordFile>();
  std::string why;
  if (!record->open(path, why)) badValue(run, "-json", path, ("cannot be written: " + why).c_str());
  run.record = std::move(record);  // a repeated -json replaces the earlier one
}

// A file written from the model (-emit, -dot, -dot-unfolding).
void openOutput(Invocation& run, const char* option, const char* path, std::unique_ptr<RecordFile>& file) {
  auto output = std::make_unique<RecordFile>();
  std::string why;
  if (!output->open(path, why)) badValue(run, option, path, ("cannot be written: " + why).c_str());
  file = std::move(output);  // a repeated option replaces the earlier file
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
    {"-jobs", "-j", true, scanJobs},
    {"-json", nullptr, true, openRecord},
    {"-with", nullptr, true, [](Invocation& r, const char* v) { r.formats.read.annotations = v; }},
    {"-delay", nullptr, true, [](Invocation& r, const char* v) { r.formats.read.defaultDelay = v; }},
    {"-emit", nullptr, true, [](Invocation& r, const char* v) { openOutput(r, "-emit", v, r.formats.emit); }},
    {"-dot", nullptr, true, [](Invocation& r, const char* v) { openOutput(r, "-dot", v, r.formats.dot); }},
    {"-dot-unfolding", nullptr, true,
     [](Invocation& r, const char* v) { openOutput(r, "-dot-unfolding", v, r.formats.unfolding); }},
    {"--help", nullptr, false,
     [](Invocation&, const char*) {
       help();
       throw OptionFailure{fflush(stdout) == 0 ? 0 : 1};
     }},
    {"--version", nullptr, false,
     [](Invocation&, const char*) {
       printf("zelbo %s\n", ZELBO_VERSION);
       throw OptionFailure{fflush(stdout) == 0 ? 0 : 1};
     }},
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
      run.model = readModel(arg, run.formats.read, stderr);
      writeModelFiles(run.formats, *run.model, arg);
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
  writeResult(log, *run.model, run.settings, result, run.modelFileName.c_str());
  fprintf(log, "\n\n\t*** END OF FINAL REPORT ***\n");
  fputc('\n', log);
}

int estimateAndReport(Invocation& run, RunRecord& record) {
  check(*run.model, run.settings);
  writeUnfoldingFile(run.formats, *run.model, run.settings, run.seed);
  FILE* log = run.settings.log;
  fflush(log);
  const Target target = run.model->target();
  record.result = estimate(*run.model, run.settings, run.seed, [&](const Progress& progress) {
    writeIntermediateReport(log, target, progress);
    fflush(log);
  });
  writeFinalReport(run, *record.result);
  // A normal end: the final flush of the log stream decides.
  if (fflush(log) == 0) return 0;
  record.errorMessage = "The log could not be written.";
  return 1;
}

// Writes the record of a run that got past the options; a record that cannot be written
// turns a normal end into a failure.
int writeRecord(Invocation& run, RunRecord& record, int status, std::chrono::steady_clock::time_point start) {
  if (!run.record) return status;
  record.model = run.model;
  record.modelFile = run.modelFileName;
  record.cpuSeconds = static_cast<double>(clock()) / CLOCKS_PER_SEC;
  record.wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  record.exitStatus = status;
  std::string why;
  if (run.record->commit(recordText(record), why)) return status;
  fprintf(stderr, "\n\tError: Failed to write the record %s: %s.\n", run.record->path().c_str(), why.c_str());
  return status == 0 ? 1 : status;
}

}  // namespace

int runCommandLine(int argc, char** argv) {
  const auto start = std::chrono::steady_clock::now();
  Invocation run;
  run.seed = static_cast<long>(time(nullptr));
  if (argc < 2) {
    usage(run.settings.log);
    return 1;
  }
  RunRecord record;
  record.settings = &run.settings;
  int status = 0;
  try {
    if (std::optional<int> ended = readCommandLine(run, argc, argv)) return *ended;
    if (!run.model) run.model = Model::empty();  // no model file: the checks reject it
    status = estimateAndReport(run, record);
  } catch (const OptionFailure& failure) {
    return failure.status;
  } catch (const Error& error) {
    fputs(error.what(), stderr);
    fflush(run.settings.log);
    record.errorMessage = error.what();
    record.errorDetail = error.detail();
    status = error.status();
  }
  record.seed = run.seed;
  record.jobs = run.settings.jobs;
  return writeRecord(run, record, status, start);
}

}  // namespace zelbo
