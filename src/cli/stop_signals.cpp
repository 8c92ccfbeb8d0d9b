#include "cli/stop_signals.h"

#include <signal.h>

#include <atomic>
#include <cerrno>

#include "base/record_file.h"

namespace zelbo {

namespace {

std::atomic<int> received{0};
static_assert(std::atomic<int>::is_always_lock_free, "read and written by a signal handler");

// Only what is async-signal-safe: an atomic, unlink (in removeTemporaryFiles), sigaction and
// raise.
extern "C" void onStopSignal(int signal) {
  int none = 0;
  if (received.compare_exchange_strong(none, signal)) return;
  const int interruptedErrno = errno;  // the interrupted code's, should the process go on
  removeTemporaryFiles();
  struct sigaction fallback = {};
  fallback.sa_handler = SIG_DFL;
  sigemptyset(&fallback.sa_mask);
  sigaction(signal, &fallback, nullptr);
  raise(signal);  // delivered once this handler returns and unblocks it
  errno = interruptedErrno;
}

}  // namespace

void catchStopSignals() {
  struct sigaction action = {};
  action.sa_handler = onStopSignal;
  // One handler at a time: of two signals that come at once, the first stops the run and
  // the second ends the process.
  sigemptyset(&action.sa_mask);
  sigaddset(&action.sa_mask, SIGINT);
  sigaddset(&action.sa_mask, SIGTERM);
  // Reading a file or waiting for a child goes on after the first signal.
  action.sa_flags = SA_RESTART;
  for (const int signal : {SIGINT, SIGTERM}) {
    struct sigaction previous;
    // A signal the process was started to ignore (nohup, a background job) stays ignored.
    if (sigaction(signal, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) continue;
    sigaction(signal, &action, nullptr);
  }
}

int stopSignal() { return received.load(); }

}  // namespace zelbo
