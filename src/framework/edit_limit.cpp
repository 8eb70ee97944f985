#include "framework/edit_limit.h"

#include <algorithm>

#include "framework/byte_text.h"

namespace fw {
namespace {

bool IsHigh(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool IsLow(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

size_t BytesOf(std::u16string_view text) { return Utf16ToBytes(text).size(); }

// How many units of `text`, from its front and in whole characters, fit in `room` bytes.
size_t UnitsThatFit(std::u16string_view text, size_t room) {
    size_t units = 0, bytes = 0;
    while (units < text.size()) {
        const size_t n = IsHigh(text[units]) && units + 1 < text.size() && IsLow(text[units + 1]) ? 2 : 1;
        const size_t b = BytesOf(text.substr(units, n));
        if (bytes + b > room) break;
        bytes += b;
        units += n;
    }
    return units;
}

}  // namespace

FittedEdit FitEditToLimit(std::u16string_view before, std::u16string_view after, size_t caretAfter,
                          int limit) {
    // What follows the caret stayed from before, when before ends with it;
    // otherwise the longest end the two share.
    const size_t common = std::min(before.size(), after.size());
    size_t suffix = after.size() - std::min(caretAfter, after.size());
    if (suffix > common || before.substr(before.size() - suffix) != after.substr(after.size() - suffix)) {
        suffix = 0;
        while (suffix < common && before[before.size() - 1 - suffix] == after[after.size() - 1 - suffix])
            ++suffix;
    }
    size_t prefix = 0;
    while (prefix < common - suffix && before[prefix] == after[prefix]) ++prefix;
    // Never half a surrogate pair on either side of what was put in.
    if (prefix > 0 && prefix < after.size() && IsLow(after[prefix])) --prefix;
    const size_t insertEnd = after.size() - suffix;
    if (suffix > 0 && insertEnd > prefix && IsLow(after[insertEnd]) && IsHigh(after[insertEnd - 1])) --suffix;

    const std::u16string_view head = after.substr(0, prefix);
    const std::u16string_view tail = after.substr(after.size() - suffix);
    const std::u16string_view inserted = after.substr(prefix, after.size() - suffix - prefix);
    const size_t staying = BytesOf(head) + BytesOf(tail);
    if (limit <= 0 || inserted.empty() || staying + BytesOf(inserted) <= size_t(limit))
        return {std::u16string(after), prefix + inserted.size()};
    const size_t room = staying < size_t(limit) ? size_t(limit) - staying : 0;
    const std::u16string_view kept = inserted.substr(0, UnitsThatFit(inserted, room));
    // With nothing kept and nothing replaced, this is `before`: the edit is refused.
    return {std::u16string(head) + std::u16string(kept) + std::u16string(tail), prefix + kept.size()};
}

}  // namespace fw
