#include "platform/win32/win32_message_box.h"

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "platform/win32/win32_dialog_template.h"
#include "platform/win32/win32_text.h"
#include "framework/dialog_template.h"

namespace platform {
namespace {

constexpr int kIconId = 100;
constexpr int kTextId = 101;

struct Button {
    int id;
    const char* text;
};
constexpr Button kOk{IDOK, "OK"};
constexpr Button kCancel{IDCANCEL, "Cancel"};
constexpr Button kYes{IDYES, "&Yes"};
constexpr Button kNo{IDNO, "&No"};
constexpr Button kRetry{IDRETRY, "&Retry"};

std::vector<Button> ButtonsOf(UINT style) {
    switch (style & MB_TYPEMASK) {
    case MB_OK: return {kOk};
    case MB_OKCANCEL: return {kOk, kCancel};
    case MB_YESNOCANCEL: return {kYes, kNo, kCancel};
    case MB_YESNO: return {kYes, kNo};
    case MB_RETRYCANCEL: return {kRetry, kCancel};
    default: return {};
    }
}

LPCWSTR SystemIconOf(UINT style) {
    switch (style & MB_ICONMASK) {
    case MB_ICONHAND: return MAKEINTRESOURCEW(32513);  // IDI_HAND
    case MB_ICONQUESTION: return MAKEINTRESOURCEW(32514);  // IDI_QUESTION
    case MB_ICONEXCLAMATION: return MAKEINTRESOURCEW(32515);  // IDI_EXCLAMATION
    case MB_ICONASTERISK: return MAKEINTRESOURCEW(32516);  // IDI_ASTERISK
    default: return nullptr;
    }
}

struct Box {
    std::wstring text;
    UINT style;
    std::vector<Button> buttons;
    int defaultIndex;
    // What Esc and the close box answer: never Yes.
    int escapeAnswer;
};

int Dlu(HWND dlg, int x, int y, bool vertical) {
    RECT r{0, 0, x, y};
    MapDialogRect(dlg, &r);
    return vertical ? r.bottom : r.right;
}

void Place(HWND item, int x, int y, int cx, int cy) {
    SetWindowPos(item, nullptr, x, y, cx, cy, SWP_NOZORDER | SWP_NOACTIVATE);
}

// Sizes the box to its text, as the system's box does: the text wraps at a
// readable width, the icon stands to its left, the buttons sit centred below.
void LayOut(HWND dlg, const Box& box) {
    const int marginX = Dlu(dlg, 7, 0, false), marginY = Dlu(dlg, 0, 7, true);
    const int buttonW = Dlu(dlg, 50, 0, false), buttonH = Dlu(dlg, 0, 14, true);
    const int buttonGap = Dlu(dlg, 4, 0, false), iconGap = Dlu(dlg, 10, 0, false);
    const int textGap = Dlu(dlg, 0, 10, true);
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);

    const HWND icon = GetDlgItem(dlg, kIconId);
    const LPCWSTR systemIcon = SystemIconOf(box.style);
    const int iconW = systemIcon ? GetSystemMetrics(SM_CXICON) : 0;
    const int iconH = systemIcon ? GetSystemMetrics(SM_CYICON) : 0;
    if (systemIcon)
        SendMessageW(icon, STM_SETICON, reinterpret_cast<WPARAM>(LoadIconW(nullptr, systemIcon)), 0);
    else
        ShowWindow(icon, SW_HIDE);
    const int textLeft = marginX + (systemIcon ? iconW + iconGap : 0);

    // A word longer than the wrapping width (a path) widens the text instead.
    const int maxTextW = std::min<int>(Dlu(dlg, 250, 0, false),
                                       (work.right - work.left) - textLeft - marginX - 16);
    RECT textRect{0, 0, std::max(maxTextW, 1), 0};
    const HDC dc = GetDC(dlg);
    const HGDIOBJ oldFont = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(dlg, WM_GETFONT, 0, 0)));
    DrawTextW(dc, box.text.c_str(), int(box.text.size()), &textRect,
              DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX);
    SelectObject(dc, oldFont);
    ReleaseDC(dlg, dc);
    const int textW = textRect.right - textRect.left + 2;
    const int textH = textRect.bottom - textRect.top;

    const int n = int(box.buttons.size());
    const int rowW = n * buttonW + (n - 1) * buttonGap;
    const int contentH = std::max(iconH, textH);
    const int clientW = std::max(textLeft + textW + marginX, rowW + 2 * marginX);
    const int clientH = marginY + contentH + textGap + buttonH + marginY;

    if (systemIcon) Place(icon, marginX, marginY + (contentH - iconH) / 2, iconW, iconH);
    Place(GetDlgItem(dlg, kTextId), textLeft, marginY + (contentH - textH) / 2, textW, textH);
    int x = (clientW - rowW) / 2;
    for (const Button& b : box.buttons) {
        Place(GetDlgItem(dlg, b.id), x, clientH - marginY - buttonH, buttonW, buttonH);
        x += buttonW + buttonGap;
    }

    RECT frame{0, 0, clientW, clientH};
    AdjustWindowRectEx(&frame, DWORD(GetWindowLongW(dlg, GWL_STYLE)), FALSE,
                       DWORD(GetWindowLongW(dlg, GWL_EXSTYLE)));
    const int w = frame.right - frame.left, h = frame.bottom - frame.top;
    // Centred over the owner while it is on view, else on the work area.
    RECT area = work;
    const HWND owner = GetWindow(dlg, GW_OWNER);
    if (owner && IsWindowVisible(owner) && !IsIconic(owner)) GetWindowRect(owner, &area);
    int left = area.left + (area.right - area.left - w) / 2;
    int top = area.top + (area.bottom - area.top - h) / 2;
    left = std::max<int>(work.left, std::min<int>(left, work.right - w));
    top = std::max<int>(work.top, std::min<int>(top, work.bottom - h));
    SetWindowPos(dlg, nullptr, left, top, w, h, SWP_NOZORDER | SWP_NOACTIVATE);
}

INT_PTR CALLBACK BoxProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_INITDIALOG: {
        const Box& box = *reinterpret_cast<const Box*>(lParam);
        SetWindowLongPtrW(dlg, DWLP_USER, lParam);
        SetDlgItemTextW(dlg, kTextId, box.text.c_str());
        LayOut(dlg, box);
        const int defaultId = box.buttons[size_t(box.defaultIndex)].id;
        SendMessageW(dlg, DM_SETDEFID, WPARAM(defaultId), 0);
        SendMessageW(dlg, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(dlg, defaultId)), TRUE);
        if (box.style & MB_ICONMASK) MessageBeep(box.style & MB_ICONMASK);
        SetForegroundWindow(dlg);
        return FALSE;  // the focus is placed
    }
    case WM_COMMAND: {
        const auto* box = reinterpret_cast<const Box*>(GetWindowLongPtrW(dlg, DWLP_USER));
        if (!box || HIWORD(wParam) != BN_CLICKED) return FALSE;
        const int id = LOWORD(wParam);
        const bool isButton = std::any_of(box->buttons.begin(), box->buttons.end(),
                                          [&](const Button& b) { return b.id == id; });
        // Esc and the close box come as IDCANCEL, button or not.
        if (isButton)
            EndDialog(dlg, id);
        else if (id == IDCANCEL)
            EndDialog(dlg, box->escapeAnswer);
        return TRUE;
    }
    default:
        return FALSE;
    }
}

}  // namespace

int ShowMessageDialog(HWND owner, std::wstring_view text, std::wstring_view caption, UINT style,
                      std::wstring_view face, int pointSize) {
    Box box{std::wstring(text), style, ButtonsOf(style), 0, IDOK};
    if (box.buttons.empty()) return 0;
    const UINT defaultIndex = (style & MB_DEFMASK) >> 8;
    box.defaultIndex = defaultIndex < box.buttons.size() ? int(defaultIndex) : 0;
    const bool hasCancel = std::any_of(box.buttons.begin(), box.buttons.end(),
                                       [](const Button& b) { return b.id == IDCANCEL; });
    box.escapeAnswer = hasCancel ? IDCANCEL : (style & MB_TYPEMASK) == MB_YESNO ? IDNO : IDOK;

    // Everything is placed in WM_INITDIALOG, once the face's size is known.
    constexpr DWORD kVisible = WS_VISIBLE;
    std::vector<res::ControlTemplate> controls;
    controls.push_back({kIconId, res::ControlKind::Static, "", 0, 0, 0, 0, kVisible | SS_ICON});
    controls.push_back({kTextId, res::ControlKind::Static, "", 0, 0, 0, 0,
                        kVisible | SS_LEFT | SS_NOPREFIX | WS_GROUP});
    for (size_t i = 0; i < box.buttons.size(); ++i) {
        const Button& b = box.buttons[i];
        const DWORD kind = int(i) == box.defaultIndex ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON;
        controls.push_back({b.id, res::ControlKind::PushButton, b.text, 0, 0, 0, 0,
                            kVisible | WS_TABSTOP | (i == 0 ? WS_GROUP : 0) | kind});
    }
    const std::string title = Narrow(caption.empty() ? std::wstring_view(L"Error") : caption);
    const res::DialogTemplate tmpl{0,  title, 100, 40, "", pointSize,
                                   DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_SETFONT,
                                   0,  controls};
    const std::vector<uint32_t> image = BuildDialogTemplate(tmpl, face);
    const INT_PTR answer = DialogBoxIndirectParamW(
        GetModuleHandleW(nullptr), reinterpret_cast<LPCDLGTEMPLATEW>(image.data()), owner, BoxProc,
        reinterpret_cast<LPARAM>(&box));
    return answer > 0 ? int(answer) : 0;
}

}  // namespace platform
