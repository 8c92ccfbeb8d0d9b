// Which enabled transition fires next.
#pragma once

#include "spec/net.h"

// The next value of the run's one random stream, in [0, 1).
double uniform();
// 1 when some input place is initially marked.
int IsLowPriority(const Trans* trans);
// selectionScore / selectionCount in integer division; 0 before any stage. Lower is better.
double GetPriority(const Trans* trans);
// 1 when every output transition of the place has exactly one input place.
int IsFreeChoice(const Place* place);
// One output transition of the place, drawn by the branch probabilities.
Trans* makeDecision(const Place* place);
// The transition that opens a stage: mode 1 uniformly random, mode 0 lowest score.
Trans* getLowPriorityEnabled(int mode);
// The next high-priority transition to fire, or none.
Trans* getHighPriorityEnabled();
