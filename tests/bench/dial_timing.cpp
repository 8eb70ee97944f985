// Records a sound server's monitor and measures a speaker dial in it. Run
// through dial_timing.sh, which starts the program and a private server.
//
//   dial_timing record SOURCE PREFIX
//       Records SOURCE (22050 Hz mono s16) into PREFIX.raw until SIGTERM, and
//       notes in PREFIX.times when each block arrived (sample count after the
//       block, CLOCK_REALTIME seconds).
//   dial_timing press KEYSYM
//       Presses a key on the X display and lets it go; prints the CLOCK_REALTIME
//       seconds just before the release was sent and once the server had it
//       (buttons act on the release).
//   dial_timing analyse PREFIX DIAL PLAYWAIT CHARWAIT MINUSWAIT [PRESS_BEFORE PRESS_AFTER]
//       Finds the tones, checks they spell the dialled symbols, and prints each
//       gap from the end of one tone to the start of the next against the wait
//       the dial should leave there, and the time from the Dial key press
//       (CLOCK_REALTIME seconds, before and after the key was sent) to the
//       first sample of the first tone.

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <X11/Xlib.h>

#include "output/dial_step.h"
#include "output/tones.h"
#include "bench/clock_and_keys.h"
#include "support/goertzel.h"

namespace {

constexpr double kRate = 22050.0;
std::atomic<bool> stop{false};

int Record(const std::string& source, const std::string& prefix) {
    int fds[2];
    if (pipe(fds) != 0) return 1;
    const char* block = std::getenv("DIAL_TIMING_BLOCK_MS");
    const std::string latency = std::string("--latency-msec=") + (block != nullptr ? block : "5");
    const pid_t child = fork();
    if (child == 0) {
        dup2(fds[1], 1);
        close(fds[0]);
        close(fds[1]);
        // Small blocks (5 ms unless DIAL_TIMING_BLOCK_MS says otherwise): they
        // keep the null sink rendering in blocks that size too, as a sound
        // card would, and each arrives soon after it was rendered.
        execlp("parec", "parec", "-d", source.c_str(), "--raw", "--format=s16le", "--rate=22050",
               "--channels=1", latency.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    struct sigaction sa {};
    sa.sa_handler = [](int) { stop = true; };
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);

    FILE* raw = std::fopen((prefix + ".raw").c_str(), "wb");
    FILE* times = std::fopen((prefix + ".times").c_str(), "w");
    if (raw == nullptr || times == nullptr) return 1;
    std::vector<char> buf(65536);
    unsigned long long bytes = 0;
    while (!stop) {
        const ssize_t n = read(fds[0], buf.data(), buf.size());
        const double at = Now();
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        std::fwrite(buf.data(), 1, static_cast<size_t>(n), raw);
        bytes += static_cast<unsigned long long>(n);
        std::fprintf(times, "%llu %.6f\n", bytes / 2, at);
    }
    kill(child, SIGTERM);
    waitpid(child, nullptr, 0);
    std::fclose(raw);
    std::fclose(times);
    return 0;
}

// Zero samples at the start and at the end of a clip: a burst found by its
// first and last non-zero sample is that much shorter than the clip.
std::pair<size_t, size_t> ClipZeroEnds(char symbol) {
    const auto clip = FindDtmfClip(ClipIdForSymbol(symbol));
    if (clip.size() <= 46) return {0, 0};
    const auto s = goertzel::SamplesFromBytes(clip.subspan(46));
    size_t lead = 0, trail = 0;
    while (lead < s.size() && s[lead] == 0) ++lead;
    while (trail < s.size() && s[s.size() - 1 - trail] == 0) ++trail;
    return {lead, trail};
}

void Stats(const char* what, std::vector<double> v) {
    if (v.empty()) return;
    std::sort(v.begin(), v.end(), [](double a, double b) { return std::fabs(a) < std::fabs(b); });
    std::printf("%s: median |error| %.2f ms, worst |error| %.2f ms (n=%zu)\n", what,
                std::fabs(v[(v.size() - 1) / 2]), std::fabs(v.back()), v.size());
}

int Analyse(int argc, char** argv) {
    const std::string prefix = argv[2], dial = argv[3];
    const int playWait = std::atoi(argv[4]), charWait = std::atoi(argv[5]), minusWait = std::atoi(argv[6]);
    std::ifstream in(prefix + ".raw", std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
    const auto samples = goertzel::SamplesFromBytes(bytes);

    // Silence from the sink is exact zeros; the gaps between tones are far
    // longer than the 5 ms it takes to split them.
    const auto bursts = goertzel::SplitBursts(samples, kRate, 5.0, 0);
    std::string heard;
    for (const auto& b : bursts) heard += b.symbol ? b.symbol : '?';

    // What the dial should sound: its tones, and the wait due before each.
    std::string tones;
    std::vector<int> due;  // due[i]: ms from the end of tone i-1 to tone i
    int wait = 0;
    for (char c : dial) {
        const DialStepDecision step = DecideDialStep(c, playWait, charWait, minusWait);
        if (step.clipId != 0) {
            tones += c;
            due.push_back(wait);
            wait = 0;
        }
        wait += step.waitMs;
    }
    std::printf("dialled %s, heard %s: %s\n", tones.c_str(), heard.c_str(),
                heard == tones ? "every tone, in order" : "MISMATCH");
    if (heard != tones) return 1;

    std::vector<double> playErrors, otherErrors;
    for (size_t i = 0; i < bursts.size(); ++i) {
        const auto [lead, trail] = ClipZeroEnds(heard[i]);
        const double begin = static_cast<double>(bursts[i].begin) - static_cast<double>(lead);
        const double end = static_cast<double>(bursts[i].end) + static_cast<double>(trail);
        std::printf("tone %2zu '%c' at %9.2f ms, %6.2f ms long", i, heard[i], begin / kRate * 1000,
                    (end - begin) / kRate * 1000);
        if (i > 0) {
            const auto [lead0, trail0] = ClipZeroEnds(heard[i - 1]);
            const double prevEnd = static_cast<double>(bursts[i - 1].end) + static_cast<double>(trail0);
            const double gap = (begin - prevEnd) / kRate * 1000;
            const double error = gap - due[i];
            std::printf(", gap %7.2f ms (due %4d, error %+6.2f)", gap, due[i], error);
            (due[i] == playWait ? playErrors : otherErrors).push_back(error);
        }
        std::printf("\n");
    }
    char label[64];
    std::snprintf(label, sizeof label, "gaps due %d ms", playWait);
    Stats(label, playErrors);
    Stats("other gaps", otherErrors);

    if (argc >= 9 && !bursts.empty()) {
        // A sample's time at the sink: the block that carried it arrived after
        // it was rendered, so the earliest arrival less the samples before it
        // bounds when the recording's first sample was rendered.
        std::ifstream t(prefix + ".times");
        double origin = 1e300, spreadSum = 0;
        std::vector<double> offsets;
        unsigned long long count = 0;
        double at = 0;
        while (t >> count >> at) offsets.push_back(at - static_cast<double>(count) / kRate);
        for (double o : offsets) origin = std::min(origin, o);
        std::sort(offsets.begin(), offsets.end());
        for (double o : offsets) spreadSum += o - origin;
        const auto [lead, trail] = ClipZeroEnds(heard[0]);
        const double first = origin + (static_cast<double>(bursts[0].begin) - lead) / kRate;
        const double before = std::atof(argv[7]), after = std::atof(argv[8]);
        std::printf("Dial key to first tone: %.1f ms from the key's release reaching the X server "
                    "(%.1f ms from sending it); block arrival beyond the earliest: median %.1f ms, mean %.1f ms\n",
                    (first - after) * 1000, (first - before) * 1000,
                    offsets.empty() ? 0.0 : (offsets[offsets.size() / 2] - origin) * 1000,
                    offsets.empty() ? 0.0 : spreadSum / offsets.size() * 1000);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 4 && !std::strcmp(argv[1], "record")) return Record(argv[2], argv[3]);
    if (argc >= 3 && !std::strcmp(argv[1], "press")) return Press(argv[2]);
    if (argc >= 7 && !std::strcmp(argv[1], "analyse")) return Analyse(argc, argv);
    std::fprintf(stderr,
                 "usage: %s record SOURCE PREFIX\n"
                 "       %s press KEYSYM\n"
                 "       %s analyse PREFIX DIAL PLAYWAIT CHARWAIT MINUSWAIT [PRESS_BEFORE PRESS_AFTER]\n",
                 argv[0], argv[0], argv[0]);
    return 2;
}
