// The command line's JSON record, read back with a JSON parser: its counts against the printed
// report, on every kind of end; and runs with several samplers.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "estimate/statistics.h"
#include "zelbo/zelbo.h"

namespace {

using nlohmann::json;

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

class Record : public testing::Test {
 protected:
  std::string dir = testing::TempDir() + "record_" + testing::UnitTest::GetInstance()->current_test_info()->name();
  std::string log = dir + "/run.log", record = dir + "/run.json";

  void SetUp() override { std::system(("rm -rf '" + dir + "' && mkdir -p '" + dir + "'").c_str()); }

  std::string model(const std::string& name, const std::string& text) {
    const std::string path = dir + "/" + name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }

  // Runs the command line in this process; returns its status and reads the record.
  int run(std::vector<std::string> args, json& parsed) {
    args.insert(args.begin(), "zelbo");
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    testing::internal::CaptureStderr();
    const int status = zelbo::runCommandLine(static_cast<int>(argv.size()), argv.data());
    testing::internal::GetCapturedStderr();
    parsed = json::parse(slurp(record));
    return status;
  }

  // A figure the final report prints after `label`.
  std::string printed(const std::string& label) {
    std::smatch match;
    const std::string text = slurp(log);
    EXPECT_TRUE(std::regex_search(text, match, std::regex(label + "([^\\n]+)"))) << label;
    return match[1];
  }
};

const char* const kRing =
    ".stpn ring\n.place p .preset {b} .poset {a} .mark\n.place q .preset {a} .poset {b}\n"
    ".delay p .exp 0 1 1\n.delay q .uni 0 2\n.tse (a a 1)\n";

std::string fiveDigits(double value) {
  char text[32];
  snprintf(text, sizeof text, "%.5g", value);
  return text;
}

TEST_F(Record, NormalEndsCarryTheCountsAndTheBoundOfTheReport) {
  const std::string ring = model("ring.stpn", kRing);
  json r;
  ASSERT_EQ(run({"-seed", "7", "-ss", "300", "-pp", "0", "-log", log, "-json", record, ring}, r), 0);
  EXPECT_EQ(r["status"], "ok");
  EXPECT_EQ(r["exit_status"], 0);
  EXPECT_EQ(r["model"]["name"], "ring");
  EXPECT_EQ(r["target"]["source"], "a");
  EXPECT_EQ(r["settings"]["stopping"], "fixed");
  EXPECT_EQ(r["settings"]["seed"], 7);
  EXPECT_EQ(r["result"]["samples"], 300);
  EXPECT_EQ(std::to_string(r["result"]["instances"].get<int>()), printed("Total samples used: "));
  EXPECT_EQ(" = " + fiveDigits(r["result"]["bound"]), printed("Upper bound on average TSE\\(a, a, 1\\)"));

  // Every target of the run, the first being the result's.
  ASSERT_EQ(run({"-seed", "7", "-ss", "300", "-pp", "0", "-tse", "a,a,1", "-tse", "a,b,0,lb", "-log", log, "-json",
                 record, ring},
                r),
            0);
  ASSERT_EQ(r["targets"].size(), 2u);
  EXPECT_EQ(r["targets"][0]["result"]["bound"], r["result"]["bound"]);
  EXPECT_EQ(r["targets"][1]["bound"], "lower");
  EXPECT_EQ(r["targets"][1]["destination_id"], "b");
  EXPECT_EQ(r["targets"][1]["result"]["samples"], 300);

  // Automatic mode: the run decides the count.
  ASSERT_EQ(run({"-seed", "7", "-e%", "4", "-pp", "0", "-log", log, "-json", record, ring}, r), 0);
  EXPECT_EQ(r["settings"]["stopping"], "automatic");
  EXPECT_EQ(std::to_string(r["result"]["samples"].get<int>()), printed("Number of valid iteration made: "));
  EXPECT_GT(r["result"]["samples"].get<int>(), 31);
}

TEST_F(Record, TheHalfWidthShrinksWithTheSampleSize) {
  const std::string ring = model("ring.stpn", kRing);
  json small, large;
  run({"-seed", "3", "-ss", "100", "-pp", "0", "-log", log, "-json", record, ring}, small);
  run({"-seed", "3", "-ss", "1600", "-pp", "0", "-log", log, "-json", record, ring}, large);
  const double a = small["result"]["half_width"], b = large["result"]["half_width"];
  EXPECT_GT(a, 0);
  EXPECT_LT(b, a / 2.5);  // about a quarter: the spread over sqrt(n)
}

TEST_F(Record, FailuresCarryTheirMessageStatusAndReason) {
  json r;
  const std::string noDelay = model("nodelay.stpn",
                                    ".stpn nodelay\n.place p .preset {b} .poset {a} .mark\n"
                                    ".place q .preset {a} .poset {b}\n.delay p .fix 1\n.tse (a b 0)\n");
  EXPECT_EQ(run({"-log", log, "-json", record, noDelay}, r), 1);
  EXPECT_EQ(r["status"], "error");
  EXPECT_EQ(r["exit_status"], 1);
  EXPECT_EQ(r["error"]["message"], "Error: Incorrect or incomplete spec.\n\tInfo : PRYX Solver terminates.");
  EXPECT_EQ(r["error"]["detail"], "Place q has incorrect or incomplete delay spec.");
  EXPECT_TRUE(r["result"].is_null());

  const std::string dead = model("dead.stpn",
                                 ".stpn dead\n.place p .preset {b} .poset {a} .mark\n.place q .preset {a} .poset {c}\n"
                                 ".place r .preset {c} .poset {b}\n.place z .preset {zz} .poset {c}\n"
                                 ".delay p .fix 1\n.delay q .fix 1\n.delay r .fix 1\n.delay z .fix 1\n.tse (a b 0)\n");
  EXPECT_EQ(run({"-seed", "1", "-log", log, "-json", record, dead}, r), 1);
  EXPECT_EQ(r["error"]["message"], "Error: No low priority transition is enabled.");
  EXPECT_EQ(r["target"]["destination"], "b");

  EXPECT_EQ(run({"-json", record, dir + "/missing.stpn"}, r), 1);
  EXPECT_EQ(r["error"]["message"], "Error: Failed to open file " + dir + "/missing.stpn to read.");
}

TEST_F(Record, FileNamesOfAnyBytesComeOutAsValidJson) {
  const std::string odd = model("we\"ird\\na\x01me\xff.stpn", kRing);
  json r;
  ASSERT_EQ(run({"-seed", "1", "-ss", "5", "-log", log, "-json", record, odd}, r), 0);
  const std::string file = r["model"]["file"];
  EXPECT_NE(file.find("we\"ird\\na\x01me"), std::string::npos);
  EXPECT_NE(file.find("\xEF\xBF\xBD"), std::string::npos);  // the invalid byte, replaced
}

TEST(Jobs, EveryJobCountEstimatesTheSameCycleTime) {
  // The cycle of a and b takes an Exp(1) and a uniform [0, 2) delay: 2 on average.
  FILE* quiet = fopen("/dev/null", "w");
  zelbo::Settings settings;
  settings.log = settings.diagnostics = quiet;
  settings.stopping = zelbo::Stopping::fixed;
  settings.sampleSize = 4000;
  settings.printPeriod = 0;
  const zelbo::Model ring = zelbo::Model::readText(kRing);
  const double z = zelbo::normalQuantile(settings.confidence);
  std::vector<double> bounds;
  for (int jobs = 1; jobs <= 4; ++jobs) {
    settings.jobs = jobs;
    const zelbo::Result result = zelbo::estimate(ring, settings, 11);
    EXPECT_EQ(result.jobs, jobs);
    EXPECT_EQ(result.samples, 4000);
    EXPECT_LT(std::fabs(result.bound - 2.0), 4 * result.halfWidth / z) << jobs << " jobs";
    for (double other : bounds) EXPECT_NE(result.bound, other);
    bounds.push_back(result.bound);
    EXPECT_EQ(zelbo::estimate(ring, settings, 11).bound, result.bound) << "not repeatable with " << jobs << " jobs";
  }
  fclose(quiet);
}

}  // namespace
