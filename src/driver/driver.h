// The run: command line, model, checks, estimation and final report.
#pragma once

// Runs zelbo on the given arguments and returns the exit status (fatal errors inside the
// unfolding and estimation end the process directly).
int runZelbo(int argc, char** argv);

// The usage text on standard error, then exit status 1.
[[noreturn]] void usage();
