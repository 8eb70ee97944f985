// Build-time helper for the Windows resources: writes the sixteen tone clips,
// as the program's sample rule makes them, to DIR/dtmf_<id>.wav.
#include <cstdio>
#include <string>

#include "output/tones.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s DIR\n", argv[0]);
        return 2;
    }
    int written = 0;
    for (const ToneEntry& tone : ToneTable()) {
        const auto clip = FindDtmfClip(tone.clipId);
        const std::string path = std::string(argv[1]) + "/dtmf_" + std::to_string(tone.clipId) + ".wav";
        std::FILE* f = std::fopen(path.c_str(), "wb");
        if (!f) {
            std::perror(path.c_str());
            return 1;
        }
        const bool ok = !clip.empty() && std::fwrite(clip.data(), 1, clip.size(), f) == clip.size();
        if (std::fclose(f) != 0 || !ok) {
            std::fprintf(stderr, "%s: not written\n", path.c_str());
            return 1;
        }
        ++written;
    }
    return written == 16 ? 0 : 1;
}
