// What the command line asks of the program.
#include <gtest/gtest.h>

#include "app/command_line.h"

namespace {

using Action = CommandLine::Action;

TEST(CommandLineTest, NumbersOptionsAndMistakes) {
    struct Case {
        std::vector<std::string> args;
        Action action;
        const char* number;  // nullptr: none
        bool dialNow;
    };
    const Case cases[] = {
        {{}, Action::Run, nullptr, false},
        {{"tel:+1-555-010-9999;ext=12"}, Action::Run, "tel:+1-555-010-9999;ext=12", false},
        {{"--dial", "0120 444 444"}, Action::Run, "0120 444 444", true},
        {{"0120444444", "--dial"}, Action::Run, "0120444444", true},
        {{"--", "-1"}, Action::Run, "-1", false},
        {{"0120444444", "--help"}, Action::Help, nullptr, false},
        {{"-h"}, Action::Help, nullptr, false},
        {{"--version", "--bogus"}, Action::Version, nullptr, false},
        {{"--bogus"}, Action::Usage, nullptr, false},
        {{"-dial", "1"}, Action::Usage, nullptr, false},
        {{"1", "2"}, Action::Usage, nullptr, false},
        {{"--dial"}, Action::Usage, nullptr, false},
    };
    for (const Case& c : cases) {
        std::string shown;
        for (const auto& a : c.args) shown += "'" + a + "' ";
        const CommandLine got = ParseCommandLine(c.args);
        EXPECT_EQ(got.action, c.action) << shown;
        EXPECT_EQ(got.action == Action::Usage, !got.error.empty()) << shown;
        ASSERT_EQ(got.number.has_value(), c.number != nullptr) << shown;
        if (got.number) {
            EXPECT_EQ(got.number->number, c.number) << shown;
            EXPECT_EQ(got.number->dialNow, c.dialNow) << shown;
        }
    }
}

}  // namespace
