// Feeds arbitrary profile contents, names and values to the INI rules and
// checks what every edit must keep: the value written reads back, no other key
// changes, one edit touches at most one existing line, edits are idempotent
// and reversible in place, and the file's line end style survives. The same
// edit then goes through the profile store on a scratch folder (lock, read,
// write, rename; in place for a hard-linked profile), now and then on a
// profile grown to about the 1 MiB limit, where a larger one is left alone.

#include <fuzzer/FuzzedDataProvider.h>
#include <unistd.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "framework/file_system.h"
#include "framework/profile_store.h"
#include "fuzz/fuzz_folder.h"

namespace {

using fuzz_support::Check;
using fuzz_support::In;

std::string Normal(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    std::string out(s);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

std::string ReadBack(std::string_view v) {
    std::string out(v);
    for (char& c : out) {
        if (c == '\r' || c == '\n') c = ' ';
    }
    return out;
}

// Independent statement of the integer rule: saturate by digit count first.
int ReferenceInt(std::string_view v) {
    size_t i = 0;
    while (i < v.size() && (v[i] == ' ' || v[i] == '\t')) ++i;
    bool neg = false;
    if (i < v.size() && (v[i] == '+' || v[i] == '-')) neg = v[i++] == '-';
    while (i < v.size() && v[i] == '0') ++i;
    std::string digits;
    while (i < v.size() && v[i] >= '0' && v[i] <= '9') digits += v[i++];
    if (digits.size() > 10) return neg ? INT_MIN : INT_MAX;
    long long n = digits.empty() ? 0 : std::stoll(digits);
    if (neg) n = -n;
    if (n > INT_MAX) return INT_MAX;
    if (n < INT_MIN) return INT_MIN;
    return static_cast<int>(n);
}

bool CrlfOnly(const std::string& s) {
    bool any = false;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\n') {
            if (i == 0 || s[i - 1] != '\r') return false;
            any = true;
        }
    }
    return any;
}

// The part of `before` that an edit replaced holds no line end: every other
// line is kept byte for byte.
bool OneLineTouched(const std::string& before, const std::string& after) {
    size_t p = 0;
    while (p < before.size() && p < after.size() && before[p] == after[p]) ++p;
    size_t q = 0;
    while (q < before.size() - p && q < after.size() - p &&
           before[before.size() - 1 - q] == after[after.size() - 1 - q]) {
        ++q;
    }
    return before.find('\n', p) >= before.size() - q;
}

std::string FileBytes(const std::string& path) {
    std::string bytes;
    Check(fsys::ReadFile(path, bytes, SIZE_MAX, true) == fsys::ReadStatus::Ok, "read back");
    return bytes;
}

// Writes onDisk as the profile, then reads and writes it through the store.
void DriveStore(const std::string& onDisk, const std::string& section, const std::string& key,
                const std::string& value, const std::string& section2, const std::string& key2,
                bool linked) {
    constexpr size_t kMax = fw::ProfileStore::kMaxProfileBytes;
    const std::string path = In("vantrel.ini");
    const std::string other = In("other-name.ini");
    Check(fsys::ReplaceFileContents(path, onDisk) == fsys::WriteStatus::Ok, "profile saved");
    if (linked) Check(link(path.c_str(), other.c_str()) == 0, "hard link made");

    fw::ProfileStore store(path);
    const bool tooLarge = onDisk.size() > kMax;
    Check(store.State() == (tooLarge ? fw::ProfileState::TooLarge : fw::ProfileState::Usable),
          "state by size");
    const std::string kDefault = "\x01" "default";
    const std::string expected =
        tooLarge ? kDefault : fw::IniLookup(onDisk, section2, key2).value_or(kDefault);
    Check(store.GetString(section2, key2, kDefault) == expected, "store reads as the rules");

    const bool wrote = store.WriteString(section, key, value);
    const std::string after = FileBytes(path);
    if (tooLarge) {
        const bool refused = store.LastWriteResult() == fw::ProfileStore::WriteResult::NotUsed ||
                             !fw::IniNamesStorable(section, key);
        Check(!wrote && refused, "too large: write refused");
        Check(after == onDisk, "too large: never overwritten");
    } else if (!fw::IniNamesStorable(section, key)) {
        Check(!wrote && after == onDisk, "refused names: file alone");
    } else {
        const std::string updated = fw::IniSet(onDisk, section, key, value);
        if (updated.size() > kMax) {
            Check(!wrote && after == onDisk, "no write past the limit");
        } else {
            Check(wrote && after == updated, "file holds the edit");
            Check(store.GetString(section, key, kDefault) == ReadBack(value), "store reads the edit");
            Check(fw::ProfileStore(path).GetString(section, key, kDefault) == ReadBack(value),
                  "another store reads the edit");
        }
    }
    if (linked) {
        Check(FileBytes(other) == after, "hard link kept");
        unlink(other.c_str());
    }
    {
        fsys::FileLock held(store.LockPath(), true, std::chrono::milliseconds(0));
        Check(held.Held(), "lock free after the write");
        fsys::FileLock second(store.LockPath(), false, std::chrono::milliseconds(0));
        Check(second.Status() == fsys::LockStatus::Busy, "held lock refused");
    }
    std::vector<std::string> names = fuzz_support::Names();
    const bool tidy = names == std::vector<std::string>{"vantrel.ini", "vantrel.ini.lock"} ||
                      names == std::vector<std::string>{"vantrel.ini"};
    Check(tidy, "no temporary file left");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const bool linked = in.ConsumeBool();
    // Now and then the profile is grown to around the size limit. Chosen by
    // the input's length, which most mutations change, so that grown inputs
    // (a copy of a megabyte each) do not crowd out the rest.
    const bool grown = size % 32 == 31;
    const size_t grownSize = in.ConsumeIntegralInRange<size_t>(fw::ProfileStore::kMaxProfileBytes - 64,
                                                               fw::ProfileStore::kMaxProfileBytes + 64);
    std::string section = in.ConsumeRandomLengthString(24);
    std::string key = in.ConsumeRandomLengthString(24);
    std::string value = in.ConsumeRandomLengthString(48);
    std::string value2 = in.ConsumeRandomLengthString(16);
    std::string section2 = in.ConsumeRandomLengthString(24);
    std::string key2 = in.ConsumeRandomLengthString(24);
    std::string contents = in.ConsumeRemainingBytesAsString();

    Check(fw::ParseProfileInt(contents) == ReferenceInt(contents), "integer of contents");
    Check(fw::ParseProfileInt(value) == ReferenceInt(value), "integer of value");
    (void)fw::IniLookup(contents, section2, key2);

    // Grown by a long comment line after the fuzzed text, which keeps the
    // text's keys where they were.
    std::string onDisk = contents;
    if (grown && onDisk.size() + 2 < grownSize) {
        onDisk += "\n;";
        onDisk.resize(grownSize, 'x');
    }
    DriveStore(onDisk, section, key, value, section2, key2, linked);

    std::string after = fw::IniSet(contents, section, key, value);
    if (!fw::IniNamesStorable(section, key)) {
        Check(after == contents, "refused names leave the contents alone");
        return 0;
    }
    std::optional<std::string> got = fw::IniLookup(after, section, key);
    Check(got && *got == ReadBack(value), "value written reads back");
    if (fw::ParseProfileInt(value) != 0 || !got->empty()) {
        Check(fw::ParseProfileInt(*got) == fw::ParseProfileInt(ReadBack(value)), "integer reads back");
    }

    bool sameKey = Normal(section) == Normal(section2) && Normal(key) == Normal(key2);
    if (!sameKey) {
        Check(fw::IniLookup(after, section2, key2) == fw::IniLookup(contents, section2, key2),
              "other keys unchanged");
    }
    Check(OneLineTouched(contents, after), "other lines kept");
    Check(fw::IniSet(after, section, key, value) == after, "idempotent");
    Check(fw::IniSet(fw::IniSet(after, section, key, value2), section, key, value) == after,
          "replaced in place");

    bool noCr = contents.find('\r') == std::string::npos && value.find('\r') == std::string::npos;
    if (noCr) Check(after.find('\r') == std::string::npos, "LF file stays LF");
    if (CrlfOnly(contents)) Check(CrlfOnly(after), "CR LF file stays CR LF");
    return 0;
}
