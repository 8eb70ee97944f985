// Text crossing into a toolkit's UTF-16 and back keeps every byte.
#include <gtest/gtest.h>

#include <string>

#include "framework/byte_text.h"

namespace {

TEST(ByteText, EveryShortByteStringComesBackExactly) {
    for (int a = 0; a < 256; ++a) {
        for (int b = 0; b < 256; ++b) {
            const std::string s{char(a), char(b)};
            ASSERT_EQ(fw::Utf16ToBytes(fw::BytesToUtf16(s)), s) << a << " " << b;
        }
    }
    // The block that carries stray bytes, written as UTF-8, and a 4-byte character.
    for (const std::string s : {"\xEE\xBE\x80\xEE\xBF\xBF", "\xF0\x9F\x93\x9E", "\xF0\x9F\x93"})
        EXPECT_EQ(fw::Utf16ToBytes(fw::BytesToUtf16(s)), s);
}

TEST(ByteText, RealCharactersShowAsThemselvesAndStrayBytesApart) {
    EXPECT_EQ(fw::BytesToUtf16("ﾀﾞｲｱﾙ 電話"), u"ﾀﾞｲｱﾙ 電話");
    EXPECT_EQ(fw::BytesToUtf16("\xF0\x9F\x93\x9E"), u"\U0001F4DE");
    EXPECT_EQ(fw::BytesToUtf16("A\xB1" "B"), std::u16string(u"A") + char16_t(0xEFB1) + u"B");
    // Typed text around a carried byte: the byte stays, the rest is UTF-8.
    EXPECT_EQ(fw::Utf16ToBytes(fw::BytesToUtf16("\x82\xA0") + u"あ"), "\x82\xA0\xE3\x81\x82");
}

// A surrogate is no character: written as UTF-8, alone or as a pair (as
// CESU-8 writes characters beyond U+FFFF), its bytes are stray bytes.
TEST(ByteText, EncodedSurrogatesAreStrayBytes) {
    for (int b = 0xA0; b <= 0xBF; ++b) {
        for (int c = 0x80; c <= 0xBF; ++c) {
            const std::string s{'\xED', char(b), char(c)};
            const std::u16string u = fw::BytesToUtf16(s);
            ASSERT_EQ(u.size(), 3u) << b << " " << c;
            ASSERT_EQ(fw::Utf16ToBytes(u), s) << b << " " << c;
        }
    }
    const std::string pair = "\xED\xA0\xBD\xED\xB3\x9E";  // U+1F4DE as two surrogates
    EXPECT_EQ(fw::BytesToUtf16(pair).size(), 6u);
    EXPECT_EQ(fw::Utf16ToBytes(fw::BytesToUtf16(pair)), pair);
}

}  // namespace
