// The profile on Windows: %APPDATA%\vantrel.ini, Unicode folders, read-only
// files, a held lock and left-over temporary files.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <chrono>

#include "framework/file_system.h"
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

TEST(ProfileStore, HeldLockIsWaitedForOnlyABoundedTime) {
    TempDir dir;
    const string path = dir / "vantrel.ini";
    WriteFileBytes(path, "[s]\nk=1\n");
    fsys::FileLock holder(path + ".lock", true, std::chrono::milliseconds(0));
    ASSERT_TRUE(holder.Held());
    const auto start = std::chrono::steady_clock::now();
    fw::ProfileStore store(path);
    EXPECT_EQ(store.GetString("s", "k", ""), "1");
    EXPECT_FALSE(store.WriteInt("s", "k", 2));
    EXPECT_EQ(store.LastWriteResult(), fw::ProfileStore::WriteResult::LockBusy);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
    EXPECT_EQ(ReadFileBytes(path), "[s]\nk=1\n");
}

void Backdate(const string& path) {
    const auto yesterday = fs::file_time_type::clock::now() - std::chrono::hours(24);
    fs::last_write_time(fs::u8path(path), yesterday);
}

TEST(TempFiles, LeftOversOfEndedProcessesAreRemoved) {
    TempDir dir;
    WriteFileBytes(dir / fsys::TempFileName("vantrel.ini", 0xFFFFFFF0ul, 0), "half");
    WriteFileBytes(dir / fsys::TempFileName("vantrel.ini", GetCurrentProcessId(), 0), "mine, now");
    for (const string& name : Names(dir.path())) Backdate(dir / name);
    EXPECT_EQ(fsys::RemoveStaleTempFiles(dir.path()), 1);
    EXPECT_EQ(Names(dir.path()).size(), 1u);
}

TEST(TempFiles, OtherProgramsFilesAndFreshOnesStay) {
    TempDir dir;
    WriteFileBytes(dir / ".report.tmp2024-06", "another program's");
    Backdate(dir / ".report.tmp2024-06");
    // Perhaps a save under way that the process check cannot see.
    WriteFileBytes(dir / fsys::TempFileName("vantrel.ini", 0xFFFFFFF0ul, 1), "half");
    EXPECT_EQ(fsys::RemoveStaleTempFiles(dir.path()), 0);
    EXPECT_EQ(Names(dir.path()).size(), 2u);
}

}  // namespace
