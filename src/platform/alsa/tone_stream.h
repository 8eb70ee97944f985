#pragma once
// The timeline of one sound stream: tones placed on a stream that runs on
// silence between them, so that the silence heard before a tone is exactly as
// long as the caller waited after the previous play returned, whatever the
// latency of the sound server. Used from one thread only; every call that
// needs the time is given it, so that a test can run it on a clock of its own.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "platform/alsa/pcm_device.h"

namespace fw {
struct WaveImage;
}

namespace platform {

class ToneStream {
public:
    using Clock = std::chrono::steady_clock;
    using Opener = std::function<std::unique_ptr<PcmDevice>(const PcmFormat&)>;
    // Lengths and stream positions counted in frames, where times are durations.
    using FrameCount = int64_t;

    explicit ToneStream(Opener open);
    ~ToneStream();  // what is queued plays out
    ToneStream(const ToneStream&) = delete;
    ToneStream& operator=(const ToneStream&) = delete;

    // Takes the tone the caller now waits for. waited: how long the caller
    // took since its previous play returned; nothing for a tone that keeps no
    // time with the last, which starts the stream afresh once the last tone has
    // been heard. False when the device cannot play it.
    bool Queue(const fw::WaveImage& wave, std::optional<Clock::duration> waited);
    // Writes what is due and gets over underruns; false when the device has
    // failed and was closed (the tone in hand is given up).
    bool Service(Clock::time_point now);
    // The tone in hand is as good as heard: all of it is with the device, and
    // no more of it is left to be taken than a tone queued now would wait
    // behind. The caller can go on then.
    bool ToneDone() const;
    // Lets the caller go on: from now on the next tone is placed after this one.
    void ReleaseTone(Clock::time_point now);
    // When Service wants to run next (nothing: only when a caller comes), and
    // whether the device's readiness should wake the worker before that.
    std::optional<Clock::time_point> NextService(Clock::time_point now) const;
    bool WantsDevice() const { return dev_ != nullptr && !out_.empty() && lastWriteFrames_ > 0; }
    PcmDevice* Device() const { return dev_.get(); }

private:
    bool Open(const PcmFormat& format);
    // Closes a device that failed and gives up the tone in hand; always false.
    bool GiveUpDevice();
    // Lets what is queued play out, then forgets the stream.
    void PlayOut();
    void Reset();
    bool Recover(long err, Clock::time_point now);
    // Counts the stream as playing from now.
    void MarkStarted(Clock::time_point now);
    bool LastToneHeard() const;
    void UpdateTaken(long avail, Clock::time_point now);
    FrameCount FramesIn(Clock::duration d) const;
    Clock::duration DurationOf(FrameCount frames) const;
    void AppendSilence(std::vector<uint8_t>& to, FrameCount frames) const;

    Opener open_;
    std::unique_ptr<PcmDevice> dev_;
    PcmFormat format_{};
    size_t frameBytes_ = 0;
    std::vector<uint8_t> silentFrame_;
    FrameCount bufferFrames_ = 0, periodFrames_ = 0;
    FrameCount marginFrames_ = 0;     // never less queued than this, by estimate
    FrameCount fillFrames_ = 0;       // topped up to this
    FrameCount earlyFrames_ = 0;      // how far ahead of fillFrames_ the tone's end may be at release
    FrameCount leadFrames_ = 0;       // silence ahead of the first tone of a stream
    FrameCount lastWriteFrames_ = 0;  // what the last Service wrote

    bool running_ = false;
    Clock::time_point startedAt_;
    FrameCount writtenFrames_ = 0;   // written since the stream was prepared
    FrameCount rawTakenFrames_ = 0;  // of which the device has taken this many, by its word
    FrameCount takenFrames_ = 0;     // and, by estimate, no faster than in real time
    Clock::time_point readAt_, progressAt_;
    // What was written and not yet taken by the device, to be written again
    // when an underrun drops it: frames rawTakenFrames_ up to writtenFrames_.
    std::vector<uint8_t> unconfirmed_;
    std::vector<uint8_t> out_;  // to be written next, in order

    bool toneActive_ = false;       // the caller waits for the tone in hand
    bool toneHeard_ = false;        // all of it was played before the stream ran dry
    FrameCount toneEndFrame_ = 0;   // stream position of the end of the last tone queued
    bool placed_ = false;  // toneEndFrame_ belongs to the running stream and the caller was let go
    Clock::time_point releasedAt_;
    int recoveries_ = 0;
};

}  // namespace platform
