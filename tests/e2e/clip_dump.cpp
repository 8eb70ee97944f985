// With SYMBOLS: writes the raw samples of those symbols' tone clips to stdout.
// With SYMBOLS RECORDING: checks that a raw recording holds exactly those clips,
// in order, with nothing but silence (zero samples) before, between and after.
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <span>
#include <string>
#include <vector>

#include "output/tones.h"

namespace {
constexpr size_t kHeader = 46;  // RIFF, fmt and data chunk headers

bool Silent(const std::vector<char>& bytes, size_t from, size_t to) {
    return std::all_of(bytes.begin() + long(from), bytes.begin() + long(to),
                       [](char b) { return b == 0; });
}
}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: %s SYMBOLS [RECORDING]\n", argv[0]);
        return 2;
    }
    std::vector<std::span<const uint8_t>> clips;
    for (const char* p = argv[1]; *p; ++p) {
        auto clip = FindDtmfClip(ClipIdForSymbol(*p));
        if (clip.size() <= kHeader) {
            std::fprintf(stderr, "no clip for '%c'\n", *p);
            return 2;
        }
        clips.push_back(clip.subspan(kHeader));
    }
    if (argc == 2) {
        for (auto c : clips) std::fwrite(c.data(), 1, c.size(), stdout);
        return 0;
    }
    std::ifstream in(argv[2], std::ios::binary);
    const std::vector<char> rec((std::istreambuf_iterator<char>(in)), {});
    size_t pos = 0;
    for (size_t i = 0; i < clips.size(); ++i) {
        auto it = std::search(rec.begin() + long(pos), rec.end(), clips[i].begin(), clips[i].end(),
                              [](char a, uint8_t b) { return uint8_t(a) == b; });
        if (it == rec.end()) {
            std::fprintf(stderr, "clip %zu ('%c') not found after byte %zu\n", i + 1, argv[1][i], pos);
            return 1;
        }
        const size_t at = size_t(it - rec.begin());
        if (!Silent(rec, pos, at) || (at - pos) % 2 != 0) {
            std::fprintf(stderr, "sound other than clip %zu between bytes %zu and %zu\n", i + 1, pos, at);
            return 1;
        }
        pos = at + clips[i].size();
    }
    if (!Silent(rec, pos, rec.size())) {
        std::fprintf(stderr, "sound after the last clip, from byte %zu\n", pos);
        return 1;
    }
    std::printf("%zu clips found exactly, in order\n", clips.size());
    return 0;
}
