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

using testing_support::ReadFileBytes;
using testing_support::TempDir;
using testing_support::WriteFileBytes;

inline std::vector<string> Names(const string& dir) {
    std::vector<string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace profile_test
