// Windows only: built into the cross-compiled test program, which carries the
// program's resources, and run under Wine.
#ifdef _WIN32

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "output/tones.h"
#include "platform/win32/win32_sound.h"

namespace platform {
namespace {

struct RecordingSound : port::SoundOutput {
    std::vector<std::vector<uint8_t>> played;
    void PlayWave(const uint8_t* data, size_t size) override { played.emplace_back(data, data + size); }
};

TEST(Win32Sound, ResourceClipsAreTheBuiltInImagesByteForByte) {
    Win32ResourceClips clips;
    for (const ToneEntry& tone : ToneTable()) {
        SCOPED_TRACE(tone.clipId);
        RecordingSound out;
        EXPECT_TRUE(clips.Play(tone.clipId, out));
        ASSERT_EQ(out.played.size(), 1u);
        const auto builtIn = FindDtmfClip(tone.clipId);
        ASSERT_EQ(out.played[0].size(), 4456u);
        EXPECT_TRUE(std::equal(builtIn.begin(), builtIn.end(), out.played[0].begin()));
    }
    // Only the low 16 bits name the resource.
    RecordingSound high;
    EXPECT_TRUE(clips.Play(0x10000u + 2002, high));
    ASSERT_EQ(high.played.size(), 1u);
    EXPECT_TRUE(std::equal(high.played[0].begin(), high.played[0].end(), FindDtmfClip(2002).begin()));
    // No clip: nothing is played.
    for (UINT id : {0u, 2000u, 2017u, 128u}) {
        RecordingSound none;
        EXPECT_FALSE(clips.Play(id, none));
        EXPECT_TRUE(none.played.empty());
    }
}

TEST(Win32Sound, OnlyWholeWaveImagesAreHandedToTheSoundSystem) {
    const auto clip = FindDtmfClip(2001);
    EXPECT_TRUE(IsWholeWaveImage(clip.data(), clip.size()));
    // Cut short: the header promises more than there is.
    EXPECT_FALSE(IsWholeWaveImage(clip.data(), clip.size() - 1));
    EXPECT_FALSE(IsWholeWaveImage(clip.data(), 11));
    EXPECT_FALSE(IsWholeWaveImage(nullptr, 0));
    std::vector<uint8_t> notWave(clip.begin(), clip.end());
    notWave[8] = 'X';
    EXPECT_FALSE(IsWholeWaveImage(notWave.data(), notWave.size()));
    // Playing something that is no image returns at once and plays nothing.
    Win32SoundOutput sound;
    sound.PlayWave(notWave.data(), notWave.size());
    sound.PlayWave(nullptr, 0);
}

int systemPlays = 0, systemRefusals = 0;
bool CountingSystemPlay(const uint8_t*) {
    ++systemPlays;
    return systemPlays > systemRefusals;
}

TEST(Win32Sound, APlayTheSystemRefusesIsTriedOnceMore) {
    const auto clip = FindDtmfClip(2001);
    Win32SoundOutput sound(CountingSystemPlay);
    const struct {
        int refusals, plays;
    } cases[] = {{0, 1}, {1, 2}, {5, 2}};  // the last gives up after the second try
    for (const auto& c : cases) {
        systemPlays = 0;
        systemRefusals = c.refusals;
        sound.PlayWave(clip.data(), clip.size());
        EXPECT_EQ(systemPlays, c.plays) << c.refusals << " refusals";
    }
    systemPlays = 0;
    sound.PlayWave(clip.data(), clip.size() - 1);  // no whole image: never offered
    EXPECT_EQ(systemPlays, 0);
}

TEST(Win32Sound, AFailingDeviceIsToldOnceUntilAPlayGetsThrough) {
    const auto clip = FindDtmfClip(2001);
    Win32SoundOutput sound(CountingSystemPlay);
    systemPlays = 0;
    systemRefusals = 1000;
    for (int i = 0; i < 10; ++i) sound.PlayWave(clip.data(), clip.size());
    const std::optional<std::string> why = sound.TakeFailure();
    ASSERT_TRUE(why);
    EXPECT_TRUE(why->rfind("the sound device", 0) == 0 || *why == "no sound output device is installed")
        << *why;
    EXPECT_FALSE(sound.TakeFailure());
    systemRefusals = 0;
    sound.PlayWave(clip.data(), clip.size());
    EXPECT_FALSE(sound.TakeFailure());
    systemRefusals = 1000;
    sound.PlayWave(clip.data(), clip.size());
    EXPECT_EQ(sound.TakeFailure(), why);
}

}  // namespace
}  // namespace platform

#endif  // _WIN32
