// The mouse in a Win32 window, where the program hears of it: the wheel over
// a control that does not take it, and a click into a field, which edit
// controls do not report.
#include "platform/win32/win32_window.h"

#include <commctrl.h>
#include <windowsx.h>

namespace platform {
namespace {

bool IsOfClass(HWND control, const wchar_t* name) {
    wchar_t cls[32] = {};
    GetClassNameW(control, cls, 32);
    return lstrcmpiW(cls, name) == 0;
}

// A group box lies over the controls it frames and is never what the pointer means.
bool IsFrame(HWND control) {
    return IsOfClass(control, L"Button") && (GetWindowLongW(control, GWL_STYLE) & BS_TYPEMASK) == BS_GROUPBOX;
}

}  // namespace

bool Win32Window::OfferWheelToProgram(const MSG& msg) {
    if (msg.message != WM_MOUSEWHEEL || !hwnd_ || (msg.hwnd != hwnd_ && !IsChild(hwnd_, msg.hwnd)))
        return false;
    const int delta = GET_WHEEL_DELTA_WPARAM(msg.wParam);
    // The message may go to the control with the focus; the one meant is under the pointer.
    const POINT at{GET_X_LPARAM(msg.lParam), GET_Y_LPARAM(msg.lParam)};
    int id = 0;
    for (HWND c = GetWindow(hwnd_, GW_CHILD); c && id == 0; c = GetWindow(c, GW_HWNDNEXT)) {
        RECT r{};
        if (!IsWindowVisible(c) || IsFrame(c) || !GetWindowRect(c, &r) || !PtInRect(&r, at)) continue;
        const int cid = GetDlgCtrlID(c);
        if (cid != 0xFFFF) id = cid;
    }
    if (id != 0 && IsOfClass(Item(id), TRACKBAR_CLASSW)) {
        SliderWheel(id, delta);
        return true;
    }
    if (events_.OnMouseWheelEvent(id, delta)) return true;
    // A slider that only has the focus stays put: the wheel goes where the pointer is.
    return IsOfClass(msg.hwnd, TRACKBAR_CLASSW);
}

int Win32Window::FieldClickedBy(const MSG& msg) const {
    if (msg.message != WM_LBUTTONDOWN || !hwnd_ || GetParent(msg.hwnd) != hwnd_) return 0;
    if (!IsOfClass(msg.hwnd, L"Edit") || !IsWindowEnabled(msg.hwnd)) return 0;
    const int id = GetDlgCtrlID(msg.hwnd);
    return id == 0xFFFF ? 0 : id;
}

}  // namespace platform
