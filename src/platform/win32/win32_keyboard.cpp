// The keyboard in a Win32 window is the dialog manager's (Enter, Esc, Tab,
// arrows in radio groups); only the typed characters and editing keys the
// program sees first are taken here, before the dialog manager gets them.
#include "platform/win32/win32_window.h"

namespace platform {

bool Win32Window::OfferKeyToProgram(const MSG& msg) {
    if (!hwnd_ || (msg.hwnd != hwnd_ && !IsChild(hwnd_, msg.hwnd))) return false;
    if (msg.message == WM_CHAR) {
        // Whatever the layout made of the keys: AltGr characters count as typed.
        const WPARAM c = msg.wParam;
        return c > 0x20 && c < 0x7F && events_.OnCharEvent(char(c));
    }
    if (msg.message != WM_KEYDOWN) return false;
    const bool ctrl = GetKeyState(VK_CONTROL) < 0;
    const bool shift = GetKeyState(VK_SHIFT) < 0;
    const bool alt = GetKeyState(VK_MENU) < 0;
    const bool plain = !ctrl && !shift && !alt;
    switch (msg.wParam) {
    case VK_BACK:
        return plain && events_.OnEditKeyEvent(port::EditKey::Backspace);
    case VK_DELETE:
        return plain && events_.OnEditKeyEvent(port::EditKey::Delete);
    case VK_INSERT:
        return shift && !ctrl && !alt && events_.OnEditKeyEvent(port::EditKey::Paste);
    case 'V':
        return ctrl && !shift && !alt && events_.OnEditKeyEvent(port::EditKey::Paste);
    case 'C':
        return ctrl && !shift && !alt && events_.OnEditKeyEvent(port::EditKey::Copy);
    default:
        return false;
    }
}

}  // namespace platform
