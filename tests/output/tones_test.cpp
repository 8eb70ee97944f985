#include "output/tones.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <set>
#include <vector>

#include "support/goertzel.h"

namespace {

uint32_t Le32(std::span<const uint8_t> b, size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}
uint16_t Le16(std::span<const uint8_t> b, size_t at) { return static_cast<uint16_t>(b[at] | (b[at + 1] << 8)); }

std::vector<int16_t> Samples(std::span<const uint8_t> clip) {
    return goertzel::SamplesFromBytes(clip.subspan(46));
}

TEST(ToneTable, MapsEverySymbolToItsIdAndThePairOfItsKeypadPosition) {
    const auto table = ToneTable();
    ASSERT_EQ(table.size(), 16u);
    const std::string symbols = "0123456789ABCD*#";
    std::set<UINT> ids;
    for (size_t i = 0; i < symbols.size(); ++i) {
        EXPECT_EQ(ClipIdForSymbol(symbols[i]), 2001 + i) << symbols[i];
        ids.insert(ClipIdForSymbol(symbols[i]));
    }
    EXPECT_EQ(ids.size(), 16u);
    for (const ToneEntry& t : table) {
        EXPECT_EQ(ClipIdForSymbol(t.symbol), t.clipId);
        int row = -1, col = -1;
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c)
                if (goertzel::kKeypad[r][c] == t.symbol) row = r, col = c;
        ASSERT_GE(row, 0) << t.symbol;
        EXPECT_EQ(t.lowHz, goertzel::kLowHz[row]) << t.symbol;
        EXPECT_EQ(t.highHz, goertzel::kHighHz[col]) << t.symbol;
    }
    for (char c : std::string("-, abcdEF\0+", 11)) EXPECT_EQ(ClipIdForSymbol(c), 0u) << int(c);
}

TEST(DtmfClip, HeaderIsExactAndSizesAddUp) {
    for (const ToneEntry& t : ToneTable()) {
        const auto clip = FindDtmfClip(t.clipId);
        ASSERT_EQ(clip.size(), 4456u) << t.symbol;
        EXPECT_EQ(std::memcmp(clip.data(), "RIFF", 4), 0);
        EXPECT_EQ(Le32(clip, 4), 4448u);
        EXPECT_EQ(std::memcmp(clip.data() + 8, "WAVEfmt ", 8), 0);
        EXPECT_EQ(Le32(clip, 16), 18u);
        EXPECT_EQ(Le16(clip, 20), 1u);
        EXPECT_EQ(Le16(clip, 22), 1u);
        EXPECT_EQ(Le32(clip, 24), 22050u);
        EXPECT_EQ(Le32(clip, 28), 44100u);
        EXPECT_EQ(Le16(clip, 32), 2u);
        EXPECT_EQ(Le16(clip, 34), 16u);
        EXPECT_EQ(Le16(clip, 36), 0u);
        EXPECT_EQ(std::memcmp(clip.data() + 38, "data", 4), 0);
        EXPECT_EQ(Le32(clip, 42), 4410u);
    }
}

TEST(DtmfClip, EachClipCarriesItsOwnPairAndNoOtherDtmfFrequency) {
    std::set<char> decoded;
    for (const ToneEntry& t : ToneTable()) {
        const auto s = Samples(FindDtmfClip(t.clipId));
        ASSERT_EQ(s.size(), 2205u);
        const auto a = goertzel::DtmfAmplitudes(s, 22050);
        for (size_t i = 0; i < goertzel::kAllHz.size(); ++i) {
            const int hz = goertzel::kAllHz[i];
            if (hz == t.lowHz || hz == t.highHz)
                EXPECT_NEAR(a[i], 8192.0, 400.0) << t.symbol << " at " << hz;
            else
                EXPECT_LT(a[i], 200.0) << t.symbol << " at " << hz;
        }
        EXPECT_EQ(goertzel::Detect(s, 22050), t.symbol);
        decoded.insert(t.symbol);
    }
    EXPECT_EQ(decoded.size(), 16u);
}

// The samples recomputed here in long double with the true pi; they may differ
// from the clip's by one unit of rounding, never by a scale step of the fade.
TEST(DtmfClip, StartsAtZeroNeverClipsAndFadesOverExactlyTheLastTwentySamples) {
    const long double pi = 3.14159265358979323846264338327950288L;
    for (const ToneEntry& t : ToneTable()) {
        const auto s = Samples(FindDtmfClip(t.clipId));
        ASSERT_EQ(s.size(), 2205u);
        EXPECT_EQ(s[0], 0) << t.symbol;
        int checkedInFade = 0;
        for (int n = 0; n < 2205; ++n) {
            const long double raw = 8192.0L * (std::sin(2 * pi * t.lowHz * n / 22050.0L) +
                                              std::sin(2 * pi * t.highHz * n / 22050.0L));
            const long double scale = n < 2185 ? 1.0L : (2205 - n) / 20.0L;
            const long double want = std::trunc(raw * scale);
            ASSERT_LE(std::fabs(static_cast<long double>(s[n]) - want), 1.0L)
                << t.symbol << " sample " << n;
            EXPECT_LT(std::abs(s[n]), 16384) << t.symbol << " sample " << n;
            // Where the raw value is large, a fade starting a sample early or
            // late would be off by far more than one unit.
            if (n >= 2184 && std::fabs(raw) > 400) ++checkedInFade;
        }
        EXPECT_EQ(s[2204], static_cast<int16_t>(std::trunc(
                               8192.0L * (std::sin(2 * pi * t.lowHz * 2204 / 22050.0L) +
                                          std::sin(2 * pi * t.highHz * 2204 / 22050.0L)) / 20)))
            << t.symbol;
        EXPECT_GT(checkedInFade, 5) << t.symbol;
    }
}

TEST(DtmfClip, OnlyTheLowSixteenBitsOfTheIdCountAndUnknownIdsFindNothing) {
    const auto clip = FindDtmfClip(2005);
    ASSERT_FALSE(clip.empty());
    EXPECT_EQ(FindDtmfClip(0x10000u + 2005).data(), clip.data());
    EXPECT_EQ(FindDtmfClip(0xABCD0000u + 2005).size(), 4456u);
    for (UINT id : {0u, 1u, 2000u, 2017u, 0x10000u, 0xFFFFFFFFu})
        EXPECT_TRUE(FindDtmfClip(id).empty()) << id;
    // Two different clips are different images.
    EXPECT_NE(std::memcmp(FindDtmfClip(2001).data(), FindDtmfClip(2002).data(), 4456), 0);
}

class RecordingSound : public port::SoundOutput {
public:
    void PlayWave(const uint8_t* data, size_t size) override {
        plays.emplace_back(data, data + size);
    }
    std::vector<std::vector<uint8_t>> plays;
};

TEST(PlayDtmfSoundOn, HandsTheWholeImageOverOnceAndNothingForAnUnknownId) {
    RecordingSound sound;
    PlayDtmfSoundOn(sound, 2016);
    PlayDtmfSoundOn(sound, 1999);
    PlayDtmfSoundOn(sound, 0);
    PlayDtmfSoundOn(sound, 0x20000u + 2001);
    ASSERT_EQ(sound.plays.size(), 2u);
    const auto hash = FindDtmfClip(2016);
    EXPECT_EQ(sound.plays[0], std::vector<uint8_t>(hash.begin(), hash.end()));
    const auto zero = FindDtmfClip(2001);
    EXPECT_EQ(sound.plays[1], std::vector<uint8_t>(zero.begin(), zero.end()));
    EXPECT_EQ(goertzel::Detect(Samples(sound.plays[0]), 22050), '#');
}

}  // namespace

namespace {

// Recorded dials are decoded with the same detector: tones separated by
// silence come back as bursts in order, with their lengths.
TEST(DtmfClip, ARecordedSequenceDecodesBackToItsSymbolsAndTimes) {
    std::vector<int16_t> recording(441, 0);  // 20 ms of silence
    std::vector<size_t> starts;
    for (char c : std::string("9*C")) {
        const auto s = Samples(FindDtmfClip(ClipIdForSymbol(c)));
        starts.push_back(recording.size());
        recording.insert(recording.end(), s.begin(), s.end());
        recording.insert(recording.end(), 1323, 0);  // 60 ms gap
    }
    const auto bursts = goertzel::SplitBursts(recording, 22050);
    ASSERT_EQ(bursts.size(), 3u);
    const std::string want = "9*C";
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(bursts[i].symbol, want[i]);
        // The first sample is 0 and the fade ends near 0, so a burst is a few
        // samples shorter than its clip, never longer.
        EXPECT_LE(starts[i], bursts[i].begin);
        EXPECT_LT(bursts[i].begin - starts[i], 5u);
        EXPECT_LE(bursts[i].end, starts[i] + 2205);
        EXPECT_GT(bursts[i].end, starts[i] + 2180);
    }
}

}  // namespace
