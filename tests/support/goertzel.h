#pragma once
// A small DTMF detector for tests: measures the eight DTMF frequencies in a
// block of 16-bit mono samples with the Goertzel algorithm and decodes tone
// bursts in a longer recording. Independent of the program's own tone table.

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>
#include <vector>

namespace goertzel {

inline constexpr std::array<int, 4> kLowHz = {697, 770, 852, 941};
inline constexpr std::array<int, 4> kHighHz = {1209, 1336, 1477, 1633};
inline constexpr std::array<int, 8> kAllHz = {697, 770, 852, 941, 1209, 1336, 1477, 1633};

// Keypad layout: row = low frequency, column = high frequency.
inline constexpr char kKeypad[4][5] = {"123A", "456B", "789C", "*0#D"};

// Amplitude of the component at hz, in sample units: a full-block sine of
// amplitude a gives about a. A Hann window keeps the neighbouring DTMF
// frequencies (73 Hz apart at worst) from leaking into each other.
inline double Amplitude(std::span<const int16_t> s, double hz, double rate) {
    const size_t n = s.size();
    if (n < 2) return 0.0;
    const double pi = std::acos(-1.0);
    const double coeff = 2.0 * std::cos(2.0 * pi * hz / rate);
    double q1 = 0.0, q2 = 0.0, windowSum = 0.0;
    for (size_t i = 0; i < n; ++i) {
        const double w = 0.5 - 0.5 * std::cos(2.0 * pi * static_cast<double>(i) / (n - 1));
        windowSum += w;
        const double q0 = coeff * q1 - q2 + w * s[i];
        q2 = q1;
        q1 = q0;
    }
    const double power = q1 * q1 + q2 * q2 - coeff * q1 * q2;
    return 2.0 * std::sqrt(std::max(power, 0.0)) / windowSum;
}

// Amplitudes at the eight DTMF frequencies, in the order of kAllHz.
inline std::array<double, 8> DtmfAmplitudes(std::span<const int16_t> s, double rate) {
    std::array<double, 8> a{};
    for (size_t i = 0; i < kAllHz.size(); ++i) a[i] = Amplitude(s, kAllHz[i], rate);
    return a;
}

// The symbol whose pair is present (amplitude >= minAmplitude) while every
// other DTMF frequency stays below a tenth of the weaker of the pair; 0 when
// the block holds no such pair.
inline char Detect(std::span<const int16_t> s, double rate, double minAmplitude = 1000.0) {
    const auto a = DtmfAmplitudes(s, rate);
    int present = 0, low = -1, high = -1;
    for (int i = 0; i < 8; ++i)
        if (a[i] >= minAmplitude) {
            ++present;
            (i < 4 ? low : high) = i;
        }
    if (present != 2 || low < 0 || high < 0) return 0;
    const double weaker = std::min(a[low], a[high]);
    for (int i = 0; i < 8; ++i)
        if (i != low && i != high && a[i] > weaker / 10.0) return 0;
    return kKeypad[low][high - 4];
}

// A run of sound in a recording, in samples, with what it decodes to.
struct Burst {
    size_t begin;
    size_t end;  // one past the last non-silent sample
    char symbol;  // 0 when the run is not a clean DTMF pair
};

// Splits a recording into runs of sound separated by at least minGapMs of
// silence (|sample| <= silence) and decodes each run.
inline std::vector<Burst> SplitBursts(std::span<const int16_t> s, double rate,
                                      double minGapMs = 5.0, int silence = 64) {
    std::vector<Burst> bursts;
    const size_t minGap = static_cast<size_t>(minGapMs * rate / 1000.0);
    size_t i = 0;
    while (i < s.size()) {
        while (i < s.size() && std::abs(s[i]) <= silence) ++i;
        if (i == s.size()) break;
        const size_t begin = i;
        size_t lastLoud = i;
        while (i < s.size() && i - lastLoud <= minGap) {
            if (std::abs(s[i]) > silence) lastLoud = i;
            ++i;
        }
        const size_t end = lastLoud + 1;
        bursts.push_back({begin, end, Detect(s.subspan(begin, end - begin), rate)});
        i = end;
    }
    return bursts;
}

// Little-endian 16-bit samples from raw bytes (a trailing odd byte is ignored).
inline std::vector<int16_t> SamplesFromBytes(std::span<const uint8_t> bytes) {
    std::vector<int16_t> out(bytes.size() / 2);
    for (size_t i = 0; i < out.size(); ++i)
        out[i] = static_cast<int16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    return out;
}

}  // namespace goertzel
