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

// Period and buffer sizes: small enough that the end of a tone is heard soon
// after the last write, large enough that a busy machine does not underrun.
constexpr unsigned kPeriodUs = 20000;
constexpr unsigned kBufferUs = 100000;
// How long a write may overrun the sound's own length before the device is
// deemed stuck, and how much longer the caller waits for the whole play
// (opening a sound server's stream the first time takes a while).
constexpr auto kStallGuard = std::chrono::milliseconds(500);
constexpr auto kCallerGuard = std::chrono::milliseconds(2000);
constexpr int kWaitSliceMs = 100;

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

// One PCM, used only from the worker thread.
class PcmPlayer {
public:
    explicit PcmPlayer(std::string device) : device_(std::move(device)) {}
    ~PcmPlayer() { Close(); }

    void Play(const WaveImage& wave) {
        if (!Ready({wave.channels, wave.rate, wave.bitsPerSample})) return;
        if (!Write(wave)) Close();  // start afresh next time
    }

private:
    struct Format {
        unsigned channels, rate, bits;
        bool operator==(const Format&) const = default;
    };

    bool Ready(const Format& format);
    bool Write(const WaveImage& wave);
    void Close() {
        if (pcm_ != nullptr) snd_pcm_close(pcm_);
        pcm_ = nullptr;
    }

    std::string device_;
    snd_pcm_t* pcm_ = nullptr;
    Format format_{};
};

// Opening the device costs far more than a tone's own overhead should, so the
// PCM stays open from one play to the next while the format stays the same.
bool PcmPlayer::Ready(const Format& format) {
    if (pcm_ != nullptr && format_ == format) {
        if (snd_pcm_state(pcm_) == SND_PCM_STATE_PREPARED) return true;
        if (snd_pcm_prepare(pcm_) == 0) return true;
    }
    Close();

    // A device held by someone else must not hold the window up: open without
    // waiting, then block only for the writes.
    snd_pcm_t* pcm = nullptr;
    if (snd_pcm_open(&pcm, device_.c_str(), SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK) < 0)
        return false;
    auto fail = [&] {
        snd_pcm_close(pcm);
        return false;
    };
    if (snd_pcm_nonblock(pcm, 0) < 0) return fail();

    snd_pcm_hw_params_t* hw;
    snd_pcm_hw_params_alloca(&hw);
    unsigned bufferUs = kBufferUs, periodUs = kPeriodUs;
    if (snd_pcm_hw_params_any(pcm, hw) < 0 ||
        snd_pcm_hw_params_set_access(pcm, hw, SND_PCM_ACCESS_RW_INTERLEAVED) < 0 ||
        snd_pcm_hw_params_set_format(pcm, hw, PcmFormat(format.bits)) < 0 ||
        snd_pcm_hw_params_set_channels(pcm, hw, format.channels) < 0 ||
        snd_pcm_hw_params_set_rate(pcm, hw, format.rate, 0) < 0)
        return fail();
    // Sizes are wishes; a device that cannot meet them keeps its own.
    snd_pcm_hw_params_set_buffer_time_near(pcm, hw, &bufferUs, nullptr);
    snd_pcm_hw_params_set_period_time_near(pcm, hw, &periodUs, nullptr);
    if (snd_pcm_hw_params(pcm, hw) < 0) return fail();
    snd_pcm_uframes_t period = 0;
    snd_pcm_hw_params_get_period_size(hw, &period, nullptr);

    // Start as soon as a period is queued rather than when the buffer is full.
    snd_pcm_sw_params_t* sw;
    snd_pcm_sw_params_alloca(&sw);
    if (snd_pcm_sw_params_current(pcm, sw) < 0 ||
        snd_pcm_sw_params_set_start_threshold(pcm, sw, std::max<snd_pcm_uframes_t>(period, 1)) < 0 ||
        snd_pcm_sw_params(pcm, sw) < 0)
        return fail();
    if (snd_pcm_state(pcm) != SND_PCM_STATE_PREPARED && snd_pcm_prepare(pcm) < 0) return fail();

    pcm_ = pcm;
    format_ = format;
    return true;
}

bool PcmPlayer::Write(const WaveImage& wave) {
    const auto length = std::chrono::microseconds(
        static_cast<long long>(wave.frames) * 1000000 / wave.rate);
    const Clock::time_point deadline = Clock::now() + length + kStallGuard;

    const uint8_t* p = wave.samples;
    size_t left = wave.frames;
    while (left > 0) {
        if (Clock::now() > deadline) return false;
        const int ready = snd_pcm_wait(pcm_, kWaitSliceMs);
        if (ready == 0) continue;  // no room yet; the deadline decides
        if (ready < 0) {
            if (snd_pcm_recover(pcm_, ready, 1) < 0) return false;
            continue;
        }
        // Never more than there is room for, so the write itself cannot block.
        const snd_pcm_sframes_t room = snd_pcm_avail_update(pcm_);
        if (room < 0) {
            if (snd_pcm_recover(pcm_, static_cast<int>(room), 1) < 0) return false;
            continue;
        }
        const size_t chunk = std::min(left, static_cast<size_t>(room));
        if (chunk == 0) continue;
        const snd_pcm_sframes_t written = snd_pcm_writei(pcm_, p, chunk);
        if (written == -EAGAIN) continue;
        if (written < 0) {
            if (snd_pcm_recover(pcm_, static_cast<int>(written), 1) < 0) return false;
            continue;
        }
        p += static_cast<size_t>(written) * wave.blockAlign;
        left -= static_cast<size_t>(written);
    }
    // Returns when the last sample has been played.
    return snd_pcm_drain(pcm_) == 0;
}

}  // namespace

// Shared by the caller and the worker thread, which may outlive the output
// when it is stuck at the end.
struct AlsaSoundOutput::Worker {
    std::mutex mu;
    std::condition_variable cv;
    std::vector<uint8_t> image;  // the play in hand; the worker's own while busy
    bool busy = false;
    bool quit = false;
    bool exited = false;
    std::thread thread;

    static void Run(std::shared_ptr<Worker> self, std::string device) {
        {
            PcmPlayer player(std::move(device));
            std::unique_lock lock(self->mu);
            for (;;) {
                self->cv.wait(lock, [&] { return self->busy || self->quit; });
                if (self->quit) break;
                lock.unlock();
                if (const auto wave = ParseWave(self->image.data(), self->image.size()))
                    player.Play(*wave);
                lock.lock();
                self->busy = false;
                self->cv.notify_all();
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
    worker_->busy = true;
    worker_->cv.notify_all();
    worker_->cv.wait_for(lock, length + kCallerGuard, [&] { return !worker_->busy; });
}

}  // namespace platform
