#include "platform/win32/win32_window_system.h"
#include "platform/win32/win32_window.h"

#include <commctrl.h>
#include <commdlg.h>
#include <shellapi.h>
#include <shlobj.h>
#include <windowsx.h>

#include <algorithm>
#include <cstring>

#include "framework/byte_text.h"
#include "platform/win32/win32_dialog_font.h"
#include "platform/win32/win32_dialog_template.h"
#include "platform/win32/win32_menu_item.h"
#include "platform/win32/win32_message_box.h"
#include "platform/win32/win32_text.h"

namespace platform {
namespace {

// Room for any path the file dialogs can give back.
constexpr DWORD kPathBufferChars = 32768;

RECT ChildRect(HWND parent, HWND child) {
    RECT r{};
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

bool IsGroupBox(HWND control) {
    wchar_t cls[16] = {};
    GetClassNameW(control, cls, 16);
    return lstrcmpiW(cls, L"Button") == 0 &&
           (GetWindowLongW(control, GWL_STYLE) & BS_TYPEMASK) == BS_GROUPBOX;
}

bool IsOfClass(HWND control, const wchar_t* name) {
    wchar_t cls[32] = {};
    GetClassNameW(control, cls, 32);
    return lstrcmpiW(cls, name) == 0;
}

bool IsDirectory(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsTextLabel(HWND control) {
    wchar_t cls[16] = {};
    GetClassNameW(control, cls, 16);
    return lstrcmpiW(cls, L"Static") == 0 && (GetWindowLongW(control, GWL_STYLE) & SS_TYPEMASK) == SS_LEFT;
}

// The templates were measured with the original Japanese face. Where another
// face stands in with wider letters, a label would wrap and lose its end in
// its one-line box; it grows to the right into free space instead, up to the
// frame around it or the next control, so that it stays readable.
void WidenClippedLabels(HWND dialog) {
    RECT client{};
    GetClientRect(dialog, &client);
    const HDC dc = GetDC(dialog);
    const HGDIOBJ oldFont = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0)));
    for (HWND label = GetWindow(dialog, GW_CHILD); label; label = GetWindow(label, GW_HWNDNEXT)) {
        if (!IsTextLabel(label) || !(GetWindowLongW(label, GWL_STYLE) & WS_VISIBLE)) continue;
        const int length = GetWindowTextLengthW(label);
        if (length == 0) continue;
        std::wstring text(size_t(length) + 1, L'\0');
        text.resize(size_t(GetWindowTextW(label, text.data(), length + 1)));
        const bool noPrefix = GetWindowLongW(label, GWL_STYLE) & SS_NOPREFIX;
        RECT needed{0, 0, 0, 0};
        DrawTextW(dc, text.c_str(), int(text.size()), &needed,
                  DT_CALCRECT | DT_SINGLELINE | (noPrefix ? DT_NOPREFIX : 0));
        const RECT r = ChildRect(dialog, label);
        const int width = r.right - r.left;
        const int want = needed.right - needed.left + 1;
        if (want <= width) continue;
        int limit = client.right - r.left - 2;
        for (HWND other = GetWindow(dialog, GW_CHILD); other; other = GetWindow(other, GW_HWNDNEXT)) {
            if (other == label || !(GetWindowLongW(other, GWL_STYLE) & WS_VISIBLE)) continue;
            const RECT o = ChildRect(dialog, other);
            if (IsGroupBox(other)) {
                if (o.left <= r.left && o.right >= r.right && o.top <= r.top && o.bottom >= r.bottom)
                    limit = std::min<int>(limit, o.right - 3 - r.left);
            } else if (o.left >= r.right && o.top < r.bottom && o.bottom > r.top) {
                limit = std::min<int>(limit, o.left - 2 - r.left);
            }
        }
        if (limit > width)
            SetWindowPos(label, nullptr, 0, 0, std::min(want, limit), r.bottom - r.top,
                         SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    SelectObject(dc, oldFont);
    ReleaseDC(dialog, dc);
}

Win32Window* AsWin32(port::Window* window) { return dynamic_cast<Win32Window*>(window); }

HWND HandleOf(port::Window* window) {
    Win32Window* w = AsWin32(window);
    return w ? w->Handle() : nullptr;
}

}  // namespace

// ---------------------------------------------------------------- window system

Win32WindowSystem::Win32WindowSystem() {
    // The list view's slider is a common control; its class must be registered
    // before the first template that names it.
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_BAR_CLASSES};
    InitCommonControlsEx(&icc);
}

Win32WindowSystem::~Win32WindowSystem() {
    if (clipboardOwner_) DestroyWindow(static_cast<HWND>(clipboardOwner_));
}

std::unique_ptr<port::Window> Win32WindowSystem::Create(const res::DialogTemplate& tmpl,
                                                        port::Window* owner,
                                                        port::WindowEvents& events) {
    auto window = std::make_unique<Win32Window>(GetModuleHandleW(nullptr), events);
    if (!window->CreateFrom(tmpl, HandleOf(owner))) return nullptr;
    return window;
}

int Win32WindowSystem::RunModal(port::Window& window) {
    Win32Window* w = AsWin32(&window);
    return w ? w->RunModal() : -1;
}

void Win32WindowSystem::EndModal(port::Window& window, int result) {
    if (Win32Window* w = AsWin32(&window)) w->EndModal(result);
}

int Win32WindowSystem::MessageBox(port::Window* owner, std::string_view text,
                                  std::string_view caption, UINT style) {
    const std::wstring wtext = Widen(text);
    const std::wstring wcaption = Widen(caption);
    // In the dialogs' face, so that the program's texts show on any system.
    const res::DialogTemplate& main = *res::FindDialogTemplate(res::IDD_DIALER);
    int answer = ShowMessageDialog(HandleOf(owner), wtext, wcaption, style,
                                   DialogFaceFor(Widen(main.fontFace)), main.pointSize);
    if (answer == 0) answer = MessageBoxW(HandleOf(owner), wtext.c_str(), wcaption.c_str(), style);
    // 0 only when the box could not be shown: as if it were dismissed.
    if (answer != 0) return answer;
    return (style & MB_TYPEMASK) == MB_YESNO ? IDNO : IDCANCEL;
}

std::optional<std::string> Win32WindowSystem::FileDialog(port::Window* owner,
                                                         const port::FileDialogRequest& request) {
    const std::wstring filter = ToWin32FileFilter(request.filter);
    const std::wstring defExt = ToWin32DefaultExt(request.defaultExt);
    std::wstring path(kPathBufferChars, L'\0');

    // A folder that has gone since (a list file moved away) gives way to the documents folder.
    std::wstring folder = Widen(request.folder);
    std::replace(folder.begin(), folder.end(), L'/', L'\\');
    if (folder.empty() || !IsDirectory(folder)) folder = Widen(DocumentsFolder());
    const std::wstring name = Widen(request.fileName);
    if (name.size() < kPathBufferChars) std::copy(name.begin(), name.end(), path.begin());

    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = HandleOf(owner);
    ofn.lpstrFilter = filter.empty() ? nullptr : filter.c_str();
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = path.data();
    ofn.nMaxFile = kPathBufferChars;
    ofn.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
    ofn.Flags = request.flags;
    ofn.lpstrDefExt = defExt.empty() ? nullptr : defExt.c_str();

    const BOOL chosen = request.open ? GetOpenFileNameW(&ofn) : GetSaveFileNameW(&ofn);
    if (!chosen) return std::nullopt;
    path.resize(wcsnlen(path.c_str(), path.size()));
    if (path.empty()) return std::nullopt;
    return Narrow(path);
}

int Win32WindowSystem::SystemMetric(int index) const { return GetSystemMetrics(index); }

std::string Win32WindowSystem::DocumentsFolder() const {
    // FOLDERID_Documents, spelt out: MinGW's headers declare it without defining it.
    static const GUID kDocuments = {0xFDD39AD0, 0x238F, 0x46AF, {0xAD, 0xB4, 0x6C, 0x85, 0x48, 0x03, 0x69, 0xC7}};
    std::string folder;
    PWSTR known = nullptr;
    if (SUCCEEDED(SHGetKnownFolderPath(kDocuments, 0, nullptr, &known)) && known) folder = Narrow(known);
    CoTaskMemFree(known);
    if (folder.empty()) {
        wchar_t buffer[MAX_PATH] = {};
        if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, buffer)))
            folder = Narrow(buffer);
    }
    return folder;
}

bool Win32WindowSystem::OpenHelp(const std::string& path) {
    const std::wstring file = Widen(path);
    const HINSTANCE r = ShellExecuteW(nullptr, L"open", file.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    // Values up to 32 are the shell's error codes.
    return reinterpret_cast<INT_PTR>(r) > 32;
}

std::optional<std::string> Win32WindowSystem::ClipboardText() {
    if (!IsClipboardFormatAvailable(CF_UNICODETEXT) || !OpenClipboard(nullptr)) return std::nullopt;
    std::optional<std::string> text;
    if (const HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
        if (const auto* chars = static_cast<const wchar_t*>(GlobalLock(data))) {
            const SIZE_T capacity = GlobalSize(data) / sizeof(wchar_t);
            text = Narrow(std::wstring(chars, wcsnlen(chars, capacity)));
            GlobalUnlock(data);
        }
    }
    CloseClipboard();
    return text;
}

void Win32WindowSystem::SetClipboardText(std::string_view text) {
    // The clipboard takes data only from an owner window.
    if (!clipboardOwner_)
        clipboardOwner_ = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                          GetModuleHandleW(nullptr), nullptr);
    const HWND owner = static_cast<HWND>(clipboardOwner_);
    if (!owner || !OpenClipboard(owner)) return;
    const std::wstring wide = Widen(text);
    const SIZE_T bytes = (wide.size() + 1) * sizeof(wchar_t);
    if (HGLOBAL data = GlobalAlloc(GMEM_MOVEABLE, bytes)) {
        if (void* p = GlobalLock(data)) {
            std::memcpy(p, wide.c_str(), bytes);
            GlobalUnlock(data);
            EmptyClipboard();
            // On success the clipboard owns the memory.
            if (!SetClipboardData(CF_UNICODETEXT, data)) GlobalFree(data);
        } else {
            GlobalFree(data);
        }
    }
    CloseClipboard();
}

// ---------------------------------------------------------------- window

Win32Window::Win32Window(HINSTANCE module, port::WindowEvents& events)
    : module_(module), events_(events) {}

Win32Window::~Win32Window() {
    if (hwnd_) {
        // Its timers go with it.
        SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        DestroyWindow(hwnd_);
    }
}

bool Win32Window::CreateFrom(const res::DialogTemplate& tmpl, HWND owner) {
    const std::vector<uint32_t> image = BuildDialogTemplate(tmpl, DialogFaceFor(Widen(tmpl.fontFace)));
    CreateDialogIndirectParamW(module_, reinterpret_cast<LPCDLGTEMPLATEW>(image.data()),
                               owner, &Win32Window::DialogProc, reinterpret_cast<LPARAM>(this));
    // hwnd_ is set while the dialog manager initialises the window.
    if (!hwnd_) return false;
    WidenClippedLabels(hwnd_);
    return true;
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
    const int length = GetWindowTextLengthW(item);
    std::wstring text(size_t(length) + 1, L'\0');
    const int got = GetWindowTextW(item, text.data(), length + 1);
    text.resize(size_t(got > 0 ? got : 0));
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
    SetWindowTextW(item, shown.c_str());
    setTexts_[id] = {std::string(text), shown};
}

bool Win32Window::Checked(int id) const {
    return hwnd_ && IsDlgButtonChecked(hwnd_, id) == BST_CHECKED;
}

void Win32Window::SetChecked(int id, bool checked) {
    // One button only, as the check message does: the program keeps its groups.
    if (hwnd_) CheckDlgButton(hwnd_, id, checked ? BST_CHECKED : BST_UNCHECKED);
}

void Win32Window::LimitText(int id, int bytes) {
    // The control counts UTF-16 units where the program counts UTF-8 bytes: the
    // same for the ASCII the limited fields take; a longer text in another
    // script is still caught by the exchange's own length check.
    if (const HWND item = Item(id)) SendMessageW(item, EM_LIMITTEXT, WPARAM(bytes > 0 ? bytes : 0), 0);
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
    if (!item || !IsOfClass(item, TRACKBAR_CLASSW)) return;
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
    const int line = std::max(1, int(SendMessageW(item, TBM_GETLINESIZE, 0, 0)));
    const int from = int(SendMessageW(item, TBM_GETPOS, 0, 0));
    SendMessageW(item, TBM_SETPOS, TRUE, from - steps * line);
    const int to = int(SendMessageW(item, TBM_GETPOS, 0, 0));
    const LPARAM bar = reinterpret_cast<LPARAM>(item);
    if (to != from) SendMessageW(hwnd_, WM_VSCROLL, to < from ? TB_LINEUP : TB_LINEDOWN, bar);
    SendMessageW(hwnd_, WM_VSCROLL, TB_ENDTRACK, bar);
}

bool Win32Window::SetTimer(UINT id, UINT ms) {
    return hwnd_ && ::SetTimer(hwnd_, id, ms, nullptr) != 0;
}

bool Win32Window::KillTimer(UINT id) { return hwnd_ && ::KillTimer(hwnd_, id); }

void Win32Window::AppendSystemMenuSeparator() {
    if (!hwnd_) return;
    if (HMENU menu = GetSystemMenu(hwnd_, FALSE)) AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
}

void Win32Window::AppendSystemMenuItem(UINT cmd, std::string_view text) {
    if (!hwnd_) return;
    // Drawn by the window in the dialogs' face: see win32_menu_item.h.
    if (HMENU menu = GetSystemMenu(hwnd_, FALSE)) AppendOwnerDrawnMenuItem(menu, cmd, Widen(text));
}

void Win32Window::SetIcon(int iconId, bool big) {
    if (!hwnd_) return;
    const int size = GetSystemMetrics(big ? SM_CXICON : SM_CXSMICON);
    const HICON icon = LoadIconResource(iconId, size);
    if (!icon) return;
    if (big) bigIcon_ = icon;
    SendMessageW(hwnd_, WM_SETICON, big ? ICON_BIG : ICON_SMALL, reinterpret_cast<LPARAM>(icon));
}

void Win32Window::DefaultSysCommand(UINT cmd, long param) {
    // Close becomes WM_CLOSE, which the dialog manager answers with IDCANCEL
    // through the message queue; the modal loop then delivers it.
    if (hwnd_) DefWindowProcW(hwnd_, WM_SYSCOMMAND, cmd, param);
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

bool Win32Window::OfferWheelToProgram(const MSG& msg) {
    if (msg.message != WM_MOUSEWHEEL || !hwnd_ || (msg.hwnd != hwnd_ && !IsChild(hwnd_, msg.hwnd)))
        return false;
    const int delta = GET_WHEEL_DELTA_WPARAM(msg.wParam);
    // The message may go to the control with the focus; the one meant is under the pointer.
    const POINT at{GET_X_LPARAM(msg.lParam), GET_Y_LPARAM(msg.lParam)};
    int id = 0;
    for (HWND c = GetWindow(hwnd_, GW_CHILD); c && id == 0; c = GetWindow(c, GW_HWNDNEXT)) {
        RECT r{};
        if (!IsWindowVisible(c) || IsGroupBox(c) || !GetWindowRect(c, &r) || !PtInRect(&r, at)) continue;
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

void Win32Window::PostCommand(int id) {
    if (hwnd_) PostMessageW(hwnd_, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
}

void Win32Window::BringToFront() {
    if (!hwnd_) return;
    if (::IsIconic(hwnd_)) ShowWindow(hwnd_, SW_RESTORE);
    SetForegroundWindow(hwnd_);
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

}  // namespace platform
