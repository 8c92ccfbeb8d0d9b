#include "zelbo/error.h"

#include <cstdarg>
#include <cstdio>

#include "base/format.h"

namespace zelbo {

namespace {

std::string vformatted(const char* format, va_list args) {
  va_list copy;
  va_copy(copy, args);
  const int length = vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string text;
  if (length > 0) {
    text.resize(static_cast<std::size_t>(length));
    vsnprintf(text.data(), text.size() + 1, format, args);
  }
  return text;
}

std::string locationPrefix(const SourceLocation& at) {
  if (at.line > 0) return at.file + ":" + std::to_string(at.line) + ": ";
  return at.file + ": ";
}

}  // namespace

std::string formatted(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = vformatted(format, args);
  va_end(args);
  return text;
}

void failRun(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = vformatted(format, args);
  va_end(args);
  throw Error(Error::Kind::run, std::move(text));
}

void failRunWith(const char* message) { throw Error(Error::Kind::run, message); }

Error::Error(Kind kind, std::string message, int status)
    : kind_(kind), status_(status), message_(std::move(message)), what_(message_) {}

Error& Error::at(SourceLocation location) {
  location_ = std::move(location);
  what_ = locationPrefix(*location_) + message_;
  return *this;
}

Error& Error::note(Note::Kind kind, std::string text) {
  notes_.push_back(Note{kind, std::move(text)});
  return *this;
}

Error& Error::withListing(std::string listing) {
  listing_ = std::move(listing);
  return *this;
}

Error& Error::withDetail(std::string detail) {
  detail_ = std::move(detail);
  return *this;
}

Error& Error::framed(Framing framing) {
  framing_ = framing;
  return *this;
}

}  // namespace zelbo
