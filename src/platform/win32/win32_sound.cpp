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

// The system's play says only that it did not play; the device it would
// have used names what to look at.
std::string WhyNoSound() {
    if (waveOutGetNumDevs() == 0) return "no sound output device is installed";
    WAVEOUTCAPSW caps{};
    if (waveOutGetDevCapsW(WAVE_MAPPER, &caps, sizeof caps) != MMSYSERR_NOERROR || caps.szPname[0] == 0)
        return "the sound device did not play the tone";
    const std::wstring name(caps.szPname, wcsnlen(caps.szPname, MAXPNAMELEN));
    std::string utf8(static_cast<size_t>(WideCharToMultiByte(CP_UTF8, 0, name.data(), int(name.size()),
                                                             nullptr, 0, nullptr, nullptr)),
                     '\0');
    WideCharToMultiByte(CP_UTF8, 0, name.data(), int(name.size()), utf8.data(), int(utf8.size()), nullptr,
                        nullptr);
    return "the sound device \"" + utf8 + "\" did not play the tone";
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
        if (play_(data)) {
            failed_ = false;
            return;
        }
    }
    if (!failed_) untold_ = WhyNoSound();
    failed_ = true;
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
