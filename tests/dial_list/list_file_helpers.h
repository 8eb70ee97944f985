#pragma once
// Shared by the list file tests.
#include <cstring>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <string>
#include <string_view>

#include "dial_list/list_file.h"
#include "support/temp_dir.h"

namespace list_file_test {

namespace fs = std::filesystem;

using testing_support::ReadFileBytes;
using testing_support::TempDir;
using testing_support::WriteFileBytes;


inline void Fill(DialList& list, std::string_view text) {
    for (auto& entry : list) {
        if (!text.empty()) std::memcpy(entry, text.data(), text.size());
        entry[text.size()] = '\0';
    }
}

inline void Set(DialList& list, int index, std::string_view text) {
    if (!text.empty()) std::memcpy(list[index], text.data(), text.size());
    list[index][text.size()] = '\0';
}

// Line 1 and a separator before each given entry line (each line as given,
// line end included).
inline std::string FileOf(std::initializer_list<std::string_view> entryLines) {
    std::string bytes = "\r\n";
    for (auto line : entryLines) {
        bytes += "\r\n";
        bytes += line;
    }
    return bytes;
}

// A list whose entries are all distinct and of many lengths, 255 included.
inline void FillVaried(DialList& list) {
    const std::string dial = "0123456789ABCD*#-,";
    for (int i = 0; i < kListEntries; ++i) {
        const int length = (i * 37) % 256;  // 0 .. 255
        std::string text;
        for (int k = 0; k < length; ++k) text += dial[(i + k) % dial.size()];
        Set(list, i, text);
    }
    Set(list, 7, std::string(255, '9'));
    Set(list, 8, std::string(254, '#'));
    Set(list, 9, std::string(253, ','));
    Set(list, 10, "");
}

}  // namespace list_file_test
