#include "dialer/number_text.h"

#include <algorithm>
#include <cstdio>

#include "dialer/number_fold.h"
#include "framework/translation.h"

namespace {

bool IsDialChar(char c) {
    return (c >= '0' && c <= '9') || c == '*' || c == '#' || (c >= 'A' && c <= 'D') || c == ',' ||
           c == '-';
}

char ToUpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// Bytes of the UTF-8 character starting at text[i] (1 for anything malformed).
size_t CharLength(std::string_view text, size_t i) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    size_t n = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    if (i + n > text.size()) return 1;
    for (size_t k = 1; k < n; ++k)
        if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return 1;
    return n;
}

// Spaces people put between digit groups, including the no-break spaces that
// word processors and web pages use.
size_t BlankLength(std::string_view text, size_t i) {
    const char c = text[i];
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') return 1;
    const std::string_view rest = text.substr(i);
    for (std::string_view nbsp : {"\xC2\xA0", "\xE2\x80\xAF", "\xE2\x80\x89"})
        if (rest.substr(0, nbsp.size()) == nbsp) return nbsp.size();
    return 0;
}

bool IsVisualSeparator(char c) { return c == '(' || c == ')' || c == '.' || c == '/'; }

// A printable character is shown as itself; a control character by its code.
std::string Describe(std::string_view ch) {
    const unsigned char c = static_cast<unsigned char>(ch[0]);
    if (ch.size() == 1 && (c < 0x20 || c == 0x7F || c >= 0x80)) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "0x%02X", c);
        return buf;
    }
    std::string quoted = "\"";
    quoted.append(ch);
    quoted += '"';
    return quoted;
}

NormalizedNumber Refuse(std::string message) {
    NormalizedNumber r;
    r.message = std::move(message);
    return r;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    c = ToUpperAscii(c);
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Browsers hand tel: links over with their escapes (%2B for the plus).
std::string DecodePercent(std::string_view s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size()) {
            const int hi = HexValue(s[i + 1]), lo = HexValue(s[i + 2]);
            if (hi >= 0 && lo >= 0) {
                out += static_cast<char>(hi * 16 + lo);
                i += 2;
                continue;
            }
        }
        out += s[i];
    }
    return out;
}

// A "(0)" written after a country code: the trunk digit dialled within the
// country, which an international call leaves out. Its length, else 0.
size_t TrunkZeroLength(std::string_view text, size_t i) {
    size_t k = i + 1;
    while (k < text.size() && BlankLength(text, k) > 0) k += BlankLength(text, k);
    if (k >= text.size() || text[k] != '0') return 0;
    ++k;
    while (k < text.size() && BlankLength(text, k) > 0) k += BlankLength(text, k);
    if (k >= text.size() || text[k] != ')') return 0;
    return k + 1 - i;
}

// The parameters of a tel: link (";ext=12;isub=3"), named for the user. Shown
// in a message box, so control characters are masked and the list is bounded.
std::string NoteDroppedParameters(std::string_view params) {
    constexpr size_t kShownParameters = 4, kShownBytes = 40;
    std::string named;
    size_t count = 0;
    bool extension = false;
    while (!params.empty()) {
        params.remove_prefix(1);  // the ';'
        const size_t end = params.find(';');
        const std::string param = DecodePercent(params.substr(0, end));
        params = end == std::string_view::npos ? std::string_view() : params.substr(end);
        if (param.empty()) continue;
        std::string name = param.substr(0, param.find('='));
        for (char& c : name) c = ToUpperAscii(c);
        extension = extension || name == "EXT";
        if (++count > kShownParameters) continue;
        std::string shown = ";";
        size_t i = 0;
        while (i < param.size() && i + CharLength(param, i) <= kShownBytes) {
            const size_t n = CharLength(param, i);
            const unsigned char c = static_cast<unsigned char>(param[i]);
            shown += c < 0x20 || c == 0x7F ? std::string("?") : param.substr(i, n);
            i += n;
        }
        if (i < param.size()) shown += "...";
        named += (named.empty() ? "\"" : ", \"") + shown + '"';
    }
    if (count == 0) return "";
    if (count > kShownParameters)
        named += fw::TrFormat(" and %d more", int(count - kShownParameters));
    std::string note =
        fw::TrFormat("Not dialed: %s from the link; only the number is dialed.", named.c_str());
    if (extension) note += fw::Tr(" Dial the extension yourself once the call is answered.");
    return note;
}

}  // namespace

NormalizedNumber NormalizeNumber(std::string_view text, std::string_view intlPrefix) {
    const std::string folded = FoldNumberText(text);
    text = folded;
    size_t start = 0;
    while (start < text.size() && BlankLength(text, start) > 0) start += BlankLength(text, start);
    text.remove_prefix(start);

    std::string decoded, note;
    const std::string_view scheme = "tel:";
    bool isUri = text.size() >= scheme.size();
    for (size_t i = 0; isUri && i < scheme.size(); ++i)
        if (ToUpperAscii(text[i]) != ToUpperAscii(scheme[i])) isUri = false;
    if (isUri) {
        // Parameters (;ext=, ;phone-context=, ...) are not part of what is dialed.
        std::string_view number = text.substr(scheme.size());
        const size_t params = std::min(number.find(';'), number.size());
        note = NoteDroppedParameters(number.substr(params));
        decoded = DecodePercent(number.substr(0, params));
        text = decoded;
    }

    NormalizedNumber result;
    bool anyKept = false;
    // Digits of the country code after a '+', while only those (and grouping
    // hyphens) have been kept since it; -1 once anything else comes.
    int countryDigits = -1;
    for (size_t i = 0; i < text.size();) {
        if (const size_t blank = BlankLength(text, i)) {
            i += blank;
            continue;
        }
        const char c = ToUpperAscii(text[i]);
        if (c == '(' && countryDigits >= 1 && countryDigits <= 3) {
            if (const size_t trunk = TrunkZeroLength(text, i)) {
                i += trunk;
                countryDigits = -1;
                continue;
            }
        }
        // In a tel: link a hyphen only groups digits, as a dot does; typed or
        // pasted as plain text it is the dialer's own pause character.
        if (IsVisualSeparator(c) || (isUri && c == '-')) {
            ++i;
            continue;
        }
        if (IsDialChar(c)) {
            if (c >= '0' && c <= '9') {
                if (countryDigits >= 0) ++countryDigits;
            } else if (c != '-') {
                countryDigits = -1;
            }
            result.dial += c;
            anyKept = true;
            ++i;
            continue;
        }
        if (c == '+' && !anyKept) {
            if (intlPrefix.empty()) {
                NormalizedNumber refused = Refuse(std::string(fw::Tr(
                    "The number starts with \"+\", but no international call prefix is set "
                    "(IntlPrefix, for example 00 or 010).")));
                refused.needsIntlPrefix = true;
                return refused;
            }
            for (char p : intlPrefix)
                if (!IsDialChar(p))
                    return Refuse(fw::TrFormat(
                        "The international call prefix IntlPrefix in the [Dial] section of the "
                        "profile contains %s, which cannot be dialed. Correct it in vantrel.ini.",
                        Describe(std::string_view(&p, 1)).c_str()));
            result.dial += intlPrefix;
            anyKept = true;
            countryDigits = 0;
            ++i;
            continue;
        }
        const size_t n = CharLength(text, i);
        return Refuse(fw::TrFormat("The number cannot be dialed: it contains %s. Only digits, *, #, "
                                   "A to D, commas and hyphens can be dialed.",
                                   Describe(text.substr(i, n)).c_str()));
    }
    if (!anyKept) return Refuse(std::string(fw::Tr("There is no telephone number in the text.")));
    result.ok = true;
    result.note = std::move(note);
    return result;
}
