#include "platform/alsa/alsa_sound.h"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

namespace platform {
namespace {

using Clock = std::chrono::steady_clock;

// The buffer holds a whole tone behind the silence that runs ahead of it; the
// period asks the sound server for small blocks, so that little is read ahead.
constexpr unsigned kPeriodUs = 10000;
constexpr unsigned kBufferUs = 200000;
// Silence kept queued while the stream runs between tones, counted to when
// it is heard: what a tone written now waits behind.
constexpr auto kQueued = std::chrono::milliseconds(30);
// Of which at least this much is still to be taken by the sound server, so
// that the stream never runs dry, however long the server's own latency. (A
// server may report what it has taken a period late, so this is generous.)
constexpr auto kUntaken = std::chrono::milliseconds(25);
// The caller is let go when what is left of its tone to be heard is what a
// tone written now would wait behind, plus this much room for the worker to
// be late.
constexpr auto kLateRoom = std::chrono::milliseconds(10);
// Silence ahead of the first tone of a stream: about one block of the server.
constexpr auto kStartSilence = std::chrono::milliseconds(5);
// How often the running stream is looked after.
constexpr auto kTick = std::chrono::milliseconds(2);
// With no tone for this long the stream stops, so that the server may suspend
// and nothing wakes up; the next tone starts it afresh.
constexpr auto kIdleStop = std::chrono::seconds(2);
// How long a tone may overrun its own length before the device is deemed
// stuck, and how much longer the caller waits for the whole play (opening a
// sound server's stream the first time takes a while).
constexpr auto kStallGuard = std::chrono::milliseconds(500);
constexpr auto kCallerGuard = std::chrono::milliseconds(2000);

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Le32(const uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// A sound that cannot be played is silent, and so is the library about it.
void IgnoreAlsaError(const char*, int, const char*, int, const char*, ...) {}

void SilenceAlsaErrors() {
    static std::once_flag once;
    std::call_once(once, [] { snd_lib_error_set_handler(IgnoreAlsaError); });
}

snd_pcm_format_t PcmFormat(unsigned bits) {
    switch (bits) {
        case 8: return SND_PCM_FORMAT_U8;
        case 16: return SND_PCM_FORMAT_S16_LE;
        case 24: return SND_PCM_FORMAT_S24_3LE;
        case 32: return SND_PCM_FORMAT_S32_LE;
        default: return SND_PCM_FORMAT_UNKNOWN;
    }
}

}  // namespace

std::optional<WaveImage> ParseWave(const uint8_t* data, size_t size) {
    if (data == nullptr || size < 12) return std::nullopt;
    if (std::memcmp(data, "RIFF", 4) != 0 || std::memcmp(data + 8, "WAVE", 4) != 0)
        return std::nullopt;
    const uint64_t riffEnd = 8 + static_cast<uint64_t>(Le32(data + 4));
    if (riffEnd > size) return std::nullopt;  // truncated
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
            if (PcmFormat(wave.bitsPerSample) == SND_PCM_FORMAT_UNKNOWN) return std::nullopt;
            if (wave.channels == 0 || wave.channels > 32) return std::nullopt;
            if (wave.rate < 1000 || wave.rate > 768000) return std::nullopt;
            if (wave.blockAlign != wave.channels * (wave.bitsPerSample / 8)) return std::nullopt;
            haveFormat = true;
        } else if (std::memcmp(header, "data", 4) == 0) {
            if (!haveFormat) return std::nullopt;  // the format must come first
            wave.samples = p;
            wave.frames = length / wave.blockAlign;
            return wave;
        }
        // Chunks are padded to an even length; a final pad byte may be missing.
        pos = body + length;
        if ((length & 1) != 0 && pos < end) ++pos;
    }
    return std::nullopt;
}

namespace {

// One PCM, used only from the worker thread. Between tones the stream keeps
// running on silence, so that a tone is placed on a timeline that does not
// stop: the silence before it is exactly as long as the caller waited after
// the previous tone was let go, whatever latency the sound server adds.
class PcmPlayer {
public:
    explicit PcmPlayer(std::string device) : device_(std::move(device)) {}
    ~PcmPlayer() {
        Finish();
        Close();
    }

    // Takes a tone the caller asked for at calledAt; false when the device
    // cannot play it.
    bool Queue(const WaveImage& wave, Clock::time_point calledAt);
    // Writes what is due: the rest of the tone, then silence. False when the
    // device failed or stalled; it is closed then and set up afresh next time.
    bool Service(Clock::time_point now);
    // The tone in hand is written and no more of it is left to be heard than
    // what a tone written now would wait behind.
    bool ToneEnding() const {
        return toneActive_ && padLeft_ == 0 && toneOffset_ == tone_.size() &&
               toneEnd_ - heard_ <= FreshLatency() + lateRoom_;
    }
    void Released(Clock::time_point at) {
        toneActive_ = false;
        releasedAt_ = at;
        haveRelease_ = true;
    }
    // Wants to be serviced again soon.
    bool Active() const { return running_ || toneActive_; }

private:
    struct Format {
        unsigned channels, rate, bits;
        bool operator==(const Format&) const = default;
    };

    bool Open(const Format& format);
    bool Fail() {
        Close();
        return false;
    }
    void Close() {
        if (pcm_ != nullptr) snd_pcm_close(pcm_);
        pcm_ = nullptr;
        running_ = toneActive_ = haveRelease_ = false;
    }
    // Lets what is queued play out (the end of a tone) and stops the stream;
    // the PCM stays open for the next tone.
    void Finish() {
        if (pcm_ != nullptr && running_) snd_pcm_drain(pcm_);
        running_ = haveRelease_ = false;
    }
    void UpdateHeard(Clock::time_point now, snd_pcm_sframes_t avail);
    // What a tone written now waits behind once the stream runs on silence:
    // the queued silence, or what the server holds back beyond the silence
    // it has not taken yet.
    int64_t FreshLatency() const { return std::max(queued_, taken_ - heard_ + untaken_); }
    // Writes up to n frames of p, or of silence when p is null, as far as
    // there is room; false on a device error.
    bool Put(const uint8_t* p, size_t n, size_t& room, size_t& done);
    int64_t Frames(Clock::duration d) const {
        return std::chrono::duration_cast<std::chrono::microseconds>(d).count() *
               static_cast<int64_t>(format_.rate) / 1000000;
    }

    std::string device_;
    snd_pcm_t* pcm_ = nullptr;
    Format format_{};
    size_t frameBytes_ = 0;
    std::vector<uint8_t> silence_;  // a buffer's worth of silent frames
    int64_t bufferFrames_ = 0;
    int64_t queued_ = 0, untaken_ = 0, lateRoom_ = 0;  // in frames

    bool running_ = false;
    int64_t written_ = 0;  // frames since the stream started
    int64_t heard_ = 0;    // of which this many have been heard, by estimate
    int64_t taken_ = 0;    // and this many taken by the server, by estimate
    Clock::time_point heardAt_;

    std::vector<uint8_t> tone_;  // the tone in hand, our own copy
    size_t toneOffset_ = 0;      // bytes of it written
    int64_t padLeft_ = 0;        // frames of silence still due before it
    int64_t toneEnd_ = 0;        // stream position of its end
    bool toneActive_ = false;    // the caller waits for it
    Clock::time_point deadline_;
    bool haveRelease_ = false;   // releasedAt_ is that of the last tone of this run
    Clock::time_point releasedAt_;
};

// Opening the device costs far more than a tone's own overhead should, so the
// PCM stays open from one play to the next while the format stays the same.
bool PcmPlayer::Open(const Format& format) {
    Close();
    // A device held by someone else must not hold the window up: open without
    // waiting. Writes never ask for more than there is room for, so the
    // blocking mode only matters to the drain, which should wait.
    snd_pcm_t* pcm = nullptr;
    if (snd_pcm_open(&pcm, device_.c_str(), SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK) < 0)
        return false;
    auto fail = [&] {
        snd_pcm_close(pcm);
        return false;
    };
    if (snd_pcm_nonblock(pcm, 0) < 0) return fail();

    const snd_pcm_format_t pcmFormat = PcmFormat(format.bits);
    snd_pcm_hw_params_t* hw;
    snd_pcm_hw_params_alloca(&hw);
    unsigned bufferUs = kBufferUs, periodUs = kPeriodUs;
    if (snd_pcm_hw_params_any(pcm, hw) < 0 ||
        snd_pcm_hw_params_set_access(pcm, hw, SND_PCM_ACCESS_RW_INTERLEAVED) < 0 ||
        snd_pcm_hw_params_set_format(pcm, hw, pcmFormat) < 0 ||
        snd_pcm_hw_params_set_channels(pcm, hw, format.channels) < 0 ||
        snd_pcm_hw_params_set_rate(pcm, hw, format.rate, 0) < 0)
        return fail();
    // Sizes are wishes; a device that cannot meet them keeps its own.
    snd_pcm_hw_params_set_buffer_time_near(pcm, hw, &bufferUs, nullptr);
    snd_pcm_hw_params_set_period_time_near(pcm, hw, &periodUs, nullptr);
    if (snd_pcm_hw_params(pcm, hw) < 0) return fail();
    snd_pcm_uframes_t buffer = 0, period = 0;
    snd_pcm_hw_params_get_buffer_size(hw, &buffer);
    snd_pcm_hw_params_get_period_size(hw, &period, nullptr);
    if (buffer == 0) return fail();

    // Start as soon as anything is queued. A sound server takes this as the
    // amount it waits for before it plays again after running dry, so it
    // must be small.
    snd_pcm_sw_params_t* sw;
    snd_pcm_sw_params_alloca(&sw);
    if (snd_pcm_sw_params_current(pcm, sw) < 0 ||
        snd_pcm_sw_params_set_start_threshold(pcm, sw, 1) < 0 ||
        snd_pcm_sw_params_set_avail_min(pcm, sw, std::max<snd_pcm_uframes_t>(period, 1)) < 0 ||
        snd_pcm_sw_params(pcm, sw) < 0)
        return fail();
    if (snd_pcm_state(pcm) != SND_PCM_STATE_PREPARED && snd_pcm_prepare(pcm) < 0) return fail();

    pcm_ = pcm;
    format_ = format;
    frameBytes_ = format.channels * (format.bits / 8);
    silence_.assign(buffer * frameBytes_, 0);
    snd_pcm_format_set_silence(pcmFormat, silence_.data(), static_cast<unsigned>(buffer * format.channels));
    bufferFrames_ = static_cast<int64_t>(buffer);
    queued_ = std::min(Frames(kQueued), bufferFrames_ / 2);
    untaken_ = std::min(Frames(kUntaken), bufferFrames_ / 2);
    lateRoom_ = Frames(kLateRoom);
    return true;
}

bool PcmPlayer::Queue(const WaveImage& wave, Clock::time_point calledAt) {
    const Format format{wave.channels, wave.rate, wave.bitsPerSample};
    if (pcm_ != nullptr && format_ != format) {
        Finish();  // the last tone's end, before another stream starts
        Close();
    }
    if (pcm_ == nullptr && !Open(format)) return false;

    padLeft_ = 0;
    if (!running_) {
        const snd_pcm_state_t state = snd_pcm_state(pcm_);
        if (state != SND_PCM_STATE_PREPARED && snd_pcm_prepare(pcm_) < 0) return Fail();
        written_ = heard_ = taken_ = 0;
        // A stream that starts on a running server is mixed in from a point
        // the server may already have rendered for its other listeners (a
        // monitor loses that much of the start): let that be silence.
        padLeft_ = Frames(kStartSilence);
    } else if (haveRelease_) {
        // As long after the end of the last tone as the caller waited after
        // being let go; never before what is already written.
        const int64_t start = toneEnd_ + Frames(calledAt - releasedAt_);
        padLeft_ = std::max<int64_t>(0, start - written_);
    }
    tone_.assign(wave.samples, wave.samples + wave.frames * frameBytes_);
    toneOffset_ = 0;
    toneEnd_ = written_ + padLeft_ + static_cast<int64_t>(wave.frames);
    toneActive_ = true;
    haveRelease_ = false;
    deadline_ = Clock::now() +
                std::chrono::microseconds((padLeft_ + static_cast<int64_t>(wave.frames)) * 1000000 /
                                          format.rate) +
                kStallGuard;
    return true;
}

void PcmPlayer::UpdateHeard(Clock::time_point now, snd_pcm_sframes_t avail) {
    snd_pcm_sframes_t delay = 0;
    // A device that cannot tell its delay is taken to play what it has taken.
    if (snd_pcm_delay(pcm_, &delay) < 0) delay = bufferFrames_ - avail;
    const int64_t heardByDevice = written_ - std::clamp<int64_t>(delay, 0, written_);
    const int64_t takenByDevice = written_ - std::clamp<int64_t>(bufferFrames_ - avail, 0, written_);
    // A device that swallows everything at once (a file, the null device)
    // is taken to play in real time, as a sound card would.
    const double elapsed = std::chrono::duration<double>(now - heardAt_).count();
    const auto step = static_cast<int64_t>(elapsed * format_.rate * 1.005) + 1;
    heard_ = std::max(heard_, std::min(heardByDevice, heard_ + step));
    taken_ = std::max(taken_, std::min(takenByDevice, taken_ + step));
    heardAt_ = now;
}

bool PcmPlayer::Put(const uint8_t* p, size_t n, size_t& room, size_t& done) {
    done = 0;
    n = std::min(n, room);
    while (done < n) {
        const uint8_t* from = p != nullptr ? p + done * frameBytes_ : silence_.data();
        const size_t chunk = p != nullptr ? n - done : std::min(n - done, silence_.size() / frameBytes_);
        const snd_pcm_sframes_t w = snd_pcm_writei(pcm_, from, chunk);
        if (w == -EAGAIN) break;
        if (w < 0) return false;
        done += static_cast<size_t>(w);
        written_ += w;
        room -= static_cast<size_t>(w);
    }
    return true;
}

bool PcmPlayer::Service(Clock::time_point now) {
    if (pcm_ == nullptr || !Active()) return true;
    if (toneActive_ && now > deadline_) return Fail();  // the device has stopped playing

    snd_pcm_sframes_t avail = snd_pcm_avail_update(pcm_);
    if (avail < 0) {
        // An underrun or a suspend: what was queued is gone, and the tone in
        // hand goes on from where it was on a stream started afresh.
        if (snd_pcm_recover(pcm_, static_cast<int>(avail), 1) < 0) return Fail();
        running_ = haveRelease_ = false;
        heard_ = taken_ = written_;
        avail = snd_pcm_avail_update(pcm_);
        if (avail < 0) return Fail();
    }
    if (running_) UpdateHeard(now, avail);
    size_t room = static_cast<size_t>(avail), done = 0;

    if (padLeft_ > 0) {
        if (!Put(nullptr, static_cast<size_t>(padLeft_), room, done)) return Fail();
        padLeft_ -= static_cast<int64_t>(done);
    }
    if (padLeft_ == 0 && toneOffset_ < tone_.size()) {
        if (!Put(tone_.data() + toneOffset_, (tone_.size() - toneOffset_) / frameBytes_, room, done))
            return Fail();
        toneOffset_ += done * frameBytes_;
    }
    if (running_ && padLeft_ == 0 && toneOffset_ == tone_.size()) {
        const int64_t due = std::max(queued_ - (written_ - heard_), untaken_ - (written_ - taken_));
        if (due > 0 && !Put(nullptr, static_cast<size_t>(due), room, done)) return Fail();
    }
    if (!running_ && written_ > heard_) {
        if (snd_pcm_state(pcm_) == SND_PCM_STATE_PREPARED && snd_pcm_start(pcm_) < 0) return Fail();
        running_ = true;
        heardAt_ = Clock::now();
    }
    if (running_ && !toneActive_ && now - releasedAt_ > kIdleStop) {
        // Only silence is queued by now, and a drain could wait for a whole
        // block of a server that renders in large ones.
        snd_pcm_drop(pcm_);
        running_ = haveRelease_ = false;
    }
    return true;
}

}  // namespace

// Shared by the caller and the worker thread, which may outlive the output
// when it is stuck at the end.
struct AlsaSoundOutput::Worker {
    std::mutex mu;
    std::condition_variable cv;
    std::vector<uint8_t> image;  // the play in hand; the worker's own while busy
    Clock::time_point calledAt;
    bool busy = false;
    bool quit = false;
    bool exited = false;
    std::thread thread;

    static void Run(std::shared_ptr<Worker> self, std::string device) {
        {
            PcmPlayer player(std::move(device));
            bool holding = false;  // the caller waits on the tone in hand
            std::unique_lock lock(self->mu);
            for (;;) {
                const auto fresh = [&] { return self->busy && !holding; };
                if (!self->quit && !fresh()) {
                    if (player.Active())
                        self->cv.wait_for(lock, kTick);
                    else
                        self->cv.wait(lock, [&] { return self->quit || fresh(); });
                }
                if (self->quit) break;
                std::vector<uint8_t> image;
                const bool take = fresh();
                if (take) {
                    image.swap(self->image);
                    holding = true;
                }
                const Clock::time_point calledAt = self->calledAt;
                lock.unlock();

                bool ok = true;
                if (take) {
                    const auto wave = ParseWave(image.data(), image.size());
                    ok = wave && player.Queue(*wave, calledAt);
                }
                ok = ok && player.Service(Clock::now());
                const bool release = holding && (!ok || player.ToneEnding());
                if (release && ok) player.Released(Clock::now());

                lock.lock();
                if (release) {
                    holding = false;
                    self->busy = false;
                    self->cv.notify_all();
                }
            }
        }
        std::lock_guard lock(self->mu);
        self->exited = true;
        self->cv.notify_all();
    }
};

AlsaSoundOutput::AlsaSoundOutput(std::string device) : device_(std::move(device)) {
    SilenceAlsaErrors();
}

AlsaSoundOutput::~AlsaSoundOutput() {
    if (!worker_) return;
    std::unique_lock lock(worker_->mu);
    worker_->quit = true;
    worker_->cv.notify_all();
    const bool done = worker_->cv.wait_for(lock, std::chrono::seconds(1), [&] { return worker_->exited; });
    lock.unlock();
    if (done)
        worker_->thread.join();
    else
        worker_->thread.detach();  // stuck in the sound library; it holds its own state
}

void AlsaSoundOutput::PlayWave(const uint8_t* data, size_t size) {
    const Clock::time_point calledAt = Clock::now();
    const std::optional<WaveImage> wave = ParseWave(data, size);
    if (!wave || wave->frames == 0) return;
    const auto length = std::chrono::microseconds(
        static_cast<long long>(wave->frames) * 1000000 / wave->rate);

    if (!worker_) {
        worker_ = std::make_shared<Worker>();
        worker_->thread = std::thread(Worker::Run, worker_, device_);
    }
    std::unique_lock lock(worker_->mu);
    if (worker_->busy) return;  // an earlier play is stuck
    // A copy: the caller's image need not outlive a play it stopped waiting for.
    worker_->image.assign(data, data + size);
    worker_->calledAt = calledAt;
    worker_->busy = true;
    worker_->cv.notify_all();
    worker_->cv.wait_for(lock, length + kCallerGuard, [&] { return !worker_->busy; });
}

}  // namespace platform
