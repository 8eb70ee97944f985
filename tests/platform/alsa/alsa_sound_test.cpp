#include "platform/alsa/alsa_sound.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include "output/tones.h"
#include "support/goertzel.h"

namespace {

// ALSA reads its configuration once per process, so the private HOME whose
// .asoundrc sends "default" into a file must be in place before any test runs.
struct RecordingHome {
    std::string dir;
    std::string recording;
    std::string fifo;
    RecordingHome() {
        char pattern[] = "/tmp/vantrel-alsa-XXXXXX";
        const char* made = mkdtemp(pattern);
        if (made == nullptr) return;
        dir = made;
        recording = dir + "/recording.raw";
        fifo = dir + "/fifo";
        if (mkfifo(fifo.c_str(), 0600) != 0) fifo.clear();
        std::ofstream(dir + "/.asoundrc") << "pcm.!default {\n"
                                             "    type file\n"
                                             "    slave.pcm \"null\"\n"
                                             "    file \"" << recording << "\"\n"
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
};
RecordingHome home;

std::vector<uint8_t> ReadRecording() {
    std::ifstream in(home.recording, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
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
    std::remove(home.recording.c_str());
    platform::AlsaSoundOutput out;

    const auto one = Clip(2002);
    out.PlayWave(one.data(), one.size());
    const auto first = ReadRecording();
    ASSERT_EQ(first, Tail(one, 46));
    EXPECT_EQ(goertzel::Detect(goertzel::SamplesFromBytes(first), 22050), '1');

    // Same format again: the device stays open and the tones follow one another.
    const auto hash = Clip(2016);
    out.PlayWave(hash.data(), hash.size());
    const auto both = ReadRecording();
    ASSERT_EQ(both.size(), 2 * 4410u);
    EXPECT_EQ(Tail(both, 4410), Tail(hash, 46));
    const auto samples = goertzel::SamplesFromBytes(both);
    EXPECT_EQ(goertzel::Detect(std::span(samples).first(2205), 22050), '1');
    EXPECT_EQ(goertzel::Detect(std::span(samples).last(2205), 22050), '#');

    // Another format has the device set up afresh, and the bytes reach it unchanged.
    std::vector<uint8_t> frames;
    for (int i = 0; i < 600; ++i) frames.push_back(static_cast<uint8_t>(i * 7 + 3));
    const auto stereo24 = MakeWave(2, 8000, 24, frames);
    out.PlayWave(stereo24.data(), stereo24.size());
    const auto after = ReadRecording();
    ASSERT_GE(after.size(), frames.size());
    EXPECT_EQ(Tail(after, after.size() - frames.size()), frames);

    const auto eightBit = MakeWave(1, 11025, 8, {0x80, 0x90, 0xA0, 0x70, 0x01, 0xFF});
    out.PlayWave(eightBit.data(), eightBit.size());
    const auto last = ReadRecording();
    ASSERT_GE(last.size(), 6u);
    EXPECT_EQ(Tail(last, last.size() - 6), Tail(eightBit, 44));
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

    std::remove(home.recording.c_str());
    platform::AlsaSoundOutput out;
    for (size_t i = 0; i < bad.size(); ++i) {
        EXPECT_FALSE(platform::ParseWave(bad[i].data(), bad[i].size())) << "image " << i;
        out.PlayWave(bad[i].data(), bad[i].size());
    }
    out.PlayWave(nullptr, 4456);
    EXPECT_TRUE(ReadRecording().empty());

    // The same output still plays a good image afterwards.
    out.PlayWave(good.data(), good.size());
    EXPECT_EQ(ReadRecording(), Tail(good, 46));
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

    const auto w = platform::ParseWave(v.data(), v.size());
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
    const auto w2 = platform::ParseWave(odd.data(), odd.size());
    ASSERT_TRUE(w2);
    EXPECT_EQ(w2->frames, 1u);

    const auto clip = FindDtmfClip(2001);
    const auto w3 = platform::ParseWave(clip.data(), clip.size());
    ASSERT_TRUE(w3);
    EXPECT_EQ(w3->frames, 2205u);
    EXPECT_EQ(w3->samples, clip.data() + 46);
}

TEST(AlsaSoundOutput, AMissingDeviceReturnsWithoutPlaying) {
    ASSERT_FALSE(home.dir.empty());
    std::remove(home.recording.c_str());
    const auto clip = Clip(2001);
    platform::AlsaSoundOutput out("vantrel_no_such_device");
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 3; ++i) out.PlayWave(clip.data(), clip.size());
    // Liveness only: the clips last 300 ms between them, a hang far longer.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_TRUE(ReadRecording().empty());
}

// Reads what has reached the FIFO within a short while.
std::vector<uint8_t> Drain(int fd, size_t want) {
    std::vector<uint8_t> got;
    uint8_t buf[8192];
    while (got.size() < want) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 3000) <= 0) break;
        const ssize_t n = read(fd, buf, sizeof buf);
        if (n <= 0) break;
        got.insert(got.end(), buf, buf + n);
    }
    return got;
}

TEST(AlsaSoundOutput, AHangingDeviceReleasesTheCallerAndSkipsPlaysUntilItRecovers) {
    ASSERT_FALSE(home.fifo.empty());
    platform::AlsaSoundOutput out("vantrel_stuck");
    const auto one = Clip(2002), two = Clip(2003), three = Clip(2004);
    out.PlayWave(one.data(), one.size());  // returns although the device never opened
    out.PlayWave(two.data(), two.size());  // skipped: the first is still stuck

    // Unblock the device: the first play completes, the skipped one never comes.
    const int fd = open(home.fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(Drain(fd, 4410), Tail(one, 46));

    // Once the stuck play is over the output plays again; until then a play
    // may still be skipped, so offer it a few times.
    std::vector<uint8_t> next;
    for (int i = 0; i < 50 && next.empty(); ++i) {
        out.PlayWave(three.data(), three.size());
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 100) > 0) next = Drain(fd, 4410);
    }
    EXPECT_EQ(next, Tail(three, 46));
    pollfd p{fd, POLLIN, 0};
    EXPECT_EQ(poll(&p, 1, 200), 0) << "nothing more was played";
    close(fd);
}

}  // namespace
