// printf into a string, and the run errors made that way.
#pragma once

#include <string>

namespace zelbo {

std::string formatted(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Throws a run Error (status 1) with the formatted message.
[[noreturn]] void failRun(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace zelbo
