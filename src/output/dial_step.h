#pragma once
// What one step of a speaker dial does with the character at the dial position.

#include "framework/win_types.h"

struct DialStepDecision {
    UINT clipId;  // 0: nothing to play
    // true for a pause character with a wait of its own: the step advances,
    // arms the timer with waitMs and ends, without the ordinary PlayWait gap.
    bool ownWait;
    int waitMs;
};

DialStepDecision DecideDialStep(char c, int playWait, int charWait, int minusWait);
