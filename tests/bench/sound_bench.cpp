// Measures what the ALSA sound output adds to a tone: the time a play takes
// beyond the clip's own 100 ms, and, when a monitor of the sink is given, the
// time from the call to the first sample arriving there. Run through
// sound_bench.sh, which sets up a private sound server with a null sink.
// While the output's stream runs between plays, a play returns when what is
// left of its clip to be heard equals what a clip written now waits behind,
// so on a running stream a play lasts about the clip's length and the call to
// first sample figure is that wait; a fresh stream starts sooner.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "output/tones.h"
#include "platform/alsa/alsa_sound.h"
#include "support/goertzel.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

void Report(const char* what, std::vector<double> v) {
    if (v.empty()) {
        std::printf("%-44s no data\n", what);
        return;
    }
    std::sort(v.begin(), v.end());
    double sum = 0;
    for (double x : v) sum += x;
    std::printf("%-44s n=%3zu  median %7.2f  p90 %7.2f  worst %7.2f  mean %7.2f ms\n", what,
                v.size(), v[v.size() / 2], v[v.size() * 9 / 10], v.back(), sum / v.size());
}

// Reads the sink's monitor through parec and notes when the first loud sample
// after each armed moment arrives. Arrival is when parec hands the block over,
// so the figure is an upper bound on when the sample reached the sink.
class MonitorRecorder {
public:
    MonitorRecorder(const std::string& source, int latencyMs) {
        const std::string cmd = "exec parec -d '" + source +
                                "' --raw --format=s16le --rate=22050 --channels=1 --latency-msec=" +
                                std::to_string(latencyMs) + " 2>/dev/null";
        pipe_ = popen(cmd.c_str(), "r");
        if (pipe_ != nullptr) reader_ = std::thread([this] { Run(); });
    }
    ~MonitorRecorder() {
        stop_ = true;
        if (pipe_ != nullptr) {
            // parec only notices a closed pipe when it writes next; the sink's
            // monitor keeps it writing.
            reader_.join();
            pclose(pipe_);
        }
    }
    bool ok() const { return pipe_ != nullptr; }

    void Arm(Clock::time_point call) {
        std::lock_guard lock(mu_);
        armedAt_ = call;
        armed_ = true;
        latency_.reset();
    }
    // Latency of the armed call, waiting a little for it to arrive.
    std::optional<double> Latency() {
        for (int i = 0; i < 200; ++i) {
            {
                std::lock_guard lock(mu_);
                if (latency_) return latency_;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return std::nullopt;
    }
    std::vector<int16_t> Samples() {
        std::lock_guard lock(mu_);
        return samples_;
    }

private:
    void Run() {
        std::vector<uint8_t> buf(256);
        uint8_t carry = 0;
        bool haveCarry = false;
        while (!stop_) {
            const size_t n = fread(buf.data(), 1, buf.size(), pipe_);
            if (n == 0) break;
            const Clock::time_point now = Clock::now();
            std::lock_guard lock(mu_);
            for (size_t i = 0; i < n; ++i) {
                if (!haveCarry) {
                    carry = buf[i];
                    haveCarry = true;
                    continue;
                }
                const auto s = static_cast<int16_t>(carry | (buf[i] << 8));
                haveCarry = false;
                samples_.push_back(s);
                if (armed_ && std::abs(s) > 64) {
                    latency_ = Ms(now - armedAt_);
                    armed_ = false;
                }
            }
        }
    }

    FILE* pipe_ = nullptr;
    std::thread reader_;
    std::atomic<bool> stop_{false};
    std::mutex mu_;
    bool armed_ = false;
    Clock::time_point armedAt_;
    std::optional<double> latency_;
    std::vector<int16_t> samples_;
};

}  // namespace

int main(int argc, char** argv) {
    int plays = 50;
    int monitorLatencyMs = 5;
    std::string device = "default", monitor;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--plays")) plays = std::max(1, std::atoi(argv[i + 1]));
        else if (!std::strcmp(argv[i], "--device")) device = argv[i + 1];
        else if (!std::strcmp(argv[i], "--monitor")) monitor = argv[i + 1];
        else if (!std::strcmp(argv[i], "--monitor-latency-ms")) monitorLatencyMs = std::atoi(argv[i + 1]);
    }
    const std::string symbols = "1234567890*#ABCD";
    auto clipOf = [&](int i) { return FindDtmfClip(ClipIdForSymbol(symbols[i % symbols.size()])); };

    std::unique_ptr<MonitorRecorder> recorder;
    if (!monitor.empty()) {
        recorder = std::make_unique<MonitorRecorder>(monitor, monitorLatencyMs);
        if (!recorder->ok()) std::fprintf(stderr, "parec could not be started\n");
        // The null sink only takes up the recorder's small blocks after the
        // 2 s block it was rendering when the recorder connected.
        std::this_thread::sleep_for(std::chrono::milliseconds(2500));
    }
    const auto pause = [] { std::this_thread::sleep_for(std::chrono::milliseconds(150)); };

    std::printf("device %s, %d plays per series, clip 100 ms", device.c_str(), plays);
    if (recorder) std::printf(", monitor %s in %d ms blocks", monitor.c_str(), monitorLatencyMs);
    std::printf("\n");
    std::vector<double> firstOpen, kept, keptLatency, reopened, reopenedLatency;

    {
        platform::AlsaSoundOutput out(device);
        for (int i = 0; i < plays; ++i) {
            const auto clip = clipOf(i);
            const Clock::time_point t0 = Clock::now();
            if (recorder) recorder->Arm(t0);
            out.PlayWave(clip.data(), clip.size());
            const double extra = Ms(Clock::now() - t0) - 100.0;
            (i == 0 ? firstOpen : kept).push_back(extra);
            if (recorder)
                if (auto l = recorder->Latency()) (i == 0 ? firstOpen : keptLatency).push_back(*l);
            pause();
        }
    }
    // Opening the device for every play, for comparison with keeping it open.
    for (int i = 0; i < plays; ++i) {
        const auto clip = clipOf(i);
        const Clock::time_point t0 = Clock::now();
        if (recorder) recorder->Arm(t0);
        platform::AlsaSoundOutput out(device);
        out.PlayWave(clip.data(), clip.size());
        reopened.push_back(Ms(Clock::now() - t0) - 100.0);
        if (recorder)
            if (auto l = recorder->Latency()) reopenedLatency.push_back(*l);
        pause();
    }
    // Back to back, as a dial with no gap plays them.
    double backToBack = 0;
    {
        platform::AlsaSoundOutput out(device);
        const Clock::time_point t0 = Clock::now();
        for (int i = 0; i < 10; ++i) {
            const auto clip = clipOf(i);
            out.PlayWave(clip.data(), clip.size());
        }
        backToBack = Ms(Clock::now() - t0) - 1000.0;
    }

    // The same calls on ALSA's null device, which plays in no time: what the
    // output itself costs, without the sound server.
    std::vector<double> nullDevice;
    {
        platform::AlsaSoundOutput out("null");
        for (int i = 0; i < 1 + 4 * plays; ++i) {
            const auto clip = clipOf(i);
            const Clock::time_point t0 = Clock::now();
            out.PlayWave(clip.data(), clip.size());
            if (i > 0) nullDevice.push_back(Ms(Clock::now() - t0));
        }
    }

    std::printf("first play (opens the device): %.2f ms beyond the clip", firstOpen[0]);
    if (firstOpen.size() > 1) std::printf(", first sample after %.2f ms", firstOpen[1]);
    std::printf("\n");
    Report("play time beyond 100 ms, device kept open", kept);
    Report("play time beyond 100 ms, opened every play", reopened);
    if (recorder) {
        Report("call to first sample at monitor, kept open", keptLatency);
        Report("call to first sample at monitor, reopened", reopenedLatency);
    }
    Report("whole call on the null device (own cost)", nullDevice);
    std::printf("10 plays back to back: %.2f ms beyond 1000 ms\n", backToBack);

    if (recorder) {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        const auto samples = recorder->Samples();
        const auto bursts = goertzel::SplitBursts(samples, 22050, 20.0);
        size_t right = 0, total = 0;
        for (const auto& b : bursts) {
            const size_t i = total < size_t(plays) ? total : total - plays;  // two series
            if (total < size_t(2 * plays) && b.symbol == symbols[i % symbols.size()]) ++right;
            ++total;
        }
        std::printf("monitor: %zu bursts, the first %d decode as the symbols played: %zu\n",
                    bursts.size(), 2 * plays, right);
    }
    return 0;
}
