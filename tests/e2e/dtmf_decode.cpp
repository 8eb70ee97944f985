// Decodes a raw recording (16-bit little-endian mono at the given rate) into the
// DTMF symbols heard and prints them on one line.
//
// By default each 100 ms tone is one symbol. With --receiver it listens as a
// strict telephone receiver does: a symbol counts once it has sounded for
// 40 ms, and a break shorter than 20 ms is no break at all (a receiver must
// ride over breaks of up to 10 ms), so the same symbol either side of such a
// break is a single digit.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/goertzel.h"

namespace {

std::string TonesOf100Ms(const std::vector<int16_t>& samples, double rate) {
    const size_t tone = static_cast<size_t>(rate / 10);
    std::string heard;
    // Bursts separated by silence (a real-time capture); a run of several tones
    // written back to back (a file capture) is taken a tone length at a time.
    for (const auto& burst : goertzel::SplitBursts(samples, rate)) {
        for (size_t at = burst.begin; at + tone / 2 <= burst.end; at += tone) {
            const size_t len = std::min(tone, burst.end - at);
            char c = goertzel::Detect(std::span<const int16_t>(samples).subspan(at, len), rate);
            heard += c ? c : '?';
        }
    }
    return heard;
}

std::string AsReceiver(const std::vector<int16_t>& samples, double rate) {
    constexpr double kBridgeMs = 20, kWindowMs = 25, kStepMs = 5, kRecogniseMs = 40;
    const auto ms = [rate](double m) { return static_cast<size_t>(m * rate / 1000.0); };
    const std::span<const int16_t> all(samples);
    std::string heard;
    for (const auto& burst : goertzel::SplitBursts(samples, rate, kBridgeMs)) {
        // Within one stretch of sound a new digit is a different pair holding
        // for the recognition time; windows across a change decode to nothing.
        char last = 0, run = 0;
        size_t runFrom = 0;
        for (size_t at = burst.begin; at + ms(kWindowMs) <= burst.end; at += ms(kStepMs)) {
            const char c = goertzel::Detect(all.subspan(at, ms(kWindowMs)), rate);
            if (c != run) {
                run = c;
                runFrom = at;
            }
            if (run != 0 && run != last && at + ms(kWindowMs) - runFrom >= ms(kRecogniseMs)) {
                heard += run;
                last = run;
            }
        }
    }
    return heard;
}

}  // namespace

int main(int argc, char** argv) {
    const bool receiver = argc > 1 && !std::strcmp(argv[1], "--receiver");
    if (receiver) {
        --argc;
        ++argv;
    }
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s [--receiver] RAW [RATE]\n", argv[0]);
        return 2;
    }
    const double rate = argc > 2 ? std::atof(argv[2]) : 22050.0;
    std::ifstream in(argv[1], std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
    const std::vector<int16_t> samples = goertzel::SamplesFromBytes(bytes);
    std::printf("%s\n", (receiver ? AsReceiver(samples, rate) : TonesOf100Ms(samples, rate)).c_str());
    return 0;
}
