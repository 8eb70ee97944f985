#include "output/tones.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "framework/wave_image.h"

namespace {

constexpr std::array<ToneEntry, 16> kTones = {{
    {'1', 2002, 697, 1209}, {'2', 2003, 697, 1336}, {'3', 2004, 697, 1477}, {'A', 2011, 697, 1633},
    {'4', 2005, 770, 1209}, {'5', 2006, 770, 1336}, {'6', 2007, 770, 1477}, {'B', 2012, 770, 1633},
    {'7', 2008, 852, 1209}, {'8', 2009, 852, 1336}, {'9', 2010, 852, 1477}, {'C', 2013, 852, 1633},
    {'*', 2015, 941, 1209}, {'0', 2001, 941, 1336}, {'#', 2016, 941, 1477}, {'D', 2014, 941, 1633},
}};

constexpr int kRate = 22050;
constexpr int kSamples = 2205;  // 100 ms
constexpr int kFadeSamples = 20;
constexpr size_t kHeaderBytes = fw::kWaveHeaderBytes;
constexpr size_t kDataBytes = kSamples * 2;
constexpr size_t kClipBytes = kHeaderBytes + kDataBytes;

void Put16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

std::vector<uint8_t> BuildClip(int lowHz, int highHz) {
    std::vector<uint8_t> img(kClipBytes);
    const auto header = fw::WaveHeader(1, kRate, 16, static_cast<uint32_t>(kDataBytes));
    std::copy(header.begin(), header.end(), img.begin());
    uint8_t* p = img.data();

    // This exact value of pi and this order of operations reproduce the
    // reference clips bit for bit; do not "improve" either.
    const double pi = 3.1415926535;
    for (int n = 0; n < kSamples; ++n) {
        double v = 8192.0 * (std::sin(2.0 * pi * lowHz * n / kRate) +
                             std::sin(2.0 * pi * highHz * n / kRate));
        if (n >= kSamples - kFadeSamples) v *= (kSamples - n) / static_cast<double>(kFadeSamples);
        const auto s = static_cast<int16_t>(v);  // truncates towards zero
        Put16(p + kHeaderBytes + 2 * n, static_cast<uint16_t>(s));
    }
    return img;
}

// Built once, on first use; indexed like kTones.
const std::array<std::vector<uint8_t>, 16>& Clips() {
    static const std::array<std::vector<uint8_t>, 16> clips = [] {
        std::array<std::vector<uint8_t>, 16> c;
        for (size_t i = 0; i < kTones.size(); ++i) c[i] = BuildClip(kTones[i].lowHz, kTones[i].highHz);
        return c;
    }();
    return clips;
}

}  // namespace

std::span<const ToneEntry> ToneTable() { return kTones; }

UINT ClipIdForSymbol(char c) {
    for (const ToneEntry& t : kTones)
        if (t.symbol == c) return t.clipId;
    return 0;
}

std::span<const uint8_t> FindDtmfClip(UINT id) {
    const UINT resourceId = id & 0xFFFFu;
    for (size_t i = 0; i < kTones.size(); ++i)
        if (kTones[i].clipId == resourceId) return Clips()[i];
    return {};
}

void PlayDtmfSoundOn(port::SoundOutput& out, UINT id) {
    const std::span<const uint8_t> clip = FindDtmfClip(id);
    if (clip.empty()) return;
    out.PlayWave(clip.data(), clip.size());
}
