// What the report page is made of, inside: the recorder's thinning and reservoir, the
// histogram, the drawing and the page's data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "zelbo/report.h"

namespace zelbo {

// Every sample is a convergence point up to this many; past it, each point is at least this
// ratio of samples beyond the last, so that a run of 2^31 samples has under 400 points.
inline constexpr int kEveryPointUpTo = 100;
inline constexpr double kPointRatio = 1.06;
// The sample after which the convergence has its next point.
int nextConvergencePoint(int samples);

// The per-sample separations the histogram shows: all of them up to the capacity, then a
// uniform sample of them of that size (Vitter's algorithm R).
inline constexpr std::size_t kKeptSeparations = 10000;
class SeparationReservoir {
 public:
  SeparationReservoir(std::uint64_t seed, std::size_t capacity);
  void add(double separation);
  const std::vector<double>& kept() const { return kept_; }
  bool sampled() const { return seen_ > kept_.size(); }

 private:
  std::mt19937_64 stream_;
  std::size_t capacity_;
  std::uint64_t seen_ = 0;
  std::vector<double> kept_;
};

// A histogram of equal bins from the least to the greatest finite value: about 2 n^(1/3)
// bins (the Rice rule), at most 60; one bin when all values are equal; none without values.
struct Histogram {
  std::vector<double> edges;  // bins + 1 of them
  std::vector<long> counts;
};
Histogram histogramOf(const std::vector<double>& values);

// The net drawn by Graphviz's dot as an SVG element, or why it is not.
struct Drawing {
  std::string svg;   // from "<svg" on
  std::string note;  // when there is no svg
};
// Nets of more DOT lines than this (nodes and arcs) are not laid out: dot would take minutes.
inline constexpr std::size_t kMaxDrawnLines = 10000;
Drawing drawNet(const std::string& dot);

// The charting library's text, read from its Debian package's file; an Error (io) that says
// which file and which package when it cannot be read or inlined.
std::string chartLibrary();

// JSON text that can stand inside a <script> element: '<', '>' and '&' as \u escapes.
std::string scriptSafeJson(const std::string& json);

}  // namespace zelbo
