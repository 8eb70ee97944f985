// What a limited field keeps of an edit, on every backend.
#include <gtest/gtest.h>

#include <string>

#include "framework/edit_limit.h"

namespace {

using fw::FitEditToLimit;

TEST(EditLimit, WhatIsPutInKeepsTheFrontThatFitsInWholeCharactersCountedInBytes) {
    // Typing at the limit is refused: the text stays as it was.
    auto r = FitEditToLimit(u"ATDT", u"ATDTX", 5, 4);
    EXPECT_EQ(r.text, u"ATDT");
    // A paste in the middle is cut; what follows the caret stays.
    r = FitEditToLimit(u"AT;", u"ATDT123;", 7, 6);
    EXPECT_EQ(r.text, u"ATDT1;");
    EXPECT_EQ(r.caret, 5u);
    // A three-byte character that does not fit whole is left out, and a stray
    // byte carried in the private block counts as the one byte it stands for.
    EXPECT_EQ(FitEditToLimit(u"", u"ああ", 2, 5).text, u"あ");
    EXPECT_EQ(FitEditToLimit(u"\uEFB1", u"\uEFB1ZZ", 3, 2).text, u"\uEFB1Z");
    // A surrogate pair goes in whole or not at all.
    EXPECT_EQ(FitEditToLimit(u"A", u"A\U0001F4DE", 3, 4).text, u"A");
    EXPECT_EQ(FitEditToLimit(u"A", u"A\U0001F4DE", 3, 5).text, u"A\U0001F4DE");
    // A replaced selection is gone even when nothing of what replaced it fits.
    r = FitEditToLimit(u"ABCD", u"AあD", 2, 3);
    EXPECT_EQ(r.text, u"AD");
    EXPECT_EQ(r.caret, 1u);
    // Deleting from a text the program set longer is allowed; no limit is none.
    EXPECT_EQ(FitEditToLimit(u"ABCDEF", u"ABCDE", 5, 3).text, u"ABCDE");
    EXPECT_EQ(FitEditToLimit(u"", u"ABCDEF", 6, 0).text, u"ABCDEF");
}

}  // namespace
