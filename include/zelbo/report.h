// A report page of a run: one self-contained HTML file that opens without a network, with the
// model, every target's bound, the run's facts, each target's convergence and distribution,
// the critical places and the net drawn by Graphviz.
#pragma once

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

// How much a unit of delay added to every token of a place moves a target's bound.
struct Criticality {
  std::string place;        // as the source file writes it
  std::string identifier;   // the model's identifier
  double value = 0;
  double halfWidth = 0;
};

// What the page shows of one target, beside its TargetResult.
struct TargetReport {
  std::vector<ConvergencePoint> convergence;  // the estimate over the samples, thinned
  std::vector<double> separations;            // per-sample separations (group sum / size)
  bool sampled = false;                       // `separations` is a uniform reservoir of them
  std::vector<Criticality> critical;          // most critical first; empty when not asked
};

struct ReportInput {
  std::string modelName;
  std::string modelFile;
  Settings settings;
  long seed = 0;
  std::optional<Result> result;               // none when the run ended before an estimate
  std::vector<TargetReport> targets;          // in the order of result->targets
  double cpuSeconds = 0;
  double wallSeconds = 0;
  std::optional<std::string> error;           // the printed error when the run failed
  std::string netDot;                         // the net in Graphviz DOT (coloured by criticality)
};

}  // namespace zelbo
