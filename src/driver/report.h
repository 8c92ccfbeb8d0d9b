// The final report.
#pragma once

void displayResult(double bound, const char* modelFileName, int unpaired);
