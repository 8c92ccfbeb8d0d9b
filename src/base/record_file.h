// Files the user asked for, written whole or not at all, and the temporary files on the way.
#pragma once

#include <string>

namespace zelbo {

// A file written whole or not at all: the text goes to a temporary file beside the target,
// renamed over it at the end, so that no reader sees half a record. The temporary file exists
// only while the text is written: a process that is killed leaves none behind (but within the
// instant of a commit).
class RecordFile {
 public:
  // Checks that the target can be written, by making a temporary file beside it and removing
  // it; false (with `why` set) when it cannot.
  bool open(const std::string& path, std::string& why);
  // Writes the text to a temporary file and renames it into place; false (with `why`) when
  // that fails, leaving no temporary file.
  bool commit(const std::string& text, std::string& why);
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// Makes a file from `pattern` (ending in XXXXXX, as mkstemp takes it, and filled in likewise)
// and returns its descriptor, or -1 with errno set. Until forgetTemporaryFile(slot), the file
// is one that removeTemporaryFiles() removes; `pattern` must stay in place until then.
int makeTemporaryFile(std::string& pattern, int& slot);
void forgetTemporaryFile(int slot);
// Removes every temporary file made so and not yet forgotten. Async-signal-safe: a handler
// calls it before it ends the process at once.
void removeTemporaryFiles();

}  // namespace zelbo
