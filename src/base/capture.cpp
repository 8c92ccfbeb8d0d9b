#include "base/capture.h"

#include <stdio.h>

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
  if (ftell(file_) == 0) return {};  // the common case: nothing was written
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
