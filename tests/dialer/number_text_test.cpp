#include "dialer/number_text.h"

#include <gtest/gtest.h>

namespace {

TEST(NormalizeNumber, RealWorldNumbers) {
    struct Case {
        const char* text;
        const char* prefix;
        const char* dial;  // nullptr: refused
        const char* named = "";  // what the refusal must mention
    };
    const Case cases[] = {
        // international
        {"+1 (555) 010-9999", "011", "0111555010-9999"},
        {"+44 20 7946 0958", "00", "00442079460958"},
        {"+81-3-1234-5678", "010", "01081-3-1234-5678"},
        // a trunk "(0)" after the country code is not dialed from abroad; an
        // area code in brackets is, as is a "(0)" in a national number
        {"+49 (0)30 901820", "00", "004930901820"},
        {"+44 (0)20 7946 0958", "00", "00442079460958"},
        {"+41 ( 0 ) 44 668 18 00", "00", "0041446681800"},
        {"tel:+44(0)20-7946-0958", "00", "00442079460958"},
        {"+49 (30) 901820", "00", "004930901820"},
        {"+1 (0) 555", "00", "001555"},
        {"+1 555 (0)1", "00", "0015550" "1"},
        {"(0)30 901820", "", "030901820"},
        {"+1 555 0100", "", nullptr, "IntlPrefix"},
        {"+1 555 0100", "0 0", nullptr, "IntlPrefix"},
        // national, with the separators people write
        {"0120-444-444", "", "0120-444-444"},
        {"(030) 901820", "", "030901820"},
        {"555.010.9999", "", "5550109999"},
        {"06/12 34 56 78", "", "0612345678"},
        {"01\xC2\xA0" "23\xC2\xA0" "45", "", "012345"},
        {"  5550100\r\n", "", "5550100"},
        // tel: links, parameters and escapes
        {"tel:+1-555-010-9999;ext=12", "00", "0015550109999"},
        {"TEL:0120444444", "", "0120444444"},
        {"tel:7042;phone-context=example.com", "", "7042"},
        {"tel:%2B33%201%2023", "00", "0033123"},
        {"tel:12%23", "", "12#"},  // an escape at the very end
        // dial characters: pauses, tone letters, star codes
        {"*31#0120,,1234", "", "*31#0120,,1234"},
        {"a b c d", "", "ABCD"},
        // garbage and lookalikes
        {"1-800-FLOWERS", "", nullptr, "\"F\""},
        {"555 0100 x12", "", nullptr, "\"x\""},
        {"5;ext=1", "", nullptr, "\";\""},
        {"1+1", "00", nullptr, "\"+\""},
        {"12\x07", "", nullptr, "0x07"},
        // full-width forms from Japanese text, and the dashes typesetting puts between groups
        {"\xEF\xBC\x91\xEF\xBC\x92", "", "12"},
        {"０３－１２３４－５６７８", "", "03-1234-5678"},
        {"（０３）　１２３４‐５６７８", "", "031234-5678"},
        {"＋８１　３―１２３４", "010", "010813-1234"},
        {"ｔｅｌ：＋８１３１２３４", "010", "0108131234"},
        {"＊３１＃ａｂｃｄ，", "", "*31#ABCD,"},
        {"1‐2‑3‒4–5—6―7−8ー9－0ｰ1﹣2", "", "1-2-3-4-5-6-7-8-9-0-1-2"},
        {"03\xE2\x80\x83" "12\xE2\x81\x9F" "34", "", "031234"},  // em space, medium math space
        {"０３ｘ", "", nullptr, "\"x\""},
        {"\xEF\xBC", "", nullptr, "0xEF"},  // a cut full-width character stays refused
        {"\xE0\x80\xB0", "", nullptr, "cannot be dialed"},  // an overlong "0" is not a digit
        {"mailto:a@b", "", nullptr, "\"m\""},
        {"", "", nullptr, "no telephone number"},
        {" ( ) ", "", nullptr, "no telephone number"},
        {"tel:;ext=1", "", nullptr, "no telephone number"},
    };
    for (const Case& k : cases) {
        const NormalizedNumber n = NormalizeNumber(k.text, k.prefix);
        if (k.dial) {
            EXPECT_TRUE(n.ok) << k.text << ": " << n.message;
            EXPECT_EQ(n.dial, k.dial) << k.text;
        } else {
            EXPECT_FALSE(n.ok) << k.text << " gave " << n.dial;
            EXPECT_NE(n.message.find(k.named), std::string::npos) << k.text << ": " << n.message;
        }
    }
}

// What a tel: link loses is named, so that an extension is not lost unnoticed;
// the text is shown in a message box and stays short and printable.
TEST(NormalizeNumber, DroppedLinkParametersAreNamed) {
    const NormalizedNumber ext = NormalizeNumber("tel:+1-555-010-9999;ext=12", "00");
    EXPECT_EQ(ext.dial, "0015550109999");
    EXPECT_NE(ext.note.find("\";ext=12\""), std::string::npos) << ext.note;
    EXPECT_NE(ext.note.find("extension"), std::string::npos) << ext.note;

    const NormalizedNumber two = NormalizeNumber("tel:7042;isub=5;phone-context=%2B1-555;", "");
    EXPECT_EQ(two.dial, "7042");
    EXPECT_NE(two.note.find("\";isub=5\", \";phone-context=+1-555\""), std::string::npos) << two.note;
    EXPECT_EQ(two.note.find("extension"), std::string::npos) << two.note;

    const NormalizedNumber odd =
        NormalizeNumber("tel:1;a\nb=%07;c;d;e;f;" + std::string(300, 'x') + ";EXT=9", "");
    EXPECT_NE(odd.note.find("\";a?b=?\""), std::string::npos) << odd.note;
    EXPECT_NE(odd.note.find("and 3 more"), std::string::npos) << odd.note;
    EXPECT_NE(odd.note.find("extension"), std::string::npos) << odd.note;
    const NormalizedNumber longOne = NormalizeNumber("tel:1;x=" + std::string(300, 'y'), "");
    EXPECT_NE(longOne.note.find("yyy...\""), std::string::npos) << longOne.note;
    EXPECT_LT(longOne.note.size(), 200u);

    for (const char* plain : {"tel:12;", "tel:12", "555 0100"})
        EXPECT_EQ(NormalizeNumber(plain, "00").note, "") << plain;
}

}  // namespace
