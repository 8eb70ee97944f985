#pragma once
// A fresh directory for a test, on any platform.
#include <filesystem>
#include <random>
#include <string>

namespace testing_support {

// Makes a new directory named prefix + a random number under the system's
// temporary folder and returns its path with '/' separators.
inline std::string MakeTempDir(const std::string& prefix) {
    namespace fs = std::filesystem;
    std::random_device entropy;
    for (;;) {
        const fs::path candidate = fs::temp_directory_path() / (prefix + std::to_string(entropy()));
        if (fs::create_directory(candidate)) return candidate.generic_string();
    }
}

}  // namespace testing_support
