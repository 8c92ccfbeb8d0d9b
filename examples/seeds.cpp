// Estimates one model with several seeds through the library, printing each bound: how much
// the estimate of a fixed sample size moves from stream to stream.
//
//   build/examples/seeds examples/forkjoin.stpn 2000
#include <cstdio>
#include <cstdlib>

#include "zelbo/zelbo.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: seeds MODEL [SAMPLES]\n");
    return 1;
  }
  FILE* quiet = fopen("/dev/null", "w");
  zelbo::Settings settings;
  settings.log = quiet;  // the model summary and checks are not wanted here
  settings.stopping = zelbo::Stopping::fixed;
  settings.sampleSize = argc > 2 ? atoi(argv[2]) : 1000;
  settings.printPeriod = 0;
  try {
    const zelbo::Model model = zelbo::Model::readFile(argv[1]);
    zelbo::check(model, settings);
    const zelbo::Target target = model.target();
    for (long seed = 1; seed <= 5; ++seed) {
      const zelbo::Result result = zelbo::estimate(model, settings, seed);
      printf("seed %ld: %s bound on TSE(%s, %s, %d) = %.5g over %d instances\n", seed,
             target.lowerBound ? "lower" : "upper", target.source.c_str(), target.destination.c_str(),
             target.separation, result.bound, result.instances);
    }
  } catch (const zelbo::Error& error) {
    fputs(zelbo::printedText(error).c_str(), stderr);
    return error.status();
  }
  return 0;
}
