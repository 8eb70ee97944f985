// Windows only: built into the cross-compiled test program and run under Wine.
#ifdef _WIN32

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "framework/win_types.h"
#include "platform/win32/win32_dialog_template.h"
#include "platform/win32/win32_text.h"
#include "resources/resource_ids.h"

#include <windows.h>

namespace platform {
namespace {

// Reads a DLGTEMPLATEEX back the way the dialog manager does.
class TemplateReader {
public:
    explicit TemplateReader(const std::vector<uint32_t>& image)
        : base_(reinterpret_cast<const uint8_t*>(image.data())), size_(image.size() * 4) {}
    uint16_t Word() {
        EXPECT_LE(pos_ + 2, size_);
        uint16_t w;
        std::memcpy(&w, base_ + pos_, 2);
        pos_ += 2;
        return w;
    }
    uint32_t Dword() { return Word() | uint32_t(Word()) << 16; }
    uint8_t Byte() { return base_[pos_++]; }
    std::wstring String() {
        std::wstring s;
        for (uint16_t c = Word(); c != 0; c = Word()) s += wchar_t(c);
        return s;
    }
    // A class or title: an ordinal (0xFFFF, value) or a string.
    std::wstring NameOrOrdinal(uint16_t& ordinal) {
        ordinal = 0;
        uint16_t first;
        std::memcpy(&first, base_ + pos_, 2);
        if (first == 0xFFFF) {
            Word();
            ordinal = Word();
            return {};
        }
        return String();
    }
    void AlignDword() { pos_ = (pos_ + 3) & ~size_t(3); }
    size_t Pos() const { return pos_; }

private:
    const uint8_t* base_;
    size_t size_;
    size_t pos_ = 0;
};

TEST(Win32DialogTemplate, EveryControlOfEveryTemplateIsWrittenAsTheDialogManagerReadsIt) {
    for (int id : {res::IDD_DIALER, res::IDD_OPTION, res::IDD_ABOUTBOX}) {
        SCOPED_TRACE(id);
        const res::DialogTemplate& t = *res::FindDialogTemplate(id);
        const std::vector<uint32_t> image = BuildDialogTemplate(t);
        TemplateReader r(image);
        EXPECT_EQ(r.Word(), 1);
        EXPECT_EQ(r.Word(), 0xFFFF);
        EXPECT_EQ(r.Dword(), 0u);
        EXPECT_EQ(r.Dword(), t.exStyle);
        const uint32_t style = r.Dword();
        // Shown only when its run starts, after the program filled it in.
        EXPECT_EQ(style, (t.style & ~WS_VISIBLE) | DS_SETFONT);
        ASSERT_EQ(r.Word(), t.controls.size());
        r.Word();
        r.Word();
        EXPECT_EQ(int16_t(r.Word()), t.cx);
        EXPECT_EQ(int16_t(r.Word()), t.cy);
        EXPECT_EQ(r.Word(), 0);  // menu
        EXPECT_EQ(r.Word(), 0);  // class
        EXPECT_EQ(r.String(), Widen(t.caption));
        EXPECT_EQ(r.Word(), t.pointSize);
        EXPECT_EQ(r.Word(), FW_NORMAL);
        EXPECT_EQ(r.Byte(), 0);
        EXPECT_EQ(r.Byte(), SHIFTJIS_CHARSET);
        EXPECT_EQ(r.String(), L"\uFF2D\uFF33 \uFF30\u30B4\u30B7\u30C3\u30AF");

        for (const res::ControlTemplate& c : t.controls) {
            SCOPED_TRACE(c.id);
            r.AlignDword();
            EXPECT_EQ(r.Dword(), 0u);  // help id
            const uint32_t exStyle = r.Dword();
            const uint32_t itemStyle = r.Dword();
            EXPECT_TRUE(itemStyle & WS_CHILD);
            if (c.kind == res::ControlKind::Edit && (c.style & WS_BORDER)) {
                EXPECT_EQ(itemStyle, (c.style & ~WS_BORDER) | WS_CHILD);
                EXPECT_EQ(exStyle, DWORD(WS_EX_CLIENTEDGE));
            } else {
                EXPECT_EQ(itemStyle, c.style | WS_CHILD);
                EXPECT_EQ(exStyle, 0u);
            }
            EXPECT_EQ(int16_t(r.Word()), c.x);
            EXPECT_EQ(int16_t(r.Word()), c.y);
            EXPECT_EQ(int16_t(r.Word()), c.cx);
            EXPECT_EQ(int16_t(r.Word()), c.cy);
            EXPECT_EQ(r.Dword(), c.id < 0 ? 0xFFFFu : uint32_t(c.id));
            uint16_t atom = 0;
            const std::wstring cls = r.NameOrOrdinal(atom);
            switch (c.kind) {
            case res::ControlKind::PushButton:
            case res::ControlKind::GroupBox:
            case res::ControlKind::RadioButton: EXPECT_EQ(atom, 0x0080); break;
            case res::ControlKind::Edit: EXPECT_EQ(atom, 0x0081); break;
            case res::ControlKind::Static:
            case res::ControlKind::Icon: EXPECT_EQ(atom, 0x0082); break;
            case res::ControlKind::Slider: EXPECT_EQ(cls, L"msctls_trackbar32"); break;
            }
            uint16_t titleOrdinal = 0;
            const std::wstring title = r.NameOrOrdinal(titleOrdinal);
            if (c.kind == res::ControlKind::Icon) {
                EXPECT_EQ(titleOrdinal, res::IDR_MAINFRAME);
            } else {
                EXPECT_EQ(titleOrdinal, 0);
                EXPECT_EQ(title, Widen(c.text));
            }
            EXPECT_EQ(r.Word(), 0);  // no creation data
        }
        EXPECT_LE(r.Pos(), image.size() * 4);
    }
}

}  // namespace
}  // namespace platform

#endif  // _WIN32
