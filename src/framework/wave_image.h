#pragma once
// RIFF WAVE images, the form in which the program hands its sounds to the
// sound output (ports.h): written once here for the tone clips, and read once
// here by every backend, so that a sound one backend plays is a sound all of
// them play.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace fw {

// What a RIFF WAVE image holds, once it has been found to be playable PCM.
struct WaveImage {
    unsigned channels = 0;
    unsigned rate = 0;
    unsigned bitsPerSample = 0;  // 8 (unsigned), 16, 24 (packed) or 32, little endian
    unsigned blockAlign = 0;     // bytes per frame
    const uint8_t* samples = nullptr;
    size_t frames = 0;
};

// Walks the chunks with bounds checks; nothing when the image is not PCM of
// the sample sizes above, 1 to 32 channels and 1000 to 768000 frames a second,
// when any chunk runs past the end of the image, or when it holds no whole frame.
std::optional<WaveImage> ParseWave(const uint8_t* data, size_t size);

// The 46-byte header of a PCM image whose samples follow it: a format chunk of
// 18 bytes (with an empty extension) and the data chunk's header.
constexpr size_t kWaveHeaderBytes = 46;
std::array<uint8_t, kWaveHeaderBytes> WaveHeader(unsigned channels, unsigned rate,
                                                 unsigned bitsPerSample, uint32_t dataBytes);

}  // namespace fw
