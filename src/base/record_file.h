// Files the user asked for, written whole or not at all.
#pragma once

#include <string>

namespace zelbo {

// A file written whole or not at all: the text goes to a temporary file beside the target,
// renamed over it at the end, so that no reader sees half a record.
class RecordFile {
 public:
  // Creates the temporary file; false (with `why` set) when the target cannot be written.
  bool open(const std::string& path, std::string& why);
  // Writes the text and renames it into place; false (with `why`) when that fails.
  bool commit(const std::string& text, std::string& why);
  // Removes the temporary file when nothing was committed.
  ~RecordFile();
  bool isOpen() const { return fd_ >= 0; }
  const std::string& path() const { return path_; }

 private:
  std::string path_, temporary_;
  int fd_ = -1;
};

}  // namespace zelbo
