// Import time of PNML rings of 1,000, 10,000 and 50,000 places: the XML read into the neutral
// net, the model built from it (with the defaults that let it run), and the model written
// back in the model language; in milliseconds of processor time and microseconds per place, the
// best of a few repetitions. Each ring also runs: its first transition's cycle time must be the ring's size.
// Usage: import_bench [repetitions] (default 5).
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>

#include "api/internal.h"
#include "convert/build.h"
#include "import/pnml.h"
#include "net/build.h"
#include "net/net.h"
#include "zelbo/formats.h"
#include "zelbo/zelbo.h"

namespace {

using namespace zelbo;

std::string ring(int n) {
  std::string text =
      "<?xml version=\"1.0\"?>\n<pnml>\n<net id=\"ring\" type=\"http://www.pnml.org/version-2009/grammar/ptnet\">\n"
      "<page id=\"top\">\n";
  for (int i = 0; i < n; ++i) {
    const std::string k = std::to_string(i), next = std::to_string((i + 1) % n);
    text += "<place id=\"p" + k + "\">" + (i == 0 ? "<initialMarking><text>1</text></initialMarking>" : "") +
            "</place>\n<transition id=\"t" + k + "\"/>\n<arc id=\"i" + k + "\" source=\"p" + k + "\" target=\"t" + k +
            "\"/>\n<arc id=\"o" + k + "\" source=\"t" + k + "\" target=\"p" + next + "\"/>\n";
  }
  return text + "</page>\n</net>\n</pnml>\n";
}

// Processor time of the process, in milliseconds: other work on the machine counts less.
double now() {
  timespec t;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

double millisecondsSince(double start) { return now() - start; }

}  // namespace

int main(int argc, char** argv) {
  const int repetitions = argc > 1 ? std::max(1, atoi(argv[1])) : 5;
  FILE* quiet = fopen("/dev/null", "w");
  printf("%8s %10s %12s %12s %12s %10s %12s\n", "places", "bytes", "xml ms", "build ms", "import ms", "us/place",
         "write ms");
  for (const int n : {1000, 10000, 50000}) {
    const std::string text = ring(n);
    double xmlBest = 1e300, buildBest = 1e300, totalBest = 1e300, writeBest = 1e300;
    for (int r = 0; r < repetitions; ++r) {
      // The steps of readModel for a PNML file: the XML into the neutral net, then the model.
      double start = now();
      const import::ImportResult imported = import::importPnml(text, "ring.pnml");
      const double xml = millisecondsSince(start);
      if (!imported) return fprintf(stderr, "%s\n", imported.error().toString().c_str()), 1;
      start = now();
      auto net = std::make_shared<Net>();
      buildImported(*net, imported.value(), "ring.pnml");
      fillDelays(*net, *parseDelay(".fix 1", "-delay"));
      defaultTarget(*net, imported.value().transitions.front().name);
      prepareFiring(*net);
      const double build = millisecondsSince(start);
      xmlBest = std::min(xmlBest, xml);
      buildBest = std::min(buildBest, build);
      totalBest = std::min(totalBest, xml + build);
      const Model model = modelOf(net);
      start = now();
      const WrittenModel written = writeModel(model);
      writeBest = std::min(writeBest, millisecondsSince(start));
      if (r == 0) {
        Settings settings;
        settings.log = settings.diagnostics = quiet;
        settings.stopping = Stopping::fixed;
        settings.sampleSize = 2;
        check(model, settings);
        if (estimate(model, settings, 1).bound != n) return fprintf(stderr, "ring %d: wrong cycle time\n", n), 1;
      }
    }
    printf("%8d %10zu %12.2f %12.2f %12.2f %10.3f %12.2f\n", n, text.size(), xmlBest, buildBest, totalBest,
           1000 * totalBest / n, writeBest);
  }
  fclose(quiet);
  return 0;
}
