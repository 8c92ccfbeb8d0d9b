#include "base/record_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace zelbo {

bool RecordFile::open(const std::string& path, std::string& why) {
  struct stat info;
  if (stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
    why = "is a directory";
    return false;
  }
  std::string pattern = path + ".XXXXXX";
  fd_ = mkstemp(pattern.data());
  if (fd_ < 0) {
    why = strerror(errno);
    return false;
  }
  path_ = path;
  temporary_ = pattern;
  return true;
}

bool RecordFile::commit(const std::string& text, std::string& why) {
  const char* data = text.data();
  std::size_t left = text.size();
  while (left > 0) {
    const ssize_t written = write(fd_, data, left);
    if (written < 0) {
      if (errno == EINTR) continue;
      why = strerror(errno);
      return false;
    }
    data += written;
    left -= static_cast<std::size_t>(written);
  }
  // The record is readable like any file the user writes, not only by its owner.
  const mode_t mask = umask(0);
  umask(mask);
  fchmod(fd_, 0666 & ~mask);
  if (fsync(fd_) != 0 || close(fd_) != 0) {
    fd_ = -1;
    why = strerror(errno);
    return false;
  }
  fd_ = -1;
  if (rename(temporary_.c_str(), path_.c_str()) != 0) {
    why = strerror(errno);
    return false;
  }
  temporary_.clear();
  return true;
}

RecordFile::~RecordFile() {
  if (fd_ >= 0) close(fd_);
  if (!temporary_.empty()) unlink(temporary_.c_str());
}

}  // namespace zelbo
