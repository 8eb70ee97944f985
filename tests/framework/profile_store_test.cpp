#include "framework/profile_store.h"

#include <gtest/gtest.h>

#include <climits>
#include <optional>
#include <thread>

#include "framework/profile_test_helpers.h"

namespace {

using namespace profile_test;
using std::nullopt;
using std::optional;

TEST(IniLookup, ReadingRules) {
    struct Case {
        const char* what;
        string contents;
        string section;
        string key;
        optional<string> expected;
    };
    const string dial = "[Dial]\nLastDial=123\n";
    const std::vector<Case> cases = {
        {"plain", dial, "Dial", "LastDial", "123"},
        {"names ignore case", dial, "dIAL", "lastdial", "123"},
        {"missing key", dial, "Dial", "LoadFile", nullopt},
        {"missing section", dial, "Modem", "LastDial", nullopt},
        {"empty value is a value", "[Dial]\nLastDial=\n", "Dial", "LastDial", ""},
        {"blanks around everything", " \t[ Dial ] \n  LastDial \t=  1 2 \t\n", "Dial", "LastDial", "1 2"},
        {"names asked for are trimmed", dial, " Dial\t", " LastDial ", "123"},
        {"quotes are removed", "[s]\nk=\"  a b \"\n", "s", "k", "  a b "},
        {"quoted empty", "[s]\nk=\"\"\n", "s", "k", ""},
        {"lone quote kept", "[s]\nk=\"a\n", "s", "k", "\"a"},
        {"only one pair removed", "[s]\nk=\"\"a\"\"\n", "s", "k", "\"a\""},
        {"comment line", "[s]\n;k=1\n", "s", "k", nullopt},
        {"indented comment", "[s]\n  ; k=1\n", "s", "k", nullopt},
        {"comment key name", "[s]\n;k=1\n", "s", ";k", nullopt},
        {"first key wins", "[s]\nk=1\nK=2\n", "s", "k", "1"},
        {"first section wins", "[s]\na=1\n[S]\nb=2\n", "s", "b", nullopt},
        {"first section's key", "[s]\na=1\n[S]\na=2\n", "s", "a", "1"},
        {"keys before any section", "k=1\n[s]\n", "s", "k", nullopt},
        {"CR LF", "[s]\r\nk=v\r\n", "s", "k", "v"},
        {"unterminated last line", "[s]\nk=v", "s", "k", "v"},
        {"value holds '='", "[s]\nk=a=b\n", "s", "k", "a=b"},
        {"UTF-8 as is", "[ダイヤル]\n番号=東京 03\n", "ダイヤル", "番号", "東京 03"},
        {"line without '=' is no key", "[s]\nk\n", "s", "k", nullopt},
        {"broken header starts nothing", "[s]\n[x\nk=1\n", "s", "k", "1"},
        {"text after header ignored", "[s] junk\nk=1\n", "s", "k", "1"},
        {"section with blanks inside", "[Flag and Numeric]\nPlayWait=10\n", "flag and numeric", "PlayWait", "10"},
        {"next section ends the search", "[a]\n[b]\nk=1\n", "a", "k", nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(fw::IniLookup(c.contents, c.section, c.key), c.expected) << c.what;
    }
}

TEST(ParseProfileInt, SignedDecimalWithSaturation) {
    const std::vector<std::pair<string, int>> cases = {
        {"42", 42},
        {"-17", -17},
        {"+5", 5},
        {" \t12", 12},
        {"12abc", 12},
        {"3.9", 3},
        {"abc", 0},
        {"-", 0},
        {"", 0},
        {"0x10", 0},
        {"- 3", 0},
        {"--3", 0},
        {"000000000000000000042", 42},
        {"2147483647", INT_MAX},
        {"2147483648", INT_MAX},
        {"99999999999999999999999", INT_MAX},
        {"-2147483648", INT_MIN},
        {"-2147483649", INT_MIN},
        {"-99999999999999999999999", INT_MIN},
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(fw::ParseProfileInt(text), expected) << '"' << text << '"';
    }
}

TEST(IniSet, EditsKeepEveryOtherByte) {
    struct Case {
        const char* what;
        string before;
        string section;
        string key;
        string value;
        string after;
        string readBack;
    };
    const std::vector<Case> cases = {
        {"empty file", "", "s", "k", "v", "[s]\nk=v\n", "v"},
        {"replace in place", "; top\n[S]\n  K = old\nx=1\n", "s", "k", "new",
         "; top\n[S]\n  K =new\nx=1\n", "new"},
        {"replace keeps CR LF", "[s]\r\nk=1\r\n", "s", "k", "22", "[s]\r\nk=22\r\n", "22"},
        {"replace unterminated", "[s]\nk=1", "s", "k", "2", "[s]\nk=2", "2"},
        {"added after last key, not after blanks or comments",
         "[a]\nx=1\n\n;note\n[b]\ny=2\n", "a", "z", "3",
         "[a]\nx=1\nz=3\n\n;note\n[b]\ny=2\n", "3"},
        {"section without keys", "[a]\n\n[b]\n", "a", "k", "1", "[a]\nk=1\n\n[b]\n", "1"},
        {"new section at the end of unterminated file", "[a]\nx=1", "b", "k", "v",
         "[a]\nx=1\n[b]\nk=v\n", "v"},
        {"new key in CR LF file", "[a]\r\nx=1\r\n", "a", "y", "2", "[a]\r\nx=1\r\ny=2\r\n", "2"},
        {"new section in CR LF file", "[a]\r\nx=1\r\n", "b", "y", "2",
         "[a]\r\nx=1\r\n[b]\r\ny=2\r\n", "2"},
        {"unterminated CR line", "[a]\r\nx=1\r", "a", "y", "2", "[a]\r\nx=1\r\ny=2\r\n", "2"},
        {"first of two sections", "[s]\na=1\n[s]\nb=2\n", "S", "b", "3",
         "[s]\na=1\nb=3\n[s]\nb=2\n", "3"},
        {"empty value", "[s]\nk=old\n", "s", "k", "", "[s]\nk=\n", ""},
        {"blanks at the ends are kept by quoting", "", "s", "k", " a ", "[s]\nk=\" a \"\n", " a "},
        {"quoted value stays quoted", "", "s", "k", "\"q\"", "[s]\nk=\"\"q\"\"\n", "\"q\""},
        {"inner quote as is", "", "s", "k", "a\"b", "[s]\nk=a\"b\n", "a\"b"},
        {"line ends in a value become spaces", "[s]\nk=1\nj=2\n", "s", "k", "a\r\nb\nc",
         "[s]\nk=a  b c\nj=2\n", "a  b c"},
        {"names are stored trimmed", "", " s ", " k ", "v", "[s]\nk=v\n", "v"},
        {"UTF-8 as is", "", "ダイヤル", "番号", "東京", "[ダイヤル]\n番号=東京\n", "東京"},
    };
    for (const Case& c : cases) {
        string after = fw::IniSet(c.before, c.section, c.key, c.value);
        EXPECT_EQ(after, c.after) << c.what;
        EXPECT_EQ(fw::IniLookup(after, c.section, c.key), c.readBack) << c.what;
    }
}

TEST(IniSet, RefusesNamesThatCannotReadBack) {
    const string before = "[s]\nk=1\n";
    const std::vector<std::pair<string, string>> refused = {
        {"s", "a=b"}, {"s", ";k"}, {"s", "[k"}, {"s", ""}, {"s", "  "},
        {"s", "k\nx"}, {"s", "k\r"}, {"a]b", "k"}, {"a\nb", "k"},
    };
    for (const auto& [section, key] : refused) {
        EXPECT_FALSE(fw::IniNamesStorable(section, key)) << section << '/' << key;
        EXPECT_EQ(fw::IniSet(before, section, key, "2"), before) << section << '/' << key;
    }
    EXPECT_TRUE(fw::IniNamesStorable("", "k"));
    EXPECT_TRUE(fw::IniNamesStorable("[x", "k]"));
    EXPECT_EQ(fw::IniLookup(fw::IniSet("", "[x", "k]", "v"), "[x", "k]"), "v");
}

TEST(ProfileStore, ReadsWritesAndDefaults) {
    TempDir dir;
    const string path = dir / "a/b/vantrel.ini";
    fw::ProfileStore store(path);
    EXPECT_EQ(store.Path(), path);

    EXPECT_EQ(store.GetInt("Flag and Numeric", "PlayWait", 10), 10);
    EXPECT_EQ(store.GetString("Modem", "ModemInitChar", "ATZ"), "ATZ");
    EXPECT_FALSE(fs::exists(dir / "a")) << "reads create nothing";

    ASSERT_TRUE(store.WriteString("Modem", "ModemInitChar", ""));
    ASSERT_TRUE(store.WriteInt("Flag and Numeric", "TransSelect", -1));
    ASSERT_TRUE(store.WriteString("Dial", "LastDial", "03-1234,5"));
    EXPECT_EQ(ReadFileBytes(path),
              "[Modem]\nModemInitChar=\n[Flag and Numeric]\nTransSelect=-1\n"
              "[Dial]\nLastDial=03-1234,5\n");

    EXPECT_EQ(store.GetString("Modem", "ModemInitChar", "ATZ"), "") << "present but empty";
    EXPECT_EQ(store.GetInt("flag and numeric", "transselect", 0), -1);
    EXPECT_EQ(store.GetString("Dial", "LastDial", ""), "03-1234,5");
    EXPECT_EQ(store.GetInt("Dial", "LastDial", 7), 3) << "digits up to the first other character";

    WriteFileBytes(path, "[n]\nempty=\nquoted=\"\"\nword=abc\nbig=99999999999\n");
    EXPECT_EQ(store.GetInt("n", "empty", 5), 5);
    EXPECT_EQ(store.GetInt("n", "quoted", 5), 5);
    EXPECT_EQ(store.GetInt("n", "word", 5), 0);
    EXPECT_EQ(store.GetInt("n", "big", 5), INT_MAX);
    EXPECT_EQ(store.GetInt("n", "missing", 5), 5);

    EXPECT_FALSE(store.WriteString("n", "a=b", "1"));
    EXPECT_EQ(ReadFileBytes(path), "[n]\nempty=\nquoted=\"\"\nword=abc\nbig=99999999999\n");
}

TEST(ProfileStore, ConcurrentWriterThreadsLoseNoKey) {
    // Each thread has its own store, as two programs would: the lock file
    // serialises their read-modify-write cycles.
    TempDir dir;
    const string path = dir / "vantrel.ini";
    constexpr int kWrites = 60;
    bool ok[2] = {true, true};
    std::thread writers[2];
    for (int t = 0; t < 2; ++t) {
        writers[t] = std::thread([&, t] {
            fw::ProfileStore store(path);
            for (int i = 0; i < kWrites; ++i) {
                ok[t] = store.WriteInt("Race", std::string(1, "ab"[t]) + std::to_string(i), i) && ok[t];
            }
        });
    }
    for (auto& w : writers) w.join();
    EXPECT_TRUE(ok[0] && ok[1]) << "a write failed";

    fw::ProfileStore store(path);
    int lost = 0;
    for (const char* prefix : {"a", "b"}) {
        for (int i = 0; i < kWrites; ++i) lost += store.GetInt("Race", prefix + std::to_string(i), -1) != i;
    }
    EXPECT_EQ(lost, 0);
    EXPECT_EQ(Names(dir.path()), (std::vector<string>{"vantrel.ini", "vantrel.ini.lock"}));
}

}  // namespace
