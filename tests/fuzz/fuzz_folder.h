#pragma once
// A scratch folder for the fuzz targets' file work, made once per run and
// removed at exit. Memory-backed (/dev/shm) when there is one, so the syncs
// that every save makes cost nothing and wear no disk.
#include <dirent.h>
#include <algorithm>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace fuzz_support {

inline const std::string& Folder() {
    static const std::string folder = [] {
        const char* env = std::getenv("FUZZ_TMPDIR");
        std::string base = env != nullptr ? env : (access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp");
        std::string templ = base + "/vantrel-fuzz-XXXXXX";
        if (mkdtemp(templ.data()) == nullptr) {
            std::perror("mkdtemp");
            std::abort();
        }
        static std::string made = templ;
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(made, ec);
        });
        return templ;
    }();
    return folder;
}

inline std::string In(const std::string& name) { return Folder() + "/" + name; }

// Every name in the folder, sorted; a left-over temporary file shows here.
inline std::vector<std::string> Names() {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(Folder())) {
        names.push_back(e.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

inline void Check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

}  // namespace fuzz_support
