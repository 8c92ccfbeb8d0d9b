// The error every fatal condition of the library becomes: the exact text the command line
// writes to standard error for it, and the exit status it ends with.
#pragma once

#include <stdexcept>
#include <string>

namespace zelbo {

class Error : public std::runtime_error {
 public:
  // A model error is the model's fault (it cannot be read or it fails its checks); a run
  // error happens while estimating.
  enum class Kind { model, run };

  Error(std::string message, int status, Kind kind = Kind::run, std::string detail = {})
      : std::runtime_error(std::move(message)), status_(status), kind_(kind), detail_(std::move(detail)) {}

  int status() const { return status_; }
  Kind kind() const { return kind_; }
  // What the message does not say but was written elsewhere: why the checks rejected a model.
  const std::string& detail() const { return detail_; }

 private:
  int status_;
  Kind kind_;
  std::string detail_;
};

// Throws a run error with status 1 whose text is formatted like printf.
[[noreturn]] void fatal(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The printf-formatted text.
std::string formatText(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace zelbo
