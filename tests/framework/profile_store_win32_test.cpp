// The profile on Windows: %APPDATA%\vantrel.ini, Unicode folders, read-only files.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include "framework/profile_test_helpers.h"

namespace {

using namespace profile_test;

std::wstring Wide(const string& utf8Path) { return fs::u8path(utf8Path).wstring(); }

TEST(DefaultProfilePath, IsVantrelIniInTheApplicationDataFolder) {
    wchar_t appData[MAX_PATH] = {};
    ASSERT_TRUE(SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, 0, appData)));
    const fs::path expected = fs::path(appData) / L"vantrel.ini";
    EXPECT_EQ(fs::u8path(fw::DefaultProfilePath("vantrel")), expected);
    EXPECT_EQ(fs::u8path(fw::DefaultProfilePath("C:\\Program Files\\Vantrel\\vantrel")), expected);
    EXPECT_EQ(fs::u8path(fw::DefaultProfilePath("D:/tools/vantrel")), expected);
}

TEST(ProfileStore, UnicodeFoldersAreMadeAndReadOnlyProfilesAreLeftAlone) {
    TempDir dir;
    const string path = dir / "設定/ﾀﾞｲｱﾙ/vantrel.ini";
    fw::ProfileStore store(path);
    ASSERT_TRUE(store.WriteString("Dial", "LastDial", "03-1234"));
    ASSERT_TRUE(store.WriteInt("Dial", "ListTop", 5));
    EXPECT_TRUE(fs::exists(fs::u8path(path)));
    EXPECT_EQ(store.GetString("Dial", "LastDial", ""), "03-1234");
    EXPECT_EQ(store.GetInt("Dial", "ListTop", 0), 5);
    EXPECT_TRUE(fs::exists(fs::u8path(path + ".lock")));
    EXPECT_EQ(std::distance(fs::directory_iterator(fs::u8path(dir / "設定/ﾀﾞｲｱﾙ")),
                            fs::directory_iterator()),
              2) << "no temporary file is left behind";

    ASSERT_TRUE(SetFileAttributesW(Wide(path).c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_FALSE(store.WriteString("Dial", "LastDial", "999"));
    EXPECT_EQ(store.GetString("Dial", "LastDial", ""), "03-1234");
    SetFileAttributesW(Wide(path).c_str(), FILE_ATTRIBUTE_NORMAL);

    // A file where a folder should be: nothing can be made there.
    WriteFileBytes(dir / "conf", "not a folder");
    EXPECT_FALSE(fw::ProfileStore(dir / "conf/vantrel.ini").WriteString("s", "k", "v"));
    EXPECT_EQ(ReadFileBytes(dir / "conf"), "not a folder");
}

}  // namespace
