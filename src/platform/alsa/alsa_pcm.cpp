// The PCM seam on ALSA.
#include <alsa/asoundlib.h>
#include <poll.h>

#include <algorithm>
#include <vector>

#include "platform/alsa/pcm_device.h"

namespace platform {
namespace {

snd_pcm_format_t PcmFormatOf(unsigned bits) {
    switch (bits) {
        case 8: return SND_PCM_FORMAT_U8;
        case 16: return SND_PCM_FORMAT_S16_LE;
        case 24: return SND_PCM_FORMAT_S24_3LE;
        case 32: return SND_PCM_FORMAT_S32_LE;
        default: return SND_PCM_FORMAT_UNKNOWN;
    }
}

class AlsaPcm : public PcmDevice {
public:
    AlsaPcm(snd_pcm_t* pcm, PcmSizes sizes) : pcm_(pcm), sizes_(sizes) {}
    ~AlsaPcm() override { snd_pcm_close(pcm_); }

    PcmSizes Sizes() const override { return sizes_; }

    int SetThresholds(long startFrames, long readyFrames) override {
        snd_pcm_sw_params_t* sw;
        snd_pcm_sw_params_alloca(&sw);
        int err = snd_pcm_sw_params_current(pcm_, sw);
        if (err >= 0)
            err = snd_pcm_sw_params_set_start_threshold(pcm_, sw,
                                                        static_cast<snd_pcm_uframes_t>(startFrames));
        if (err >= 0)
            err = snd_pcm_sw_params_set_avail_min(pcm_, sw, static_cast<snd_pcm_uframes_t>(readyFrames));
        if (err >= 0) err = snd_pcm_sw_params(pcm_, sw);
        return err;
    }

    long Avail() override { return snd_pcm_avail_update(pcm_); }

    long Delay() override {
        snd_pcm_sframes_t delay = 0;
        return snd_pcm_delay(pcm_, &delay) < 0 ? -1 : static_cast<long>(delay);
    }

    long Write(const void* frames, unsigned long n) override {
        return snd_pcm_writei(pcm_, frames, n);
    }

    bool Running() override { return snd_pcm_state(pcm_) == SND_PCM_STATE_RUNNING; }

    int Start() override {
        return snd_pcm_state(pcm_) == SND_PCM_STATE_PREPARED ? snd_pcm_start(pcm_) : 0;
    }

    int Recover(int err) override { return snd_pcm_recover(pcm_, err, 1); }

    void Drop() override {
        snd_pcm_drop(pcm_);
        snd_pcm_prepare(pcm_);
    }

    void Drain() override {
        if (snd_pcm_state(pcm_) == SND_PCM_STATE_RUNNING) snd_pcm_drain(pcm_);
        snd_pcm_prepare(pcm_);
    }

    void Wait(int wakeFd, bool onDevice, int timeoutMs) override {
        std::vector<pollfd> fds(1);
        fds[0] = {wakeFd, POLLIN, 0};
        int count = onDevice ? snd_pcm_poll_descriptors_count(pcm_) : 0;
        if (count > 0) {
            fds.resize(1 + static_cast<size_t>(count));
            count = snd_pcm_poll_descriptors(pcm_, fds.data() + 1, static_cast<unsigned>(count));
            fds.resize(1 + static_cast<size_t>(std::max(count, 0)));
        }
        if (poll(fds.data(), fds.size(), timeoutMs) > 0 && fds.size() > 1) {
            // Lets the library take in what woke it (a plugin may need to).
            unsigned short revents = 0;
            snd_pcm_poll_descriptors_revents(pcm_, fds.data() + 1,
                                             static_cast<unsigned>(fds.size() - 1), &revents);
        }
    }

private:
    snd_pcm_t* pcm_;
    PcmSizes sizes_;
};

}  // namespace

std::unique_ptr<PcmDevice> OpenAlsaPcm(const std::string& name, const PcmFormat& format,
                                       unsigned periodUs, unsigned bufferUs) {
    // A device held by someone else must not hold the window up: open without
    // waiting. Writes never ask for more than there is room for, so the
    // blocking mode only matters to the drain, which should wait.
    snd_pcm_t* pcm = nullptr;
    if (snd_pcm_open(&pcm, name.c_str(), SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK) < 0)
        return nullptr;
    auto fail = [&] {
        snd_pcm_close(pcm);
        return nullptr;
    };
    if (snd_pcm_nonblock(pcm, 0) < 0) return fail();

    snd_pcm_hw_params_t* hw;
    snd_pcm_hw_params_alloca(&hw);
    if (snd_pcm_hw_params_any(pcm, hw) < 0 ||
        snd_pcm_hw_params_set_access(pcm, hw, SND_PCM_ACCESS_RW_INTERLEAVED) < 0 ||
        snd_pcm_hw_params_set_format(pcm, hw, PcmFormatOf(format.bits)) < 0 ||
        snd_pcm_hw_params_set_channels(pcm, hw, format.channels) < 0 ||
        snd_pcm_hw_params_set_rate(pcm, hw, format.rate, 0) < 0)
        return fail();
    // Sizes are wishes; a device that cannot meet them keeps its own, and the
    // output sizes its margins from what it was given.
    snd_pcm_hw_params_set_period_time_near(pcm, hw, &periodUs, nullptr);
    snd_pcm_hw_params_set_buffer_time_near(pcm, hw, &bufferUs, nullptr);
    if (snd_pcm_hw_params(pcm, hw) < 0) return fail();
    snd_pcm_uframes_t buffer = 0, period = 0;
    snd_pcm_hw_params_get_buffer_size(hw, &buffer);
    snd_pcm_hw_params_get_period_size(hw, &period, nullptr);
    if (buffer == 0) return fail();
    if (period == 0 || period > buffer) period = buffer;
    if (snd_pcm_state(pcm) != SND_PCM_STATE_PREPARED && snd_pcm_prepare(pcm) < 0) return fail();
    return std::make_unique<AlsaPcm>(pcm, PcmSizes{static_cast<long>(buffer), static_cast<long>(period)});
}

}  // namespace platform
