#pragma once
// How a field with a length limit (LimitText, as DDV_MaxChars sets it) takes
// what the user types or pastes, the same on every backend. The limit counts
// bytes of the program's text (byte_text.h), not the toolkit's UTF-16 units.
// What is put in keeps as much of its front, in whole characters, as fits
// beside the text that stays; a character that does not fit whole is left
// out. Deleting is always allowed, and the program itself may still set a
// longer text.

#include <cstddef>
#include <string>
#include <string_view>

namespace fw {

struct FittedEdit {
    std::u16string text;  // what the field holds after the edit
    size_t caret = 0;     // just after what was put in
};

// The user's edit turned the field's text `before` into `after`, leaving the
// caret at `caretAfter`, just after what it put in. Gives the text the field
// keeps: `after` when that fits or the edit put nothing in, else `after` with
// what was put in cut to fit (`before` again when none of it fits). A limit of
// 0 or less is none.
FittedEdit FitEditToLimit(std::u16string_view before, std::u16string_view after, size_t caretAfter,
                          int limit);

}  // namespace fw
