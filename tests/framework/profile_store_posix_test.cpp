// The profile on POSIX: modes, symbolic links, file-size limits, processes
// writing at once, locks held by others, oversized files and the XDG
// settings folder.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <optional>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "framework/profile_test_helpers.h"
#include "support/lock_holder.h"

namespace {

using namespace profile_test;
using std::optional;

TEST(ProfileStore, KeepsModeAndWritesThroughSymlinks) {
    TempDir dir;
    const string target = dir / "real.ini";
    WriteFileBytes(target, "; mine\r\n[s]\r\nk=1\r\n");
    ASSERT_EQ(chmod(target.c_str(), 0640), 0);

    fs::create_directory(dir / "links");
    fs::create_symlink("../real.ini", dir / "links/rel.ini");
    fs::create_symlink(dir / "links/rel.ini", dir / "abs.ini");

    fw::ProfileStore store(dir / "abs.ini");
    ASSERT_TRUE(store.WriteInt("s", "k", 2));
    ASSERT_TRUE(store.WriteString("s", "n", "x"));

    EXPECT_TRUE(fs::is_symlink(dir / "abs.ini"));
    EXPECT_TRUE(fs::is_symlink(dir / "links/rel.ini"));
    EXPECT_EQ(ReadFileBytes(target), "; mine\r\n[s]\r\nk=2\r\nn=x\r\n");
    struct stat st {};
    ASSERT_EQ(stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);

    // A dangling link gets its target created.
    fs::create_symlink("made.ini", dir / "dangling.ini");
    ASSERT_TRUE(fw::ProfileStore(dir / "dangling.ini").WriteString("a", "b", "c"));
    EXPECT_TRUE(fs::is_symlink(dir / "dangling.ini"));
    EXPECT_EQ(ReadFileBytes(dir / "made.ini"), "[a]\nb=c\n");
}

TEST(ProfileStore, FailedWriteLeavesOldFileByteIdentical) {
    TempDir dir;
    const string path = dir / "vantrel.ini";
    const string old = "[Dial]\r\nLastDial=123\r\n; keep me\r\n";
    WriteFileBytes(path, old);

    // A file size limit below the new file's size: the write must fail cleanly
    // (not be killed by SIGXFSZ) and leave neither a short profile nor a temp.
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        struct rlimit limit {};
        limit.rlim_cur = limit.rlim_max = old.size();
        setrlimit(RLIMIT_FSIZE, &limit);
        bool wrote = fw::ProfileStore(path).WriteString("Dial", "LoadFile", string(100, 'x'));
        _exit(wrote ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "killed by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0) << "write claimed success";
    EXPECT_EQ(ReadFileBytes(path), old);
    EXPECT_EQ(Names(dir.path()), (std::vector<string>{"vantrel.ini", "vantrel.ini.lock"}));

    // A directory in the path that is a file: nothing can be made there.
    WriteFileBytes(dir / "conf", "not a directory");
    EXPECT_FALSE(fw::ProfileStore(dir / "conf/vantrel.ini").WriteString("s", "k", "v"));
    EXPECT_EQ(ReadFileBytes(dir / "conf"), "not a directory");

    // The profile path is a directory: it is neither read nor replaced.
    fs::create_directory(dir / "ini");
    fw::ProfileStore onDir(dir / "ini");
    EXPECT_FALSE(onDir.WriteString("s", "k", "v"));
    EXPECT_EQ(onDir.GetString("s", "k", "dflt"), "dflt");
    EXPECT_TRUE(fs::is_directory(dir / "ini"));
    EXPECT_EQ(Names(dir.path()),
              (std::vector<string>{"conf", "ini", "ini.lock", "vantrel.ini", "vantrel.ini.lock"}));
}

TEST(ProfileStore, ConcurrentWritersLoseNoKey) {
    TempDir dir;
    const string path = dir / "vantrel.ini";
    constexpr int kWrites = 200;
    const char* prefixes[] = {"a", "b"};

    std::vector<pid_t> children;
    for (const char* prefix : prefixes) {
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            fw::ProfileStore store(path);
            bool ok = true;
            for (int i = 0; i < kWrites; ++i) {
                ok = store.WriteInt("Race", prefix + std::to_string(i), i) && ok;
            }
            _exit(ok ? 0 : 1);
        }
        children.push_back(child);
    }
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0) << "a write failed";
    }

    fw::ProfileStore store(path);
    int lost = 0;
    for (const char* prefix : prefixes) {
        for (int i = 0; i < kWrites; ++i) {
            lost += store.GetInt("Race", prefix + std::to_string(i), -1) != i;
        }
    }
    EXPECT_EQ(lost, 0);
    EXPECT_EQ(Names(dir.path()), (std::vector<string>{"vantrel.ini", "vantrel.ini.lock"}));
}

TEST(ProfileStore, LockHeldByAnotherProcessDelaysButNeverFreezes) {
    TempDir dir;
    const string path = dir / "vantrel.ini";
    WriteFileBytes(path, "[Dial]\nLastDial=123\n");
    testing_support::LockHolder holder(path + ".lock");
    ASSERT_TRUE(holder.Held());

    const auto start = std::chrono::steady_clock::now();
    fw::ProfileStore store(path);
    EXPECT_EQ(store.GetString("Dial", "LastDial", ""), "123");  // read without the lock
    EXPECT_FALSE(store.WriteString("Dial", "LastDial", "456"));
    EXPECT_EQ(store.LastWriteResult(), fw::ProfileStore::WriteResult::LockBusy);
    for (int i = 0; i < 8; ++i) EXPECT_FALSE(store.WriteInt("Dial", "N" + std::to_string(i), i));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
    EXPECT_EQ(ReadFileBytes(path), "[Dial]\nLastDial=123\n");

    holder.Release();
    EXPECT_TRUE(store.WriteString("Dial", "LastDial", "456"));
    EXPECT_EQ(fw::ProfileStore(path).GetString("Dial", "LastDial", ""), "456");

    // A directory where the lock file belongs does not turn saving off.
    TempDir other;
    fs::create_directory(other / "vantrel.ini.lock");
    fw::ProfileStore blocked(other / "vantrel.ini");
    EXPECT_TRUE(blocked.WriteString("Dial", "LastDial", "789"));
    EXPECT_EQ(ReadFileBytes(other / "vantrel.ini"), "[Dial]\nLastDial=789\n");
}

TEST(ProfileStore, OversizedProfileIsNeitherUsedNorOverwritten) {
    TempDir dir;
    const string path = dir / "vantrel.ini";
    string big = "[Dial]\nLastDial=123\n";
    big.resize(fw::ProfileStore::kMaxProfileBytes + 1, ';');
    WriteFileBytes(path, big);

    fw::ProfileStore store(path);
    EXPECT_EQ(store.State(), fw::ProfileState::TooLarge);
    EXPECT_EQ(store.GetString("Dial", "LastDial", "dflt"), "dflt");
    EXPECT_FALSE(store.WriteString("Dial", "LastDial", "456"));
    EXPECT_EQ(store.LastWriteResult(), fw::ProfileStore::WriteResult::NotUsed);
    EXPECT_EQ(ReadFileBytes(path), big);

    // At the limit it is an ordinary profile, read once and again only once
    // it has changed on disk (here: by another program).
    big.resize(fw::ProfileStore::kMaxProfileBytes);
    WriteFileBytes(path, big);
    EXPECT_EQ(store.State(), fw::ProfileState::Usable);
    EXPECT_EQ(store.GetString("Dial", "LastDial", "dflt"), "123");
    WriteFileBytes(path, "[Dial]\nLastDial=9\n");
    EXPECT_EQ(store.GetString("Dial", "LastDial", "dflt"), "9");
}

TEST(ProfileStore, LinkedProfileGetsItsLockBesideTheLink) {
    TempDir dir;
    fs::create_directory(dir / "config");
    fs::create_directory(dir / "elsewhere");
    WriteFileBytes(dir / "elsewhere/real.ini", "[s]\nk=1\n");
    fs::create_symlink(dir / "elsewhere/real.ini", dir / "config/vantrel.ini");
    fs::create_symlink("/dev/zero", dir / "config/zero.ini");

    fw::ProfileStore store(dir / "config/vantrel.ini");
    ASSERT_TRUE(store.WriteInt("s", "k", 2));
    EXPECT_EQ(ReadFileBytes(dir / "elsewhere/real.ini"), "[s]\nk=2\n");
    EXPECT_EQ(Names(dir / "elsewhere"), std::vector<string>{"real.ini"});
    EXPECT_TRUE(fs::exists(dir / "config/vantrel.ini.lock"));

    // A profile linked to a device is unreadable, not read for ever.
    fw::ProfileStore zero(dir / "config/zero.ini");
    EXPECT_EQ(zero.State(), fw::ProfileState::Unreadable);
    EXPECT_FALSE(zero.WriteInt("s", "k", 2));
}

TEST(DefaultProfilePath, FollowsXdgThenHome) {
    struct SavedEnv {
        const char* name;
        optional<string> value;
        explicit SavedEnv(const char* n) : name(n) {
            if (const char* v = std::getenv(n)) value = v;
        }
        ~SavedEnv() {
            if (value) setenv(name, value->c_str(), 1);
            else unsetenv(name);
        }
    } xdg("XDG_CONFIG_HOME"), home("HOME");

    setenv("XDG_CONFIG_HOME", "/cfg/x", 1);
    setenv("HOME", "/home/u", 1);
    EXPECT_EQ(fw::DefaultProfilePath("vantrel"), "/cfg/x/vantrel.ini");
    EXPECT_EQ(fw::DefaultProfilePath("/usr/bin/vantrel"), "/cfg/x/vantrel.ini");

    setenv("XDG_CONFIG_HOME", "relative", 1);
    EXPECT_EQ(fw::DefaultProfilePath("vantrel"), "/home/u/.config/vantrel.ini");
    unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(fw::DefaultProfilePath("vantrel"), "/home/u/.config/vantrel.ini");

    unsetenv("HOME");
    string fromPasswd = fw::DefaultProfilePath("vantrel");
    EXPECT_EQ(fromPasswd.substr(fromPasswd.size() - 20), "/.config/vantrel.ini");
    EXPECT_EQ(fromPasswd.front(), '/');
}

}  // namespace
