#include "output/dial_step.h"

#include <algorithm>

#include "output/tones.h"

DialStepDecision DecideDialStep(char c, int playWait, int charWait, int minusWait) {
    if (const UINT clip = ClipIdForSymbol(c); clip != 0) return {clip, false, playWait};
    if (c == '-' && minusWait != 0) return {0, true, minusWait};
    if (c == ',' && charWait != 0) return {0, true, charWait};
    // Any other character, and a pause character whose wait is 0, is silent
    // and costs the ordinary gap.
    return {0, false, playWait};
}

int GapAfterTone(char played, std::string_view following, int playWait, int charWait,
                 int minusWait) {
    // The silence up to the next tone is the gap itself plus what every
    // silent character before that tone costs.
    int silence = playWait;
    for (const char c : following) {
        if (silence >= kEqualToneGapMs) break;
        const DialStepDecision step = DecideDialStep(c, playWait, charWait, minusWait);
        if (step.clipId != 0) {
            return c == played ? playWait + (kEqualToneGapMs - silence) : playWait;
        }
        silence += step.waitMs;
    }
    return playWait;
}

std::optional<int> PlannedSilenceBefore(std::string_view dial, size_t pos, int playWait, int charWait,
                                        int minusWait) {
    pos = std::min(pos, dial.size());
    size_t last = pos;
    while (last > 0 && ClipIdForSymbol(dial[last - 1]) == 0) --last;
    if (last == 0) return std::nullopt;
    int silence = GapAfterTone(dial[last - 1], dial.substr(last), playWait, charWait, minusWait);
    for (size_t k = last; k < pos; ++k) silence += DecideDialStep(dial[k], playWait, charWait, minusWait).waitMs;
    return silence;
}
