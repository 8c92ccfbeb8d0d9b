// A report page of a run: one self-contained HTML file that opens without a network, with the
// model, every target's bound, the run's facts, each target's convergence and distribution,
// the critical places and the net drawn by Graphviz.
//
//   zelbo::RunRecorder recorder(settings, seed);
//   zelbo::ReportInput page = zelbo::reportInput(model, "ring.stpn", settings, seed);
//   try {
//     page.result = zelbo::estimate(model, settings, seed, {}, recorder.control());
//   } catch (const zelbo::Interrupted& stopped) {  // a stop request
//     page.result = stopped.partial();
//   } catch (const zelbo::Error& e) {
//     page.error = zelbo::printedText(e);
//     page.errorDetail = e.detail();
//   }
//   page.targets = recorder.reports();
//   zelbo::writeReportPage("ring.html", page);
//
// The charts are drawn by Chart.js, read from the file of Debian's libjs-chart.js when a page
// is made; the net is laid out by Graphviz's dot, run as a program found on the PATH.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "zelbo/zelbo.h"

namespace zelbo {

// The estimate of a target after `samples` samples, with its half-width.
struct ConvergencePoint {
  int samples = 0;
  double bound = 0;
  double halfWidth = 0;
};

// What the page shows of one target, beside its TargetResult.
struct TargetReport {
  std::vector<ConvergencePoint> convergence;  // the estimate over the samples, thinned
  std::vector<double> separations;            // per-sample separations (group sum / size)
  bool sampled = false;                       // `separations` is a uniform reservoir of them
};

struct ReportInput {
  std::string modelName;
  std::string modelFile;
  Settings settings;
  long seed = 0;
  std::optional<Result> result;               // none when the run ended before an estimate
  bool interrupted = false;                   // stopped early; a result->interrupted says so too
  std::vector<TargetReport> targets;          // in the order of result->targets
  double cpuSeconds = 0;
  double wallSeconds = 0;
  std::optional<std::string> error;           // the printed error when the run failed
  std::string errorDetail;                    // why the checks rejected the model (Error::detail)
  std::string netDot;                         // the net in Graphviz DOT (coloured by criticality)
};

// Collects what the page shows of each target's samples while a run goes: the estimate and
// its half-width after each sample (every one of the first 100, then at most some 300 more,
// geometrically spaced) and the per-sample separations, all of them up to 10000 and beyond
// that a uniform reservoir of 10000 drawn from a random stream of the recorder's own (seeded
// from the run's seed: the run's own draws are untouched).
class RunRecorder {
 public:
  // For a run with these settings (the half-widths are at their confidence level).
  RunRecorder(const Settings& settings, long seed);
  ~RunRecorder();
  RunRecorder(const RunRecorder&) = delete;
  RunRecorder& operator=(const RunRecorder&) = delete;

  // The control to run with: `inner`'s hooks are called as before, the recorder's beside
  // them. It refers to this recorder, which must outlive the run.
  RunControl control(RunControl inner = {});
  // Each target's report so far, in the order of Result::targets (its last convergence point
  // is the latest sample's).
  std::vector<TargetReport> reports() const;

 private:
  struct Recording;
  std::unique_ptr<Recording> recording_;
};

// What the page shows of a model before its run: its name, file, settings, seed and drawing.
ReportInput reportInput(const Model& model, const std::string& file, const Settings& settings, long seed);

// The page: one HTML document with the charting library, the data and the drawing inlined.
// Every text of the model or the run is shown as text. A charting library that cannot be read
// is thrown as an Error (io); a net that cannot be drawn gets a note in the page instead.
std::string reportPage(const ReportInput& input);

// Writes the page to `path` whole or not at all, through a temporary file beside it renamed
// into place; a file that cannot be written is thrown as an Error (io).
void writeReportPage(const std::string& path, const ReportInput& input);

}  // namespace zelbo
