// The parts of the file layer that are the same on every platform.
#include "framework/file_system.h"

#include <atomic>
#include <mutex>
#include <random>

namespace fsys {

namespace {

// Names only this program makes: ".vantrel-<base>@<host>.<pid>.<number>.tmp".
// A save may be killed part-way and a later run must then tell its own
// left-over from a file that merely looks like one, or that a copy on another
// machine sharing the folder is still writing.
constexpr std::string_view kTempPrefix = ".vantrel-";
constexpr std::string_view kTempSuffix = ".tmp";
constexpr size_t kMaxTempBase = 100;
constexpr size_t kMaxTempHost = 64;
constexpr size_t kTempNumberDigits = 16;

bool AllDigits(std::string_view s) {
    if (s.empty() || s.size() > 19) return false;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
    }
    return true;
}

bool AllHexDigits(std::string_view s) {
    for (char c : s) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    }
    return true;
}

// The machine's name as it goes into a temporary file's name: the characters
// of a host name kept, any other one as '_'. It never holds '@', so it is
// found from the end of the name whatever the base holds.
const std::string& HostPart() {
    static const std::string host = [] {
        std::string name = ThisHostName().substr(0, kMaxTempHost);
        for (char& c : name) {
            const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                               (c >= '0' && c <= '9') || c == '-' || c == '.';
            if (!plain) c = '_';
        }
        return name;
    }();
    return host;
}

// The first bytes of a name, cut where no UTF-8 character is split.
std::string_view Prefix(std::string_view s, size_t maxBytes) {
    if (s.size() <= maxBytes) return s;
    size_t cut = maxBytes;
    while (cut > 0 && (static_cast<unsigned char>(s[cut]) & 0xC0) == 0x80) --cut;
    return s.substr(0, cut);
}

}  // namespace

std::string TempFileName(std::string_view base, unsigned long pid, uint64_t number) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string digits(kTempNumberDigits, '0');
    for (size_t i = kTempNumberDigits; i-- > 0; number >>= 4) digits[i] = kHex[number & 15];
    std::string name(kTempPrefix);
    name += Prefix(base, kMaxTempBase);
    name += '@';
    name += HostPart();
    name += '.';
    name += std::to_string(pid);
    name += '.';
    name += digits;
    name += kTempSuffix;
    return name;
}

uint64_t NewTempFileNumber() {
    // Random, so that no one can lay a file or a link in a save's way
    // beforehand; the count keeps two numbers of one run apart even where
    // the random source is poor.
    static std::mutex guard;
    static std::random_device source;
    static std::atomic<uint64_t> count{0};
    uint64_t random;
    {
        std::lock_guard<std::mutex> lock(guard);
        random = (uint64_t{source()} << 32) ^ source();
    }
    return random ^ (count.fetch_add(1) * 0x9E3779B97F4A7C15ull);
}

std::optional<unsigned long> TempFileOwner(std::string_view name) {
    if (name.size() <= kTempPrefix.size() + kTempSuffix.size() ||
        name.substr(0, kTempPrefix.size()) != kTempPrefix ||
        name.substr(name.size() - kTempSuffix.size()) != kTempSuffix) {
        return std::nullopt;
    }
    std::string_view rest = name.substr(kTempPrefix.size(),
                                        name.size() - kTempPrefix.size() - kTempSuffix.size());
    // From the end: the number, the process, the host; what is left is the base.
    const size_t numberDot = rest.rfind('.');
    if (numberDot == std::string_view::npos) return std::nullopt;
    const std::string_view number = rest.substr(numberDot + 1);
    if (number.size() != kTempNumberDigits || !AllHexDigits(number)) return std::nullopt;
    rest = rest.substr(0, numberDot);
    const size_t pidDot = rest.rfind('.');
    if (pidDot == std::string_view::npos) return std::nullopt;
    const std::string_view pid = rest.substr(pidDot + 1);
    if (!AllDigits(pid)) return std::nullopt;
    rest = rest.substr(0, pidDot);
    const size_t at = rest.rfind('@');
    if (at == std::string_view::npos || rest.substr(at + 1) != HostPart()) return std::nullopt;
    const unsigned long long value = std::stoull(std::string(pid));
    if (value == 0 || value > 0xFFFFFFFFull) return std::nullopt;
    return static_cast<unsigned long>(value);
}

}  // namespace fsys
