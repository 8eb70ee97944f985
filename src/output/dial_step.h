#pragma once
// What one step of a speaker dial does with the character at the dial position.

#include <optional>
#include <string_view>

#include "framework/win_types.h"

struct DialStepDecision {
    UINT clipId;  // 0: nothing to play
    // true for a pause character with a wait of its own: the step advances,
    // arms the timer with waitMs and ends, without the ordinary PlayWait gap.
    bool ownWait;
    int waitMs;
};

DialStepDecision DecideDialStep(char c, int playWait, int charWait, int minusWait);

// A receiver may take a break of this much or less between two equal tones
// for a glitch and hear a single digit, so equal tones are kept this far apart.
constexpr int kEqualToneGapMs = 40;

// The gap to wait after the tone of `played`, given the characters that
// follow it: PlayWait, lengthened when the next tone to sound is the same
// symbol and the silence before it would otherwise be under kEqualToneGapMs.
int GapAfterTone(char played, std::string_view following, int playWait, int charWait,
                 int minusWait);

// The silence a dial plans before the tone at pos: the gap after the tone
// before it and the waits of the silent characters between; nothing when no
// tone comes before it.
std::optional<int> PlannedSilenceBefore(std::string_view dial, size_t pos, int playWait, int charWait,
                                        int minusWait);
