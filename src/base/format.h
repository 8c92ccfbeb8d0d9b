// printf into a string, and the run errors made that way.
#pragma once

#include <string>

namespace zelbo {

std::string formatted(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Throw a run Error (status 1) with the formatted message, or with the message as it is. Out
// of line and cold: the hot paths that may fail keep only a call.
[[noreturn, gnu::cold]] void failRun(const char* format, ...) __attribute__((format(printf, 1, 2)));
[[noreturn, gnu::cold]] void failRunWith(const char* message);

}  // namespace zelbo
