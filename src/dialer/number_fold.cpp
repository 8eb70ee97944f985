#include "dialer/number_fold.h"

namespace {

// The code point of the well-formed UTF-8 character at text[i] and its
// length; 0 bytes when it is not one.
struct Decoded {
    char32_t cp = 0;
    size_t bytes = 0;
};

Decoded DecodeAt(std::string_view text, size_t i) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[i + k]); };
    const unsigned char lead = byte(0);
    size_t n = 0;
    char32_t cp = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        n = 2, cp = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        n = 3, cp = lead & 0x0F;
    } else {
        return {};  // ASCII, four-byte characters (none folds here) and stray bytes
    }
    if (i + n > text.size()) return {};
    for (size_t k = 1; k < n; ++k) {
        if ((byte(k) & 0xC0) != 0x80) return {};
        cp = cp << 6 | (byte(k) & 0x3F);
    }
    if ((n == 3 && cp < 0x800) || (cp >= 0xD800 && cp <= 0xDFFF)) return {};  // overlong, surrogate
    return {cp, n};
}

bool IsDash(char32_t cp) {
    return (cp >= 0x2010 && cp <= 0x2015)  // hyphen, non-breaking hyphen, figure, en and em dash, bar
           || cp == 0x2212                 // minus sign
           || cp == 0x30FC || cp == 0xFF70  // katakana prolonged sound mark, full and half width
           || cp == 0xFE58 || cp == 0xFE63;  // small em dash, small hyphen-minus
}

bool IsWideSpace(char32_t cp) {
    return (cp >= 0x2000 && cp <= 0x200A) || cp == 0x202F || cp == 0x205F || cp == 0x3000;
}

// The ASCII character the code point folds to; 0 when it folds to none.
char FoldedAscii(char32_t cp) {
    if (cp >= 0xFF01 && cp <= 0xFF5E) return static_cast<char>(cp - 0xFF01 + 0x21);
    if (IsDash(cp)) return '-';
    if (IsWideSpace(cp)) return ' ';
    return 0;
}

}  // namespace

std::string FoldNumberText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const Decoded d = DecodeAt(text, i);
        const char folded = d.bytes ? FoldedAscii(d.cp) : 0;
        if (folded != 0) {
            out += folded;
            i += d.bytes;
        } else {
            const size_t n = d.bytes ? d.bytes : 1;
            out.append(text.substr(i, n));
            i += n;
        }
    }
    return out;
}
