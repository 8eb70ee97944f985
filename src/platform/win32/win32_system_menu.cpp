// The system menu of a Win32 window: the items the program appends, drawn in
// the dialogs' face, and the commands the program leaves to the system.
// (win32_window.h first: the framework's names before the Win32 macros.)
#include "platform/win32/win32_window.h"
#include "platform/win32/win32_system_menu.h"

#include <algorithm>
#include <cwctype>
#include <map>
#include <utility>

#include "platform/win32/win32_text.h"

namespace platform {
namespace {

// One thread shows every window, so no lock is needed. A menu handle used
// again by a later window gets its items' texts anew when they are appended.
std::map<std::pair<HMENU, UINT>, std::wstring>& Texts() {
    static std::map<std::pair<HMENU, UINT>, std::wstring> texts;
    return texts;
}

// The menu an item belongs to is not in WM_MEASUREITEM, and the handle a
// system menu is drawn through need not be the one it was appended to: then
// the id alone finds the text.
const std::wstring* TextOf(HMENU menu, UINT cmd) {
    const auto it = Texts().find({menu, cmd});
    if (it != Texts().end()) return &it->second;
    for (const auto& [key, text] : Texts())
        if (key.second == cmd) return &text;
    return nullptr;
}

wchar_t AccessKeyOf(const std::wstring& text) {
    for (size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != L'&') continue;
        if (text[i + 1] != L'&') return wchar_t(std::towupper(text[i + 1]));
        ++i;  // "&&" is a literal ampersand
    }
    return 0;
}

HFONT FontOf(HWND window) {
    const auto font = reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0));
    return font ? font : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

// Room for the check mark on the left and the submenu arrow on the right, as
// the system leaves for its own items.
int Gutter() { return GetSystemMetrics(SM_CXMENUCHECK) + 4; }

}  // namespace

void AppendOwnerDrawnMenuItem(HMENU menu, UINT cmd, const std::wstring& text) {
    Texts()[{menu, cmd}] = text;
    MENUITEMINFOW info{};
    info.cbSize = sizeof info;
    // The string goes in too, so that the text can still be read back.
    info.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STRING;
    info.fType = MFT_OWNERDRAW;
    info.wID = cmd;
    info.dwTypeData = const_cast<wchar_t*>(text.c_str());
    InsertMenuItemW(menu, UINT(GetMenuItemCount(menu)), TRUE, &info);
}

bool MeasureOwnerDrawnMenuItem(HWND window, MEASUREITEMSTRUCT& item) {
    if (item.CtlType != ODT_MENU) return false;
    const std::wstring* text = TextOf(nullptr, item.itemID);
    if (!text) return false;
    const HDC dc = GetDC(window);
    const HGDIOBJ old = SelectObject(dc, FontOf(window));
    RECT r{0, 0, 0, 0};
    DrawTextW(dc, text->c_str(), int(text->size()), &r, DT_CALCRECT | DT_SINGLELINE);
    SelectObject(dc, old);
    ReleaseDC(window, dc);
    item.itemWidth = UINT(r.right - r.left + 2 * Gutter());
    item.itemHeight = UINT(std::max<LONG>(r.bottom - r.top + 6, GetSystemMetrics(SM_CYMENUSIZE)));
    return true;
}

bool DrawOwnerDrawnMenuItem(HWND window, const DRAWITEMSTRUCT& item) {
    if (item.CtlType != ODT_MENU) return false;
    const std::wstring* text = TextOf(reinterpret_cast<HMENU>(item.hwndItem), item.itemID);
    if (!text) return false;
    const bool selected = item.itemState & ODS_SELECTED;
    const bool grayed = item.itemState & (ODS_GRAYED | ODS_DISABLED);
    FillRect(item.hDC, &item.rcItem, GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_MENU));
    const int oldMode = SetBkMode(item.hDC, TRANSPARENT);
    const COLORREF oldColor = SetTextColor(
        item.hDC, GetSysColor(grayed ? COLOR_GRAYTEXT : selected ? COLOR_HIGHLIGHTTEXT : COLOR_MENUTEXT));
    const HGDIOBJ oldFont = SelectObject(item.hDC, FontOf(window));
    RECT r = item.rcItem;
    r.left += Gutter();
    DrawTextW(item.hDC, text->c_str(), int(text->size()), &r,
              DT_SINGLELINE | DT_VCENTER | DT_EXPANDTABS |
                  ((item.itemState & ODS_NOACCEL) ? DT_HIDEPREFIX : 0));
    SelectObject(item.hDC, oldFont);
    SetTextColor(item.hDC, oldColor);
    SetBkMode(item.hDC, oldMode);
    return true;
}

LRESULT OwnerDrawnMenuChar(HMENU menu, wchar_t key) {
    const wchar_t wanted = wchar_t(std::towupper(key));
    const int count = GetMenuItemCount(menu);
    for (int pos = 0; pos < count; ++pos) {
        const std::wstring* text = TextOf(menu, GetMenuItemID(menu, pos));
        if (text && AccessKeyOf(*text) == wanted) return MAKELRESULT(pos, MNC_EXECUTE);
    }
    return 0;
}

void Win32Window::AppendSystemMenuSeparator() {
    if (!hwnd_) return;
    if (HMENU menu = GetSystemMenu(hwnd_, FALSE)) AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
}

void Win32Window::AppendSystemMenuItem(UINT cmd, std::string_view text) {
    if (!hwnd_) return;
    // Drawn by the window in the dialogs' face: see win32_system_menu.h.
    if (HMENU menu = GetSystemMenu(hwnd_, FALSE)) AppendOwnerDrawnMenuItem(menu, cmd, Widen(text));
}

void Win32Window::DefaultSysCommand(UINT cmd, long param) {
    // Close becomes WM_CLOSE, which the dialog manager answers with IDCANCEL
    // through the message queue; the modal loop then delivers it.
    if (hwnd_) DefWindowProcW(hwnd_, WM_SYSCOMMAND, cmd, param);
}

}  // namespace platform
