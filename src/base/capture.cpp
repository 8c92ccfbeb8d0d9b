#include "base/capture.h"

#include <stdio.h>
#include <stdio_ext.h>

#include <cstdlib>
#include <new>

namespace zelbo {

Capture::Capture() : file_(open_memstream(&buffer_, &size_)) {
  if (!file_) throw std::bad_alloc();
}

Capture::~Capture() {
  fclose(file_);
  free(buffer_);
}

std::string Capture::take() {
  // The common case, nothing written since the last take, told without the stream's lock: a
  // memory stream's buffer is its text, and the bytes in it since the take's rewind are
  // what it counts as pending.
  if (__fpending(file_) == 0) return {};
  fflush(file_);
  std::string text(buffer_, size_);
  fseek(file_, 0, SEEK_SET);
  return text;
}

std::string Capture::text() {
  fflush(file_);
  return std::string(buffer_, size_);
}

}  // namespace zelbo
