// zelbo as a library: read a model (from a file or from memory), check it, and estimate the
// average time separation of its target events with given settings and a given seed.
//
//   zelbo::Settings settings;
//   settings.stopping = zelbo::Stopping::fixed;
//   settings.sampleSize = 1000;
//   zelbo::Model model = zelbo::Model::readFile("ring.stpn");
//   zelbo::check(model, settings);
//   zelbo::Result result = zelbo::estimate(model, settings, 42);
//
// Failures are thrown as zelbo::Error (error.h); printedText() gives the command line's text
// for one. Models are immutable once read and may be shared by any number of runs.
#pragma once

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "zelbo/error.h"
#include "zelbo/settings.h"

namespace zelbo {

struct Net;
struct ModelAccess;

// The target as the model asks it: occurrence i of `source` against occurrence
// i + separation of `destination`, as an upper or a lower bound.
struct Target {
  std::string source;
  std::string destination;
  int separation = 0;
  bool lowerBound = false;
};

class Model {
 public:
  // Reads a model file, or a .g or PNML net with the defaults of formats.h. The reader's
  // warnings and parse errors go to `onDiagnostic` as they are found; a file that cannot be
  // opened, read or parsed is thrown as an Error.
  static Model readFile(const std::string& path, const DiagnosticHandler& onDiagnostic = {});
  // Reads a model from memory; `name` stands for the file in messages.
  static Model readText(std::string_view text, const std::string& name = "<memory>",
                        const DiagnosticHandler& onDiagnostic = {});
  // A model without places, transitions or target (it fails the checks).
  static Model empty();

  const std::string& name() const;      // empty when the model names none
  int places() const;
  int transitions() const;
  bool hasTarget() const;
  Target target() const;                // only when hasTarget()

 private:
  friend struct ModelAccess;
  explicit Model(std::shared_ptr<const Net> net);
  std::shared_ptr<const Net> net_;
};

// Writes the model summary (and, with verbose above 1, the listing of the net) to the log and
// checks the model; a rejected model is thrown as an Error after its reason was written.
void check(const Model& model, const Settings& settings);

// An intermediate report: the accepted samples so far.
struct Progress {
  int samples = 0;        // accepted samples (groups)
  int instances = 0;      // TSE instances in them
  double groupSums = 0;   // sum of the groups' summed separations, for the target as asked
  int required = -1;      // required count of the group-average series; -1 while unknown
  int segments = 0;       // unfoldings built so far
};

// How much a unit of delay added to every token of a place moves a target's bound: the average
// over the target's instances of the place's tokens on the destination event's critical path
// (its chain of latest arrivals) less those on the source event's, as a ratio estimate with
// its half-width at the run's confidence level.
struct Criticality {
  std::string place;        // as the source file writes it
  std::string identifier;   // the model's identifier
  int index = 0;            // the place's position in ModelView::places
  double value = 0;
  double halfWidth = 0;
};

// One target's figures. `asked` is the target as the user wrote it, its names as the source
// file writes them (`req+`, a PNML id); `identifiers` is the same in the model's identifiers,
// as the reports print it.
struct TargetResult {
  Target asked;
  Target identifiers;
  double bound = 0;
  double halfWidth = 0;
  int samples = 0;
  int instances = 0;
  double groupSums = 0;
  int discarded = 0;
  bool unpaired = false;
  // With Settings::criticalDelays, every place with a figure other than 0, the most critical
  // (largest in magnitude) first.
  std::vector<Criticality> critical;
};

// The figures of the run; those above `targets` are its first target's.
struct Result {
  double bound = 0;       // the estimated average TSE of the target as asked
  double halfWidth = 0;   // of its confidence interval at the settings' confidence level
  int samples = 0;
  int instances = 0;
  double groupSums = 0;   // as in Progress
  bool unpaired = false;  // the target events could not be paired: no estimate
  int segments = 0;       // unfoldings built
  int discarded = 0;      // unfoldings discarded (a reference missed a target event)
  long seed = 0;
  int jobs = 1;           // samplers that ran
  std::vector<TargetResult> targets;  // every target of the run, in order
  bool interrupted = false;  // a stop request ended the run: the figures of the samples taken
};

// A run that a stop request (RunControl::stopRequested) ended: the Error "Interrupted."
// (status 130), with the figures of the samples the run took until then.
class Interrupted : public Error {
 public:
  explicit Interrupted(Result partial);
  const Result& partial() const { return partial_; }

 private:
  Result partial_;
};

using ReportCallback = std::function<void(const Progress&)>;

// What a caller that embeds runs may add to one.
struct RunControl {
  // Asked after every unfolding; true ends the run there, thrown as Interrupted with what
  // it had. With several samplers it is asked every 20 ms instead, always on the thread that
  // called estimate(), and the run ends at the next outcome the merge takes.
  std::function<bool()> stopRequested;
  // Receives every accepted sample in the run's order: the sum of its instances' separations
  // (for the target as asked) and their number.
  std::function<void(double groupSum, int groupSize)> onSample;
  // Receives every sample each target takes, in the run's order: the target's index in
  // Result::targets, the sum of its instances' separations (for the target as asked) and
  // their number.
  std::function<void(int target, double groupSum, int groupSize)> onTargetSample;
};

// Estimates with random streams seeded from `seed` (as srand48 takes it): one stream, or with
// settings.jobs samplers in threads, sampler 0 on the seed's stream and sampler i on that
// stream advanced by i * floor(2^48 / jobs) draws; their samples are taken in turn, so the
// result depends only on the model, the settings and the seed. Intermediate reports are
// passed to `onReport` at the settings' print period; with several samplers, `onReport` and
// `onSample` are called on the samplers' threads, one call at a time. Jobs out of range are a
// SettingsError; a fatal condition of the run is thrown as an Error.
Result estimate(const Model& model, const Settings& settings, long seed, const ReportCallback& onReport = {},
                const RunControl& control = {});

}  // namespace zelbo
