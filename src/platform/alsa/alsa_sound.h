#pragma once
// Sound output through ALSA. Plays on a named PCM, "default" unless told
// otherwise, so the user's sound server routes the clips and an .asoundrc can
// send them elsewhere.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "framework/ports.h"

typedef struct _snd_pcm snd_pcm_t;

namespace platform {

// What a RIFF WAVE image holds, once it has been found to be playable PCM.
struct WaveImage {
    unsigned channels = 0;
    unsigned rate = 0;
    unsigned bitsPerSample = 0;  // 8 (unsigned), 16, 24 (packed) or 32, little endian
    unsigned blockAlign = 0;     // bytes per frame
    const uint8_t* samples = nullptr;
    size_t frames = 0;
};

// Walks the chunks with bounds checks; nothing when the image is not a PCM
// WAVE image this backend can play or any chunk runs past the end.
std::optional<WaveImage> ParseWave(const uint8_t* data, size_t size);

class AlsaSoundOutput : public port::SoundOutput {
public:
    explicit AlsaSoundOutput(std::string device = "default");
    ~AlsaSoundOutput() override;
    AlsaSoundOutput(const AlsaSoundOutput&) = delete;
    AlsaSoundOutput& operator=(const AlsaSoundOutput&) = delete;

    void PlayWave(const uint8_t* data, size_t size) override;

private:
    struct OpenFormat {
        unsigned channels, rate, bits;
        bool operator==(const OpenFormat&) const = default;
    };

    bool Ready(const OpenFormat& format);
    bool Play(const WaveImage& wave);
    void Close();

    std::string device_;
    snd_pcm_t* pcm_ = nullptr;
    OpenFormat format_{};
    unsigned long periodFrames_ = 0;
};

}  // namespace platform
