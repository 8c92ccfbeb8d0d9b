// The net laid out by Graphviz's dot, run as a program: its input, output and messages go
// through temporary files, so that nothing of it reaches the caller's streams.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/format.h"
#include "base/record_file.h"
#include "report/recording.h"

extern char** environ;

namespace zelbo {

namespace {

// The page's notes where the net would be.
constexpr char kNoNet[] = "The net is not drawn: there is no model.";
constexpr char kNetTooLarge[] =
    "The net is not drawn: its drawing has %zu lines (nodes and arcs), more than the %zu that Graphviz lays out in "
    "reasonable time.";
constexpr char kDotNotRun[] =
    "The net is not drawn: Graphviz's dot could not be run (%s); it comes with the Debian package graphviz.";
constexpr char kDotFailed[] = "The net is not drawn: Graphviz's dot ended with status %d: %s";

// A file of its own in the temporary directory, removed with it (or by a process that a
// signal ends meanwhile: removeTemporaryFiles).
class ScratchFile {
 public:
  ScratchFile() {
    const char* directory = getenv("TMPDIR");
    path_ = std::string(directory && *directory ? directory : "/tmp") + "/zelbo-drawing-XXXXXX";
    fd_ = makeTemporaryFile(path_, slot_);
    if (fd_ < 0) path_.clear();
  }
  ~ScratchFile() {
    if (fd_ >= 0) close(fd_);
    if (!path_.empty()) unlink(path_.c_str());
    forgetTemporaryFile(slot_);
  }
  ScratchFile(const ScratchFile&) = delete;
  ScratchFile& operator=(const ScratchFile&) = delete;
  bool ok() const { return fd_ >= 0; }
  int fd() const { return fd_; }
  const std::string& path() const { return path_; }

  bool write(const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
      const ssize_t n = ::write(fd_, text.data() + done, text.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      done += static_cast<std::size_t>(n);
    }
    return true;
  }

  std::string read() const {
    std::string text;
    char buffer[65536];
    for (off_t at = 0;;) {
      const ssize_t n = pread(fd_, buffer, sizeof buffer, at);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return text;
      text.append(buffer, static_cast<std::size_t>(n));
      at += n;
    }
  }

 private:
  std::string path_;
  int fd_ = -1;
  int slot_ = -1;
};

// Runs `dot -Tsvg` on the input file with standard output and error to the files given;
// returns its exit status, or -1 with errno set when it could not be started.
int runDot(const ScratchFile& input, const ScratchFile& output, const ScratchFile& messages) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, input.fd(), STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, output.fd(), STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, messages.fd(), STDERR_FILENO);
  char program[] = "dot", format[] = "-Tsvg";
  char* argv[] = {program, format, nullptr};
  pid_t child = 0;
  const int failed = posix_spawnp(&child, program, &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  if (failed != 0) {
    errno = failed;
    return -1;
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0)
    if (errno != EINTR) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// The first line of dot's messages, for the note.
std::string firstLine(const std::string& text) {
  const std::string line = text.substr(0, text.find('\n'));
  return line.empty() ? "no message" : line;
}

}  // namespace

Drawing drawNet(const std::string& dot) {
  if (dot.empty()) return {{}, kNoNet};
  const std::size_t lines = static_cast<std::size_t>(std::count(dot.begin(), dot.end(), '\n'));
  if (lines > kMaxDrawnLines) return {{}, formatted(kNetTooLarge, lines, kMaxDrawnLines)};
  ScratchFile input, output, messages;
  if (!input.ok() || !output.ok() || !messages.ok() || !input.write(dot) || lseek(input.fd(), 0, SEEK_SET) != 0)
    return {{}, formatted(kDotNotRun, strerror(errno))};
  const int status = runDot(input, output, messages);
  if (status < 0) return {{}, formatted(kDotNotRun, strerror(errno))};
  const std::string svg = output.read();
  const std::size_t start = svg.find("<svg");
  if (status != 0 || start == std::string::npos)
    return {{}, formatted(kDotFailed, status, firstLine(messages.read()).c_str())};
  // The XML declaration and document type have no place inside an HTML document.
  return {svg.substr(start), {}};
}

}  // namespace zelbo
