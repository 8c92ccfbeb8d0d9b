// Monte Carlo statistics and the stopping rule.
#pragma once

#include "zelbo/settings.h"

namespace zelbo {

// The two-sided normal quantile of the settings' confidence (automatic mode only; 0 else).
double getZhalfAlpha(const Settings& settings);
// Adds one observation to a series; 1 when the series has converged.
bool Monte_Carlo(const Settings& settings, double halfAlpha, double value, int n, double sum, double& sumSq,
                 int& required);
// The required count trunc(z * deviation / E)^2, with the overflow and degenerate cases.
int requiredSampleCount(double halfAlpha, double deviation, double errorBound);

}  // namespace zelbo
