// Placeholder until the delay distributions land.
#include "delay/delay.h"
#include <cstdio>
double delaySample(int, const DelaySpec* spec, int& errorFlag) { errorFlag = 0; return spec ? spec->location : -1.0; }
std::unique_ptr<QuantileTable> generateBin(int, double) { return std::make_unique<QuantileTable>(); }
std::unique_ptr<QuantileTable> generateBeta(double, double) { return std::make_unique<QuantileTable>(); }
