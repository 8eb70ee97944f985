#include "framework/wave_image.h"

#include <cstring>

namespace fw {
namespace {

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Le32(const uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

void Put16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

void Put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

bool IsSampleSize(unsigned bits) { return bits == 8 || bits == 16 || bits == 24 || bits == 32; }

}  // namespace

std::optional<WaveImage> ParseWave(const uint8_t* data, size_t size) {
    if (data == nullptr || size < 12) return std::nullopt;
    if (std::memcmp(data, "RIFF", 4) != 0 || std::memcmp(data + 8, "WAVE", 4) != 0)
        return std::nullopt;
    // A sound system reads as far as the header says: an image cut short is refused.
    const uint64_t riffEnd = 8 + static_cast<uint64_t>(Le32(data + 4));
    if (riffEnd > size) return std::nullopt;
    const size_t end = static_cast<size_t>(riffEnd);

    WaveImage wave;
    bool haveFormat = false;
    size_t pos = 12;
    while (end - pos >= 8) {
        const uint8_t* header = data + pos;
        const uint32_t length = Le32(header + 4);
        const size_t body = pos + 8;
        if (length > end - body) return std::nullopt;
        const uint8_t* p = data + body;
        if (std::memcmp(header, "fmt ", 4) == 0) {
            if (length < 16 || Le16(p) != 1) return std::nullopt;  // PCM only
            wave.channels = Le16(p + 2);
            wave.rate = Le32(p + 4);
            wave.blockAlign = Le16(p + 12);
            wave.bitsPerSample = Le16(p + 14);
            if (!IsSampleSize(wave.bitsPerSample)) return std::nullopt;
            if (wave.channels == 0 || wave.channels > 32) return std::nullopt;
            if (wave.rate < 1000 || wave.rate > 768000) return std::nullopt;
            if (wave.blockAlign != wave.channels * (wave.bitsPerSample / 8)) return std::nullopt;
            haveFormat = true;
        } else if (std::memcmp(header, "data", 4) == 0) {
            if (!haveFormat) return std::nullopt;  // the format must come first
            wave.samples = p;
            wave.frames = length / wave.blockAlign;
            if (wave.frames == 0) return std::nullopt;
            return wave;
        }
        // Chunks are padded to an even length; a final pad byte may be missing.
        pos = body + length;
        if ((length & 1) != 0 && pos < end) ++pos;
    }
    return std::nullopt;
}

std::array<uint8_t, kWaveHeaderBytes> WaveHeader(unsigned channels, unsigned rate,
                                                 unsigned bitsPerSample, uint32_t dataBytes) {
    const unsigned blockAlign = channels * (bitsPerSample / 8);
    std::array<uint8_t, kWaveHeaderBytes> h{};
    uint8_t* p = h.data();
    std::memcpy(p + 0, "RIFF", 4);
    Put32(p + 4, static_cast<uint32_t>(kWaveHeaderBytes - 8 + dataBytes));
    std::memcpy(p + 8, "WAVE", 4);
    std::memcpy(p + 12, "fmt ", 4);
    Put32(p + 16, 18);
    Put16(p + 20, 1);  // PCM
    Put16(p + 22, static_cast<uint16_t>(channels));
    Put32(p + 24, rate);
    Put32(p + 28, rate * blockAlign);
    Put16(p + 32, static_cast<uint16_t>(blockAlign));
    Put16(p + 34, static_cast<uint16_t>(bitsPerSample));
    Put16(p + 36, 0);
    std::memcpy(p + 38, "data", 4);
    Put32(p + 42, dataBytes);
    return h;
}

}  // namespace fw
