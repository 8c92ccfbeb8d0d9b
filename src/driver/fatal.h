// Ending the run on a fatal condition of the unfolding or the estimation.
#pragma once

// Writes the message to standard error and ends the process with status 1. The log stream
// keeps what was written to it before (exit flushes every stream).
[[noreturn]] void fatal(const char* format, ...) __attribute__((format(printf, 1, 2)));
