#include "platform/alsa/alsa_sound.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "framework/wave_image.h"
#include "output/tones.h"
#include "support/goertzel.h"

namespace {

// ALSA reads its configuration once per process, so the private HOME whose
// .asoundrc sends "default" into files must be in place before any test runs.
// A file per sample width and channel count: each format opens the device
// afresh, and opening a file empties it.
struct RecordingHome {
    std::string dir;
    std::string fifo;
    RecordingHome() {
        char pattern[] = "/tmp/vantrel-alsa-XXXXXX";
        const char* made = mkdtemp(pattern);
        if (made == nullptr) return;
        dir = made;
        fifo = dir + "/fifo";
        if (mkfifo(fifo.c_str(), 0600) != 0) fifo.clear();
        std::ofstream(dir + "/.asoundrc") << "pcm.!default {\n"
                                             "    type file\n"
                                             "    slave.pcm \"null\"\n"
                                             "    file \"" << dir << "/rec-%b-%c.raw\"\n"
                                             "    format \"raw\"\n"
                                             "}\n"
                                             // Opening a FIFO nobody reads blocks: a
                                             // device that hangs.
                                             "pcm.vantrel_stuck {\n"
                                             "    type file\n"
                                             "    slave.pcm \"null\"\n"
                                             "    file \"" << fifo << "\"\n"
                                             "    format \"raw\"\n"
                                             "}\n";
        signal(SIGPIPE, SIG_IGN);  // the FIFO's reader goes before its writer
        setenv("HOME", dir.c_str(), 1);
        setenv("XDG_CONFIG_HOME", dir.c_str(), 1);
        unsetenv("ALSA_CONFIG_PATH");
    }
    ~RecordingHome() {
        if (!dir.empty()) std::system(("rm -rf '" + dir + "'").c_str());
    }
    std::string Recording(unsigned bits = 16, unsigned channels = 1) const {
        return dir + "/rec-" + std::to_string(bits) + "-" + std::to_string(channels) + ".raw";
    }
    void Clear() const {
        for (const char* name : {"rec-16-1.raw", "rec-24-2.raw", "rec-8-1.raw"})
            std::remove((dir + "/" + name).c_str());
    }
};
RecordingHome home;

// The recording is complete once the output that played it is gone.
std::vector<uint8_t> ReadRecording(unsigned bits = 16, unsigned channels = 1) {
    std::ifstream in(home.Recording(bits, channels), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Where each clip lies in a recording, when every one of them is there whole
// and in order, and everything else is silence (the stream runs on silence
// between plays); nothing otherwise.
std::optional<std::vector<size_t>> Placed(const std::vector<uint8_t>& recording,
                                          const std::vector<std::vector<uint8_t>>& clips,
                                          uint8_t silence = 0) {
    std::vector<size_t> at;
    auto from = recording.begin();
    auto quiet = [&](auto begin, auto end) {
        return std::all_of(begin, end, [&](uint8_t b) { return b == silence; });
    };
    for (const auto& clip : clips) {
        const auto found = std::search(from, recording.end(), clip.begin(), clip.end());
        if (found == recording.end() || !quiet(from, found)) return std::nullopt;
        at.push_back(static_cast<size_t>(found - recording.begin()));
        from = found + static_cast<long>(clip.size());
    }
    if (!quiet(from, recording.end())) return std::nullopt;
    return at;
}

std::vector<uint8_t> Clip(UINT id) {
    const auto c = FindDtmfClip(id);
    return {c.begin(), c.end()};
}

std::vector<uint8_t> Tail(const std::vector<uint8_t>& v, size_t from) {
    return {v.begin() + static_cast<long>(std::min(from, v.size())), v.end()};
}

void Put16(std::vector<uint8_t>& v, size_t at, uint16_t x) {
    v[at] = x & 0xFF;
    v[at + 1] = x >> 8;
}
void Put32(std::vector<uint8_t>& v, size_t at, uint32_t x) {
    for (int i = 0; i < 4; ++i) v[at + i] = (x >> (8 * i)) & 0xFF;
}

// A minimal PCM image: RIFF, a 16-byte fmt chunk, then data.
std::vector<uint8_t> MakeWave(unsigned channels, unsigned rate, unsigned bits,
                              const std::vector<uint8_t>& samples) {
    std::vector<uint8_t> v(44 + samples.size());
    std::memcpy(v.data(), "RIFF", 4);
    Put32(v, 4, static_cast<uint32_t>(v.size() - 8));
    std::memcpy(v.data() + 8, "WAVEfmt ", 8);
    Put32(v, 16, 16);
    Put16(v, 20, 1);
    Put16(v, 22, static_cast<uint16_t>(channels));
    Put32(v, 24, rate);
    Put32(v, 28, rate * channels * bits / 8);
    Put16(v, 32, static_cast<uint16_t>(channels * bits / 8));
    Put16(v, 34, static_cast<uint16_t>(bits));
    std::memcpy(v.data() + 36, "data", 4);
    Put32(v, 40, static_cast<uint32_t>(samples.size()));
    std::memcpy(v.data() + 44, samples.data(), samples.size());
    return v;
}

TEST(AlsaSoundOutput, PlaysEveryFrameOfTheImageOnTheDefaultDevice) {
    ASSERT_FALSE(home.dir.empty());
    home.Clear();
    const auto one = Clip(2002), hash = Clip(2016);
    std::vector<uint8_t> frames;
    for (int i = 0; i < 600; ++i) frames.push_back(static_cast<uint8_t>(i * 7 + 3));
    const auto stereo24 = MakeWave(2, 8000, 24, frames);
    const auto eightBit = MakeWave(1, 11025, 8, {0x80, 0x90, 0xA0, 0x70, 0x01, 0xFF});
    {
        platform::AlsaSoundOutput out;
        out.PlayWave(one.data(), one.size());
        // Same format again: the stream goes on and the tones follow one another.
        out.PlayWave(hash.data(), hash.size());
        // Other formats have the device set up afresh.
        out.PlayWave(stereo24.data(), stereo24.size());
        out.PlayWave(eightBit.data(), eightBit.size());
    }
    const auto tones = ReadRecording();
    const auto at = Placed(tones, {Tail(one, 46), Tail(hash, 46)});
    ASSERT_TRUE(at) << tones.size() << " bytes";
    const auto samples = goertzel::SamplesFromBytes(tones);
    EXPECT_EQ(goertzel::Detect(std::span(samples).subspan((*at)[0] / 2, 2205), 22050), '1');
    EXPECT_EQ(goertzel::Detect(std::span(samples).subspan((*at)[1] / 2, 2205), 22050), '#');

    // The bytes reach the device unchanged, with the format's own silence.
    EXPECT_TRUE(Placed(ReadRecording(24, 2), {frames}));
    const auto u8 = ReadRecording(8, 1);
    EXPECT_TRUE(Placed(u8, {Tail(eightBit, 44)}, 0x80)) << u8.size() << " bytes";
}

// The stream runs on silence between plays, so the silence before a tone is
// exactly the time the caller took between the end of one play and the next,
// whatever the latency of the device.
TEST(AlsaSoundOutput, TheSilenceBeforeAToneIsAsLongAsTheCallerWaited) {
    ASSERT_FALSE(home.dir.empty());
    home.Clear();
    using Clock = std::chrono::steady_clock;
    const auto a = Clip(2001), b = Clip(2005), c = Clip(2009);
    const std::vector<int> pausesMs = {0, 40, 150};
    std::vector<double> waitedMs;
    Clock::time_point firstCall{}, lastReturn{};
    {
        platform::AlsaSoundOutput out;
        Clock::time_point returned{};
        for (size_t i = 0; i < pausesMs.size(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(pausesMs[i]));
            const auto& clip = i == 0 ? a : i == 1 ? b : c;
            const Clock::time_point called = Clock::now();
            if (i > 0) waitedMs.push_back(std::chrono::duration<double, std::milli>(called - returned).count());
            out.PlayWave(clip.data(), clip.size());
            returned = Clock::now();
            if (i == 0) firstCall = called;
            lastReturn = returned;
        }
    }
    // A play waits for its tone: the three last together no less than their
    // clips and pauses, less what the output keeps queued (under 250 ms).
    EXPECT_GE(lastReturn - firstCall, std::chrono::milliseconds(300 + 190 - 250));

    const auto at = Placed(ReadRecording(), {Tail(a, 46), Tail(b, 46), Tail(c, 46)});
    ASSERT_TRUE(at);
    for (size_t i = 0; i < waitedMs.size(); ++i) {
        const double silenceMs = ((*at)[i + 1] - (*at)[i] - 4410) / 2 / 22.050;
        // Never shorter than the wait seen from here: the output's own view of
        // it begins earlier and ends later. Longer only by the time a thread
        // takes to wake up.
        EXPECT_GE(silenceMs, waitedMs[i] - 0.1) << "pause " << i;
        EXPECT_LE(silenceMs, waitedMs[i] + 25) << "pause " << i;
    }
}

// A caller that comes later than it planned (its timer message was late) is
// still heard after the gap it planned.
TEST(AlsaSoundOutput, ALateCallerIsHeardAfterTheGapItPlanned) {
    ASSERT_FALSE(home.dir.empty());
    home.Clear();
    const auto a = Clip(2003), b = Clip(2007);
    {
        platform::AlsaSoundOutput out;
        out.PlayWave(a.data(), a.size());
        out.PlanGap(10);
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
        out.PlayWave(b.data(), b.size());
    }
    const auto at = Placed(ReadRecording(), {Tail(a, 46), Tail(b, 46)});
    ASSERT_TRUE(at);
    const double silenceMs = ((*at)[1] - (*at)[0] - 4410) / 2 / 22.050;
    EXPECT_GE(silenceMs, 10 - 0.1);
    EXPECT_LE(silenceMs, 20);
}

// With nothing to play for a while the stream stops, so that the sound server
// may suspend; a later play starts it again.
TEST(AlsaSoundOutput, AnIdleStreamStopsAndStartsAgain) {
    ASSERT_FALSE(home.dir.empty());
    home.Clear();
    const auto one = Clip(2002), two = Clip(2003);
    {
        platform::AlsaSoundOutput out;
        out.PlayWave(one.data(), one.size());
        std::this_thread::sleep_for(std::chrono::milliseconds(2700));
        struct stat st {};
        ASSERT_EQ(stat(home.Recording().c_str(), &st), 0);
        const off_t stopped = st.st_size;
        // Silence kept the stream going for most of the pause...
        EXPECT_GT(stopped, 4410 + 2 * 22050 * 3 / 2);
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        // ...and then no more is written.
        ASSERT_EQ(stat(home.Recording().c_str(), &st), 0);
        EXPECT_EQ(st.st_size, stopped);
        out.PlayWave(two.data(), two.size());
    }
    EXPECT_TRUE(Placed(ReadRecording(), {Tail(one, 46), Tail(two, 46)}));
}

TEST(AlsaSoundOutput, MalformedImagesPlayNothing) {
    ASSERT_FALSE(home.dir.empty());
    const auto good = Clip(2005);
    std::vector<std::vector<uint8_t>> bad;
    bad.emplace_back();                                            // empty
    bad.emplace_back(good.begin(), good.begin() + 11);            // shorter than a header
    bad.emplace_back(good.begin(), good.end() - 1);               // last byte missing
    bad.emplace_back(good.begin(), good.begin() + 46 + 100);      // data cut short
    bad.emplace_back(good.begin(), good.begin() + 40);            // ends inside the data header
    auto edit = [&](auto change) {
        auto v = good;
        change(v);
        bad.push_back(v);
    };
    edit([](auto& v) { std::memcpy(v.data(), "RIFX", 4); });
    edit([](auto& v) { std::memcpy(v.data() + 8, "AVI ", 4); });
    edit([](auto& v) { Put16(v, 20, 3); });                       // IEEE float
    edit([](auto& v) { Put16(v, 20, 0xFFFE); });                  // extensible
    edit([](auto& v) { Put16(v, 34, 12); });                      // odd sample width
    edit([](auto& v) { Put16(v, 32, 4); });                       // frame size disagrees
    edit([](auto& v) { Put16(v, 22, 0); });                       // no channels
    edit([](auto& v) { Put32(v, 24, 0); });                       // no rate
    edit([](auto& v) { Put32(v, 4, 0xFFFFFFFFu); });              // RIFF runs past the end
    edit([](auto& v) { Put32(v, 42, 0xFFFFFFFFu); });             // data runs past the end
    edit([](auto& v) { Put32(v, 42, 4411); });
    edit([](auto& v) { Put32(v, 16, 0xFFFFFFF8u); });             // fmt runs past the end
    edit([](auto& v) { Put32(v, 16, 14); });                      // fmt too short
    edit([](auto& v) { std::memcpy(v.data() + 12, "junk", 4); });  // no fmt before data
    edit([](auto& v) { std::memcpy(v.data() + 38, "dat ", 4); });  // no data chunk at all

    home.Clear();
    {
        platform::AlsaSoundOutput out;
        for (size_t i = 0; i < bad.size(); ++i) {
            EXPECT_FALSE(fw::ParseWave(bad[i].data(), bad[i].size())) << "image " << i;
            out.PlayWave(bad[i].data(), bad[i].size());
        }
        out.PlayWave(nullptr, 4456);
        EXPECT_TRUE(ReadRecording().empty());

        // The same output still plays a good image afterwards.
        out.PlayWave(good.data(), good.size());
    }
    EXPECT_TRUE(Placed(ReadRecording(), {Tail(good, 46)}));
}

TEST(ParseWave, WalksPastOtherChunksAndPadding) {
    const std::vector<uint8_t> pcm = {1, 2, 3, 4, 5, 6, 7, 8};
    auto v = MakeWave(2, 44100, 16, pcm);
    // Insert an odd-length chunk (with its pad byte) between fmt and data,
    // and trailing bytes beyond the RIFF size.
    const std::vector<uint8_t> list = {'L', 'I', 'S', 'T', 3, 0, 0, 0, 'a', 'b', 'c', 0};
    v.insert(v.begin() + 36, list.begin(), list.end());
    Put32(v, 4, static_cast<uint32_t>(v.size() - 8));
    v.push_back(0xEE);
    v.push_back(0xEE);

    const auto w = fw::ParseWave(v.data(), v.size());
    ASSERT_TRUE(w);
    EXPECT_EQ(w->channels, 2u);
    EXPECT_EQ(w->rate, 44100u);
    EXPECT_EQ(w->bitsPerSample, 16u);
    EXPECT_EQ(w->blockAlign, 4u);
    EXPECT_EQ(w->frames, 2u);
    ASSERT_NE(w->samples, nullptr);
    EXPECT_EQ(std::vector<uint8_t>(w->samples, w->samples + 8), pcm);

    // A partial frame at the end of the data is not played.
    auto odd = MakeWave(2, 8000, 16, {1, 2, 3, 4, 5, 6});
    const auto w2 = fw::ParseWave(odd.data(), odd.size());
    ASSERT_TRUE(w2);
    EXPECT_EQ(w2->frames, 1u);

    const auto clip = FindDtmfClip(2001);
    const auto w3 = fw::ParseWave(clip.data(), clip.size());
    ASSERT_TRUE(w3);
    EXPECT_EQ(w3->frames, 2205u);
    EXPECT_EQ(w3->samples, clip.data() + 46);
}

TEST(AlsaSoundOutput, AMissingDeviceReturnsWithoutPlaying) {
    ASSERT_FALSE(home.dir.empty());
    home.Clear();
    const auto clip = Clip(2001);
    platform::AlsaSoundOutput out("vantrel_no_such_device");
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 3; ++i) out.PlayWave(clip.data(), clip.size());
    // Liveness only: the clips last 300 ms between them, a hang far longer.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_TRUE(ReadRecording().empty());
    // Said once for the three, in ALSA's words.
    const std::optional<std::string> why = out.TakeFailure();
    ASSERT_TRUE(why);
    EXPECT_EQ(why->rfind("the sound device \"vantrel_no_such_device\" cannot be opened: ", 0), 0u) << *why;
    EXPECT_GT(why->size(), std::string("the sound device \"vantrel_no_such_device\" cannot be opened: ").size());
    out.PlayWave(clip.data(), clip.size());
    EXPECT_FALSE(out.TakeFailure());
}

TEST(AlsaSoundOutput, AHangingDeviceReleasesTheCallerAndSkipsPlaysUntilItRecovers) {
    ASSERT_FALSE(home.fifo.empty());
    const auto one = Clip(2002), two = Clip(2003), three = Clip(2004);
    std::vector<uint8_t> heard;
    std::mutex heardMu;
    std::thread reader;
    {
        platform::AlsaSoundOutput out("vantrel_stuck");
        out.PlayWave(one.data(), one.size());  // returns although the device never opened
        out.PlayWave(two.data(), two.size());  // skipped: the first is still stuck
        EXPECT_EQ(out.TakeFailure(), "the sound device \"vantrel_stuck\" does not answer");
        EXPECT_FALSE(out.TakeFailure());

        // Unblock the device and take everything it is given until it is closed.
        reader = std::thread([&] {
            const int fd = open(home.fifo.c_str(), O_RDONLY);
            if (fd < 0) return;
            uint8_t buf[8192];
            for (ssize_t n; (n = read(fd, buf, sizeof buf)) > 0;) {
                std::lock_guard lock(heardMu);
                heard.insert(heard.end(), buf, buf + n);
            }
            close(fd);
        });
        // Once the stuck play is over the output plays again; until then a
        // play is skipped, so offer it until it is heard.
        const auto tail = Tail(three, 46);
        for (int i = 0; i < 20; ++i) {
            out.PlayWave(three.data(), three.size());
            bool found = false;
            for (int j = 0; j < 100 && !found; ++j) {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
                std::lock_guard lock(heardMu);
                found = std::search(heard.begin(), heard.end(), tail.begin(), tail.end()) != heard.end();
            }
            if (found) break;
        }
    }
    reader.join();
    // The first play completes, the skipped one never comes, the later one
    // plays once.
    EXPECT_TRUE(Placed(heard, {Tail(one, 46), Tail(three, 46)})) << heard.size() << " bytes";
}

}  // namespace
