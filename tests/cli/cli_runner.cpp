// Runs one command-line case: writes its model files into a fresh directory, runs zelbo there
// with the case's arguments, and compares exit status, standard error, standard output and
// the named output files with the case's expectations, byte for byte.
//
// Case file format: sections introduced by lines "=== <kind> [name] [escaped]".
//   === args             one line: the arguments (blank-separated, '...' quotes)
//   === wrap             one line: a command put in front of zelbo (for example env)
//   === file NAME        a file written before the run
//   === repeat NAME N    the content appended N times to file NAME (large inputs are made
//                        at test time: a header in a file section, then repeat sections)
//   === dir NAME         a directory made before the run
//   === stderr           expected standard error
//   === stderr_end       expected end of standard error (what comes before is not compared)
//   === stdout           expected standard output (not compared when absent)
//   === output NAME      expected content of a file the run writes (a log file)
//   === status           expected exit status (0 when absent)
//   === timeout          seconds before the run is killed (60 when absent)
// A section's content is every line up to the next section line; the newline that ends the
// last content line belongs to the separator, so content that ends in a newline is followed
// by an empty line. With "escaped", \n \t \\ \0 and \xHH in the content are decoded.
// In compared texts, the figure of "CPU time used: ..." is replaced by "*".
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Section {
  std::string kind;
  std::string name;
  std::string content;
  long count = 1;  // of a repeat section
};

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string unescape(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      out += text[i];
      continue;
    }
    char c = text[++i];
    if (c == 'n') out += '\n';
    else if (c == 't') out += '\t';
    else if (c == '0') out += '\0';
    else if (c == '\\') out += '\\';
    else if (c == 'x' && i + 2 < text.size() && hexDigit(text[i + 1]) >= 0 && hexDigit(text[i + 2]) >= 0) {
      out += static_cast<char>(hexDigit(text[i + 1]) * 16 + hexDigit(text[i + 2]));
      i += 2;
    } else {
      out += '\\';
      out += c;
    }
  }
  return out;
}

std::vector<std::string> splitWords(const std::string& line) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false, quoted = false;
  for (char c : line) {
    if (quoted) {
      if (c == '\'') quoted = false;
      else word += c;
    } else if (c == '\'') {
      quoted = inWord = true;
    } else if (c == ' ' || c == '\t' || c == '\n') {
      if (inWord) words.push_back(word);
      word.clear();
      inWord = false;
    } else {
      word += c;
      inWord = true;
    }
  }
  if (inWord) words.push_back(word);
  return words;
}

std::vector<Section> parseCase(const std::string& text) {
  std::vector<Section> sections;
  std::vector<bool> escaped;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(pos, end - pos);
    pos = end + 1;
    if (line.rfind("=== ", 0) == 0) {
      std::vector<std::string> words = splitWords(line.substr(4));
      Section section;
      if (!words.empty()) section.kind = words[0];
      if (words.size() > 1 && words[1] != "escaped") section.name = words[1];
      if (words.size() > 2 && words[2] != "escaped") section.count = std::atol(words[2].c_str());
      escaped.push_back(!words.empty() && words.back() == "escaped");
      sections.push_back(section);
    } else if (!sections.empty()) {
      sections.back().content += line + "\n";
    }
  }
  // The newline of the last content line belongs to the next separator.
  for (std::size_t i = 0; i < sections.size(); ++i) {
    std::string& content = sections[i].content;
    if (!content.empty()) content.pop_back();
    if (escaped[i]) content = unescape(content);
  }
  return sections;
}

std::string maskCpuTime(const std::string& text) {
  static const std::regex cpu("(CPU time used: )[^ ]+( seconds\\.)");
  return std::regex_replace(text, cpu, "$1*$2");
}

std::string visible(const std::string& text) {
  std::string out;
  for (unsigned char c : text) {
    if (c == '\n') out += "\\n\n";
    else if (c == '\t') out += "\\t";
    else if (c < 32 || c >= 127) {
      char buf[8];
      snprintf(buf, sizeof buf, "\\x%02x", c);
      out += buf;
    } else out += static_cast<char>(c);
  }
  return out;
}

bool compare(const std::string& what, const std::string& expected, const std::string& actual) {
  if (maskCpuTime(expected) == maskCpuTime(actual)) return true;
  std::cerr << "--- " << what << " differs\n--- expected:\n"
            << visible(expected) << "\n--- actual:\n" << visible(maskCpuTime(actual)) << "\n";
  return false;
}

struct RunResult {
  int status = -1;
  bool timedOut = false;
};

RunResult run(const std::vector<std::string>& argv, const fs::path& dir, const fs::path& out, const fs::path& err,
              int timeoutSeconds) {
  pid_t pid = fork();
  if (pid == 0) {
    if (chdir(dir.c_str()) != 0) _exit(127);
    int in = open("/dev/null", O_RDONLY);
    int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(in, 0);
    dup2(o, 1);
    dup2(e, 2);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
  }
  RunResult result;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
  int wstatus = 0;
  while (waitpid(pid, &wstatus, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &wstatus, 0);
      result.timedOut = true;
      return result;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  result.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: cli_runner ZELBO CASE\n";
    return 2;
  }
  const std::string zelbo = fs::absolute(argv[1]);
  const std::vector<Section> sections = parseCase(readFile(argv[2]));

  char pattern[] = "/tmp/zelbo-cli-XXXXXX";
  if (!mkdtemp(pattern)) return 2;
  const fs::path root = pattern;
  const fs::path work = root / "work";
  fs::create_directory(work);

  std::vector<std::string> command;
  std::vector<std::string> args;
  int expectedStatus = 0, timeout = 60;
  for (const Section& s : sections) {
    if (s.kind == "args") args = splitWords(s.content);
    else if (s.kind == "wrap") command = splitWords(s.content);
    else if (s.kind == "file") std::ofstream(work / s.name, std::ios::binary) << s.content;
    else if (s.kind == "repeat") {
      std::ofstream out(work / s.name, std::ios::binary | std::ios::app);
      for (long i = 0; i < s.count; ++i) out << s.content;
    } else if (s.kind == "dir") fs::create_directories(work / s.name);
    else if (s.kind == "status") expectedStatus = std::atoi(s.content.c_str());
    else if (s.kind == "timeout") timeout = std::atoi(s.content.c_str());
  }
  command.push_back(zelbo);
  command.insert(command.end(), args.begin(), args.end());

  const RunResult result = run(command, work, root / "stdout", root / "stderr", timeout);
  bool ok = true;
  if (result.timedOut) {
    std::cerr << "--- killed after " << timeout << " seconds\n";
    ok = false;
  } else if (result.status != expectedStatus) {
    std::cerr << "--- exit status " << result.status << ", expected " << expectedStatus << "\n";
    ok = false;
  }
  for (const Section& s : sections) {
    if (s.kind == "stderr") ok &= compare("standard error", s.content, readFile(root / "stderr"));
    else if (s.kind == "stderr_end") {
      const std::string err = readFile(root / "stderr");
      const std::string end = err.substr(err.size() - std::min(err.size(), s.content.size()));
      ok &= compare("end of standard error", s.content, end);
    }
    else if (s.kind == "stdout") ok &= compare("standard output", s.content, readFile(root / "stdout"));
    else if (s.kind == "output") {
      if (!fs::exists(work / s.name)) {
        std::cerr << "--- output file " << s.name << " was not written\n";
        ok = false;
      } else {
        ok &= compare("file " + s.name, s.content, readFile(work / s.name));
      }
    }
  }
  if (!ok) std::cerr << "--- standard error was:\n" << visible(readFile(root / "stderr")) << "\n";
  std::error_code ignored;
  fs::remove_all(root, ignored);
  return ok ? 0 : 1;
}
