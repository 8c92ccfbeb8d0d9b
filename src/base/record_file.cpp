#include "base/record_file.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace zelbo {

namespace {

// The temporary files of the moment, as paths a signal handler may read: a commit has one,
// the drawing of a report page three; threads of an embedding program may add theirs. A file
// made when every slot is taken is simply not removed by a handler.
constexpr int kTemporarySlots = 16;
std::atomic<const char*> temporaries[kTemporarySlots];
static_assert(std::atomic<const char*>::is_always_lock_free);

int remember(const char* path) {
  for (int slot = 0; slot < kTemporarySlots; ++slot) {
    const char* none = nullptr;
    if (temporaries[slot].compare_exchange_strong(none, path)) return slot;
  }
  return -1;
}

bool writeAll(int fd, const std::string& text, std::string& why) {
  const char* data = text.data();
  std::size_t left = text.size();
  while (left > 0) {
    const ssize_t written = write(fd, data, left);
    if (written < 0) {
      if (errno == EINTR) continue;
      why = strerror(errno);
      return false;
    }
    data += written;
    left -= static_cast<std::size_t>(written);
  }
  return true;
}

}  // namespace

int makeTemporaryFile(std::string& pattern, int& slot) {
  // No signal comes between the file's making and its being remembered.
  sigset_t all, previous;
  sigfillset(&all);
  pthread_sigmask(SIG_BLOCK, &all, &previous);
  const int fd = mkstemp(pattern.data());
  const int made = errno;
  slot = fd >= 0 ? remember(pattern.c_str()) : -1;
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  errno = made;
  return fd;
}

void forgetTemporaryFile(int slot) {
  if (slot >= 0) temporaries[slot].store(nullptr);
}

void removeTemporaryFiles() {
  for (std::atomic<const char*>& temporary : temporaries)
    if (const char* path = temporary.load()) unlink(path);
}

bool RecordFile::open(const std::string& path, std::string& why) {
  struct stat info;
  if (stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
    why = "is a directory";
    return false;
  }
  std::string probe = path + ".XXXXXX";
  int slot = -1;
  const int fd = makeTemporaryFile(probe, slot);
  if (fd < 0) {
    why = strerror(errno);
    return false;
  }
  close(fd);
  unlink(probe.c_str());
  forgetTemporaryFile(slot);
  path_ = path;
  return true;
}

bool RecordFile::commit(const std::string& text, std::string& why) {
  std::string temporary = path_ + ".XXXXXX";
  int slot = -1;
  int fd = makeTemporaryFile(temporary, slot);
  if (fd < 0) {
    why = strerror(errno);
    return false;
  }
  bool done = writeAll(fd, text, why);
  if (done) {
    // The record is readable like any file the user writes, not only by its owner.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    if (fsync(fd) != 0) {
      why = strerror(errno);
      done = false;
    }
  }
  if (close(fd) != 0 && done) {
    why = strerror(errno);
    done = false;
  }
  if (done && rename(temporary.c_str(), path_.c_str()) != 0) {
    why = strerror(errno);
    done = false;
  }
  if (!done) unlink(temporary.c_str());
  forgetTemporaryFile(slot);
  return done;
}

}  // namespace zelbo
