// The parts of the file layer that are the same on every platform.
#include "framework/file_system.h"

namespace fsys {

namespace {

constexpr std::string_view kTempMark = ".tmp";
constexpr size_t kMaxTempBase = 200;

bool AllDigits(std::string_view s) {
    if (s.empty() || s.size() > 19) return false;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
    }
    return true;
}

}  // namespace

std::string TempFileName(std::string_view base, unsigned long pid, unsigned n) {
    std::string name = ".";
    name += base.substr(0, kMaxTempBase);
    name += kTempMark;
    name += std::to_string(pid);
    name += '-';
    name += std::to_string(n);
    return name;
}

std::optional<unsigned long> TempFileOwner(std::string_view name) {
    // "." base ".tmp" pid "-" n, the base not empty; the base may itself hold
    // ".tmp", so the mark is the last one.
    if (name.size() < 2 || name[0] != '.') return std::nullopt;
    const size_t mark = name.rfind(kTempMark);
    if (mark == std::string_view::npos || mark < 2) return std::nullopt;
    const std::string_view tail = name.substr(mark + kTempMark.size());
    const size_t dash = tail.find('-');
    if (dash == std::string_view::npos) return std::nullopt;
    const std::string_view pid = tail.substr(0, dash);
    if (!AllDigits(pid) || !AllDigits(tail.substr(dash + 1))) return std::nullopt;
    const unsigned long long value = std::stoull(std::string(pid));
    if (value == 0 || value > 0xFFFFFFFFull) return std::nullopt;
    return static_cast<unsigned long>(value);
}

}  // namespace fsys
