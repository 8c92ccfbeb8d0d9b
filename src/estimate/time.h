// Monte Carlo statistics and the stopping rule.
#pragma once

// gHalfAlpha = the two-sided normal quantile of gConfidence (automatic mode only).
void getZhalfAlpha();
// Adds one observation to a series; 1 when the series has converged.
bool Monte_Carlo(double value, int n, double sum, double& sumSq, int& required);
// The required count trunc(z * deviation / E)^2, with the overflow and degenerate cases.
int requiredSampleCount(double deviation, double errorBound);
