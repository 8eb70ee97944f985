// Modal runs of a Win32 window: a message loop of our own around a modeless
// dialog, nested as the program opens boxes from boxes, with the window's
// timers firing beneath them.
#include "platform/win32/win32_window.h"

namespace platform {

void Win32Window::PlaceBeforeFirstShow(HWND owner) {
    // Centred over the owner, or on the work area for a window of its own.
    RECT area{};
    if (owner && IsWindowVisible(owner) && !::IsIconic(owner))
        GetWindowRect(owner, &area);
    else
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    RECT self{};
    GetWindowRect(hwnd_, &self);
    const int w = self.right - self.left;
    const int h = self.bottom - self.top;
    int x = area.left + (area.right - area.left - w) / 2;
    int y = area.top + (area.bottom - area.top - h) / 2;
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    if (x + w > work.right) x = work.right - w;
    if (y + h > work.bottom) y = work.bottom - h;
    if (x < work.left) x = work.left;
    if (y < work.top) y = work.top;
    SetWindowPos(hwnd_, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

int Win32Window::RunModal() {
    if (!hwnd_ || running_) return -1;
    running_ = true;
    const HWND owner = GetWindow(hwnd_, GW_OWNER);
    const bool ownerWasEnabled = owner && IsWindowEnabled(owner);
    if (ownerWasEnabled) EnableWindow(owner, FALSE);

    if (!shownOnce_) {
        PlaceBeforeFirstShow(owner);
        shownOnce_ = true;
    }
    ShowWindow(hwnd_, SW_SHOW);
    SetForegroundWindow(hwnd_);
    if (pendingFocus_) {
        const HWND focus = pendingFocus_;
        pendingFocus_ = nullptr;
        if (IsWindow(focus)) SendMessageW(hwnd_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(focus), TRUE);
    }

    MSG msg;
    while (!ended_ && hwnd_) {
        const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) {
            // Leave the quit request for the outermost loop.
            PostQuitMessage(int(msg.wParam));
            result_ = IDCANCEL;
            break;
        }
        if (got == -1) break;
        if (OfferKeyToProgram(msg) || OfferWheelToProgram(msg)) continue;
        const int clickedField = FieldClickedBy(msg);
        if (!hwnd_ || !IsDialogMessageW(hwnd_, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (clickedField != 0 && hwnd_) events_.OnFieldClickEvent(clickedField);
    }

    // The owner is enabled before this window hides, so that it, and not some
    // other program, becomes the active window.
    if (ownerWasEnabled) EnableWindow(owner, TRUE);
    if (hwnd_) {
        if (owner && GetActiveWindow() == hwnd_) SetActiveWindow(owner);
        ShowWindow(hwnd_, SW_HIDE);
    }
    running_ = false;
    ended_ = false;
    return result_;
}

void Win32Window::EndModal(int result) {
    result_ = result;
    ended_ = true;
    // Wakes the loop when the end was asked for from under another window's loop.
    if (hwnd_) PostMessageW(hwnd_, WM_NULL, 0, 0);
}

bool Win32Window::SetTimer(UINT id, UINT ms) {
    return hwnd_ && ::SetTimer(hwnd_, id, ms, nullptr) != 0;
}

bool Win32Window::KillTimer(UINT id) { return hwnd_ && ::KillTimer(hwnd_, id); }

}  // namespace platform
