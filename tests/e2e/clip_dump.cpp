// Writes the raw samples of the tone clips for the given symbols to stdout, in
// order, as the sound device should receive them.
#include <cstdio>
#include <cstring>

#include "output/tones.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s SYMBOLS\n", argv[0]);
        return 2;
    }
    constexpr size_t kHeader = 46;  // RIFF, fmt and data chunk headers
    for (const char* p = argv[1]; *p; ++p) {
        auto clip = FindDtmfClip(ClipIdForSymbol(*p));
        if (clip.size() <= kHeader) {
            std::fprintf(stderr, "no clip for '%c'\n", *p);
            return 1;
        }
        std::fwrite(clip.data() + kHeader, 1, clip.size() - kHeader, stdout);
    }
    return 0;
}
