// Targets written as text: on the command line (-tse), in a targets file, in Python.
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "base/format.h"
#include "base/texts.h"
#include "zelbo/edit.h"

namespace zelbo {

namespace {

bool isSeparator(char c) { return c == ',' || c == ' ' || c == '\t' || c == '\r'; }

// The parts of a target's text: names, numbers and words, split at commas and blanks; a part
// in double quotes is taken as written. False when a quote does not close.
bool splitParts(std::string_view text, std::vector<std::string>& parts) {
  std::size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && isSeparator(text[i])) ++i;
    if (i == text.size()) break;
    if (text[i] == '"') {
      const std::size_t close = text.find('"', i + 1);
      if (close == std::string_view::npos) return false;
      parts.emplace_back(text.substr(i + 1, close - i - 1));
      i = close + 1;
      continue;
    }
    const std::size_t start = i;
    while (i < text.size() && !isSeparator(text[i])) ++i;
    parts.emplace_back(text.substr(start, i - start));
  }
  return true;
}

[[noreturn]] void notATarget(const char* why, std::string_view text) {
  throw Error(Error::Kind::usage, formatted(why, std::string(text).c_str()));
}

}  // namespace

Target parseTarget(std::string_view text) {
  std::vector<std::string> parts;
  if (!splitParts(text, parts) || parts.size() < 3 || parts.size() > 4) notATarget(text::kTargetSyntax, text);
  Target target{parts[0], parts[1], 0, false};
  const std::string& separation = parts[2];
  char* end = nullptr;
  errno = 0;
  const long k = strtol(separation.c_str(), &end, 10);
  if (separation.empty() || *end != '\0' || errno == ERANGE || k < INT_MIN || k > INT_MAX)
    notATarget(text::kTargetSeparation, text);
  target.separation = static_cast<int>(k);
  if (parts.size() == 4) {
    const std::string& bound = parts[3];
    if (bound == "lb" || bound == ".lb") target.lowerBound = true;
    else if (bound != "ub" && bound != ".ub") notATarget(text::kTargetSyntax, text);
  }
  return target;
}

std::vector<TargetRequest> readTargetsFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw Error(Error::Kind::io, formatted(text::kFailedToReadTargets, path.c_str(), strerror(errno)));
  std::vector<TargetRequest> targets;
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    const std::size_t first = line.find_first_not_of(" \t\r");
    if (first == std::string::npos || line[first] == '#') continue;
    try {
      targets.push_back(TargetRequest{parseTarget(line), SourceLocation{path, number}});
    } catch (const Error& e) {
      throw Error(Error::Kind::usage, e.message()).at(SourceLocation{path, number});
    }
  }
  if (in.bad()) throw Error(Error::Kind::io, formatted(text::kFailedToReadTargets, path.c_str(), strerror(errno)));
  if (targets.empty()) throw Error(Error::Kind::usage, text::kNoTargetsInFile).at(SourceLocation{path});
  return targets;
}

}  // namespace zelbo
