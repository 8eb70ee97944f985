#pragma once
// Sound on Windows: WAVE images played synchronously by the multimedia
// system, and the tone clips carried as resources of the program's image.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "framework/ports.h"

namespace platform {

// Plays a WAVE image from memory and returns when it has been heard; the
// system's default sound never stands in for an image it cannot play. The
// whole image goes to the system at once, so its stream starts with all of
// the tone in hand. A play the system refuses is tried once more a moment
// later before the tone is given up.
class Win32SoundOutput : public port::SoundOutput {
public:
    // The system's synchronous play of a whole WAVE image; false when it did not play it.
    using SystemPlay = bool (*)(const uint8_t* image);
    // Without one, the multimedia system's.
    explicit Win32SoundOutput(SystemPlay play = nullptr);
    void PlayWave(const uint8_t* data, size_t size) override;
    // Which device refused the tone ("no sound output device is installed"
    // when there is none), once per failure.
    std::optional<std::string> TakeFailure() override { return std::exchange(untold_, std::nullopt); }

private:
    SystemPlay play_;
    bool failed_ = false;  // told, and not again until a play gets through
    std::optional<std::string> untold_;
};

// The tone clips as resources of type "SOUND" in the program's own image.
// Each play looks its clip up, loads and locks it, hands it to the sound
// output and frees it again; nothing is kept between plays.
class Win32ResourceClips : public port::SoundClips {
public:
    // False, having played nothing, when the image carries no such clip or it
    // cannot be loaded. Only the low 16 bits of id name the resource.
    bool Play(UINT id, port::SoundOutput& out) override;
};

// Whether `size` bytes at `data` hold a whole WAVE image of the PCM every
// backend plays (framework/wave_image.h): the sound system reads as far as the
// image's own header says, so a short one is refused.
bool IsWholeWaveImage(const uint8_t* data, size_t size);

}  // namespace platform
