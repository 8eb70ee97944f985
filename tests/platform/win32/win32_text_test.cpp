// Windows only: built into the cross-compiled test program and run under Wine.
#ifdef _WIN32

#include <gtest/gtest.h>

#include "platform/win32/win32_text.h"

namespace platform {
namespace {

TEST(Win32Text, Utf8AndUtf16RoundTripJapaneseAndHalfWidthKana) {
    const std::string text = "ﾊﾞｰｼﾞｮﾝ情報(Vantrel) (&A)...";
    const std::wstring wide = Widen(text);
    // Half-width katakana are single UTF-16 units; the kanji too.
    ASSERT_EQ(wide.size(), 26u);
    EXPECT_EQ(wide[0], L'\uFF8A');
    EXPECT_EQ(wide[7], L'\u60C5');
    EXPECT_EQ(Narrow(wide), text);
    EXPECT_EQ(Widen(""), L"");
    EXPECT_EQ(Narrow(L""), "");
    // Outside the basic plane: a surrogate pair each way.
    EXPECT_EQ(Widen("\xF0\x9F\x93\x9E").size(), 2u);
    EXPECT_EQ(Narrow(Widen("\xF0\x9F\x93\x9E")), "\xF0\x9F\x93\x9E");
}

TEST(Win32Text, FileFilterBecomesNulSeparatedPairsWithEmptyTerminator) {
    const std::wstring filter = ToWin32FileFilter("Vantrel Data(*.vtl)|*.vtl|All File(*.*)|*.*||");
    const std::wstring expected(L"Vantrel Data(*.vtl)\0*.vtl\0All File(*.*)\0*.*\0\0", 45);
    EXPECT_EQ(filter, expected);
    // Without the closing bars the list is still ended properly.
    EXPECT_EQ(ToWin32FileFilter("Text|*.txt"), std::wstring(L"Text\0*.txt\0\0", 12));
    // A name without a pattern is no pair.
    EXPECT_EQ(ToWin32FileFilter("Text|*.txt|Other"), std::wstring(L"Text\0*.txt\0\0", 12));
    // Japanese names cross as UTF-16.
    EXPECT_EQ(ToWin32FileFilter("一覧|*.vtl||"), std::wstring(L"\u4E00\u89A7\0*.vtl\0\0", 10));
    EXPECT_TRUE(ToWin32FileFilter("").empty());
    EXPECT_TRUE(ToWin32FileFilter("||").empty());
}

TEST(Win32Text, DefaultExtensionLosesItsWildcardAndDot) {
    EXPECT_EQ(ToWin32DefaultExt("*.vtl"), L"vtl");
    EXPECT_EQ(ToWin32DefaultExt(".vtl"), L"vtl");
    EXPECT_EQ(ToWin32DefaultExt("vtl"), L"vtl");
    EXPECT_EQ(ToWin32DefaultExt(""), L"");
}

}  // namespace
}  // namespace platform

#endif  // _WIN32
