#pragma once
// A fresh directory for a test, on any platform.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <string_view>

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

// A fresh directory, removed with its contents when the test is done.
class TempDir {
public:
    explicit TempDir(const std::string& prefix = "vantrel-test-") : path_(MakeTempDir(prefix)) {}
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

inline std::string ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteFileBytes(const std::string& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace testing_support
