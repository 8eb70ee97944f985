#pragma once
// The program's message boxes as dialogs of its own. The system's box draws
// in the system's message font, whose fallbacks follow the system's language,
// so on many systems the program's Japanese texts would show as empty boxes.
// This one is made from a template in the dialogs' face and otherwise acts as
// the system's: the same text, caption, icon, buttons and default button; Esc
// and the close box answer Cancel, or No when there is no Cancel, or OK.

#include <windows.h>

#include <string_view>

namespace platform {

// The button chosen (IDOK, IDYES, ...); 0 when the box could not be shown or
// `style` asks for buttons this box does not offer (then nothing was shown).
int ShowMessageDialog(HWND owner, std::wstring_view text, std::wstring_view caption, UINT style,
                      std::wstring_view face, int pointSize);

}  // namespace platform
