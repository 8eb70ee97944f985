#pragma once
// Shared by the profile store tests.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "framework/profile_store.h"
#include "support/temp_dir.h"

namespace profile_test {

namespace fs = std::filesystem;
using std::string;

class TempDir {
public:
    TempDir() : path_(testing_support::MakeTempDir("profile_test.")) {}
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    string operator/(const string& name) const { return path_ + "/" + name; }
    const string& path() const { return path_; }

private:
    string path_;
};

inline string ReadAll(const string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void WriteAll(const string& path, const string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

inline std::vector<string> Names(const string& dir) {
    std::vector<string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace profile_test
