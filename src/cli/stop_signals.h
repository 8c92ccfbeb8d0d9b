// Ctrl-C (SIGINT) and SIGTERM, as a terminal or a batch scheduler sends them: the first stops
// the run after the sample in progress, and the command line ends with its final report and
// files; a second ends the process at once, as the signal's default would, leaving no
// temporary file.
#pragma once

namespace zelbo {

// Installs the handlers, for the whole process. Under a launcher every rank installs them:
// rank 0 stops the run, the others wait for it to stop them.
void catchStopSignals();
// The first stop signal received, or 0 while none has come.
int stopSignal();

}  // namespace zelbo
