#include "output/modem_lines.h"

#include <gtest/gtest.h>

namespace {

TEST(ModemReplies, OnlyResultCodesCountAndNoiseIsDropped) {
    // Echoed commands, lookalikes and data are no results.
    for (const char* line : {"ATZ", "ATDT0123", "OKAY", "9", "01", "1000", "BUSY SIGNAL", "ok"})
        EXPECT_FALSE(ParseModemResult(line)) << line;
    // Numbered from 10 on, every code is a connection of some speed.
    for (const char* line : {"10", "12", "19", "150"}) {
        const auto code = ParseModemResult(line);
        ASSERT_TRUE(code) << line;
        EXPECT_TRUE(code->connect && code->final) << line;
    }
    EXPECT_EQ(ParseModemResult("10")->text, "CONNECT 2400");
    EXPECT_EQ(ParseModemResult("13")->text, "CONNECT (code 13)");
    EXPECT_EQ(ParseModemResult(" NO DIAL TONE ")->text, "NO DIALTONE");
    const auto connect = ParseModemResult("CONNECT 33600/ARQ");
    EXPECT_TRUE(connect->connect && connect->final);
    EXPECT_EQ(connect->text, "CONNECT 33600/ARQ");
    EXPECT_FALSE(ParseModemResult("2")->final);  // RING

    EXPECT_TRUE(ModemAnswersLine("ATZ") && ModemAnswersLine("at&f"));
    EXPECT_TRUE(ModemDialIsVoiceCall("ATDT0123;") && ModemDialIsVoiceCall("ATD0; "));
    EXPECT_FALSE(ModemDialIsVoiceCall("ATDT0123") || ModemDialIsVoiceCall("ATD;0"));
    EXPECT_FALSE(ModemAnswersLine("") || ModemAnswersLine("A") || ModemAnswersLine("+++"));

    // Lines end at CR or LF, across reads; one longer than any result is dropped whole.
    ModemReplyLines lines;
    EXPECT_TRUE(lines.Feed("\r\nBU").empty());
    EXPECT_EQ(lines.Feed("SY\r\n\r\nOK\r"), (std::vector<std::string>{"BUSY", "OK"}));
    EXPECT_TRUE(lines.Feed(std::string(5000, 'x')).empty());
    EXPECT_EQ(lines.Feed("BUSY\r\nRING\n"), (std::vector<std::string>{"RING"}));
}

}  // namespace
