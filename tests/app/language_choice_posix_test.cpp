// Which language the POSIX environment selects.
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "framework/translation.h"

namespace {

TEST(LanguageChoiceTest, FollowsLanguageThenLcAllThenLcMessagesThenLang) {
    const char* names[] = {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"};
    std::optional<std::string> saved[4];
    for (int i = 0; i < 4; ++i)
        if (const char* v = std::getenv(names[i])) saved[i] = v;
    struct Case {
        const char* values[4];
        fw::Language expected;
    };
    using L = fw::Language;
    const Case cases[] = {
        {{nullptr, nullptr, nullptr, "en_US.UTF-8"}, L::English},
        {{nullptr, nullptr, nullptr, "ja_JP.UTF-8"}, L::Japanese},
        {{nullptr, nullptr, nullptr, "C"}, L::English},
        {{nullptr, nullptr, nullptr, "POSIX"}, L::English},
        {{nullptr, nullptr, nullptr, "de_DE.UTF-8"}, L::English},
        {{nullptr, nullptr, nullptr, nullptr}, L::English},
        {{nullptr, "ja_JP.UTF-8", "en_US.UTF-8", "en_US.UTF-8"}, L::Japanese},
        {{nullptr, "", "ja_JP.eucJP", "C"}, L::Japanese},
        {{"", nullptr, nullptr, "ja_JP.UTF-8"}, L::Japanese},
        {{"fr:ja", nullptr, nullptr, "en_US.UTF-8"}, L::Japanese},
        {{"en_GB:ja", "ja_JP.UTF-8", nullptr, nullptr}, L::English},
        {{"de", nullptr, nullptr, "ja_JP.UTF-8"}, L::English},
    };
    for (const Case& c : cases) {
        for (int i = 0; i < 4; ++i) {
            if (c.values[i]) setenv(names[i], c.values[i], 1);
            else unsetenv(names[i]);
        }
        EXPECT_EQ(fw::LanguageFromEnvironment(), c.expected)
            << (c.values[0] ? c.values[0] : "-") << " " << (c.values[1] ? c.values[1] : "-") << " "
            << (c.values[2] ? c.values[2] : "-") << " " << (c.values[3] ? c.values[3] : "-");
    }
    for (int i = 0; i < 4; ++i) {
        if (saved[i]) setenv(names[i], saved[i]->c_str(), 1);
        else unsetenv(names[i]);
    }
}

}  // namespace
