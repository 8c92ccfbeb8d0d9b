// The Python module: zelbo's public header in Python's conventions.
//
// Models are read (zelbo.read, zelbo.parse), listed, and changed by replacing the model an
// object holds with a changed copy (zelbo/edit.h): a run keeps the model it started with.
// zelbo.estimate checks the model and estimates it with the command line's defaults, without
// the interpreter lock; it takes the lock back only to call on_report and, on the main
// thread, to look for a pending signal (Ctrl-C) between batches of unfoldings.
//
// Models, results and the small values pickle, so that runs go to other processes (Dask
// workers): a model as its text in the model language, which reads back as the same model.
#include <pybind11/eval.h>
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "api/internal.h"
#include "base/clock.h"
#include "base/format.h"
#include "base/record_file.h"
#include "base/texts.h"
#include "estimate/progress_figures.h"
#include "language/writer.h"
#include "report/recording.h"
#include "zelbo/edit.h"
#include "zelbo/formats.h"
#include "zelbo/report.h"
#include "zelbo/zelbo.h"

namespace py = pybind11;

namespace {

// The exception classes, made once by the module and kept for its lifetime.
struct Exceptions {
  PyObject* modelError = nullptr;
  PyObject* runError = nullptr;
  PyObject* modelWarning = nullptr;
};
Exceptions exceptions;

const char* const kExceptionCode = R"py(
class Error(Exception):
    """A failure of zelbo.

    message:     the text the command line writes to standard error for it
    status:      the exit status the command line ends with
    detail:      why the checks rejected the model ('' otherwise)
    diagnostics: what the model reader wrote while reading ('' when it wrote nothing)
    """

    def __init__(self, message, status=1, detail="", diagnostics=""):
        super().__init__(message, status, detail, diagnostics)
        self.message = message
        self.status = status
        self.detail = detail
        self.diagnostics = diagnostics

    def __str__(self):
        text = " ".join(line.strip() for line in self.message.splitlines() if line.strip())
        if self.detail:
            text += " (" + self.detail + ")"
        diagnostics = self.diagnostics.strip()
        if diagnostics:
            text += "\n" + diagnostics
        return text


class ModelError(Error):
    """The model cannot be read, a change names what it does not have, or it fails its checks."""


class RunError(Error):
    """A fatal condition of a run: a net that is not 1-safe, a deadlock, a bad delay sample, ..."""


class ModelWarning(UserWarning):
    """The model reader warned about the model it read.

    message:  the text the command line writes to standard error for it
    text:     the warning itself, plain ("Invalid probability value '2'")
    file, line, column: where (line and column 0 when it is about no place in the file)
    severity: "warning", or "error" for what the reader could not make sense of
    """

    def __init__(self, message, text="", file="", line=0, column=0, severity="warning"):
        super().__init__(message)
        self.message = message
        self.text = text
        self.file = file
        self.line = line
        self.column = column
        self.severity = severity

    def __str__(self):
        return self.message
)py";

// Raises the Python exception of a library error: a model that cannot be read (or whose file
// cannot) is a ModelError, a setting out of range a ValueError, anything else a RunError.
[[noreturn]] void raise(const zelbo::Error& error, const std::string& diagnostics = {}) {
  if (error.kind() == zelbo::Error::Kind::usage) throw py::value_error(error.message());
  const bool model = error.kind() == zelbo::Error::Kind::model || error.kind() == zelbo::Error::Kind::io;
  PyObject* type = model ? exceptions.modelError : exceptions.runError;
  py::object value = py::reinterpret_borrow<py::object>(type)(zelbo::printedText(error), error.status(),
                                                              error.detail(), diagnostics);
  PyErr_SetObject(type, value.ptr());
  throw py::error_already_set();
}

// A stream that discards what is written to it: the run's log and traces.
class Quiet {
 public:
  Quiet() : file_(fopen("/dev/null", "w")) {
    if (!file_) throw std::runtime_error("zelbo: /dev/null cannot be opened");
  }
  ~Quiet() { fclose(file_); }
  Quiet(const Quiet&) = delete;
  Quiet& operator=(const Quiet&) = delete;
  FILE* file() const { return file_; }

 private:
  FILE* file_;
};

struct PyModel {
  zelbo::Model model;
  std::string source;  // the file it was read from, or the name given to its text
};

// Issues a diagnostic of the reader as a ModelWarning, with its text and place as attributes.
void warn(const zelbo::Diagnostic& d) {
  std::string text = d.message;
  for (const std::string& note : d.notes) text += " " + note;
  const zelbo::SourceLocation at = d.location.value_or(zelbo::SourceLocation{});
  py::object warning = py::reinterpret_borrow<py::object>(exceptions.modelWarning)(
      zelbo::printedText(d), text, at.file, at.line, at.column,
      d.severity == zelbo::Diagnostic::Severity::error ? "error" : "warning");
  py::module_::import("warnings").attr("warn")(warning, py::arg("stacklevel") = 3);
}

// Reads with the reader's diagnostics kept: as the command line prints them, they are the
// error's when the read fails; each is a ModelWarning when it succeeds.
template <class Read>
PyModel readModel(const std::string& source, Read read) {
  std::vector<zelbo::Diagnostic> diagnostics;
  std::optional<zelbo::Model> model;
  std::optional<zelbo::Error> failure;
  {
    py::gil_scoped_release release;
    try {
      model.emplace(read([&](const zelbo::Diagnostic& d) { diagnostics.push_back(d); }));
    } catch (const zelbo::Error& error) {
      failure = error;
    }
  }
  if (failure) {
    std::string printed;
    for (const zelbo::Diagnostic& d : diagnostics) printed += zelbo::printedText(d);
    raise(*failure, printed);
  }
  for (const zelbo::Diagnostic& d : diagnostics) warn(d);
  return PyModel{std::move(*model), source};
}

PyModel readFile(const py::object& path) {
  const std::string file = py::str(py::module_::import("os").attr("fspath")(path));
  return readModel(file, [&](const zelbo::DiagnosticHandler& report) { return zelbo::Model::readFile(file, report); });
}

PyModel parseText(const std::string& text, const std::string& name) {
  return readModel(name,
                   [&](const zelbo::DiagnosticHandler& report) { return zelbo::Model::readText(text, name, report); });
}

void change(PyModel& m, const zelbo::ModelChanges& changes) {
  try {
    m.model = zelbo::edit(m.model, changes);
  } catch (const zelbo::Error& error) {
    raise(error);
  }
}

// A pickled model: (version, the model in the model language, its source, the names its
// source file gives its places and transitions, in id order). The text reads back as the same
// model, so the same run for the same seed; the names, lost in the text, are put back.
constexpr int kModelStateVersion = 1;

py::tuple modelState(const PyModel& m) {
  zelbo::WrittenModel written;
  try {
    written = zelbo::writeModel(m.model);
  } catch (const zelbo::Error& error) {
    raise(error);
  }
  // Past this, unpickling would fail in another process: fail here instead.
  if (written.statements > zelbo::kReadableStatements)
    raise(zelbo::Error(zelbo::Error::Kind::model,
                       "The model cannot be pickled: its text has " + std::to_string(written.statements) +
                           " statements; the model reader reads at most some " +
                           std::to_string(zelbo::kReadableStatements) + "."));
  const zelbo::ModelView view = zelbo::describe(m.model);
  py::list places, transitions;
  for (const zelbo::PlaceView& p : view.places) places.append(p.written);
  for (const zelbo::TransitionView& t : view.transitions) transitions.append(t.written);
  return py::make_tuple(kModelStateVersion, written.text, m.source, py::make_tuple(places, transitions));
}

PyModel modelFromState(const py::tuple& state) {
  if (state.size() != 4 || !py::int_(kModelStateVersion).equal(py::object(state[0])))
    throw py::value_error("zelbo.Model: not a pickled model of this version of zelbo");
  const std::string text = py::cast<std::string>(state[1]);
  try {
    // The reader's warnings were issued when the model was first read.
    const auto names = py::cast<std::pair<std::vector<std::string>, std::vector<std::string>>>(state[3]);
    const zelbo::Model read = zelbo::Model::readText(text, "<pickled model>");
    return PyModel{zelbo::withWrittenNames(read, names.first, names.second), py::cast<std::string>(state[2])};
  } catch (const zelbo::Error& error) {
    raise(error);
  }
}

std::string targetText(const zelbo::Target& t) {
  return std::string(t.lowerBound ? "lower" : "upper") + " bound TSE(" + t.source + ", " + t.destination + ", " +
         std::to_string(t.separation) + ")";
}

std::string quoted(const std::string& text) { return py::repr(py::str(text)); }

std::string namesRepr(const std::vector<std::string>& names) {
  std::string out = "[";
  for (std::size_t i = 0; i < names.size(); ++i) out += (i ? ", " : "") + quoted(names[i]);
  return out + "]";
}

// An intermediate report, with the sums for the target as asked.
struct Report {
  int samples;
  int instances;
  double groupSums;
  std::optional<int> required;
  int segments;
  double bound() const { return groupSums / instances; }
};

struct PyResult {
  std::optional<double> bound;  // None when the target events could not be paired
  std::optional<double> halfWidth;
  int samples = 0;
  int instances = 0;
  double groupSums = 0;
  int segments = 0;
  int discarded = 0;
  bool unpaired = false;
  long seed = 0;
  int jobs = 1;
  double cpuSeconds = 0;
  double wallSeconds = 0;
  py::object groups = py::none();
  py::list targets;  // a dict for each target of the run
  py::object critical = py::none();  // the first target's critical places, when asked
};

// A target as Python gives one: "SOURCE,DESTINATION,K[,lb]", a zelbo.Target, or a tuple
// (source, destination[, separation[, lower_bound]]); names as the model's file writes them or
// identifiers.
zelbo::Target targetOf(const py::handle& item) {
  if (py::isinstance<py::str>(item)) {
    try {
      return zelbo::parseTarget(item.cast<std::string>());
    } catch (const zelbo::Error& e) {
      throw py::value_error("targets: " + e.message());
    }
  }
  if (py::isinstance<zelbo::Target>(item)) return item.cast<zelbo::Target>();
  if (py::isinstance<py::tuple>(item) || py::isinstance<py::list>(item)) {
    const py::sequence parts = item.cast<py::sequence>();
    if (parts.size() >= 2 && parts.size() <= 4) {
      zelbo::Target target{parts[0].cast<std::string>(), parts[1].cast<std::string>(), 0, false};
      if (parts.size() > 2) target.separation = parts[2].cast<int>();
      if (parts.size() > 3) target.lowerBound = parts[3].cast<bool>();
      return target;
    }
  }
  throw py::type_error("targets takes \"SOURCE,DESTINATION,K\" texts, Targets or (source, destination, "
                       "separation, lower_bound) tuples");
}

// A row of Result.targets: the target as asked and in identifiers, and its figures.
// The target's critical places, most critical first: place (as the model's file writes it) to
// (criticality, half-width).
py::dict criticalMapping(const zelbo::TargetResult& t) {
  py::dict places;
  for (const zelbo::Criticality& c : t.critical) places[py::str(c.place)] = py::make_tuple(c.value, c.halfWidth);
  return places;
}

py::dict targetRow(const zelbo::TargetResult& t, bool critical) {
  py::dict row;
  row["source"] = t.asked.source;
  row["destination"] = t.asked.destination;
  row["separation"] = t.asked.separation;
  row["lower_bound"] = t.asked.lowerBound;
  row["source_id"] = t.identifiers.source;
  row["destination_id"] = t.identifiers.destination;
  row["bound"] = t.unpaired ? py::none() : py::object(py::float_(t.bound));
  row["half_width"] = t.unpaired ? py::none() : py::object(py::float_(t.halfWidth));
  row["samples"] = t.samples;
  row["instances"] = t.instances;
  row["discarded"] = t.discarded;
  row["unpaired"] = t.unpaired;
  if (critical) row["critical"] = criticalMapping(t);
  return row;
}

// The bar of progress=True: tqdm.auto's, a text bar or a notebook's widget.
class ProgressBar {
 public:
  explicit ProgressBar(const zelbo::Settings& settings) : figures_(settings) {
    py::module_ tqdm;
    try {
      tqdm = py::module_::import("tqdm.auto");
    } catch (py::error_already_set& e) {
      if (!e.matches(PyExc_ImportError)) throw;
      throw py::import_error("progress=True needs tqdm: install Debian's python3-tqdm");
    }
    const bool fixed = settings.stopping == zelbo::Stopping::fixed;
    bar_ = tqdm.attr("tqdm")(py::arg("total") = fixed ? py::object(py::int_(settings.sampleSize)) : py::none(),
                             py::arg("unit") = " samples", py::arg("unit_scale") = true);
  }
  ~ProgressBar() { close(); }
  ProgressBar(const ProgressBar&) = delete;
  ProgressBar& operator=(const ProgressBar&) = delete;

  // Counts a sample, without the interpreter lock; true when the bar is due an update.
  bool take(double groupSum, int groupSize) { return figures_.take(groupSum, groupSize); }
  // The figures beside the bar, made without the interpreter lock.
  std::string figures() {
    const std::string width = figures_.halfWidth(), estimate = figures_.estimate();
    return width.empty() || estimate.empty() ? width + estimate : width + zelbo::text::kProgressSeparator + estimate;
  }
  // With the interpreter lock.
  void show(const std::string& figures) {
    bar_.attr("set_postfix_str")(figures, py::arg("refresh") = false);
    bar_.attr("update")(figures_.samples() - shown_);
    shown_ = figures_.samples();
  }
  // With the interpreter lock; a bar that cannot be closed is not worth an exception.
  void close() {
    if (!bar_) return;
    try {
      bar_.attr("close")();
    } catch (py::error_already_set& e) {
      e.discard_as_unraisable("zelbo.estimate: closing the progress bar");
    }
    bar_ = py::object();
  }

 private:
  zelbo::ProgressFigures figures_;
  py::object bar_;
  int shown_ = 0;    // samples the bar counts
};

// What a run asks of the interpreter: reports from the thread that merges the samplers'
// outcomes (a sampler's, with several), the stop request from the thread that started the run.
struct RunHooks {
  py::object onReport;
  bool mainThread = false;
  std::atomic<bool> stopped{false};
  bool interrupted = false;  // stopped by a signal handler that raised
  std::optional<py::error_already_set> pending;  // raised by on_report or a signal handler
  std::optional<ProgressBar> bar;               // progress=True
  std::chrono::steady_clock::time_point lastSignalCheck{};

  // Ctrl-C on the main thread: its handler raises KeyboardInterrupt when signals are checked.
  // Checking takes the interpreter lock, so it is done at most every 20 ms.
  bool stopRequested() {
    if (stopped) return true;
    if (!mainThread) return false;
    const auto now = std::chrono::steady_clock::now();
    if (now - lastSignalCheck < std::chrono::milliseconds(20)) return false;
    lastSignalCheck = now;
    py::gil_scoped_acquire gil;
    if (PyErr_CheckSignals() == 0) return false;
    pending.emplace();
    stopped = true;
    interrupted = true;
    return true;
  }

  // A Ctrl-C that comes while an interrupted run winds down (the samplers see the stop only
  // between samples) belongs to the same interrupt: left pending, it would surface as a second
  // KeyboardInterrupt wherever the caller happened to be after the first.
  void absorbLateInterrupts() {
    if (interrupted && PyErr_CheckSignals() != 0) PyErr_Clear();
  }

  // On the thread of the reports, at most ten times a second.
  void progress(double groupSum, int groupSize) {
    if (stopped || !bar->take(groupSum, groupSize)) return;
    const std::string figures = bar->figures();
    py::gil_scoped_acquire gil;
    if (stopped) return;
    try {
      bar->show(figures);
    } catch (py::error_already_set& error) {
      pending.emplace(std::move(error));
      stopped = true;
    }
  }

  void report(const zelbo::Progress& p) {
    if (stopped) return;
    py::gil_scoped_acquire gil;
    if (stopped) return;  // the stop may have been taken while this thread waited for the lock
    try {
      onReport(Report{p.samples, p.instances, p.groupSums,
                      p.required < 0 ? std::nullopt : std::optional<int>(p.required), p.segments});
    } catch (py::error_already_set& error) {
      pending.emplace(std::move(error));
      stopped = true;
    }
  }
};

// The keyword of estimate() that gives a setting.
const char* settingKeyword(zelbo::SettingsError::Setting setting) {
  using Setting = zelbo::SettingsError::Setting;
  switch (setting) {
    case Setting::sampleSize: return "samples";
    case Setting::relativeError: return "relative_error";
    case Setting::absoluteError: return "error";
    case Setting::confidence: return "confidence";
    case Setting::skip: return "skip";
    case Setting::jobs: return "jobs";
  }
  return "settings";
}

[[noreturn]] void raiseOSError(const std::string& message) {
  PyErr_SetString(PyExc_OSError, message.c_str());
  throw py::error_already_set();
}

// The report page asked for with report=: its file, checked before the run as the command
// line checks it, and the recorder of the run's samples.
struct PageRequest {
  zelbo::RecordFile file;
  std::optional<zelbo::RunRecorder> recorder;
  std::string notWritten;  // why the page could not be written

  void open(const py::object& path, const zelbo::Settings& settings, long seed) {
    const std::string filePath = py::str(py::module_::import("os").attr("fspath")(path));
    std::string why;
    try {
      zelbo::chartLibrary();
    } catch (const zelbo::Error& e) {
      raiseOSError(e.message());
    }
    if (!file.open(filePath, why))
      raiseOSError(zelbo::formatted(zelbo::text::kFailedToWriteReport, filePath.c_str(), why.c_str()));
    recorder.emplace(settings, seed);
  }

  // Writes the page of a run that ended with `result` or with `failure`.
  void write(zelbo::ReportInput page, const zelbo::Result& result, const std::optional<zelbo::Error>& failure) {
    if (failure) {
      page.error = zelbo::printedText(*failure);
      page.errorDetail = failure->detail();
    } else {
      page.result = result;
    }
    page.targets = recorder->reports();
    std::string why;
    try {
      if (!file.commit(zelbo::reportPage(page), why))
        notWritten = zelbo::formatted(zelbo::text::kFailedToWriteReport, file.path().c_str(), why.c_str());
    } catch (const zelbo::Error& e) {
      notWritten = e.message();
    }
  }
};

bool onMainThread() {
  py::module_ threading = py::module_::import("threading");
  const py::object main = threading.attr("main_thread")().attr("ident");
  return main.equal(threading.attr("get_ident")());
}

// The exception that stopped a run (KeyboardInterrupt, or what on_report raised) carries the
// figures of the samples taken as its attribute `result`.
void withPartialResult(const py::error_already_set& stopped, PyResult partial) {
  try {
    py::setattr(stopped.value(), "result", py::cast(std::move(partial)));
  } catch (const py::error_already_set&) {
    // An exception that takes no attributes goes as it is.
  }
}

// `out` (its times already set) with the figures of the run and, with groups, its samples.
PyResult filled(PyResult out, const zelbo::Result& result, const std::vector<double>& sums,
                const std::vector<int>& sizes, bool groups, bool critical) {
  out.unpaired = result.unpaired;
  if (!result.unpaired) {
    out.bound = result.bound;
    out.halfWidth = result.halfWidth;
  }
  out.samples = result.samples;
  out.instances = result.instances;
  out.groupSums = result.groupSums;
  out.segments = result.segments;
  out.discarded = result.discarded;
  out.seed = result.seed;
  out.jobs = result.jobs;
  for (const zelbo::TargetResult& target : result.targets) out.targets.append(targetRow(target, critical));
  if (critical && !result.targets.empty()) out.critical = criticalMapping(result.targets.front());
  if (groups)
    out.groups = py::make_tuple(py::array_t<double>(static_cast<py::ssize_t>(sums.size()), sums.data()),
                                py::array_t<int>(static_cast<py::ssize_t>(sizes.size()), sizes.data()));
  return out;
}

PyResult estimate(const PyModel& m, std::optional<long long> samples, std::optional<double> error,
                  std::optional<double> relativeError, double confidence, long long skip, std::optional<long> seed,
                  long long jobs, const py::object& onReport, long long reportEvery, bool groups, bool critical,
                  const py::object& targets, const py::object& reportPath, bool progress) {
  zelbo::Settings settings;  // the command line's defaults
  if (error && relativeError) throw py::value_error("give error or relative_error, not both");
  // Whole numbers beyond an int are out of range as the library's check sees them.
  const auto whole = [](long long value) { return static_cast<int>(std::clamp<long long>(value, -1, INT_MAX)); };
  if (samples) {
    settings.stopping = zelbo::Stopping::fixed;
    settings.sampleSize = *samples > INT_MAX ? -1 : whole(*samples);
  }
  if (error) {
    settings.criterion = zelbo::ErrorCriterion::absolute;
    settings.absoluteError = *error;
  }
  if (relativeError) settings.relativeError = *relativeError;
  settings.confidence = confidence;
  settings.skip = skip > INT_MAX ? -1 : whole(skip);
  settings.jobs = jobs > INT_MAX ? -1 : whole(jobs);
  settings.printPeriod = static_cast<int>(std::clamp<long long>(reportEvery, 0, INT_MAX));
  settings.criticalDelays = critical;
  try {
    zelbo::validate(settings);
  } catch (const zelbo::SettingsError& e) {
    throw py::value_error(std::string(settingKeyword(e.setting())) + ": " + e.message());
  }
  if (!onReport.is_none() && !PyCallable_Check(onReport.ptr())) throw py::type_error("on_report must be callable");
  Quiet quiet;
  settings.log = quiet.file();
  settings.diagnostics = quiet.file();
  const long runSeed = seed ? *seed : static_cast<long>(time(nullptr));

  // The run's own model: changes to m do not reach it. Targets given here replace its own.
  zelbo::Model model = m.model;
  if (!targets.is_none()) {
    std::vector<zelbo::TargetRequest> requests;
    for (const py::handle item : targets) requests.push_back({targetOf(item), std::nullopt});
    if (requests.empty()) throw py::value_error("targets: give at least one target, or None for the model's own");
    try {
      model = zelbo::withTargets(model, requests);
    } catch (const zelbo::Error& e) {
      raise(e);
    }
  }
  RunHooks hooks;
  hooks.onReport = onReport;
  hooks.mainThread = onMainThread();
  zelbo::ReportCallback report;
  if (!onReport.is_none()) report = [&](const zelbo::Progress& p) { hooks.report(p); };
  zelbo::RunControl control;
  control.stopRequested = [&] { return hooks.stopRequested(); };
  std::vector<double> sums;
  std::vector<int> sizes;
  if (groups)
    control.onSample = [&](double sum, int size) {
      sums.push_back(sum);
      sizes.push_back(size);
    };

  std::optional<PageRequest> page;
  if (!reportPath.is_none()) {
    page.emplace();
    page->open(reportPath, settings, runSeed);
    control = page->recorder->control(control);
  }
  if (progress) {  // once nothing else can fail before the run
    hooks.bar.emplace(settings);
    control.onSample = [&, inner = control.onSample](double sum, int size) {
      if (inner) inner(sum, size);
      hooks.progress(sum, size);
    };
  }

  zelbo::Result result;
  std::optional<zelbo::Error> failure;
  PyResult out;
  {
    py::gil_scoped_release release;
    const double cpuStart = zelbo::processorSeconds();
    const auto wallStart = std::chrono::steady_clock::now();
    try {
      zelbo::check(model, settings);
      result = zelbo::estimate(model, settings, runSeed, report, control);
    } catch (const zelbo::Interrupted& stopped) {
      result = stopped.partial();  // goes with what stopped the run
    } catch (const zelbo::Error& e) {
      failure = e;
    }
    out.cpuSeconds = zelbo::processorSeconds() - cpuStart;
    out.wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
    if (page) {
      zelbo::ReportInput input = zelbo::reportInput(model, m.source, settings, runSeed);
      if (!failure && !result.targets.empty() && !result.targets[0].critical.empty())
        input.netDot = zelbo::modelDot(model, result.targets[0].critical);
      input.cpuSeconds = out.cpuSeconds;
      input.wallSeconds = out.wallSeconds;
      page->write(std::move(input), result, failure);
    }
  }
  hooks.absorbLateInterrupts();
  // The bar ends on the run's last figures; after a failure, as it was (it closes as the
  // hooks go).
  if (hooks.bar && !hooks.pending && !failure) {
    hooks.bar->show(hooks.bar->figures());
    hooks.bar->close();
  }
  if (hooks.pending) {
    if (result.interrupted)
      withPartialResult(*hooks.pending, filled(std::move(out), result, sums, sizes, groups, critical));
    throw std::move(*hooks.pending);
  }
  if (failure) raise(*failure);
  if (page && !page->notWritten.empty()) raiseOSError(page->notWritten);
  return filled(std::move(out), result, sums, sizes, groups, critical);
}

// A pickled result: every field, in the order of the struct.
py::tuple resultState(const PyResult& r) {
  return py::make_tuple(r.bound, r.halfWidth, r.samples, r.instances, r.groupSums, r.segments, r.discarded,
                        r.unpaired, r.seed, r.jobs, r.cpuSeconds, r.wallSeconds, r.groups, r.targets, r.critical);
}

PyResult resultFromState(const py::tuple& s) {
  if (s.size() != 15) throw py::value_error("zelbo.Result: not a pickled result of this version of zelbo");
  PyResult r;
  r.bound = s[0].cast<std::optional<double>>();
  r.halfWidth = s[1].cast<std::optional<double>>();
  r.samples = s[2].cast<int>();
  r.instances = s[3].cast<int>();
  r.groupSums = s[4].cast<double>();
  r.segments = s[5].cast<int>();
  r.discarded = s[6].cast<int>();
  r.unpaired = s[7].cast<bool>();
  r.seed = s[8].cast<long>();
  r.jobs = s[9].cast<int>();
  r.cpuSeconds = s[10].cast<double>();
  r.wallSeconds = s[11].cast<double>();
  r.groups = s[12];
  r.targets = s[13].cast<py::list>();
  r.critical = s[14];
  return r;
}

std::string numberRepr(const std::optional<double>& value) {
  return value ? std::string(py::repr(py::float_(*value))) : "None";
}

}  // namespace

PYBIND11_MODULE(zelbo, m) {
  m.doc() = R"doc(Monte Carlo timing analysis of 1-safe stochastic timed Petri nets.

    model = zelbo.read("examples/forkjoin.stpn")
    model.set_delay("a", ".uni 2 1")
    result = zelbo.estimate(model, samples=2000, seed=7)
    print(result.bound, result.half_width)

The same model, settings and seed give exactly the numbers of the command line.)doc";

  py::exec(kExceptionCode, m.attr("__dict__"));
  for (const char* name : {"Error", "ModelError", "RunError", "ModelWarning"})
    m.attr(name).attr("__module__") = "zelbo";
  exceptions.modelError = py::object(m.attr("ModelError")).release().ptr();
  exceptions.runError = py::object(m.attr("RunError")).release().ptr();
  exceptions.modelWarning = py::object(m.attr("ModelWarning")).release().ptr();

  py::class_<zelbo::Target>(m, "Target",
                            "The target: occurrence i of source against occurrence i + separation of "
                            "destination, as an upper or a lower bound.")
      .def(py::init([](std::string source, std::string destination, int separation, bool lowerBound) {
             return zelbo::Target{std::move(source), std::move(destination), separation, lowerBound};
           }),
           py::arg("source"), py::arg("destination"), py::arg("separation") = 0, py::kw_only(),
           py::arg("lower_bound") = false)
      .def_readonly("source", &zelbo::Target::source)
      .def_readonly("destination", &zelbo::Target::destination)
      .def_readonly("separation", &zelbo::Target::separation)
      .def_readonly("lower_bound", &zelbo::Target::lowerBound)
      .def("__eq__",
           [](const zelbo::Target& a, const zelbo::Target& b) {
             return a.source == b.source && a.destination == b.destination && a.separation == b.separation &&
                    a.lowerBound == b.lowerBound;
           })
      .def(py::pickle(
          [](const zelbo::Target& t) { return py::make_tuple(t.source, t.destination, t.separation, t.lowerBound); },
          [](const py::tuple& s) {
            return zelbo::Target{s[0].cast<std::string>(), s[1].cast<std::string>(), s[2].cast<int>(),
                                 s[3].cast<bool>()};
          }))
      .def("__repr__", [](const zelbo::Target& t) {
        return "Target(" + quoted(t.source) + ", " + quoted(t.destination) + ", " + std::to_string(t.separation) +
               ", lower_bound=" + (t.lowerBound ? "True" : "False") + ")";
      });

  py::class_<zelbo::PlaceView>(m, "Place", "A place of a model: its arcs, initial tokens and delay.")
      .def_readonly("name", &zelbo::PlaceView::name, "Its identifier in the model language.")
      .def_readonly("written", &zelbo::PlaceView::written, "As the model's file writes it.")
      .def_readonly("preset", &zelbo::PlaceView::preset, "Transitions that put tokens into the place, in list order.")
      .def_property_readonly(
          "poset",
          [](const zelbo::PlaceView& p) {
            std::vector<std::string> names;
            for (const zelbo::Branch& b : p.poset) names.push_back(b.transition);
            return names;
          },
          "Transitions that take its tokens, in list order.")
      .def_property_readonly(
          "branches",
          [](const zelbo::PlaceView& p) {
            py::dict branches;
            for (const zelbo::Branch& b : p.poset) branches[py::str(b.transition)] = b.probability;
            return branches;
          },
          "The probability of each transition of the poset (1 unless the place is a choice place).")
      .def_readonly("tokens", &zelbo::PlaceView::tokens, "Tokens of the initial marking.")
      .def_property_readonly(
          "delay",
          [](const zelbo::PlaceView& p) { return p.delay.empty() ? py::none() : py::object(py::str(p.delay)); },
          "The delay in the model language ('.uni 1 2'), or None.")
      .def(py::pickle(
          [](const zelbo::PlaceView& p) {
            py::list poset;
            for (const zelbo::Branch& b : p.poset) poset.append(py::make_tuple(b.transition, b.probability));
            return py::make_tuple(p.name, p.preset, poset, p.tokens, p.delay, p.written);
          },
          [](const py::tuple& s) {
            zelbo::PlaceView p{s[0].cast<std::string>(), s[5].cast<std::string>(),
                               s[1].cast<std::vector<std::string>>(), {}, s[3].cast<int>(), s[4].cast<std::string>()};
            for (const py::handle b : s[2].cast<py::list>())
              p.poset.push_back({b.cast<py::tuple>()[0].cast<std::string>(), b.cast<py::tuple>()[1].cast<double>()});
            return p;
          }))
      .def("__repr__", [](const zelbo::PlaceView& p) {
        std::string poset;
        for (const zelbo::Branch& b : p.poset)
          poset += (poset.empty() ? "" : ", ") + quoted(b.transition) + ": " +
                   std::string(py::repr(py::float_(b.probability)));
        return "Place(" + quoted(p.name) + ", preset=" + namesRepr(p.preset) + ", poset={" + poset +
               "}, tokens=" + std::to_string(p.tokens) + ", delay=" + (p.delay.empty() ? "None" : quoted(p.delay)) +
               ")";
      });

  py::class_<zelbo::TransitionView>(m, "Transition", "A transition of a model and its arcs.")
      .def_readonly("name", &zelbo::TransitionView::name, "Its identifier in the model language.")
      .def_readonly("written", &zelbo::TransitionView::written, "As the model's file writes it.")
      .def_readonly("preset", &zelbo::TransitionView::preset, "Input places, in list order.")
      .def_readonly("poset", &zelbo::TransitionView::poset, "Output places, in list order.")
      .def(py::pickle([](const zelbo::TransitionView& t) { return py::make_tuple(t.name, t.preset, t.poset, t.written); },
                      [](const py::tuple& s) {
                        return zelbo::TransitionView{s[0].cast<std::string>(), s[3].cast<std::string>(),
                                                     s[1].cast<std::vector<std::string>>(),
                                                     s[2].cast<std::vector<std::string>>()};
                      }))
      .def("__repr__", [](const zelbo::TransitionView& t) {
        return "Transition(" + quoted(t.name) + ", preset=" + namesRepr(t.preset) + ", poset=" + namesRepr(t.poset) +
               ")";
      });

  py::class_<PyModel>(m, "Model",
                      "A model read by zelbo.read or zelbo.parse. Changes replace the model the object holds by a "
                      "changed copy; a run that started keeps the model it started with.")
      .def_property_readonly(
          "name",
          [](const PyModel& p) { return p.model.name().empty() ? py::none() : py::object(py::str(p.model.name())); })
      .def_readonly("source", &PyModel::source, "The file the model was read from, or the name given to its text.")
      .def_property_readonly(
          "places", [](const PyModel& p) { return zelbo::describe(p.model).places; },
          "The places, in the order the model created them.")
      .def_property_readonly(
          "transitions", [](const PyModel& p) { return zelbo::describe(p.model).transitions; },
          "The transitions, in the order the model created them.")
      .def(
          "place",
          [](const PyModel& p, const std::string& name) {
            const std::vector<zelbo::PlaceView> places = zelbo::describe(p.model).places;
            for (const zelbo::PlaceView& place : places)
              if (place.written == name) return place;
            for (const zelbo::PlaceView& place : places)
              if (place.name == name) return place;
            throw py::key_error(name);
          },
          py::arg("name"),
          "The place of that name, as the model's file writes it or its identifier (KeyError when there is none).")
      .def_property_readonly(
          "initial_marking",
          [](const PyModel& p) {
            py::dict marking;
            for (const zelbo::PlaceView& place : zelbo::describe(p.model).places)
              if (place.tokens > 0) marking[py::str(place.name)] = place.tokens;
            return marking;
          },
          "Tokens by place, for the marked places.")
      .def_property_readonly(
          "target", [](const PyModel& p) { return p.model.hasTarget() ? py::cast(p.model.target()) : py::none(); },
          "The target as the model asks it, or None.")
      .def(
          "set_delay",
          [](PyModel& p, const std::string& place, const std::string& delay) {
            zelbo::ModelChanges changes;
            changes.delays.push_back({place, delay});
            change(p, changes);
          },
          py::arg("place"), py::arg("delay"),
          "Gives the place a delay in the model language's syntax: model.set_delay('a', '.uni 1 2').")
      .def(
          "set_branches",
          [](PyModel& p, const std::string& place, const py::dict& probabilities) {
            zelbo::BranchChange branches{place, {}};
            for (auto [name, probability] : probabilities) {
              PyObject* number = py::isinstance<py::str>(name) && !py::isinstance<py::str>(probability)
                                     ? PyNumber_Float(probability.ptr())
                                     : nullptr;
              if (!number) {
                PyErr_Clear();
                throw py::type_error("set_branches takes {transition: probability}");
              }
              branches.branches.push_back({py::cast<std::string>(name), PyFloat_AsDouble(number)});
              Py_DECREF(number);
            }
            zelbo::ModelChanges changes;
            changes.branches.push_back(std::move(branches));
            change(p, changes);
          },
          py::arg("place"), py::arg("probabilities"),
          "Sets the branch probabilities of a choice place, one for each transition of its poset: "
          "model.set_branches('p', {'ack': 0.9, 'retry': 0.1}).")
      .def(
          "set_target",
          [](PyModel& p, const std::string& source, const std::string& destination, int separation, bool lowerBound) {
            zelbo::ModelChanges changes;
            changes.target = zelbo::Target{source, destination, separation, lowerBound};
            change(p, changes);
          },
          py::arg("source"), py::arg("destination"), py::arg("separation") = 0, py::kw_only(),
          py::arg("lower_bound") = false,
          "Sets the target, as '.tse (source destination separation)' would, with '.lb' for lower_bound=True.")
      .def(
          "copy", [](const PyModel& p) { return p; }, "A model that changes apart from this one.")
      .def("__copy__", [](const PyModel& p) { return p; })
      .def(
          "__deepcopy__", [](const PyModel& p, const py::object&) { return p; }, py::arg("memo"))
      .def(py::pickle(&modelState, &modelFromState))
      .def("__repr__", [](const PyModel& p) {
        std::string text = "<zelbo.Model " + (p.model.name().empty() ? std::string("(none)") : p.model.name()) +
                           " from " + quoted(p.source) + ": " + std::to_string(p.model.places()) + " places, " +
                           std::to_string(p.model.transitions()) + " transitions";
        text += p.model.hasTarget() ? ", " + targetText(p.model.target()) : ", no target";
        return text + ">";
      });

  py::class_<Report>(m, "Progress", "An intermediate report of a run.")
      .def_readonly("samples", &Report::samples, "Accepted samples (groups) so far.")
      .def_readonly("instances", &Report::instances, "TSE instances in them.")
      .def_readonly("group_sums", &Report::groupSums, "The sum of their separations, for the target as asked.")
      .def_readonly("required", &Report::required, "The samples the stopping rule asks for, or None while unknown.")
      .def_readonly("segments", &Report::segments, "Unfoldings so far.")
      .def_property_readonly("bound", &Report::bound, "The estimate so far: group_sums / instances.")
      .def(py::pickle(
          [](const Report& r) { return py::make_tuple(r.samples, r.instances, r.groupSums, r.required, r.segments); },
          [](const py::tuple& s) {
            return Report{s[0].cast<int>(), s[1].cast<int>(), s[2].cast<double>(), s[3].cast<std::optional<int>>(),
                          s[4].cast<int>()};
          }))
      .def("__repr__", [](const Report& r) {
        return "Progress(samples=" + std::to_string(r.samples) + ", instances=" + std::to_string(r.instances) +
               ", bound=" + std::string(py::repr(py::float_(r.bound()))) + ", segments=" + std::to_string(r.segments) +
               ")";
      });

  py::class_<PyResult>(m, "Result", "The outcome of a run.")
      .def_readonly("bound", &PyResult::bound,
                    "The estimated average TSE, or None when the target events could not be paired.")
      .def_readonly("half_width", &PyResult::halfWidth,
                    "Of the bound's confidence interval at the run's confidence level.")
      .def_readonly("samples", &PyResult::samples)
      .def_readonly("instances", &PyResult::instances)
      .def_readonly("group_sums", &PyResult::groupSums,
                    "The sum of every group's separations: bound = group_sums / instances.")
      .def_readonly("segments", &PyResult::segments, "Unfoldings built.")
      .def_readonly("discarded", &PyResult::discarded, "Unfoldings discarded (a reference missed a target event).")
      .def_readonly("unpaired", &PyResult::unpaired, "True when the target events could not be paired: no bound.")
      .def_readonly("seed", &PyResult::seed, "The seed used.")
      .def_readonly("jobs", &PyResult::jobs, "The samplers that ran.")
      .def_readonly("cpu_seconds", &PyResult::cpuSeconds, "Processor time of the process during the run, all threads.")
      .def_readonly("wall_seconds", &PyResult::wallSeconds)
      .def_readonly("targets", &PyResult::targets,
                    "Every target of the run, a dict each (source, destination, separation, lower_bound, "
                    "source_id, destination_id, bound, half_width, samples, instances, discarded, unpaired): "
                    "pandas.DataFrame(result.targets) is their table. The fields above are the first's.")
      .def_readonly("critical", &PyResult::critical,
                    "With critical=True, the first target's critical places, most critical first: a dict of "
                    "place (as the model's file writes it) to (criticality, half_width), the criticality being "
                    "how much a unit of delay added to every token of the place moves the bound; each row of "
                    "targets has its own under 'critical'. None otherwise.")
      .def_readonly("groups", &PyResult::groups,
                    "With groups=True, (sums, sizes): NumPy arrays of each sample's summed separations and its "
                    "number of instances, in the run's order; None otherwise.")
      .def(py::pickle(&resultState, &resultFromState))
      .def("__repr__", [](const PyResult& r) {
        if (r.unpaired) return "Result(unpaired=True, segments=" + std::to_string(r.segments) + ")";
        return "Result(bound=" + numberRepr(r.bound) + ", half_width=" + numberRepr(r.halfWidth) +
               ", samples=" + std::to_string(r.samples) + ", instances=" + std::to_string(r.instances) +
               ", segments=" + std::to_string(r.segments) + ", discarded=" + std::to_string(r.discarded) +
               ", seed=" + std::to_string(r.seed) + ", jobs=" + std::to_string(r.jobs) + ")";
      });

  m.def("read", &readFile, py::arg("path"),
        "Reads a model file (the model language, a .g signal transition graph or a PNML net). Raises ModelError "
        "when it cannot be read; the reader's warnings come as ModelWarning.");
  m.def("parse", &parseText, py::arg("text"), py::arg("name") = "<text>",
        "Reads a model from its text; name stands for the file in messages.");
  m.def("estimate", &estimate, py::arg("model"), py::kw_only(), py::arg("samples") = py::none(),
        py::arg("error") = py::none(), py::arg("relative_error") = py::none(), py::arg("confidence") = 97.0,
        py::arg("skip") = 0, py::arg("seed") = py::none(), py::arg("jobs") = 1, py::arg("on_report") = py::none(),
        py::arg("report_every") = 100, py::arg("groups") = false, py::arg("critical") = false,
        py::arg("targets") = py::none(), py::arg("report") = py::none(), py::arg("progress") = false,
        R"doc(Checks the model and estimates the average TSE of its target.

samples:        take exactly this many samples (-ss); None: stop by the confidence interval
error:          absolute error interval (-e); relative_error: in percent (-e%, default 3)
confidence:     confidence level in percent (-c)
skip:           leading TSE instances of every unfolding to skip (-ts)
seed:           seed of the random stream (-seed); None: the clock's current second
jobs:           samplers in threads (-j); 0: one per hardware thread
on_report:      called with a Progress every report_every samples (-pp)
groups:         keep every sample: Result.groups is then (sums, sizes) as NumPy arrays
critical:       also estimate each place's criticality (-critical): Result.critical
targets:        targets that replace the model's own, answered by one run: "req+,ack+,0"
                texts (",lb" for a lower bound), Targets or (source, destination,
                separation, lower_bound) tuples, in the names of the model's file
report:         write the run's report page (HTML) to this file, also when the run fails (-report)
progress:       show a progress bar (tqdm, Debian's python3-tqdm) in a terminal or a notebook

The defaults are the command line's. The model summary and the checks are not written
anywhere; a rejected model raises ModelError (its detail says why), a fatal condition of the
run RunError, both with the command line's message and status. The interpreter lock is
released while the run goes on; Ctrl-C ends it with KeyboardInterrupt, whose attribute result
is the Result of the samples taken until then (so has an exception raised by on_report), and
the report page, when asked, shows the run as interrupted.)doc");
}
