// Helpers shared by the readers (not part of the library's interface).
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

#include "import/imported.h"

namespace zelbo::import::detail {

// Thrown inside a reader and caught at its entry point, which returns it as a value.
struct Failure {
  int line;
  std::string message;
};

[[noreturn]] inline void fail(int line, std::string message) {
  throw Failure{line, std::move(message)};
}

inline bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

inline std::string_view trim(std::string_view s) {
  std::size_t b = 0;
  std::size_t e = s.size();
  while (b < e && (isBlank(s[b]) || s[b] == '\n')) ++b;
  while (e > b && (isBlank(s[e - 1]) || s[e - 1] == '\n')) --e;
  return s.substr(b, e - b);
}

inline bool allDigits(std::string_view s) {
  if (s.empty()) return false;
  for (const char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

// A count written in decimal digits, compared without overflow: the digits without their
// leading zeros ("" for zero).
inline std::string_view significantDigits(std::string_view digits) {
  std::size_t i = 0;
  while (i < digits.size() && digits[i] == '0') ++i;
  return digits.substr(i);
}

// The name of a net whose file gives none: the stem of the file name, else "net".
inline std::string fallbackNetName(std::string_view file) {
  std::string stem = std::filesystem::path(std::string(file)).stem().string();
  return stem.empty() ? "net" : stem;
}

// Line (1-based) of the first NUL byte, or 0. Neither format has a use for NUL: both readers
// refuse it (a binary file, most likely) rather than read on past it or stop at it.
inline int nulLine(std::string_view text) {
  const std::size_t at = text.find('\0');
  if (at == std::string_view::npos) return 0;
  int line = 1;
  for (std::size_t i = 0; i < at; ++i)
    if (text[i] == '\n') ++line;
  return line;
}

}  // namespace zelbo::import::detail
