// Property test of whole runs: generates random small nets that are valid models, runs the
// zelbo binary on each with a few samples, and checks how every run ends:
//   - status 0 with the final report on the log stream and no fatal message, or
//   - status 1 with one of the tool's own fatal messages on standard error,
// within the time bound (processor time), without a signal and without any sanitizer
// report.
//
// Every run is reproducible: the net, the options and the seed of the tool's random stream
// (passed as -seed) all follow from the net's seed, and nothing depends on the clock.
//
// A run ends the process at its first fatal error, so the estimation cannot be fuzzed in
// one process; each net is one run of the binary (build it with -DZELBO_SANITIZE=ON).
//
// The nets are built from structured blocks (sequence, free choice, fork/join, loop, a
// transition) around one marked place, or around a synchronising transition of several
// marked places, so that they are 1-safe and come back to their initial marking. Some nets
// are then spoiled in ways the checks accept: an extra token, a dead-end branch, a loop
// that never exits, a branch of probability 0, an independent marked component, a second
// output list, extreme delay parameters. Delays, target pair, separation, ".lb" and the
// options (fixed or automatic mode, skip count, print period, verbosity, log file) are
// drawn too, and so is the seed of the run.
//
// usage: net_property ZELBO [--nets N] [--seconds S] [--seed S] [--timeout S] [--keep DIR]
//   --nets N      number of nets (default 200; with --seconds, no limit unless given)
//   --seconds S   stop starting new runs once the runs have used S seconds of processor time
//   --seed S      first seed; net i uses seed S + i (default 1), so a failure is reproduced
//                 with --seed S+i --nets 1, or by running the printed command on the printed
//                 model (its -seed fixes the tool's random stream)
//   --timeout S   processor seconds before a run counts as hung (default 60); the kernel
//                 ends a run that exceeds them (RLIMIT_CPU)
//   --keep DIR    write the model of every failing run into DIR
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <random>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// ---------------------------------------------------------------------------------------
// Random nets

struct PlaceSpec {
  std::string name;
  std::vector<std::string> preset;                           // producers
  std::vector<std::pair<std::string, std::string>> poset;    // consumers and probability text
  std::vector<std::pair<std::string, std::string>> poset2;   // a second ".poset" clause
  int mark = 0;
  std::string delay;
};

class NetBuilder {
 public:
  explicit NetBuilder(std::uint64_t seed) : rng_(seed) {}

  int below(int n) { return static_cast<int>(rng_() % static_cast<std::uint64_t>(n)); }
  bool chance(int percent) { return below(100) < percent; }
  template <typename T>
  const T& pick(const std::vector<T>& items) { return items[below(static_cast<int>(items.size()))]; }

  int newPlace() {
    places_.push_back(PlaceSpec{"p" + std::to_string(places_.size()), {}, {}, {}, 0, ""});
    return static_cast<int>(places_.size()) - 1;
  }
  std::string newTrans() {
    transitions_.push_back("t" + std::to_string(transitions_.size()));
    return transitions_.back();
  }
  void arcIn(int place, const std::string& t, const std::string& prob = "") {
    places_[place].poset.emplace_back(t, prob);
  }
  void arcOut(const std::string& t, int place) { places_[place].preset.push_back(t); }

  // A sub-net that takes the token of `in` and eventually puts one token into `out`.
  void block(int in, int out, int depth) {
    const int kind = depth <= 0 ? 0 : below(6);
    if (kind == 0 || places_.size() > 24) {  // one transition
      const std::string t = newTrans();
      arcIn(in, t);
      arcOut(t, out);
    } else if (kind == 1) {  // sequence
      const int mid = newPlace();
      block(in, mid, depth - 1);
      block(mid, out, depth - 1);
    } else if (kind == 2) {  // free choice: each branch starts with a transition of `in`
      const std::vector<std::string>& probs = pick(choiceProbs());
      for (const std::string& prob : split(probs)) {
        const std::string t = newTrans();
        arcIn(in, t, prob);
        if (chance(50)) {
          arcOut(t, out);
        } else {
          const int mid = newPlace();
          arcOut(t, mid);
          block(mid, out, depth - 1);
        }
      }
    } else if (kind == 3 || kind == 4) {  // fork/join
      const std::string fork = newTrans(), join = newTrans();
      arcIn(in, fork);
      const int branches = 2 + below(2);
      for (int b = 0; b < branches; ++b) {
        const int start = newPlace(), end = newPlace();
        arcOut(fork, start);
        block(start, end, depth - 1);
        arcIn(end, join);
      }
      arcOut(join, out);
    } else {  // loop: body, then back to its start or on
      const std::string enter = newTrans(), back = newTrans(), leave = newTrans();
      const int start = newPlace(), end = newPlace();
      arcIn(in, enter);
      arcOut(enter, start);
      block(start, end, depth - 1);
      const std::vector<std::string>& probs = pick(loopProbs());
      arcIn(end, back, probs[0]);
      arcOut(back, start);
      arcIn(end, leave, probs[1]);
      arcOut(leave, out);
    }
  }

  // The whole net: one marked place and a block back to it, or several marked places
  // joined by one synchronising transition, each followed by its own block.
  void build() {
    const int depth = 1 + below(3);
    if (chance(70)) {
      const int home = newPlace();
      places_[home].mark = 1;
      block(home, home, depth);
    } else {
      const int count = 2 + below(3);
      const std::string sync = newTrans();
      for (int i = 0; i < count; ++i) {
        const int home = newPlace(), next = newPlace();
        places_[home].mark = 1;
        arcIn(home, sync);
        arcOut(sync, next);
        block(next, home, depth - 1);
      }
    }
    for (PlaceSpec& p : places_) p.delay = randomDelay();
    if (chance(35)) spoil();
  }

  // Changes that the checks accept but that the run must survive.
  void spoil() {
    const int what = below(9);
    const int place = below(static_cast<int>(places_.size()));
    if (what == 0) {  // an extra token: the net may no longer be 1-safe
      places_[place].mark += 1;
      spoilage_ = "extra token";
    } else if (what == 1) {  // a branch into a place without output: a deadlock
      const int sink = newPlace();
      places_[sink].delay = randomDelay();
      const std::string t = newTrans();
      addBranch(place, t, sink);
      spoilage_ = "dead end";
    } else if (what == 2) {  // a loop that is never left: a livelock
      const int a = newPlace(), b = newPlace();
      places_[a].delay = places_[b].delay = ".fix 0";
      const std::string into = newTrans(), ab = newTrans(), ba = newTrans();
      addBranch(place, into, a);
      arcIn(a, ab);
      arcOut(ab, b);
      arcIn(b, ba);
      arcOut(ba, a);
      spoilage_ = "livelock";
    } else if (what == 3) {  // a branch that is never taken, leading back
      const std::string t = newTrans();
      addBranch(place, t, place, "0");
      spoilage_ = "branch of probability 0";
    } else if (what == 4) {  // an independent marked component
      const int a = newPlace(), b = newPlace();
      places_[a].mark = 1;
      places_[a].delay = randomDelay();
      places_[b].delay = randomDelay();
      const std::string ab = newTrans(), ba = newTrans();
      arcIn(a, ab);
      arcOut(ab, b);
      arcIn(b, ba);
      arcOut(ba, a);
      spoilage_ = "independent component";
    } else if (what == 5) {  // a second output list: arcs recorded on one side only
      for (const auto& [t, prob] : places_[place].poset) places_[place].poset2.emplace_back(t, prob);
      std::reverse(places_[place].poset2.begin(), places_[place].poset2.end());
      spoilage_ = "second output list";
    } else if (what == 6) {  // a delay on the edge of the accepted parameters
      places_[place].delay = pick(std::vector<std::string>{
          ".exp 0 1 0", ".geo 0 1 0", ".geo 0 1 1.5", ".geo 0 1 0.0000001", ".uni 0 1.0e39", ".fix 3.0e38",
          ".bin 0 1 2147483647 0.5", ".bin 0 -1 3 0.5", ".bet 0 1 0 0", ".bet 0 1 0.01 0.01", ".uni 5 -5",
          ".cus 0 1 0.5 0.499995", ".bin 0 1 0 1", ".exp 0 1.0e38 0.000001"});
      spoilage_ = "extreme delay";
    } else if (what == 7) {  // a marked place outside the cycle that nothing consumes
      const int idle = newPlace();
      places_[idle].mark = 1;
      places_[idle].delay = randomDelay();
      spoilage_ = "idle marked place";
    } else {  // a transition that takes two tokens where only one flows: it never fires
      const int other = newPlace();
      places_[other].delay = randomDelay();
      const std::string t = newTrans();
      addBranch(place, t, place);
      arcIn(other, t);
      spoilage_ = "transition that never fires";
    }
  }

  // A new output transition of `place`, taking the branch probabilities apart again.
  void addBranch(int place, const std::string& t, int to, const std::string& prob = "") {
    PlaceSpec& p = places_[place];
    if (prob.empty()) {
      // Even shares: 1/(n+1) for each of the n old branches and the new one.
      const int n = static_cast<int>(p.poset.size()) + 1;
      const std::string share = n == 2 ? "0.5" : n == 3 ? "0.333333" : n == 4 ? "0.25" : "0.2";
      for (auto& branch : p.poset) branch.second = share;
      p.poset.emplace_back(t, share);
    } else {
      p.poset.emplace_back(t, prob);
    }
    arcOut(t, to);
  }

  std::string randomDelay() {
    switch (below(7)) {
      case 0: return ".uni " + pick(numbers({"0", "0.5", "2"})) + " " + pick(numbers({"0", "1", "3.5"}));
      case 1: return ".exp " + pick(numbers({"0", "1"})) + " " + pick(numbers({"0.5", "1", "2"})) + " " +
                     pick(numbers({"0.5", "1", "4"}));
      case 2: return ".bet " + pick(numbers({"0", "1"})) + " " + pick(numbers({"1", "4"})) + " " +
                     pick(numbers({"0.5", "1", "2", "5"})) + " " + pick(numbers({"0.5", "1", "3"}));
      case 3: return ".bin " + pick(numbers({"0", "1"})) + " " + pick(numbers({"0.5", "1"})) + " " +
                     pick(numbers({"0", "1", "5", "40"})) + " " + pick(numbers({"0", "0.1", "0.5", "1"}));
      case 4: return ".geo " + pick(numbers({"0", "1"})) + " " + pick(numbers({"0.5", "1"})) + " " +
                     pick(numbers({"0.2", "0.5", "1"}));
      case 5: return ".cus " + pick(numbers({"0", "1"})) + " " + pick(numbers({"1", "3"})) + " " +
                     pick(numbers({"1", "0.5 0.5", "0.2 0.3 0.5", "0.1 0 0.9", "0.25 0.25 0.25 0.25"}));
      default: return ".fix " + pick(numbers({"0", "1", "2.5", "7"}));
    }
  }

  // The model file and the command-line options of the run.
  std::string model() const {
    std::ostringstream out;
    out << "# generated net, " << spoilage_ << "\n.stpn g\n";
    for (const PlaceSpec& p : places_) {
      out << ".place " << p.name;
      if (!p.preset.empty()) out << " .preset {" << joined(p.preset) << "}";
      if (!p.poset.empty()) out << " .poset {" << joined(p.poset) << "}";
      if (!p.poset2.empty()) out << " .poset {" << joined(p.poset2) << "}";
      if (p.mark == 1) out << " .mark";
      if (p.mark > 1) out << " .mark " << p.mark;
      out << "\n";
    }
    for (const PlaceSpec& p : places_) out << ".delay " << p.name << " " << p.delay << "\n";
    out << target_ << "\n";
    return out.str();
  }

  void chooseTarget() {
    // Transitions with input and output places only: the checks reject the others.
    std::vector<std::string> live;
    for (const std::string& t : transitions_) {
      bool in = false, out = false;
      for (const PlaceSpec& p : places_) {
        for (const auto& node : p.poset) in |= node.first == t;
        for (const std::string& producer : p.preset) out |= producer == t;
      }
      if (in && out) live.push_back(t);
    }
    const std::string source = pick(live);
    const std::string destination = chance(25) ? source : pick(live);
    const int separation = pick(std::vector<int>{-2, -1, 0, 0, 0, 1, 1, 2});
    target_ = ".tse (" + source + ", " + destination + ", " + std::to_string(separation) + ")";
    if (chance(20)) target_ += " .lb";
  }

  // The seed of the tool's random stream for this net's run.
  long runSeed() const { return runSeed_; }

  std::vector<std::string> options() {
    std::vector<std::string> args;
    runSeed_ = static_cast<long>(rng_() % 2147483648u);
    args.insert(args.end(), {"-seed", std::to_string(runSeed_)});
    if (spoilage_ != "extreme delay" && chance(25)) {
      // Automatic mode with a wide error interval: the rule stops after 31 samples. (With
      // extreme delays the deviation can be beyond any interval: the rule would go on.)
      args.insert(args.end(), {"-a", "-e", "1000000"});
      if (chance(50)) args.insert(args.end(), {"-c", pick(numbers({"90", "99.9", "0"}))});
    } else {
      args.insert(args.end(), {"-ss", std::to_string(1 + below(4))});
    }
    if (chance(30)) args.insert(args.end(), {"-ts", std::to_string(below(6))});
    if (chance(30)) args.insert(args.end(), {"-pp", std::to_string(below(3))});
    if (chance(8)) args.insert(args.end(), {"-v", "2"});
    if (chance(30)) args.insert(args.end(), {"-log", "run.log"});
    return args;
  }

 private:
  static std::vector<std::string> numbers(std::initializer_list<const char*> items) {
    return std::vector<std::string>(items.begin(), items.end());
  }
  static const std::vector<std::vector<std::string>>& choiceProbs() {
    static const std::vector<std::vector<std::string>> probs = {
        {"0.5 0.5"}, {"0.3 0.7"}, {"0.25 0.25 0.5"}, {"1 0"}, {"0.2 0.3 0.5"}, {"0.333333 0.333333 0.333333"}};
    return probs;
  }
  static const std::vector<std::vector<std::string>>& loopProbs() {
    static const std::vector<std::vector<std::string>> probs = {{"0.3", "0.7"}, {"0.5", "0.5"}, {"0.1", "0.9"}};
    return probs;
  }
  static std::vector<std::string> split(const std::vector<std::string>& one) {
    std::istringstream in(one[0]);
    std::vector<std::string> out;
    for (std::string word; in >> word;) out.push_back(word);
    return out;
  }
  static std::string joined(const std::vector<std::string>& names) {
    std::string out;
    for (const std::string& n : names) out += (out.empty() ? "" : " ") + n;
    return out;
  }
  static std::string joined(const std::vector<std::pair<std::string, std::string>>& nodes) {
    std::string out;
    for (const auto& [t, prob] : nodes) out += (out.empty() ? "" : " ") + t + (prob.empty() ? "" : "[" + prob + "]");
    return out;
  }

  std::mt19937_64 rng_;
  std::vector<PlaceSpec> places_;
  std::vector<std::string> transitions_;
  std::string target_;
  std::string spoilage_ = "unspoiled";
  long runSeed_ = 0;
};

// ---------------------------------------------------------------------------------------
// Runs and their verdicts

// The fatal messages of a run, each ending it with status 1.
const std::vector<std::regex>& fatalMessages() {
  static const std::vector<std::regex> messages = [] {
    std::vector<std::string> texts = {
        R"(\n\tError: Incorrect or incomplete spec\.\n\tInfo : PRYX Solver terminates\.\n\n$)",
        R"(\n\tError: Net is not 1-safe\.\n)",
        R"(\n\tError: Negative token counter during unfolding\.\n)",
        R"(\n\tError: No low priority transition is enabled\.\n)",
        R"(\n\tError: A chosen low priority transition happened not in the enabledList\.\n)",
        R"(\n\tError: A chosen high-priority transition happened to be not in the enabledList\.\n)",
        R"(\n\tError: The target TSE may not be well defined\. Please check\.\n\tInfo : PRYX Solver terminates\.\n$)",
        R"(\n\tError: The net did not return to its initial marking within 1000000 firings\.\n$)",
        R"(\n\tError: The destination transition t[0-9]+ did not fire within 1000000 firings\.\n$)",
        R"(\n\tError: The source transition t[0-9]+ did not fire within 100000 segments\.\n$)",
        R"(\n\tError: The reference events did not lead to every TSE event in 50 consecutive unfoldings\.\n$)",
        R"(\n\tError: Place p[0-9]+ sampled a delay of [^\n]*\.\n\tError: Please check its delay spec\.\n$)",
        R"(\n\tError: Place p[0-9]+ sampled in error\.\n\tError: Please check its delay spec\.\n$)",
        R"(\n\tError: Out of memory\.\n$)",
    };
    std::vector<std::regex> out;
    for (const std::string& t : texts) out.emplace_back(t);
    return out;
  }();
  return messages;
}

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

struct Outcome {
  int status = -1;       // exit status, or 128 + signal
  bool timedOut = false;
  double seconds = 0.0;  // processor time of the run
  long peakKb = 0;
};

// Runs the tool in `dir` with a limit of `timeoutSeconds` of processor time, which the kernel
// enforces: SIGXCPU at the limit, SIGKILL a second later.
Outcome runCommandLine(const std::vector<std::string>& argv, const fs::path& dir, int timeoutSeconds) {
  Outcome outcome;
  const pid_t pid = fork();
  if (pid == 0) {
    const rlim_t limit = static_cast<rlim_t>(timeoutSeconds);
    const struct rlimit cpu = {limit, limit + 1};
    if (setrlimit(RLIMIT_CPU, &cpu) != 0) _exit(127);
    if (chdir(dir.c_str()) != 0) _exit(127);
    if (!freopen("/dev/null", "r", stdin) || !freopen("stdout", "w", stdout) || !freopen("stderr", "w", stderr))
      _exit(127);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
  }
  int wstatus = 0;
  struct rusage usage {};
  while (wait4(pid, &wstatus, 0, &usage) < 0 && errno == EINTR) {
  }
  auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec * 1e-6; };
  outcome.seconds = seconds(usage.ru_utime) + seconds(usage.ru_stime);
  outcome.peakKb = usage.ru_maxrss;
  if (WIFEXITED(wstatus)) {
    outcome.status = WEXITSTATUS(wstatus);
  } else {
    const int signal = WTERMSIG(wstatus);
    // The limit ends a run with SIGXCPU, or with SIGKILL when it went on past it.
    outcome.timedOut = signal == SIGXCPU || (signal == SIGKILL && outcome.seconds >= timeoutSeconds);
    if (!outcome.timedOut) outcome.status = 128 + signal;
  }
  return outcome;
}

// Empty when the run ended as it may; otherwise what is wrong.
std::string verdict(const Outcome& o, const std::string& err, const std::string& log, int timeoutSeconds) {
  if (o.timedOut) return "no end within " + std::to_string(timeoutSeconds) + " seconds of processor time";
  for (const char* sign : {"Sanitizer", "runtime error:", "LeakSanitizer"})
    if (err.find(sign) != std::string::npos) return std::string("sanitizer report (") + sign + ")";
  if (o.status > 128) return "killed by signal " + std::to_string(o.status - 128);
  // The fatal message is at the end, or followed by a short marking dump.
  const std::string end = err.size() <= 4096 ? err : err.substr(err.size() - 4096);
  int fatal = 0;
  for (const std::regex& message : fatalMessages()) fatal += std::regex_search(end, message);
  if (o.status == 0) {
    if (fatal > 0) return "status 0 after a fatal message";
    if (log.find("\n\n\t*** END OF FINAL REPORT ***\n\n") == std::string::npos) return "status 0 without a final report";
    return "";
  }
  if (o.status == 1) {
    if (fatal == 0) return "status 1 without one of the tool's fatal messages";
    if (log.find("*** FINAL REPORT ***") != std::string::npos) return "status 1 after the final report";
    return "";
  }
  return "unexpected status " + std::to_string(o.status);
}

std::string tail(const std::string& text, std::size_t bytes) {
  return text.size() <= bytes ? text : "..." + text.substr(text.size() - bytes);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::cerr << "usage: net_property ZELBO [--nets N] [--seconds S] [--seed S] [--timeout S] [--keep DIR]\n";
    return 2;
  }
  const std::string zelbo = fs::absolute(argv[1]);
  long nets = -1, seconds = -1, timeout = 60;
  std::uint64_t seed = 1;
  std::string keep;
  for (int i = 2; i + 1 < argc; i += 2) {
    const std::string opt = argv[i], value = argv[i + 1];
    if (opt == "--nets") nets = std::stol(value);
    else if (opt == "--seconds") seconds = std::stol(value);
    else if (opt == "--seed") seed = std::stoull(value);
    else if (opt == "--timeout") timeout = std::stol(value);
    else if (opt == "--keep") keep = value;
    else {
      std::cerr << "net_property: unknown option " << opt << "\n";
      return 2;
    }
  }
  if (nets < 0 && seconds < 0) nets = 200;
  if (timeout < 1) {
    std::cerr << "net_property: the timeout is a whole number of seconds, at least 1\n";
    return 2;
  }

  char pattern[] = "/tmp/zelbo-nets-XXXXXX";
  if (!mkdtemp(pattern)) return 2;
  const fs::path work = pattern;
  if (!keep.empty()) fs::create_directories(keep);

  double processorTime = 0.0;          // of the runs so far
  std::map<std::string, int> endings;  // how the runs ended, for the summary
  int failures = 0;
  long run = 0;
  double slowest = 0.0;
  std::uint64_t slowestSeed = 0;
  long largestKb = 0;
  for (; nets < 0 || run < nets; ++run) {
    if (failures >= 5) break;
    if (seconds >= 0 && processorTime > static_cast<double>(seconds)) break;
    const std::uint64_t netSeed = seed + static_cast<std::uint64_t>(run);
    NetBuilder builder(netSeed);
    builder.build();
    builder.chooseTarget();
    const std::string model = builder.model();
    std::vector<std::string> args = {zelbo};
    for (const std::string& o : builder.options()) args.push_back(o);
    args.push_back("net.stpn");

    fs::remove_all(work / "run");
    fs::create_directories(work / "run");
    std::ofstream(work / "run" / "net.stpn") << model;
    const Outcome o = runCommandLine(args, work / "run", static_cast<int>(timeout));
    processorTime += o.seconds;
    const std::string err = readFile(work / "run" / "stderr");
    const bool logged = fs::exists(work / "run" / "run.log");
    const std::string log = logged ? readFile(work / "run" / "run.log") : err;
    const std::string wrong = verdict(o, err, log, static_cast<int>(timeout));
    if (o.seconds > slowest) {
      slowest = o.seconds;
      slowestSeed = netSeed;
    }
    largestKb = std::max(largestKb, o.peakKb);

    std::string ending = o.timedOut ? "timeout" : "status " + std::to_string(o.status);
    if (o.status == 1) {
      std::size_t at = err.rfind("\tError: ");
      if (at != std::string::npos && at > 0 && err.compare(at, 20, "\tError: Please check") == 0)
        at = err.rfind("\tError: ", at - 1);
      if (at != std::string::npos) {
        std::string line = err.substr(at + 8, err.find('\n', at) - at - 8);
        line = std::regex_replace(line, std::regex("[tp][0-9]+|-?[0-9.]+(e[+-]?[0-9]+)?|inf|nan"), "#");
        ending += ": " + line;
      }
    }
    ++endings[ending];

    if (!wrong.empty()) {
      ++failures;
      std::cerr << "=== FAILURE (seed " << netSeed << ", run seed " << builder.runSeed() << "): " << wrong
                << "\n--- command:";
      for (std::size_t i = 1; i < args.size(); ++i) std::cerr << " " << args[i];
      std::cerr << "\n--- model:\n" << model << "--- standard error (end):\n" << tail(err, 2000) << "\n";
      if (!keep.empty()) std::ofstream(fs::path(keep) / ("net-" + std::to_string(netSeed) + ".stpn")) << model;
    }
  }
  fs::remove_all(work);

  std::cerr << "net_property: " << run << " runs in " << processorTime << " s of processor time, " << failures
            << " failing; slowest run " << slowest << " s (seed " << slowestSeed << "), largest peak memory "
            << largestKb / 1024 << " MB\n";
  for (const auto& [ending, count] : endings) std::cerr << "  " << count << "\t" << ending << "\n";
  return failures == 0 ? 0 : 1;
}
