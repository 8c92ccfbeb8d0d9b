// A stream whose text is kept in memory: what a run's samplers write while they draw, and
// what the model reader writes for the Python module.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

namespace zelbo {

class Capture {
 public:
  Capture();
  ~Capture();
  Capture(const Capture&) = delete;
  Capture& operator=(const Capture&) = delete;

  FILE* file() const { return file_; }
  // What was written since the last take (or since the start); the stream starts afresh.
  std::string take();
  // What was written since the last take (or since the start), left in the stream.
  std::string text();

 private:
  char* buffer_ = nullptr;
  std::size_t size_ = 0;
  FILE* file_;
};

}  // namespace zelbo
