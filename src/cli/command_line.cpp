#include "cli/command_line.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <climits>
#include <cstring>
#include <ctime>
#include <optional>
#include <string>

#include "api/internal.h"
#include "base/clock.h"
#include "base/format.h"
#include "base/texts.h"
#include "cli/model_files.h"
#include "cli/progress_line.h"
#include "cli/ranks.h"
#include "cli/record.h"
#include "cli/report.h"
#include "cli/stop_signals.h"
#include "zelbo/edit.h"
#include "report/recording.h"
#include "zelbo/report.h"
#include "zelbo/zelbo.h"

namespace zelbo {

namespace {

void usage(FILE* log) {
  fputs(text::kUsage, stderr);
  fflush(log);
}

// Every option with its value, for --help.
void help() { fputs(text::kHelp, stdout); }

// What the command line asks for.
struct Invocation {
  Settings settings;
  long seed = 0;
  std::string modelFileName;
  std::optional<Model> model;
  std::unique_ptr<RecordFile> record;  // -json
  std::unique_ptr<RecordFile> report;  // -report
  std::unique_ptr<RunRecorder> recorder;  // with -report, once the run starts
  FormatOptions formats;               // -with, -delay, -emit, -dot, -dot-unfolding
  // Targets asked by name (-tse, -targets), in order; the texts of those given by -tse.
  std::vector<TargetRequest> targets;
  std::vector<std::string> targetOptions;
  int criticalRows = 0;                // -critical: places listed for each target
  OtherRanks* ranks = nullptr;         // under a launcher, on rank 0
  InputFiles inputs;                   // what the other ranks read instead of files
};

// An end before the run: the status to end with, its message already written.
struct OptionFailure {
  int status;
};

// A stop signal that came before the estimation started.
struct StoppedBeforeRun {
  int status;
};

// The status of a run that a stop signal ended: 128 + the signal's number, as a shell gives
// a process that the signal killed.
int stoppedStatus() { return 128 + stopSignal(); }

// A command-line error about an option's value.
[[noreturn]] void badValue(const Invocation& run, const char* option, const char* value, const char* why) {
  fprintf(stderr, text::kBadOptionValue, option, value, why);
  fflush(run.settings.log);
  throw OptionFailure{1};
}

// Option values are read with the C library's formatted scan: leading blanks are skipped,
// trailing characters ignored, and a value that does not convert leaves the setting alone.
void scanReal(const char* value, double& setting) { sscanf(value, "%lg", &setting); }
void scanInt(const char* value, int& setting) { sscanf(value, "%d", &setting); }

// Ends the command line with an error it frames as the library's errors are framed.
[[noreturn]] void fail(const Invocation& run, const Error& error) {
  fputs(printedText(error).c_str(), stderr);
  fflush(run.settings.log);
  throw OptionFailure{error.status()};
}

void openLog(Invocation& run, const char* path) {
  FILE* log = fopen(path, "w");
  if (!log) fail(run, Error(Error::Kind::io, formatted(text::kFailedToOpenLog, path)));
  // A repeated -log replaces the earlier file, which is closed empty.
  if (run.settings.log != stderr) fclose(run.settings.log);
  run.settings.log = log;
}

// The seed must be a whole decimal integer in the range of a long.
void scanSeed(Invocation& run, const char* value) {
  char* end = nullptr;
  errno = 0;
  const long seed = strtol(value, &end, 10);
  if (end == value || *end != '\0' || errno == ERANGE || isspace(static_cast<unsigned char>(*value))) {
    fprintf(stderr, text::kCommandLineError, value);
    fflush(run.settings.log);
    throw OptionFailure{1};
  }
  run.seed = seed;
}

// A whole decimal number, checked as the library checks the number of samplers.
void scanJobs(Invocation& run, const char* value) {
  char* end = nullptr;
  errno = 0;
  const long jobs = strtol(value, &end, 10);
  const bool whole = end != value && *end == '\0' && errno != ERANGE && !isspace(static_cast<unsigned char>(*value));
  Settings asked = run.settings;
  asked.jobs = whole && jobs >= INT_MIN && jobs <= INT_MAX ? static_cast<int>(jobs) : -1;
  for (const SettingsError& error : settingsErrors(asked))
    if (error.setting() == SettingsError::Setting::jobs) badValue(run, "-jobs", value, error.message().c_str());
  run.settings.jobs = asked.jobs;
}

void openRecord(Invocation& run, const char* path) {
  auto record = std::make_unique<RecordFile>();
  std::string why;
  if (!record->open(path, why)) badValue(run, "-json", path, formatted(text::kCannotBeWritten, why.c_str()).c_str());
  run.record = std::move(record);  // a repeated -json replaces the earlier one
}

// -critical N: the figures of every place, N of them listed for each target.
void askCritical(Invocation& run, const char* value) {
  char* end = nullptr;
  errno = 0;
  const long rows = strtol(value, &end, 10);
  if (end == value || *end != '\0' || errno == ERANGE || isspace(static_cast<unsigned char>(*value)) || rows < 1 ||
      rows > INT_MAX)
    badValue(run, "-critical", value, text::kBadCriticalRows);
  run.criticalRows = static_cast<int>(rows);
  run.settings.criticalDelays = true;
  run.formats.drawAfterRun = true;
}

// -tse SOURCE,DESTINATION,SEPARATION[,lb]: its syntax now, its names once the model is read.
void addTarget(Invocation& run, const char* value) {
  try {
    run.targets.push_back(TargetRequest{parseTarget(value), std::nullopt});
    run.targetOptions.emplace_back(value);
  } catch (const Error& e) {
    badValue(run, "-tse", value, e.message().c_str());
  }
}

// -targets FILE: a target a line.
void addTargetsFile(Invocation& run, const char* path) {
  try {
    for (TargetRequest& request : readTargetsFile(path)) {
      run.targets.push_back(std::move(request));
      run.targetOptions.emplace_back();
    }
  } catch (const Error& e) {
    fail(run, e);
  }
}

// The model estimating the targets asked by name. A -tse that names what the model has not is a
// command-line error; a targets file's line, an error at that line.
void applyTargets(Invocation& run) {
  if (run.targets.empty()) return;
  for (std::size_t i = 0; i < run.targets.size(); ++i) {
    if (run.targetOptions[i].empty()) continue;
    try {
      withTargets(*run.model, {run.targets[i]});
    } catch (const Error& e) {
      badValue(run, "-tse", run.targetOptions[i].c_str(), e.message().c_str());
    }
  }
  run.model = withTargets(*run.model, run.targets);
}

// A file written from the model (-emit, -dot, -dot-unfolding).
void openOutput(Invocation& run, const char* option, const char* path, std::unique_ptr<RecordFile>& file) {
  auto output = std::make_unique<RecordFile>();
  std::string why;
  if (!output->open(path, why)) badValue(run, option, path, formatted(text::kCannotBeWritten, why.c_str()).c_str());
  file = std::move(output);  // a repeated option replaces the earlier file
}

// The report page needs the charting library besides a file it can write.
void openReport(Invocation& run, const char* path) {
  try {
    chartLibrary();
  } catch (const Error& error) {
    badValue(run, "-report", path, error.message().c_str());
  }
  openOutput(run, "-report", path, run.report);
}

struct Option {
  const char* longForm;   // nullptr: the option has only a short form
  const char* shortForm;  // nullptr: the option has only a long form
  bool takesValue;
  void (*apply)(Invocation& run, const char* value);
};

// Matched in this order, long form first, against whole arguments only.
const Option kOptions[] = {
    {"-auto", "-a", false, [](Invocation& r, const char*) { r.settings.stopping = Stopping::automatic; }},
    {"-error%", "-e%", true,
     [](Invocation& r, const char* v) { r.settings.criterion = ErrorCriterion::relative; scanReal(v, r.settings.relativeError); }},
    {"-error", "-e", true,
     [](Invocation& r, const char* v) { r.settings.criterion = ErrorCriterion::absolute; scanReal(v, r.settings.absoluteError); }},
    {"-confi", "-c", true, [](Invocation& r, const char* v) { scanReal(v, r.settings.confidence); }},
    {"-sample", "-ss", true,
     [](Invocation& r, const char* v) { r.settings.stopping = Stopping::fixed; scanInt(v, r.settings.sampleSize); }},
    {"-unfold", "-u", true, [](Invocation& r, const char* v) { scanInt(v, r.settings.unfoldTimes); }},
    {nullptr, "-v", true, [](Invocation& r, const char* v) { scanInt(v, r.settings.verbose); }},
    {"-log", "-o", true, openLog},
    {"-tseSkip", "-ts", true, [](Invocation& r, const char* v) { scanInt(v, r.settings.skip); }},
    {"-printPeriod", "-pp", true, [](Invocation& r, const char* v) { scanInt(v, r.settings.printPeriod); }},
    {"-seed", nullptr, true, scanSeed},
    {"-jobs", "-j", true, scanJobs},
    {"-tse", nullptr, true, addTarget},
    {"-targets", nullptr, true, addTargetsFile},
    {"-json", nullptr, true, openRecord},
    {"-report", nullptr, true, openReport},
    {"-critical", nullptr, true, askCritical},
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
       printf(text::kVersion, ZELBO_VERSION);
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
      run.model = readModel(arg, run.formats.read);
      writeModelFiles(run.formats, *run.model, arg);
      applyTargets(run);
    } else {
      fprintf(stderr, text::kCommandLineError, arg);
      fflush(run.settings.log);
      return 1;
    }
  }
  return std::nullopt;
}

void writeFinalReport(const Invocation& run, const Result& result) {
  FILE* log = run.settings.log;
  fputs(text::kFinalHeading, log);
  writeResult(log, *run.model, run.settings, result, run.modelFileName.c_str());
  if (result.interrupted) fprintf(log, text::kInterruptedAfter, result.samples);
  fputs(text::kFinalEnd, log);
  if (result.targets.size() > 1) writeEveryTarget(log, result);
  if (run.criticalRows > 0) writeCriticalPlaces(log, result, run.criticalRows);
  fputc('\n', log);
}

// The run as the other ranks need it.
RankRun rankRun(const Invocation& run) {
  RankRun ranked;
  ranked.settings = run.settings;
  ranked.settings.jobs = samplerThreads(run.settings);
  ranked.seed = run.seed;
  ranked.sharedStream = run.settings.log == run.settings.diagnostics;
  ranked.modelFile = run.modelFileName;
  ranked.annotations = run.formats.read.annotations;
  ranked.defaultDelay = run.formats.read.defaultDelay;
  ranked.files = run.inputs.all();
  for (const TargetRequest& request : run.targets) ranked.targets.push_back(request.target);
  return ranked;
}

Result estimateHere(Invocation& run, const ReportCallback& onReport, const RunControl& control) {
  if (!run.ranks) return estimate(*run.model, run.settings, run.seed, onReport, control);
  const RankRun ranked = rankRun(run);
  return estimateOnRanks(*run.model, run.settings, run.seed, onReport, control, run.ranks->ranks(),
                         [&](MergeInbox& inbox) { run.ranks->serve(ranked, inbox); });
}

int estimateAndReport(Invocation& run, RunRecord& record) {
  check(*run.model, run.settings);
  writeUnfoldingFile(run.formats, *run.model, run.settings, run.seed);
  fflush(run.settings.log);
  const Target target = run.model->target();
  RunControl control;
  control.stopRequested = [] { return stopSignal() != 0; };
  if (run.report) {
    run.recorder = std::make_unique<RunRecorder>(run.settings, run.seed);
    control = run.recorder->control(control);
  }
  if (stopSignal()) throw StoppedBeforeRun{stoppedStatus()};
  // While it is shown, the log may pass through it: reports go to the settings' log.
  std::unique_ptr<ProgressLine> progress = ProgressLine::start(run.settings);
  if (progress) control = progress->control(control);
  try {
    record.result = estimateHere(
        run,
        [&](const Progress& p) {
          writeIntermediateReport(run.settings.log, target, p);
          fflush(run.settings.log);
        },
        control);
  } catch (const Interrupted& stopped) {
    record.result = stopped.partial();
    record.interrupted = true;
  }
  progress.reset();
  writeFinalReport(run, *record.result);
  // A normal end, or one a signal asked for: the final flush of the log stream decides.
  if (fflush(run.settings.log) == 0) return record.interrupted ? stoppedStatus() : 0;
  record.errorMessage = text::kLogNotWritten;
  return 1;
}

// A file of the run that could not be written: a normal end becomes a failure.
int failedToWrite(const Error& failure, int status) {
  fputs(printedText(failure).c_str(), stderr);
  return status == 0 ? 1 : status;
}

// Writes the report page of a run that got past the options, with what the record holds; a
// page that cannot be made or written is thrown as an Error.
void writeReport(const Invocation& run, const RunRecord& record) {
  ReportInput page;
  if (run.model) page = reportInput(*run.model, run.modelFileName, run.settings, run.seed);
  page.modelFile = run.modelFileName;
  page.settings = run.settings;
  page.seed = run.seed;
  page.result = record.result;
  if (run.model && record.result && !record.result->targets.empty() && !record.result->targets[0].critical.empty())
    page.netDot = modelDot(*run.model, record.result->targets[0].critical);
  if (run.recorder) page.targets = run.recorder->reports();
  page.cpuSeconds = record.cpuSeconds;
  page.wallSeconds = record.wallSeconds;
  if (!record.errorMessage.empty()) page.error = record.errorMessage;
  page.errorDetail = record.errorDetail;
  page.interrupted = record.interrupted;
  std::string why;
  if (!run.report->commit(reportPage(page), why))
    throw Error(Error::Kind::io, formatted(text::kFailedToWriteReport, run.report->path().c_str(), why.c_str()));
}

// Writes the report page and the record of a run that got past the options; a file that
// cannot be written turns a normal end into a failure, which the record then holds.
int writeRunFiles(Invocation& run, RunRecord& record, int status, std::chrono::steady_clock::time_point start) {
  record.model = run.model;
  record.modelFile = run.modelFileName;
  record.cpuSeconds = processorSeconds();
  record.wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (run.model && run.formats.drawAfterRun) {
    static const std::vector<Criticality> kNone;
    const bool found = record.result && !record.result->targets.empty();
    try {
      writeColouredDrawing(run.formats, *run.model, found ? record.result->targets[0].critical : kNone);
    } catch (const Error& failure) {
      status = failedToWrite(failure, status);
      if (record.errorMessage.empty()) record.errorMessage = printedText(failure);
    }
  }
  if (run.report) {
    try {
      writeReport(run, record);
    } catch (const Error& failure) {
      status = failedToWrite(failure, status);
      if (record.errorMessage.empty()) record.errorMessage = printedText(failure);
    }
  }
  if (!run.record) return status;
  record.exitStatus = status;
  std::string why;
  if (run.record->commit(recordText(record), why)) return status;
  return failedToWrite(
      Error(Error::Kind::io, formatted(text::kFailedToWriteRecord, run.record->path().c_str(), why.c_str())), status);
}

}  // namespace

int runCommandLine(int argc, char** argv, OtherRanks* ranks) {
  const auto start = std::chrono::steady_clock::now();
  Invocation run;
  // The reader's warnings and parse errors go to standard error as they are found.
  run.formats.read.onDiagnostic = [](const Diagnostic& d) { fputs(printedText(d).c_str(), stderr); };
  if (ranks) {
    run.ranks = ranks;
    run.formats.read.fileSource = [&run](const std::string& path) { return run.inputs.read(path); };
  }
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
  } catch (const StoppedBeforeRun& stopped) {
    fputs(printedText(Error(Error::Kind::run, text::kInterrupted, stopped.status)).c_str(), stderr);
    fflush(run.settings.log);
    record.interrupted = true;
    status = stopped.status;
  } catch (const Error& error) {
    const std::string printed = printedText(error);
    fputs(printed.c_str(), stderr);
    fflush(run.settings.log);
    record.errorMessage = printed;
    record.errorDetail = error.detail();
    status = error.status();
  }
  record.seed = run.seed;
  record.jobs = run.settings.jobs * (ranks ? ranks->ranks() : 1);  // the samplers asked, on every rank
  if (ranks) record.ranks = RankFigures{ranks->ranks(), samplerThreads(run.settings), ranks->finish()};
  return writeRunFiles(run, record, status, start);
}

}  // namespace zelbo
