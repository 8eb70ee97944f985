#include "output/dial_step.h"

#include <gtest/gtest.h>

#include "output/tones.h"

namespace {

TEST(DecideDialStep, TonesPausesAndEverythingElse) {
    struct Case {
        char c;
        int play, chr, minus;
        UINT clip;
        bool own;
        int wait;
    };
    const Case cases[] = {
        {'1', 10, 150, 300, 2002, false, 10},
        {'#', 0, 150, 300, 2016, false, 0},
        {'D', 70, 0, 0, 2014, false, 70},
        {',', 10, 150, 300, 0, true, 150},
        {'-', 10, 150, 300, 0, true, 300},
        {',', 10, 0, 300, 0, false, 10},   // no wait of its own: silent, ordinary gap
        {'-', 10, 150, 0, 0, false, 10},
        {',', 0, 0, 0, 0, false, 0},
        {'a', 25, 150, 300, 0, false, 25},  // lower case is not a tone symbol
        {'E', 25, 150, 300, 0, false, 25},
        {' ', 25, 150, 300, 0, false, 25},
        {'\xB1', 25, 150, 300, 0, false, 25},
    };
    for (const Case& k : cases) {
        const DialStepDecision d = DecideDialStep(k.c, k.play, k.chr, k.minus);
        EXPECT_EQ(d.clipId, k.clip) << k.c;
        EXPECT_EQ(d.ownWait, k.own) << k.c;
        EXPECT_EQ(d.waitMs, k.wait) << k.c;
    }
    for (const ToneEntry& t : ToneTable()) {
        const DialStepDecision d = DecideDialStep(t.symbol, 40, 1, 1);
        EXPECT_EQ(d.clipId, t.clipId);
        EXPECT_FALSE(d.ownWait);
        EXPECT_EQ(d.waitMs, 40);
    }
}

// Equal tones are kept at least 40 ms apart, counting the silence of the
// characters between them; every other gap is PlayWait.
TEST(GapAfterTone, EqualTonesAreKeptFortyMillisecondsApart) {
    struct Case {
        char played;
        const char* following;
        int play, chr, minus;
        int gap;
    };
    const Case cases[] = {
        {'1', "155", 10, 150, 100, 40},
        {'1', "155", 0, 150, 100, 40},
        {'5', "5", 39, 150, 100, 40},
        {'5', "5", 40, 150, 100, 40},
        {'5', "5", 70, 150, 100, 70},
        {'1', "255", 10, 150, 100, 10},   // a different tone follows
        {'#', "", 10, 150, 100, 10},      // the end of the string
        {'1', "a1", 10, 150, 100, 30},    // a silent character costs a gap of its own
        {'1', ",1", 10, 0, 100, 30},      // so does a pause whose wait is 0
        {'1', ",1", 10, 25, 100, 15},     // a short pause counts too
        {'1', "-1", 10, 150, 100, 10},    // a long pause is enough
        {'1', "aaaa1", 10, 150, 100, 10},
        {'A', "a", 0, 150, 100, 0},       // lower case is not the same tone
    };
    for (const Case& k : cases)
        EXPECT_EQ(GapAfterTone(k.played, k.following, k.play, k.chr, k.minus), k.gap)
            << k.played << k.following << " PlayWait " << k.play;
}

// The silence planned before a tone: the gap after the tone before it and what
// each silent character between costs; nothing before the first tone.
TEST(PlannedSilenceBefore, GapAfterTheLastToneAndEverySilentCharacterBetween) {
    struct Case {
        const char* dial;
        size_t pos;
        int silence;  // -1: nothing planned
    };
    const Case cases[] = {
        {"12", 1, 10},
        {"1,,2", 3, 310},   // both pauses
        {"1-,2", 3, 260},
        {"1a2", 2, 20},     // a silent character costs a gap of its own
        {"11", 1, 40},      // equal tones kept apart
        {"1,1", 2, 160},
        {"1", 0, -1},
        {",,1", 2, -1},
        {"1,,", 9, 310},    // past the end: as at the end
    };
    for (const Case& k : cases) {
        const std::optional<int> s = PlannedSilenceBefore(k.dial, k.pos, 10, 150, 100);
        EXPECT_EQ(s.value_or(-1), k.silence) << k.dial << " at " << k.pos;
    }
}

}  // namespace
