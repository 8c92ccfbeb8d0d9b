// Reading the model file.
#pragma once

// Reads the model file into gNet, its delays and gTargetTransPair. 0 when the file was
// accepted; otherwise reports on standard error that it cannot be opened or parsed, and 1.
// The file stays open; the reader keeps its position and scanner state for one file only.
int ParseSpecFile(const char* path);

// Puts the reader back into the state of a fresh process, so that after Init() another
// file can be read: line 1, nothing matched, the scanner without buffer or input, the
// parse's temporary records released, and the file ParseSpecFile opened closed.
void PRYXResetReader();
