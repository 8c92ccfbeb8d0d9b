// Reading the model file.
#pragma once

// Reads the model file into gNet, its delays and gTargetTransPair. 0 when the file was
// accepted; otherwise reports on standard error that it cannot be opened or parsed, and 1.
int ParseSpecFile(const char* path);
