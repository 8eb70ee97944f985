// The stream's timeline on a fake device that plays on a clock of the test's
// own and runs dry or drops what it holds at chosen moments.
#include "platform/alsa/tone_stream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <deque>

#include "framework/wave_image.h"
#include "platform/alsa/alsa_sound.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;
using platform::PcmDevice;

constexpr unsigned kRate = 22050;
constexpr size_t kToneFrames = 2205;

int64_t FramesIn(Clock::duration d) {
    return std::chrono::duration_cast<std::chrono::microseconds>(d).count() * kRate / 1000000;
}

// Tone k's sample i is k * 4000 + i + 1: every sample heard tells which tone
// it is and where in it.
std::vector<int16_t> ToneSamples(int k) {
    std::vector<int16_t> v(kToneFrames);
    for (size_t i = 0; i < v.size(); ++i) v[i] = static_cast<int16_t>(k * 4000 + static_cast<int>(i) + 1);
    return v;
}

struct FakeScript {
    long buffer = 8820;  // 400 ms
    long period = 512;   // 23 ms
    // The write carrying tone samples for this time (from 1) finds the
    // device run dry: it fails, and what the device held is gone.
    int failToneWrite = 0;
    // Once this many tone frames have been played the device drops all it
    // holds, and says so at the next call.
    int64_t dropAfterToneFrames = -1;
};

// Plays in real time on the test's clock: one frame per 1/22050 s while it
// runs, silence while it does not.
class FakePcm : public PcmDevice {
public:
    FakePcm(FakeScript script, Clock::time_point now) : script_(script), epoch_(now) {}

    std::vector<int16_t> heard;  // a sample per frame of time since the first start
    int recoveries = 0;

    void AdvanceTo(Clock::time_point t) {
        const int64_t to = FramesIn(t - epoch_);
        for (; at_ < to; ++at_) {
            if (state_ != kRunning) {
                if (started_) heard.push_back(0);
                continue;
            }
            if (queued_.empty()) {  // ran dry
                state_ = kXrun;
                heard.push_back(0);
                continue;
            }
            const int16_t s = queued_.front();
            queued_.pop_front();
            heard.push_back(s);
            if (s != 0 && ++toneFrames_ == script_.dropAfterToneFrames) {
                queued_.clear();
                state_ = kXrun;
            }
        }
    }

    platform::PcmSizes Sizes() const override { return {script_.buffer, script_.period}; }
    int SetThresholds(long start, long) override {
        start_ = start;
        return 0;
    }
    long Avail() override {
        if (state_ == kXrun) return -EPIPE;
        return script_.buffer - static_cast<long>(queued_.size());
    }
    long Delay() override { return static_cast<long>(queued_.size()); }
    long Write(const void* frames, unsigned long n) override {
        if (state_ == kXrun) return -EPIPE;
        const auto* p = static_cast<const int16_t*>(frames);
        if (std::any_of(p, p + n, [](int16_t s) { return s != 0; }) &&
            ++toneWrites_ == script_.failToneWrite) {
            queued_.clear();
            state_ = kXrun;
            return -EPIPE;
        }
        n = std::min<unsigned long>(n, static_cast<unsigned long>(Avail()));
        queued_.insert(queued_.end(), p, p + n);
        if (state_ == kPrepared && static_cast<long>(queued_.size()) >= start_) Start();
        return static_cast<long>(n);
    }
    bool Running() override { return state_ == kRunning; }
    int Start() override {
        if (state_ == kPrepared) state_ = kRunning;
        started_ = true;
        return 0;
    }
    int Recover(int err) override {
        EXPECT_EQ(err, -EPIPE);
        ++recoveries;
        queued_.clear();
        state_ = kPrepared;
        return 0;
    }
    void Drop() override {
        queued_.clear();
        state_ = kPrepared;
    }
    void Drain() override {
        heard.insert(heard.end(), queued_.begin(), queued_.end());
        queued_.clear();
        state_ = kPrepared;
    }
    void Wait(int, bool, int) override {}

private:
    enum State { kPrepared, kRunning, kXrun };
    FakeScript script_;
    Clock::time_point epoch_;
    int64_t at_ = 0;
    State state_ = kPrepared;
    bool started_ = false;
    long start_ = 1;
    std::deque<int16_t> queued_;
    int toneWrites_ = 0;
    int64_t toneFrames_ = 0;
};

// Runs the stream as the output's worker does, on the test's clock.
struct Rig {
    explicit Rig(FakeScript script)
        : stream([this, script](const platform::PcmFormat& format) {
              EXPECT_EQ(format.rate, kRate);
              ++opens;
              auto d = std::make_unique<FakePcm>(script, now);
              dev = d.get();
              return d;
          }) {}

    Clock::time_point now = Clock::time_point() + 1h;
    FakePcm* dev = nullptr;
    int opens = 0;
    platform::ToneStream stream;

    void Step(Clock::time_point to) {
        if (dev) dev->AdvanceTo(to);
        now = to;
    }
    // The caller's wait, while the worker looks after the stream.
    void Idle(Clock::duration d) {
        const Clock::time_point until = now + d;
        while (now < until) {
            Step(std::min(until, stream.NextService(now).value_or(until)));
            stream.Service(now);
        }
    }
    // A worker that does not get the processor for a while.
    void Starve(Clock::duration d) { Step(now + d); }
    // Plays like a caller: returns when the output lets it go.
    void Play(const std::vector<int16_t>& tone, std::optional<Clock::duration> waited) {
        if (waited) Idle(*waited);
        fw::WaveImage wave;
        wave.channels = 1;
        wave.rate = kRate;
        wave.bitsPerSample = 16;
        wave.blockAlign = 2;
        wave.samples = reinterpret_cast<const uint8_t*>(tone.data());
        wave.frames = tone.size();
        ASSERT_TRUE(stream.Queue(wave, waited));
        for (int i = 0; i < 10000; ++i) {
            ASSERT_TRUE(stream.Service(now));
            if (stream.ToneDone()) {
                stream.ReleaseTone(now);
                return;
            }
            Step(stream.NextService(now).value_or(now + 1ms));
        }
        FAIL() << "the play never ended";
    }
};

// A stretch of tone heard without a break: tone k, samples first to last,
// after gap frames of silence.
struct Burst {
    int tone;
    int first, last;
    int64_t gap;
};

std::vector<Burst> Bursts(const std::vector<int16_t>& heard) {
    std::vector<Burst> out;
    int64_t silence = 0;
    for (const int16_t s : heard) {
        if (s == 0) {
            ++silence;
            continue;
        }
        const int tone = (s - 1) / 4000, index = (s - 1) % 4000;
        if (!out.empty() && silence == 0 && out.back().tone == tone && out.back().last + 1 == index) {
            out.back().last = index;
        } else {
            out.push_back({tone, index, index, silence});
        }
        silence = 0;
    }
    return out;
}

std::string Describe(const std::vector<Burst>& bursts) {
    std::string s;
    for (const Burst& b : bursts)
        s += "+" + std::to_string(b.gap) + " " + std::to_string(b.tone) + "[" + std::to_string(b.first) +
             "-" + std::to_string(b.last) + "] ";
    return s;
}

const auto kOne = ToneSamples(1), kTwo = ToneSamples(2), kThree = ToneSamples(3);
const int64_t kTenMs = FramesIn(10ms);

// Three tones 10 ms apart, then time for all of it to be heard.
std::vector<Burst> Dial(Rig& rig, Clock::duration starveAfterFirst = {}) {
    rig.Play(kOne, std::nullopt);
    rig.Starve(starveAfterFirst);
    rig.Play(kTwo, 10ms);
    rig.Play(kThree, 10ms);
    rig.Idle(1s);
    return Bursts(rig.dev->heard);
}

// Also on a device that grants a period near a tone's length, where a fresh
// stream's lead-in has to be longer than usual.
TEST(ToneStream, EachToneStartsAsLongAfterTheLastAsTheCallerWaited) {
    for (const long period : {512L, 2048L}) {
        FakeScript script;
        script.period = period;
        Rig rig(script);
        rig.Play(kOne, std::nullopt);
        rig.Play(kTwo, 10ms);
        rig.Play(kThree, 0ms);
        rig.Play(kOne, 300ms);  // the stream runs on silence meanwhile
        rig.Idle(1s);
        const auto bursts = Bursts(rig.dev->heard);
        ASSERT_EQ(bursts.size(), 4u) << period << ": " << Describe(bursts);
        const int64_t gaps[] = {kTenMs, 0, FramesIn(300ms)};
        for (size_t i = 1; i < bursts.size(); ++i) {
            EXPECT_EQ(bursts[i].first, 0);
            EXPECT_EQ(bursts[i].last, static_cast<int>(kToneFrames) - 1);
            EXPECT_EQ(bursts[i].gap, gaps[i - 1]) << period << ": " << Describe(bursts);
        }
    }
}

// A key press keeps no time with the tone before: once that has been heard
// it sounds after a fresh stream's lead-in, not behind the silence queued
// ahead; before that, after it, and never over it.
TEST(ToneStream, AToneThatKeepsNoTimeSoundsAtOnceButNeverOverTheLast) {
    for (const auto pause : {400ms, 0ms}) {
        Rig rig({});
        const Clock::time_point origin = rig.now;
        rig.Play(kOne, std::nullopt);
        rig.Idle(pause);
        const int64_t queuedAt = FramesIn(rig.now - origin);
        rig.Play(kTwo, std::nullopt);
        rig.Idle(1s);
        const auto bursts = Bursts(rig.dev->heard);
        ASSERT_EQ(bursts.size(), 2u) << Describe(bursts);
        EXPECT_EQ(bursts[0].last, static_cast<int>(kToneFrames) - 1) << Describe(bursts);
        EXPECT_EQ(bursts[1].first, 0) << Describe(bursts);
        if (pause > 0ms) {
            const auto& heard = rig.dev->heard;
            const auto secondAt = std::find(heard.begin(), heard.end(), kTwo[0]) - heard.begin();
            EXPECT_GE(secondAt, queuedAt);
            EXPECT_LE(secondAt, queuedAt + FramesIn(10ms)) << Describe(bursts);
        }
    }
}

// However the device fails, every sample of every tone is heard and in order:
// a tone may come late, and what was dropped of it is played again, but none
// of it is skipped; the device is never given up.
TEST(ToneStream, AnUnderrunMakesAToneLateButNeverCutsOrLosesIt) {
    struct Case {
        const char* what;
        FakeScript script;
        Clock::duration starve;
    };
    FakeScript failSecondWrite, dropInSecondTone;
    failSecondWrite.failToneWrite = 2;  // the first tone is still being played then
    dropInSecondTone.dropAfterToneFrames = static_cast<int64_t>(kToneFrames) + 1000;
    const Case cases[] = {
        {"the device drops what it holds as the second tone comes", failSecondWrite, {}},
        {"the device drops what it holds in the middle of the second tone", dropInSecondTone, {}},
        {"the worker sleeps until the device has run dry", FakeScript{}, 600ms},
    };
    for (const Case& c : cases) {
        Rig rig(c.script);
        const auto bursts = Dial(rig, c.starve);
        EXPECT_EQ(rig.opens, 1) << c.what;
        EXPECT_GE(rig.dev->recoveries, 1) << c.what;
        // Replay the bursts: each tone in turn, resumed at or before where it
        // broke off, to its end; then the next from its start.
        int tone = 1, next = 0;
        for (const Burst& b : bursts) {
            if (next == static_cast<int>(kToneFrames)) {
                ++tone;
                next = 0;
            }
            ASSERT_EQ(b.tone, tone) << c.what << ": " << Describe(bursts);
            ASSERT_LE(b.first, next) << c.what << ": " << Describe(bursts);
            next = b.last + 1;
        }
        EXPECT_EQ(tone, 3) << c.what << ": " << Describe(bursts);
        EXPECT_EQ(next, static_cast<int>(kToneFrames)) << c.what << ": " << Describe(bursts);
        // The timeline goes on from the tone that came late.
        EXPECT_EQ(bursts.back().gap, kTenMs) << c.what << ": " << Describe(bursts);
    }
}

// Between tones the worker is woken when the queue comes down to what it keeps
// in reserve; on a busy machine it may get the processor 80 ms after that
// (three periods of 23 ms and a little) without the device running dry.
TEST(ToneStream, AWorkerEightyMillisecondsLateCausesNoUnderrun) {
    Rig rig({});
    rig.Play(kOne, std::nullopt);
    rig.Idle(100ms);
    for (int i = 0; i < 10; ++i) {
        rig.Step(rig.stream.NextService(rig.now).value_or(rig.now) + 80ms);
        ASSERT_TRUE(rig.stream.Service(rig.now));
    }
    rig.Play(kTwo, 100ms);
    rig.Idle(1s);
    EXPECT_EQ(rig.dev->recoveries, 0) << "the device ran dry";
    const auto bursts = Bursts(rig.dev->heard);
    ASSERT_EQ(bursts.size(), 2u) << Describe(bursts);
    EXPECT_EQ(bursts[1].first, 0);
    EXPECT_EQ(bursts[1].last, static_cast<int>(kToneFrames) - 1);
}

}  // namespace
