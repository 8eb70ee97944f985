#pragma once
// Sound output through ALSA. Plays on a named PCM, "default" unless told
// otherwise, so the user's sound server routes the clips and an .asoundrc can
// send them elsewhere.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "framework/ports.h"

namespace platform {

// Plays on a thread of its own so that the caller's wait can be bounded: a
// sound server that stops answering blocks inside the library where no
// timeout reaches. The caller waits for its sound to be as good as heard, as
// long as the sound's own length plus a guard; after that it goes on, and
// plays are skipped until the stuck one has come back.
//
// Between plays the stream keeps running on silence, so that the silence
// heard before a sound is exactly the time the caller took between the return
// of one play and the next call, whatever the sound server's latency (see
// ToneStream). After 2 s without a play the stream stops so that the server
// can suspend; the next play starts it afresh with a short lead-in. A play
// that keeps no time with the last starts the stream afresh too, once the last
// sound has been heard, rather than wait behind the silence queued ahead.
class AlsaSoundOutput : public port::SoundOutput {
public:
    explicit AlsaSoundOutput(std::string device = "default");
    ~AlsaSoundOutput() override;
    AlsaSoundOutput(const AlsaSoundOutput&) = delete;
    AlsaSoundOutput& operator=(const AlsaSoundOutput&) = delete;

    void PlayWave(const uint8_t* data, size_t size) override;
    void StartAfresh() override { afresh_ = true; }
    void PlanGap(int ms) override { plannedGap_ = std::chrono::milliseconds(ms); }
    // The device's name and ALSA's reason ("the sound device "default"
    // cannot be opened: No such file or directory"), once per failure.
    std::optional<std::string> TakeFailure() override;

private:
    struct Worker;
    std::string device_;
    std::shared_ptr<Worker> worker_;  // started by the first play
    // When the last play returned with its sound as good as heard.
    std::optional<std::chrono::steady_clock::time_point> lastReturn_;
    bool afresh_ = false;  // the next play keeps no time with the last
    std::optional<std::chrono::milliseconds> plannedGap_;  // for the next play
    bool setupFailed_ = false;  // no worker could be made
    std::optional<std::string> untoldSetupFailure_;
};

}  // namespace platform
