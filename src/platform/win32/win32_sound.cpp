#include "platform/win32/win32_sound.h"

#include <windows.h>
#include <mmsystem.h>

#include "framework/wave_image.h"

namespace platform {

bool IsWholeWaveImage(const uint8_t* data, size_t size) { return fw::ParseWave(data, size).has_value(); }

namespace {

bool PlayWithMultimedia(const uint8_t* image) {
    // Without SND_ASYNC the call returns when the sound has finished.
    return sndPlaySoundW(reinterpret_cast<LPCWSTR>(image), SND_MEMORY | SND_NODEFAULT) != FALSE;
}

// A device held for a moment (another program's sound, an output being set
// up again) refuses a play; a dial should not lose a digit to that.
constexpr int kAttempts = 2;
constexpr DWORD kRetryAfterMs = 50;

}  // namespace

Win32SoundOutput::Win32SoundOutput(SystemPlay play) : play_(play ? play : PlayWithMultimedia) {}

void Win32SoundOutput::PlayWave(const uint8_t* data, size_t size) {
    if (!IsWholeWaveImage(data, size)) return;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        if (attempt > 0) Sleep(kRetryAfterMs);
        if (play_(data)) return;
    }
}

bool Win32ResourceClips::Play(UINT id, port::SoundOutput& out) {
    const HMODULE module = GetModuleHandleW(nullptr);
    const HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id & 0xFFFF), L"SOUND");
    if (!found) return false;
    const HGLOBAL loaded = LoadResource(module, found);
    if (!loaded) return false;
    const void* image = LockResource(loaded);
    const DWORD size = SizeofResource(module, found);
    if (image) out.PlayWave(static_cast<const uint8_t*>(image), size);
    FreeResource(loaded);  // nothing to release on Win32, kept for the pairing
    return image != nullptr;
}

}  // namespace platform
