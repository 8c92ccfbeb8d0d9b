// Which enabled transition fires next.
#pragma once

#include "net/net.h"
#include "unfold/state.h"

namespace zelbo {

// The next value of the unfolder's random stream, in [0, 1).
double uniform(Unfolder& u);
// selectionScore / selectionCount in integer division; 0 before any stage. Lower is better.
// Formerly GetPriority.
double stageScore(const TransState& trans);
// One output transition of the place, drawn by the branch probabilities.
// Formerly makeDecision.
const Trans* drawBranch(Unfolder& u, const Place* place);
// The transition that opens a stage: mode 1 uniformly random, mode 0 lowest score.
// Formerly getLowPriorityEnabled.
const Trans* lowPriorityTransition(Unfolder& u, int mode);
// The same by number: the stage loop never reads a transition's own record.
std::int32_t lowPriorityToFire(Unfolder& u, int mode);
// The first high-priority transition on the enabled list, or its free-choice override.
std::int32_t firstHighPriorityEnabled(Unfolder& u);
// The number of the next high-priority transition to fire, or kNoTrans. Asked after every
// firing of a stage: inline, as far as the first transition on the list when its input is no
// free choice.
inline std::int32_t highPriorityToFire(Unfolder& u) {
  const std::int32_t first = u.state.highHead;
  if (first == kNoTrans || u.state.trans[first].choicePlace < 0) return first;
  return firstHighPriorityEnabled(u);
}
// The next high-priority transition to fire, or none.
// Formerly getHighPriorityEnabled.
inline const Trans* highPriorityTransition(Unfolder& u) {
  const std::int32_t next = highPriorityToFire(u);
  return next == kNoTrans ? nullptr : u.net.transById[next];
}

// Ranks `trans`, a low-priority transition just appended to the enabled list or whose score
// changed while on it, for the lowest-score stage choice.
void rankForStageChoice(RunState& s, std::int32_t trans);
// Forgets every ranking (the enabled list was emptied).
void clearStageChoice(RunState& s);
// Stops ranking the appended transitions until a stage choice by score asks again, which ranks
// the list afresh.
void pauseStageRanking(RunState& s);

}  // namespace zelbo
