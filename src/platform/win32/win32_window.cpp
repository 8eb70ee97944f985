// A Win32 window's controls by identifier: their texts, checks, focus and
// sliders, its messages, icon and painting. Making it from its template, the
// keys the program sees first, its system menu and its modal runs are in the
// win32_*.cpp files named for them.
#include "platform/win32/win32_window.h"

#include <commctrl.h>

#include <algorithm>

#include "framework/byte_text.h"
#include "framework/edit_limit.h"
#include "platform/win32/win32_system_menu.h"
#include "resources/resource_ids.h"

namespace platform {

std::wstring WindowText(HWND item) {
    const int length = GetWindowTextLengthW(item);
    std::wstring text(size_t(length) + 1, L'\0');
    const int got = GetWindowTextW(item, text.data(), length + 1);
    text.resize(size_t(got > 0 ? got : 0));
    return text;
}

Win32Window::Win32Window(HINSTANCE module, port::WindowEvents& events)
    : module_(module), events_(events) {}

Win32Window::~Win32Window() {
    if (hwnd_) {
        // Its timers go with it.
        SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        DestroyWindow(hwnd_);
    }
}

INT_PTR CALLBACK Win32Window::DialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_INITDIALOG) {
        auto* self = reinterpret_cast<Win32Window*>(lParam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, lParam);
        self->hwnd_ = hwnd;
        // The program initialises the window and places the focus itself.
        return FALSE;
    }
    auto* self = reinterpret_cast<Win32Window*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self) return FALSE;
    if (msg == WM_NCDESTROY) {
        self->hwnd_ = nullptr;
        return FALSE;
    }
    return self->OnMessage(msg, wParam, lParam);
}

INT_PTR Win32Window::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_COMMAND: {
        // Clicks only: fields also report changes and focus through here, and
        // the command table knows nothing of those.
        const UINT code = HIWORD(wParam);
        const UINT id = LOWORD(wParam);
        if (code == EN_CHANGE) KeepWithinLimit(int(id));
        if (code != BN_CLICKED || id == 0xFFFF) return FALSE;
        events_.OnCommandEvent(int(id), BN_CLICKED);
        return TRUE;
    }
    case WM_TIMER:
        events_.OnTimerEvent(UINT(wParam));
        return TRUE;
    case WM_SYSCOMMAND:
        // The program decides; its default handling comes back through
        // DefaultSysCommand.
        events_.OnSysCommandEvent(UINT(wParam), long(lParam));
        return TRUE;
    case WM_VSCROLL: {
        const HWND bar = reinterpret_cast<HWND>(lParam);
        if (!bar || GetParent(bar) != hwnd_) return FALSE;
        const int pos = int(SendMessageW(bar, TBM_GETPOS, 0, 0));
        events_.OnVScrollEvent(LOWORD(wParam), pos);
        return TRUE;
    }
    case WM_PAINT: {
        PAINTSTRUCT ps;
        paintDC_ = BeginPaint(hwnd_, &ps);
        events_.OnPaintEvent();
        if (hwnd_) EndPaint(hwnd_, &ps);
        paintDC_ = nullptr;
        return TRUE;
    }
    case WM_QUERYDRAGICON:
        // The value itself is the answer to this message, not a message result.
        return reinterpret_cast<INT_PTR>(bigIcon_ ? bigIcon_
                                                  : LoadIconResource(res::IDR_MAINFRAME, 0));
    case WM_MEASUREITEM:
        return MeasureOwnerDrawnMenuItem(hwnd_, *reinterpret_cast<MEASUREITEMSTRUCT*>(lParam));
    case WM_DRAWITEM:
        return DrawOwnerDrawnMenuItem(hwnd_, *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
    case WM_MENUCHAR:
        if (const LRESULT chosen = OwnerDrawnMenuChar(reinterpret_cast<HMENU>(lParam), wchar_t(LOWORD(wParam)))) {
            SetWindowLongPtrW(hwnd_, DWLP_MSGRESULT, chosen);
            return TRUE;
        }
        return FALSE;
    case WM_ACTIVATE:
        // Remember the window's own focus while another window is in front,
        // so the program can still ask which of its controls has it.
        if (LOWORD(wParam) == WA_INACTIVE) {
            const HWND focus = GetFocus();
            if (focus && IsChild(hwnd_, focus)) savedFocus_ = focus;
        }
        return FALSE;
    default:
        return FALSE;
    }
}

HWND Win32Window::Item(int id) const { return hwnd_ ? GetDlgItem(hwnd_, id) : nullptr; }

HICON Win32Window::LoadIconResource(int iconId, int size) const {
    return static_cast<HICON>(LoadImageW(module_, MAKEINTRESOURCEW(iconId), IMAGE_ICON,
                                         size, size, LR_DEFAULTCOLOR | LR_SHARED));
}

std::string Win32Window::Text(int id) const {
    const HWND item = Item(id);
    if (!item) return {};
    const std::wstring text = WindowText(item);
    // Untouched since the program set it: exactly the bytes it set.
    const auto set = setTexts_.find(id);
    if (set != setTexts_.end() && set->second.shown == text) return set->second.bytes;
    return fw::Utf16ToBytes(std::u16string_view(reinterpret_cast<const char16_t*>(text.data()), text.size()));
}

void Win32Window::SetText(int id, std::string_view text) {
    const HWND item = Item(id);
    if (!item) return;
    const std::u16string u = fw::BytesToUtf16(text);
    const std::wstring shown(u.begin(), u.end());
    settingText_ = true;
    SetWindowTextW(item, shown.c_str());
    settingText_ = false;
    setTexts_[id] = {std::string(text), shown};
    if (auto limited = limits_.find(id); limited != limits_.end()) limited->second.last = WindowText(item);
}

bool Win32Window::Checked(int id) const {
    return hwnd_ && IsDlgButtonChecked(hwnd_, id) == BST_CHECKED;
}

void Win32Window::SetChecked(int id, bool checked) {
    // One button only, as the check message does: the program keeps its groups.
    if (hwnd_) CheckDlgButton(hwnd_, id, checked ? BST_CHECKED : BST_UNCHECKED);
}

void Win32Window::LimitText(int id, int bytes) {
    const HWND item = Item(id);
    if (!item) return;
    // The control counts UTF-16 units, never more than the bytes they make;
    // the byte count itself is kept after each change (KeepWithinLimit).
    SendMessageW(item, EM_LIMITTEXT, WPARAM(bytes > 0 ? bytes : 0), 0);
    if (bytes > 0)
        limits_[id] = {bytes, WindowText(item)};
    else
        limits_.erase(id);
}

void Win32Window::KeepWithinLimit(int id) {
    const auto limited = limits_.find(id);
    const HWND item = Item(id);
    if (limited == limits_.end() || !item || settingText_) return;
    std::wstring text = WindowText(item);
    DWORD caret = 0;
    SendMessageW(item, EM_GETSEL, 0, reinterpret_cast<LPARAM>(&caret));
    const std::wstring& last = limited->second.last;
    const fw::FittedEdit fitted = fw::FitEditToLimit(
        std::u16string_view(reinterpret_cast<const char16_t*>(last.data()), last.size()),
        std::u16string_view(reinterpret_cast<const char16_t*>(text.data()), text.size()), caret,
        limited->second.bytes);
    if (fitted.text.size() != text.size() ||
        !std::equal(fitted.text.begin(), fitted.text.end(), text.begin())) {
        text.assign(fitted.text.begin(), fitted.text.end());
        settingText_ = true;
        SetWindowTextW(item, text.c_str());
        settingText_ = false;
        SendMessageW(item, EM_SETSEL, fitted.caret, fitted.caret);
    }
    limited->second.last = std::move(text);
}

int Win32Window::FocusId() const {
    if (!hwnd_) return 0;
    const HWND focus = GetFocus();
    HWND mine = nullptr;
    if (focus && IsChild(hwnd_, focus))
        mine = focus;
    else if (!IsWindowVisible(hwnd_))
        mine = pendingFocus_;
    else if (GetActiveWindow() != hwnd_)
        mine = savedFocus_;
    if (!mine || !IsWindow(mine) || !IsChild(hwnd_, mine)) return 0;
    const int id = GetDlgCtrlID(mine);
    return id == 0xFFFF ? 0 : id;
}

void Win32Window::SetFocus(int id) {
    const HWND item = Item(id);
    if (!item) return;
    // A hidden or disabled control never takes the focus.
    if (!(GetWindowLongW(item, GWL_STYLE) & WS_VISIBLE) || !IsWindowEnabled(item)) return;
    if (!IsWindowVisible(hwnd_)) {
        pendingFocus_ = item;
        return;
    }
    savedFocus_ = item;
    // The dialog manager's way: it also moves the default-button look.
    SendMessageW(hwnd_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(item), TRUE);
}

void Win32Window::SelectAll(int id) {
    if (const HWND item = Item(id)) SendMessageW(item, EM_SETSEL, 0, -1);
}

void Win32Window::SelectText(int id, int start, int end) {
    const HWND item = Item(id);
    if (!item) return;
    // Byte offsets of the program's text, as the control's UTF-16 units.
    const std::string bytes = Text(id);
    auto units = [&bytes](int n) {
        const size_t cut = std::min(static_cast<size_t>(std::max(n, 0)), bytes.size());
        return static_cast<LPARAM>(fw::BytesToUtf16(std::string_view(bytes).substr(0, cut)).size());
    };
    const LPARAM from = units(start), to = std::max(units(end), from);
    // The caret goes to the selection's end, and the field scrolls to show it;
    // the template's ES_NOHIDESEL keeps the selection shown without the focus.
    SendMessageW(item, EM_SETSEL, static_cast<WPARAM>(to == from ? 0 : from), to == from ? 0 : to);
    SendMessageW(item, EM_SCROLLCARET, 0, 0);
    // Drawn now: the program may hold the thread (a tone playing) first.
    UpdateWindow(item);
}

void Win32Window::SliderSetRangeMax(int id, int max, bool redraw) {
    if (const HWND item = Item(id)) SendMessageW(item, TBM_SETRANGEMAX, redraw, max);
}

void Win32Window::SliderSetPageSize(int id, int size) {
    if (const HWND item = Item(id)) SendMessageW(item, TBM_SETPAGESIZE, 0, size);
}

int Win32Window::SliderPos(int id) const {
    const HWND item = Item(id);
    return item ? int(SendMessageW(item, TBM_GETPOS, 0, 0)) : 0;
}

void Win32Window::SliderSetPos(int id, int pos, bool redraw) {
    if (const HWND item = Item(id)) SendMessageW(item, TBM_SETPOS, redraw, pos);
}

void Win32Window::SliderWheel(int id, int delta) {
    const HWND item = Item(id);
    if (!item || SendMessageW(item, TBM_GETLINESIZE, 0, 0) <= 0) return;  // not a trackbar
    // Not every trackbar takes the wheel (Wine's does not), so the turn is
    // made here as the desktops' sliders make it: the system's lines a notch,
    // each one line of the trackbar, reported as line steps and their end.
    UINT lines = 3;
    SystemParametersInfoW(SPI_GETWHEELSCROLLLINES, 0, &lines, 0);
    if (lines == WHEEL_PAGESCROLL) lines = UINT(SendMessageW(item, TBM_GETPAGESIZE, 0, 0));
    wheelRemainder_ += delta * int(std::min<UINT>(lines, 100));
    const int steps = wheelRemainder_ / WHEEL_DELTA;  // away from the user: towards the top
    wheelRemainder_ -= steps * WHEEL_DELTA;
    if (steps == 0) return;
    const int line = int(SendMessageW(item, TBM_GETLINESIZE, 0, 0));
    const int from = int(SendMessageW(item, TBM_GETPOS, 0, 0));
    SendMessageW(item, TBM_SETPOS, TRUE, from - steps * line);
    const int to = int(SendMessageW(item, TBM_GETPOS, 0, 0));
    const LPARAM bar = reinterpret_cast<LPARAM>(item);
    if (to != from) SendMessageW(hwnd_, WM_VSCROLL, to < from ? TB_LINEUP : TB_LINEDOWN, bar);
    SendMessageW(hwnd_, WM_VSCROLL, TB_ENDTRACK, bar);
}

void Win32Window::SetIcon(int iconId, bool big) {
    if (!hwnd_) return;
    const int size = GetSystemMetrics(big ? SM_CXICON : SM_CXSMICON);
    const HICON icon = LoadIconResource(iconId, size);
    if (!icon) return;
    if (big) bigIcon_ = icon;
    SendMessageW(hwnd_, WM_SETICON, big ? ICON_BIG : ICON_SMALL, reinterpret_cast<LPARAM>(icon));
}

void Win32Window::SetCaption(std::string_view text) {
    if (!hwnd_) return;
    const std::u16string u = fw::BytesToUtf16(text);
    SetWindowTextW(hwnd_, std::wstring(u.begin(), u.end()).c_str());
}

bool Win32Window::IsIconic() const { return hwnd_ && ::IsIconic(hwnd_); }

port::Rect Win32Window::ClientRect() const {
    RECT r{};
    if (hwnd_) GetClientRect(hwnd_, &r);
    return {r.left, r.top, r.right, r.bottom};
}

void Win32Window::EraseIconBackground() {
    if (paintDC_) SendMessageW(hwnd_, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(paintDC_), 0);
}

void Win32Window::DrawIcon(int x, int y, int iconId) {
    if (!paintDC_) return;
    if (const HICON icon = LoadIconResource(iconId, 0)) ::DrawIcon(paintDC_, x, y, icon);
}

void Win32Window::ShowPressed(int id, bool pressed) {
    const HWND item = Item(id);
    if (!item) return;
    SendMessageW(item, BM_SETSTATE, pressed, 0);
    // Drawn now: the program may hold the thread (a tone playing) first.
    if (pressed) UpdateWindow(item);
}

void Win32Window::PostCommand(int id) {
    if (hwnd_) PostMessageW(hwnd_, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
}

void Win32Window::BringToFront() {
    if (!hwnd_) return;
    if (::IsIconic(hwnd_)) ShowWindow(hwnd_, SW_RESTORE);
    SetForegroundWindow(hwnd_);
}

}  // namespace platform
