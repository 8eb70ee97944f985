#include "platform/alsa/tone_stream.h"

#include <algorithm>
#include <cerrno>

#include "framework/wave_image.h"

namespace platform {
namespace {

using namespace std::chrono_literals;

// Silence ahead of the first tone of a stream, at the least. Every bit of it
// is heard as delay after a key press.
constexpr auto kLeadIn = 5ms;
// Beyond three periods, what is always kept queued: room for the worker to
// be late on a busy machine before the server runs dry. More of it would
// delay every tone on a running stream by as much, and a fresh stream's first
// one too (see leadFrames_).
constexpr auto kSpareQueued = 20ms;
// How long after a tone's end by the device's word it is taken as heard.
constexpr auto kHeardSlack = 10ms;
// Room for the worker to wake late when it lets a caller go.
constexpr auto kReleaseSlack = 20ms;
// With no tone for this long the stream stops, so that the server may
// suspend and nothing wakes up; the next tone starts it afresh.
constexpr auto kIdleStop = 2s;
// A device that takes nothing for this long while it has something to play
// has stopped playing.
constexpr auto kStall = 1s;
// Underruns in a row for one tone before the device is given up.
constexpr int kMaxRecoveries = 8;

}  // namespace

ToneStream::ToneStream(Opener open) : open_(std::move(open)) {}

ToneStream::~ToneStream() { PlayOut(); }

ToneStream::FrameCount ToneStream::FramesIn(Clock::duration d) const {
    return std::chrono::duration_cast<std::chrono::microseconds>(d).count() *
           static_cast<int64_t>(format_.rate) / 1000000;
}

ToneStream::Clock::duration ToneStream::DurationOf(FrameCount frames) const {
    return std::chrono::microseconds(frames * 1000000 / static_cast<int64_t>(format_.rate));
}

void ToneStream::AppendSilence(std::vector<uint8_t>& to, FrameCount frames) const {
    for (FrameCount i = 0; i < frames; ++i) to.insert(to.end(), silentFrame_.begin(), silentFrame_.end());
}

bool ToneStream::Open(const PcmFormat& format) {
    format_ = format;
    dev_ = open_(format);
    if (!dev_) return false;
    const PcmSizes sizes = dev_->Sizes();
    bufferFrames_ = sizes.buffer;
    periodFrames_ = std::clamp<FrameCount>(sizes.period, 1, bufferFrames_);
    frameBytes_ = format.channels * (format.bits / 8);
    silentFrame_.assign(frameBytes_, format.bits == 8 ? 0x80 : 0);
    // Every margin follows from what the device granted: a server takes a
    // period at a time, and the worker may be late by more than one.
    marginFrames_ = std::min(3 * periodFrames_ + FramesIn(kSpareQueued), bufferFrames_ / 2);
    fillFrames_ = std::min(marginFrames_ + periodFrames_ / 2, bufferFrames_ * 2 / 3);
    earlyFrames_ = periodFrames_ + FramesIn(kReleaseSlack);
    // The stream starts by itself once the first write is in, and that
    // write carries the lead-in and the whole tone; after running dry a
    // server waits for this much before it plays again.
    if (dev_->SetThresholds(std::min(periodFrames_, bufferFrames_), periodFrames_) < 0) return GiveUpDevice();
    Reset();
    return true;
}

void ToneStream::Reset() {
    running_ = false;
    writtenFrames_ = rawTakenFrames_ = takenFrames_ = 0;
    unconfirmed_.clear();
    out_.clear();
    placed_ = false;
    toneEndFrame_ = 0;
    lastWriteFrames_ = 0;
}

bool ToneStream::GiveUpDevice() {
    dev_.reset();
    Reset();
    toneActive_ = false;
    return false;
}

void ToneStream::PlayOut() {
    if (dev_ && (running_ || writtenFrames_ > 0)) {
        if (!running_) dev_->Start();
        dev_->Drain();
    }
    Reset();
}

bool ToneStream::Queue(const fw::WaveImage& wave, std::optional<Clock::duration> waited) {
    const PcmFormat format{wave.channels, wave.rate, wave.bitsPerSample};
    if (dev_ && format_ != format) {
        PlayOut();  // the last tone's end, before another stream starts
        dev_.reset();
    }
    if (!dev_ && !Open(format)) return false;
    if (!waited && running_ && LastToneHeard()) {
        // Only silence is left to play: a fresh stream sounds the tone a whole
        // queue sooner than one placed behind that silence.
        dev_->Drop();
        Reset();
    }

    const auto frames = static_cast<FrameCount>(wave.frames);
    // The first tone of a stream ends late enough that the silence written
    // after it never runs past where the caller's next tone belongs.
    leadFrames_ = std::max(FramesIn(kLeadIn), fillFrames_ + FramesIn(5ms) - frames);
    const FrameCount endFrame = writtenFrames_ + static_cast<FrameCount>(out_.size() / frameBytes_);
    FrameCount pad = 0;
    if (placed_ && waited && (running_ || !out_.empty()))
        pad = std::max<FrameCount>(0, toneEndFrame_ + FramesIn(*waited) - endFrame);
    else if (!running_ && endFrame == 0)
        pad = leadFrames_;
    AppendSilence(out_, pad);
    out_.insert(out_.end(), wave.samples, wave.samples + wave.frames * frameBytes_);
    toneEndFrame_ = endFrame + pad + frames;
    toneActive_ = true;
    toneHeard_ = false;
    placed_ = false;
    recoveries_ = 0;
    return true;
}

bool ToneStream::LastToneHeard() const {
    if (writtenFrames_ < toneEndFrame_) return false;
    const long delay = dev_->Delay();
    // A little after its end by the device's word, for a word that is late.
    return delay >= 0 && writtenFrames_ - delay >= toneEndFrame_ + FramesIn(kHeardSlack);
}

void ToneStream::MarkStarted(Clock::time_point now) {
    running_ = true;
    startedAt_ = readAt_ = progressAt_ = now;
    rawTakenFrames_ = takenFrames_ = 0;
}

void ToneStream::UpdateTaken(long avail, Clock::time_point now) {
    const FrameCount queued = std::clamp<FrameCount>(bufferFrames_ - avail, 0, writtenFrames_);
    const FrameCount raw = writtenFrames_ - queued;
    if (raw > rawTakenFrames_) {
        const auto confirmed = static_cast<size_t>(raw - rawTakenFrames_) * frameBytes_;
        unconfirmed_.erase(unconfirmed_.begin(),
                           unconfirmed_.begin() + static_cast<long>(std::min(confirmed, unconfirmed_.size())));
        rawTakenFrames_ = raw;
        progressAt_ = now;
    }
    // A device that swallows everything at once (a file, the null device) is
    // taken to play in real time, as a sound card would.
    const FrameCount bound = FramesIn(now - startedAt_) * 1002 / 1000;
    takenFrames_ = std::max(takenFrames_, std::min(rawTakenFrames_, bound));
    readAt_ = now;
}

// After an underrun or a suspend the device has dropped what it held. What of
// it was not heard is written again on a stream started afresh, so a tone is
// late then but never cut or lost.
bool ToneStream::Recover(long err, Clock::time_point now) {
    if (++recoveries_ > kMaxRecoveries) return GiveUpDevice();
    // A device that has had time to play all it was given ran dry: all of it
    // was heard. Otherwise it dropped what it still held when it last told.
    const FrameCount untaken = writtenFrames_ - rawTakenFrames_;
    const bool ranDry = running_ && FramesIn(now - readAt_) + periodFrames_ >= untaken;
    const FrameCount resume = ranDry ? writtenFrames_ : rawTakenFrames_;
    if (dev_->Recover(static_cast<int>(err)) < 0) return GiveUpDevice();

    std::vector<uint8_t> again;
    if (resume < toneEndFrame_) {
        const FrameCount lead = std::min(leadFrames_, bufferFrames_ / 4);
        AppendSilence(again, lead);
        const auto unheard = static_cast<long>((resume - rawTakenFrames_) * frameBytes_);
        again.insert(again.end(), unconfirmed_.begin() + unheard, unconfirmed_.end());
        again.insert(again.end(), out_.begin(), out_.end());
        toneEndFrame_ += lead - resume;
    } else {
        // All of it was heard: the next tone starts a stream afresh.
        toneHeard_ = toneActive_;
        placed_ = false;
        toneEndFrame_ = 0;
    }
    running_ = false;
    writtenFrames_ = rawTakenFrames_ = takenFrames_ = 0;
    unconfirmed_.clear();
    out_ = std::move(again);
    return true;
}

bool ToneStream::Service(Clock::time_point now) {
    if (!dev_) return true;
    lastWriteFrames_ = 0;
    for (int pass = 0; pass < 4; ++pass) {
        long avail = dev_->Avail();
        if (avail < 0) {
            if (avail == -EAGAIN) return true;
            if (!Recover(avail, now)) return false;
            continue;
        }
        if (running_) {
            UpdateTaken(avail, now);
            if (writtenFrames_ > rawTakenFrames_ && now - progressAt_ > kStall) return GiveUpDevice();
            // Silence keeps the stream going between tones.
            const FrameCount queued = writtenFrames_ - takenFrames_;
            if (out_.empty() && queued < fillFrames_) AppendSilence(out_, fillFrames_ - queued);
        }
        if (!out_.empty() && avail > 0) {
            const auto n = std::min<FrameCount>(avail, static_cast<FrameCount>(out_.size() / frameBytes_));
            const long w = dev_->Write(out_.data(), static_cast<unsigned long>(n));
            if (w < 0 && w != -EAGAIN) {
                if (!Recover(w, now)) return false;
                continue;
            }
            if (w > 0) {
                const auto bytes = static_cast<long>(static_cast<size_t>(w) * frameBytes_);
                unconfirmed_.insert(unconfirmed_.end(), out_.begin(), out_.begin() + bytes);
                out_.erase(out_.begin(), out_.begin() + bytes);
                writtenFrames_ += w;
                avail -= w;
                lastWriteFrames_ += w;
            }
        }
        // A stream starts once all it has is written, or as much as fits.
        if (!running_ && writtenFrames_ > 0 && (out_.empty() || avail <= 0)) {
            if (!dev_->Running() && dev_->Start() < 0) {
                if (!Recover(-EPIPE, now)) return false;
                continue;
            }
            MarkStarted(now);
        }
        if (running_ && !toneActive_ && placed_ && out_.empty() && rawTakenFrames_ >= toneEndFrame_ &&
            now - releasedAt_ > kIdleStop) {
            // Only silence is queued by now, and a drain could wait for a
            // whole block of a server that renders in large ones.
            dev_->Drop();
            Reset();
        }
        return true;
    }
    return GiveUpDevice();
}

bool ToneStream::ToneDone() const {
    return toneActive_ &&
           (toneHeard_ || (running_ && writtenFrames_ >= toneEndFrame_ &&
                           toneEndFrame_ - takenFrames_ <= fillFrames_ + earlyFrames_));
}

void ToneStream::ReleaseTone(Clock::time_point now) {
    toneActive_ = false;
    placed_ = true;
    releasedAt_ = now;
}

std::optional<ToneStream::Clock::time_point> ToneStream::NextService(Clock::time_point now) const {
    if (!dev_ || (!running_ && out_.empty())) return std::nullopt;
    if (ToneDone()) return now;
    if (!running_) return now + 1ms;
    Clock::time_point next = now + DurationOf(periodFrames_);  // to hear of errors soon enough
    if (!out_.empty()) next = std::min(next, now + DurationOf(std::max<FrameCount>(periodFrames_ / 4, 1)));
    // Silence is due when what is queued comes down to the margin...
    next = std::min(next,
                    now + DurationOf(std::max<FrameCount>(0, writtenFrames_ - takenFrames_ - marginFrames_)));
    // ...and the caller goes on once its tone is as good as heard.
    if (toneActive_ && writtenFrames_ >= toneEndFrame_)
        next = std::min(next, now + DurationOf(std::max<FrameCount>(
                                          0, toneEndFrame_ - takenFrames_ - fillFrames_ - earlyFrames_)));
    if (!toneActive_ && placed_) next = std::min(next, std::max(now, releasedAt_ + kIdleStop + 1ms));
    return std::max(next, now + 1ms);
}

}  // namespace platform
