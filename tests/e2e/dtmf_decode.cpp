// Decodes a raw recording (16-bit little-endian mono at the given rate) into the
// DTMF symbols heard, one per 100 ms tone, and prints them on one line.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/goertzel.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s RAW [RATE]\n", argv[0]);
        return 2;
    }
    const double rate = argc > 2 ? std::atof(argv[2]) : 22050.0;
    std::ifstream in(argv[1], std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
    const std::vector<int16_t> samples = goertzel::SamplesFromBytes(bytes);
    const size_t tone = static_cast<size_t>(rate / 10);  // a tone lasts 100 ms

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
    std::printf("%s\n", heard.c_str());
    return 0;
}
