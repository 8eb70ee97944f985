#include "platform/alsa/alsa_sound.h"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "framework/wave_image.h"
#include "platform/alsa/pcm_device.h"
#include "platform/alsa/tone_stream.h"

namespace platform {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// A period near a desktop sound server's own block (PipeWire's default
// quantum is 21 ms): a smaller one would make the server run in smaller
// blocks, each a chance to miss. The buffer only needs to hold a tone behind
// the silence queued ahead of it.
constexpr unsigned kPeriodUs = 23220;
constexpr unsigned kBufferUs = 400000;
// How much longer than its sound the caller waits for a play (opening a
// sound server's stream the first time takes a while).
constexpr auto kCallerGuard = 2000ms;

// A sound that cannot be played is silent, and so is the library about it.
void IgnoreAlsaError(const char*, int, const char*, int, const char*, ...) {}

void SilenceAlsaErrors() {
    static std::once_flag once;
    std::call_once(once, [] { snd_lib_error_set_handler(IgnoreAlsaError); });
}

// Why the device could not be set up for a tone, in ALSA's words where it has them.
std::string WhyNoPcm(const std::string& device) {
    const std::string name = "the sound device \"" + device + "\"";
    snd_pcm_t* pcm = nullptr;
    const int err = snd_pcm_open(&pcm, device.c_str(), SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK);
    if (err < 0) return name + " cannot be opened: " + snd_strerror(err);
    snd_pcm_close(pcm);
    return name + " cannot be set up for the tones";
}

// The worker feeds the sound server on time even on a busy machine: a
// real-time priority where the system grants one (the lowest, below any
// server's own), else a better nice value, else as it is.
void RaiseWorkerPriority() {
    sched_param param{};
    param.sched_priority = sched_get_priority_min(SCHED_FIFO);
    if (pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) == 0) return;
    setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), -10);
}

int MsUntil(Clock::time_point now, std::optional<Clock::time_point> next) {
    if (!next) return -1;
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(*next - now).count();
    return static_cast<int>(std::clamp<long long>(ms, 1, 60000));
}

}  // namespace

// Shared by the caller and the worker thread, which may outlive the output
// when it is stuck at the end.
struct AlsaSoundOutput::Worker {
    std::mutex mu;
    std::condition_variable cv;
    std::vector<uint8_t> image;  // the play in hand; the worker's own while busy
    std::optional<Clock::duration> waited;
    bool busy = false;
    bool quit = false;
    bool exited = false;
    int wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    std::thread thread;
    // A failure is told once: failed stays set until a play succeeds.
    bool failed = false;
    std::optional<std::string> untold;

    void Failed(std::string why) {
        if (failed) return;
        failed = true;
        untold = std::move(why);
    }

    ~Worker() {
        if (wakeFd >= 0) close(wakeFd);
    }
    void Wake() const {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = write(wakeFd, &one, sizeof one);
    }

    static void Run(std::shared_ptr<Worker> self, std::string device) {
        RaiseWorkerPriority();
        {
            std::string why;  // of the last failure
            ToneStream stream([device, &why](const PcmFormat& format) {
                auto pcm = OpenAlsaPcm(device, format, kPeriodUs, kBufferUs);
                if (!pcm) why = WhyNoPcm(device);
                return pcm;
            });
            auto failure = [&why, &device] {
                return why.empty() ? "the sound device \"" + device + "\" stopped playing"
                                   : std::exchange(why, std::string());
            };
            bool holding = false;  // the caller waits on the tone in hand
            for (;;) {
                std::unique_lock lock(self->mu);
                if (self->quit) break;
                const bool take = self->busy && !holding;
                std::vector<uint8_t> image;
                const std::optional<Clock::duration> waited = self->waited;
                if (take) {
                    image.swap(self->image);
                    holding = true;
                }
                lock.unlock();

                bool ok = true;
                if (take) {
                    const auto wave = fw::ParseWave(image.data(), image.size());
                    ok = wave && stream.Queue(*wave, waited);
                }
                ok = stream.Service(Clock::now()) && ok;
                if (holding && (!ok || stream.ToneDone())) {
                    if (ok) stream.ReleaseTone(Clock::now());
                    lock.lock();
                    if (ok)
                        self->failed = false;
                    else
                        self->Failed(failure());
                    holding = false;
                    self->busy = false;
                    self->cv.notify_all();
                    lock.unlock();
                } else if (!ok) {
                    // Failed between plays: the next one opens the device again.
                    lock.lock();
                    self->Failed(failure());
                    lock.unlock();
                }

                const int timeout = MsUntil(Clock::now(), stream.NextService(Clock::now()));
                if (PcmDevice* dev = stream.Device()) {
                    dev->Wait(self->wakeFd, stream.WantsDevice(), timeout);
                } else {
                    pollfd fd{self->wakeFd, POLLIN, 0};
                    poll(&fd, 1, timeout);
                }
                uint64_t count;
                [[maybe_unused]] const ssize_t n = read(self->wakeFd, &count, sizeof count);
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
    worker_->Wake();
    const bool done = worker_->cv.wait_for(lock, 1s, [&] { return worker_->exited; });
    lock.unlock();
    if (done)
        worker_->thread.join();
    else
        worker_->thread.detach();  // stuck in the sound library; it holds its own state
}

void AlsaSoundOutput::PlayWave(const uint8_t* data, size_t size) {
    const Clock::time_point calledAt = Clock::now();
    const bool afresh = std::exchange(afresh_, false);
    const auto planned = std::exchange(plannedGap_, std::nullopt);
    const std::optional<fw::WaveImage> wave = fw::ParseWave(data, size);
    if (!wave) return;
    const auto length = std::chrono::microseconds(
        static_cast<long long>(wave->frames) * 1000000 / wave->rate);

    if (!worker_) {
        worker_ = std::make_shared<Worker>();
        if (worker_->wakeFd < 0) {
            worker_.reset();
            if (!setupFailed_) untoldSetupFailure_ = "the sound output could not be set up";
            setupFailed_ = true;
            return;
        }
        worker_->thread = std::thread(Worker::Run, worker_, device_);
        setupFailed_ = false;
    }
    std::unique_lock lock(worker_->mu);
    if (worker_->busy) return;  // an earlier play is stuck
    // A copy: the caller's image need not outlive a play it stopped waiting for.
    worker_->image.assign(data, data + size);
    worker_->waited.reset();
    if (lastReturn_ && !afresh) {
        worker_->waited = calledAt - *lastReturn_;
        // A caller late by a few ms (its timer message was) still gets the
        // gap it planned, as far as the silence not yet written allows.
        if (planned && *planned < *worker_->waited) worker_->waited = *planned;
    }
    worker_->busy = true;
    worker_->Wake();
    const bool heard = worker_->cv.wait_for(lock, length + kCallerGuard, [&] { return !worker_->busy; });
    if (!heard) worker_->Failed("the sound device \"" + device_ + "\" does not answer");
    // The next sound is placed after this one's end as long as the caller
    // takes from here, counted by the caller's own clock.
    lastReturn_.reset();
    if (heard) lastReturn_ = Clock::now();
}

std::optional<std::string> AlsaSoundOutput::TakeFailure() {
    if (untoldSetupFailure_) return std::exchange(untoldSetupFailure_, std::nullopt);
    if (!worker_) return std::nullopt;
    std::lock_guard lock(worker_->mu);
    return std::exchange(worker_->untold, std::nullopt);
}

}  // namespace platform
