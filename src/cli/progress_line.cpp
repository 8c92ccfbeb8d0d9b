#include "cli/progress_line.h"

#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <string_view>

#include "base/format.h"
#include "base/texts.h"

namespace zelbo {

namespace {

// The terminal's width, 80 when it does not say.
int terminalColumns() {
  winsize size{};
  if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return 80;
}

// Whether the log writes where standard error does (also as -log /dev/stderr).
bool logOnStandardError(FILE* log) {
  if (log == stderr) return true;
  struct stat logFile {}, standardError {};
  return fstat(fileno(log), &logFile) == 0 && fstat(STDERR_FILENO, &standardError) == 0 &&
         logFile.st_dev == standardError.st_dev && logFile.st_ino == standardError.st_ino;
}

// Nothing but the line may reach standard error while the run goes on: traces (on the
// diagnostics stream and the log) and intermediate reports on it would scroll the line away
// at every write.
bool wanted(const Settings& settings) {
  if (!isatty(STDERR_FILENO) || settings.verbose > 1) return false;
  return settings.printPeriod <= 0 || !logOnStandardError(settings.log);
}

}  // namespace

std::unique_ptr<ProgressLine> ProgressLine::start(Settings& settings) {
  if (!wanted(settings)) return nullptr;
  cookie_io_functions_t functions{};
  functions.write = &ProgressLine::writeThrough;
  auto line = std::unique_ptr<ProgressLine>(new ProgressLine(settings));
  FILE* passThrough = fopencookie(line.get(), "w", functions);
  if (!passThrough) return nullptr;
  // Unbuffered, as standard error is: its text keeps its place among direct writes.
  setvbuf(passThrough, nullptr, _IONBF, 0);
  line->passThrough_ = passThrough;
  if (settings.diagnostics == stderr) settings.diagnostics = passThrough;
  if (settings.log == stderr) settings.log = passThrough;
  return line;
}

ProgressLine::ProgressLine(Settings& settings)
    : settings_(settings),
      log_(settings.log),
      diagnostics_(settings.diagnostics),
      figures_(settings),
      columns_(terminalColumns()) {}

ProgressLine::~ProgressLine() {
  erase();
  settings_.log = log_;
  settings_.diagnostics = diagnostics_;
  if (passThrough_) fclose(passThrough_);
}

RunControl ProgressLine::control(RunControl inner) {
  RunControl control = inner;
  control.onSample = [this, inner = std::move(inner.onSample)](double sum, int size) {
    if (inner) inner(sum, size);
    if (figures_.take(sum, size)) show();
  };
  return control;
}

void ProgressLine::show() {
  columns_ = terminalColumns();  // the window may have been resized
  const int samples = figures_.samples();
  std::string line = settings_.stopping == Stopping::fixed
                         ? formatted(text::kProgressSamplesOf, samples, settings_.sampleSize)
                         : formatted(text::kProgressSamples, samples);
  if (const std::string width = figures_.halfWidth(); !width.empty()) line += text::kProgressSeparator + width;
  line += text::kProgressSeparator + figures_.rate();
  line += text::kProgressSeparator + figures_.estimate();
  // A line longer than the terminal would wrap, and the erasure reach only its last row.
  line.resize(std::min(line.size(), static_cast<std::size_t>(std::max(columns_ - 1, 0))));
  line.insert(0, "\r");
  line += text::kProgressEraseRest;  // what a longer line before left
  if (!shown_ && !partial_.empty()) {
    // The text passed through ends within a row: the line goes below it, and its erasure
    // writes that row's text again, leaving the cursor where the text left it. A row that
    // wrapped could not be written again in place: no line until it ends.
    if (partialColumns_ >= columns_) return;
    line.insert(0, "\n");
    below_ = true;
  }
  fwrite(line.data(), 1, line.size(), stderr);
  shown_ = true;
}

void ProgressLine::erase() {
  if (!shown_) return;
  fputs(text::kProgressErase, stderr);
  if (below_) {
    fputs(text::kProgressRowUp, stderr);
    fwrite(partial_.data(), 1, partial_.size(), stderr);
  }
  shown_ = below_ = false;
}

void ProgressLine::passed(const char* data, size_t size) {
  const std::string_view text(data, size);
  const std::size_t newline = text.rfind('\n');
  if (newline != std::string_view::npos) {
    partial_.clear();
    partialColumns_ = 0;
  }
  const std::string_view rest = newline == std::string_view::npos ? text : text.substr(newline + 1);
  if (partialColumns_ >= columns_) return;  // wrapped: only its end matters, a newline
  partial_ += rest;
  for (const char c : rest) {
    if (c == '\t') partialColumns_ = (partialColumns_ / 8 + 1) * 8;
    else if (c == '\r') partialColumns_ = 0;
    else if ((c & 0xC0) != 0x80) ++partialColumns_;  // a character, not the continuation of one
  }
}

ssize_t ProgressLine::writeThrough(void* cookie, const char* data, size_t size) {
  ProgressLine& line = *static_cast<ProgressLine*>(cookie);
  line.erase();
  const std::size_t written = fwrite(data, 1, size, stderr);
  line.passed(data, written);
  return static_cast<ssize_t>(written);
}

}  // namespace zelbo
