// Dialog templates for the dialog manager, and the window made from one.
// (win32_window.h first: the framework's names before the Win32 macros.)
#include "platform/win32/win32_window.h"
#include "platform/win32/win32_dialog_template.h"

#include <windows.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <string>
#include <vector>

#include "framework/label_widening.h"
#include "platform/win32/win32_dialog_font.h"
#include "platform/win32/win32_text.h"

namespace platform {
namespace {

// Predefined control classes, by atom.
constexpr WORD kButtonAtom = 0x0080;
constexpr WORD kEditAtom = 0x0081;
constexpr WORD kStaticAtom = 0x0082;
constexpr wchar_t kTrackbarClass[] = L"msctls_trackbar32";

// The templates were made for a Japanese face; its character set goes with it
// (although some dialog managers pass on only the weight and the slant).
constexpr BYTE kTemplateCharset = SHIFTJIS_CHARSET;

class Writer {
public:
    void Word(uint16_t w) { Bytes(&w, sizeof w); }
    void Dword(uint32_t d) { Bytes(&d, sizeof d); }
    void Short(int v) { Word(uint16_t(int16_t(v))); }
    void Byte(uint8_t b) { bytes_.push_back(b); }
    void String(std::string_view utf8) {
        const std::wstring w = Widen(utf8);
        for (wchar_t c : w) Word(uint16_t(c));
        Word(0);
    }
    void WideString(const wchar_t* s) {
        for (; *s; ++s) Word(uint16_t(*s));
        Word(0);
    }
    void Ordinal(uint16_t value) {
        Word(0xFFFF);
        Word(value);
    }
    void AlignDword() {
        while (bytes_.size() % 4) bytes_.push_back(0);
    }
    size_t Size() const { return bytes_.size(); }
    std::vector<uint32_t> Finish() {
        AlignDword();
        std::vector<uint32_t> out(bytes_.size() / 4);
        std::memcpy(out.data(), bytes_.data(), bytes_.size());
        return out;
    }

private:
    void Bytes(const void* p, size_t n) {
        const auto* b = static_cast<const uint8_t*>(p);
        bytes_.insert(bytes_.end(), b, b + n);
    }
    std::vector<uint8_t> bytes_;
};

void WriteClass(Writer& w, res::ControlKind kind) {
    switch (kind) {
    case res::ControlKind::PushButton:
    case res::ControlKind::GroupBox:
    case res::ControlKind::RadioButton:
        w.Ordinal(kButtonAtom);
        break;
    case res::ControlKind::Edit:
        w.Ordinal(kEditAtom);
        break;
    case res::ControlKind::Static:
    case res::ControlKind::Icon:
        w.Ordinal(kStaticAtom);
        break;
    case res::ControlKind::Slider:
        w.WideString(kTrackbarClass);
        break;
    }
}

void WriteItem(Writer& w, const res::ControlTemplate& c) {
    w.AlignDword();
    DWORD style = c.style | WS_CHILD;
    DWORD exStyle = 0;
    if (c.kind == res::ControlKind::Edit && (style & WS_BORDER)) {
        // A bordered field is sunk into the dialog's face, as the platform's
        // dialog editor draws it.
        style &= ~DWORD(WS_BORDER);
        exStyle |= WS_EX_CLIENTEDGE;
    }
    w.Dword(0);  // help id
    w.Dword(exStyle);
    w.Dword(style);
    w.Short(c.x);
    w.Short(c.y);
    w.Short(c.cx);
    w.Short(c.cy);
    // Controls the program never addresses all share the conventional -1,
    // kept to 16 bits as command notifications carry it.
    w.Dword(c.id < 0 ? 0xFFFFu : uint32_t(c.id));
    WriteClass(w, c.kind);
    if (c.kind == res::ControlKind::Icon) {
        // The picture is named by its resource number.
        int iconId = 0;
        std::from_chars(c.text.data(), c.text.data() + c.text.size(), iconId);
        w.Ordinal(uint16_t(iconId));
    } else {
        w.String(c.text);
    }
    w.Word(0);  // no creation data
}

}  // namespace

std::vector<uint32_t> BuildDialogTemplate(const res::DialogTemplate& tmpl, std::wstring_view face) {
    Writer w;
    w.Word(1);       // version
    w.Word(0xFFFF);  // the extended template's signature
    w.Dword(0);      // help id
    w.Dword(tmpl.exStyle);
    w.Dword((tmpl.style & ~DWORD(WS_VISIBLE)) | DS_SETFONT);
    w.Word(uint16_t(tmpl.controls.size()));
    w.Short(0);
    w.Short(0);
    w.Short(tmpl.cx);
    w.Short(tmpl.cy);
    w.Word(0);  // no menu
    w.Word(0);  // the dialog manager's own window class
    w.String(tmpl.caption);
    w.Word(uint16_t(tmpl.pointSize));
    w.Word(FW_NORMAL);
    w.Byte(0);  // not italic
    w.Byte(kTemplateCharset);
    if (face.empty())
        w.String(tmpl.fontFace);
    else
        w.WideString(std::wstring(face).c_str());
    for (const res::ControlTemplate& c : tmpl.controls) WriteItem(w, c);
    return w.Finish();
}

// ---------------------------------------------------------------- the window made from it

namespace {

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

bool IsTextLabel(HWND control) {
    wchar_t cls[16] = {};
    GetClassNameW(control, cls, 16);
    return lstrcmpiW(cls, L"Static") == 0 && (GetWindowLongW(control, GWL_STYLE) & SS_TYPEMASK) == SS_LEFT;
}

// A face standing in for the templates' own may draw wider letters: see
// framework/label_widening.h. Only the measuring is the dialog manager's.
void WidenClippedLabels(HWND dialog) {
    RECT client{};
    GetClientRect(dialog, &client);
    const HDC dc = GetDC(dialog);
    const HGDIOBJ oldFont = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0)));
    std::vector<HWND> children;
    std::vector<fw::LaidOutControl> laidOut;
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        const LONG style = GetWindowLongW(child, GWL_STYLE);
        const RECT r = ChildRect(dialog, child);
        fw::LaidOutControl c;
        c.rect = {r.left, r.top, r.right, r.bottom};
        c.visible = (style & WS_VISIBLE) != 0;
        c.frame = IsGroupBox(child);
        c.label = IsTextLabel(child);
        if (c.label) {
            const std::wstring text = WindowText(child);
            RECT needed{0, 0, 0, 0};
            DrawTextW(dc, text.c_str(), int(text.size()), &needed,
                      DT_CALCRECT | DT_SINGLELINE | ((style & SS_NOPREFIX) ? DT_NOPREFIX : 0));
            c.textWidth = needed.right - needed.left;
        }
        children.push_back(child);
        laidOut.push_back(c);
    }
    SelectObject(dc, oldFont);
    ReleaseDC(dialog, dc);
    fw::WidenClippedLabels(laidOut, client.right);
    for (size_t i = 0; i < children.size(); ++i) {
        const RECT r = ChildRect(dialog, children[i]);
        if (laidOut[i].rect.Width() != r.right - r.left)
            SetWindowPos(children[i], nullptr, 0, 0, laidOut[i].rect.Width(), r.bottom - r.top,
                         SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

}  // namespace

bool Win32Window::CreateFrom(const res::DialogTemplate& tmpl, HWND owner) {
    const std::vector<uint32_t> image = BuildDialogTemplate(tmpl, DialogFaceFor(Widen(tmpl.fontFace)));
    CreateDialogIndirectParamW(module_, reinterpret_cast<LPCDLGTEMPLATEW>(image.data()),
                               owner, &Win32Window::DialogProc, reinterpret_cast<LPARAM>(this));
    // hwnd_ is set while the dialog manager initialises the window.
    if (!hwnd_) return false;
    WidenClippedLabels(hwnd_);
    return true;
}

}  // namespace platform
