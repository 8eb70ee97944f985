#pragma once
// The system menu's own items, drawn by their window in the window's own font.
// The system draws menus in its menu font, whose fallbacks follow the system's
// language; an item drawn here shows its Japanese text wherever the dialogs
// show theirs. (Win32Window's system menu calls are in win32_system_menu.cpp.)

#include <windows.h>

#include <string>

namespace platform {

// The text keeps its access key ("&A"); the item is chosen by that key as any
// other item is.
void AppendOwnerDrawnMenuItem(HMENU menu, UINT cmd, const std::wstring& text);

// WM_MEASUREITEM and WM_DRAWITEM for such an item, in `window`'s font; false
// when the message is not about one.
bool MeasureOwnerDrawnMenuItem(HWND window, MEASUREITEMSTRUCT& item);
bool DrawOwnerDrawnMenuItem(HWND window, const DRAWITEMSTRUCT& item);

// The answer to WM_MENUCHAR: the item of `menu` whose access key is `key`,
// chosen at once; 0 (the system's own answer) when there is none.
LRESULT OwnerDrawnMenuChar(HMENU menu, wchar_t key);

}  // namespace platform
