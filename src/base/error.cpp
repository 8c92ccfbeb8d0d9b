#include "zelbo/error.h"

#include <cstdarg>
#include <cstdio>

namespace zelbo {

namespace {
std::string vformat(const char* format, va_list args) {
  va_list copy;
  va_copy(copy, args);
  const int length = vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  if (length <= 0) return {};
  std::string text(static_cast<std::size_t>(length), '\0');
  vsnprintf(text.data(), text.size() + 1, format, args);
  return text;
}
}  // namespace

std::string formatText(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = vformat(format, args);
  va_end(args);
  return text;
}

void fatal(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = vformat(format, args);
  va_end(args);
  throw Error(std::move(text), 1);
}

}  // namespace zelbo
