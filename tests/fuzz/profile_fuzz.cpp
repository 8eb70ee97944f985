// Feeds arbitrary profile contents, names and values to the INI rules and
// checks what every edit must keep: the value written reads back, no other key
// changes, one edit touches at most one existing line, edits are idempotent
// and reversible in place, and the file's line end style survives.

#include <fuzzer/FuzzedDataProvider.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "framework/profile_store.h"

namespace {

void Check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
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
