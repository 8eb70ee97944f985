// Temporary files of saves (left-overs of killed runs, a save stopped by a
// signal), other users' links, and locks.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <thread>

#include "framework/file_system.h"
#include "framework/profile_test_helpers.h"
#include "support/test_users.h"

namespace {

using namespace profile_test;
using namespace std::chrono_literals;

// As old as a file a killed run left behind yesterday.
void Backdate(const string& path) {
    fs::last_write_time(path, fs::file_time_type::clock::now() - 24h);
}

pid_t FinishedProcess() {
    const pid_t child = fork();
    if (child == 0) _exit(0);
    waitpid(child, nullptr, 0);
    return child;
}

TEST(TempFiles, OnlyThoseOfEndedProcessesAreRemoved) {
    TempDir dir;
    const unsigned long gone = static_cast<unsigned long>(FinishedProcess());
    const string stale = fsys::TempFileName("vantrel.ini", gone, 3);
    EXPECT_EQ(fsys::TempFileOwner(stale), gone);
    WriteFileBytes(dir / stale, "half");
    WriteFileBytes(dir / fsys::TempFileName("list.vtl", gone, 0), "half");
    WriteFileBytes(dir / fsys::TempFileName("list.vtl", getpid(), 0), "mine, now");
    WriteFileBytes(dir / fsys::TempFileName("list.vtl", getppid(), 0), "a running process");
    WriteFileBytes(dir / ("list.vtl.tmp" + std::to_string(gone) + "-0"), "not a temporary name");
    fs::create_directory(dir / fsys::TempFileName("folder", gone, 0));
    for (const string& name : Names(dir.path())) Backdate(dir / name);

    EXPECT_EQ(fsys::RemoveStaleTempFiles(dir.path()), 2);
    EXPECT_EQ(Names(dir.path()).size(), 4u);
    EXPECT_FALSE(fs::exists(dir / stale));
    EXPECT_FALSE(fsys::TempFileOwner(".x.tmp-1"));
    EXPECT_FALSE(fsys::TempFileOwner(".tmp12-1"));
}

TEST(TempFiles, SignalDuringASaveRemovesItsTemporaryFile) {
    TempDir dir, other;
    const string target = dir / "big.vtl";
    // The save runs on a thread; the main thread signals the process as soon
    // as the save's temporary file has begun to fill. Should a save still win
    // the race, it is given a few more tries.
    bool caught = false;
    for (int attempt = 0; attempt < 5 && !caught; ++attempt) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            fsys::RemoveTempFilesOnSignals();
            // Many saves before, as in a long run: each must have let go of
            // its place among the files the signal handler knows.
            for (int i = 0; i < 20; ++i) fsys::ReplaceFileContents(other / "small.vtl", "1");
            std::thread save([&] {
                fsys::ReplaceFileContents(target, string(size_t{64} << 20, '5'));
            });
            for (;;) {
                for (const auto& e : fs::directory_iterator(dir.path())) {
                    std::error_code ec;
                    if (fsys::TempFileOwner(e.path().filename().string()) &&
                        fs::file_size(e.path(), ec) > 0) {
                        kill(getpid(), SIGTERM);
                    }
                }
                if (fs::exists(target)) _exit(1);  // the save won
            }
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        caught = WIFSIGNALED(status);
        if (caught) {
            EXPECT_EQ(WTERMSIG(status), SIGTERM) << "the signal still ends the program";
            EXPECT_FALSE(fs::exists(target));
        }
        EXPECT_EQ(Names(dir.path()), std::vector<string>{}) << "no temporary file left";
        fs::remove(target);
    }
    EXPECT_TRUE(caught) << "no save was caught running";
}

TEST(TempFiles, TheSweepTakesOnlyItsOwnOldFilesOfThisMachine) {
    TempDir dir;
    const unsigned long gone = static_cast<unsigned long>(FinishedProcess());
    // Other programs' files, whatever their numbers say.
    const std::vector<string> theirs = {".report.tmp2024-06", ".photos.tmp2023-12",
                                        ".thesis.odt.tmp3999999-0",
                                        ".list.vtl.tmp" + std::to_string(gone) + "-0"};
    for (const string& name : theirs) WriteFileBytes(dir / name, "theirs");
    const string stale = fsys::TempFileName("list.vtl", gone, 1);
    WriteFileBytes(dir / stale, "half");
    // Another machine's (a shared network folder): its numbers mean nothing here.
    char host[256] = {};
    ASSERT_EQ(gethostname(host, sizeof host - 1), 0);
    const string elsewhere = ".vantrel-list.vtl@elsewhere.example." + std::to_string(gone) +
                             ".00000000000000ff.tmp";
    string here = elsewhere;
    here.replace(here.find("elsewhere.example"), 17, host);
    EXPECT_TRUE(fsys::TempFileOwner(here)) << here;
    EXPECT_FALSE(fsys::TempFileOwner(elsewhere));
    WriteFileBytes(dir / elsewhere, "a save on another machine");
    for (const string& name : Names(dir.path())) Backdate(dir / name);
    // Fresh: may be a save under way in a copy that cannot be seen from here
    // (another PID namespace).
    const string fresh = fsys::TempFileName("list.vtl", gone, 2);
    WriteFileBytes(dir / fresh, "in progress");

    EXPECT_EQ(fsys::RemoveStaleTempFiles(dir.path()), 1);
    EXPECT_FALSE(fs::exists(dir / stale));
    EXPECT_EQ(Names(dir.path()).size(), 6u);
}

// As the kernel's protected_symlinks has it, whatever this machine's setting:
// in a sticky folder anyone may write to, a save follows only the user's own
// links and those of the folder's owner.
TEST(Links, AnotherUsersLinkInASharedFolderIsNotFollowed) {
    const std::optional<uid_t> victim = testing_support::TestUser("vantrel-victim");
    const std::optional<uid_t> attacker = testing_support::TestUser("vantrel-attacker");
    if (!victim || !attacker) GTEST_SKIP() << "needs root, to make and be two users";
    TempDir dir;
    ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);
    auto folder = [&](const string& name, uid_t owner, mode_t mode) {
        fs::create_directory(dir / name);
        ASSERT_EQ(chown((dir / name).c_str(), owner, -1), 0);
        ASSERT_EQ(chmod((dir / name).c_str(), mode), 0);
    };
    auto link = [&](const string& to, const string& at, uid_t owner) {
        ASSERT_EQ(symlink(to.c_str(), (dir / at).c_str()), 0);
        ASSERT_EQ(lchown((dir / at).c_str(), owner, -1), 0);
    };
    folder("shared", 0, 01777);
    folder("home", *victim, 0755);
    folder("theirs", *attacker, 0755);
    WriteFileBytes(dir / "home/precious.txt", "precious");
    ASSERT_EQ(chown((dir / "home/precious.txt").c_str(), *victim, -1), 0);
    link(dir / "home/precious.txt", "shared/planted.vtl", *attacker);
    link("planted.vtl", "shared/chain.vtl", *victim);  // the user's own, to the planted one
    link(dir / "home/mine.vtl", "shared/mine.vtl", *victim);
    link(dir / "home/roots.vtl", "shared/roots.vtl", 0);  // the folder owner's
    link(dir / "home/via.vtl", "theirs/via.vtl", *attacker);  // not a shared folder

    int results[2];
    ASSERT_EQ(pipe(results), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        string saved;
        if (testing_support::BecomeUser(*victim)) {
            for (const char* name : {"shared/planted.vtl", "shared/chain.vtl", "shared/mine.vtl",
                                     "shared/roots.vtl", "theirs/via.vtl"}) {
                const fsys::WriteStatus status = fsys::ReplaceFileContents(dir / name, "new");
                saved += status == fsys::WriteStatus::Ok ? 'y' : 'n';
            }
        }
        (void)!write(results[1], saved.data(), saved.size());
        _exit(0);
    }
    close(results[1]);
    char saved[16] = {};
    (void)!read(results[0], saved, sizeof saved - 1);
    close(results[0]);
    waitpid(child, nullptr, 0);
    EXPECT_STREQ(saved, "nnyyy") << "planted, chain, mine, roots, via";
    EXPECT_EQ(ReadFileBytes(dir / "home/precious.txt"), "precious");
    EXPECT_EQ(ReadFileBytes(dir / "home/mine.vtl"), "new");
    EXPECT_TRUE(fs::is_symlink(dir / "shared/planted.vtl"));
    EXPECT_EQ(Names(dir / "shared").size(), 4u) << "no temporary file left";
}

// Another program looking at this one's open files (a system monitor, lsof)
// holds each for a moment; a lock must be free all the same once let go.
TEST(Locks, AFreeLockIsAlwaysTakenAndAHeldOneRefused) {
    TempDir dir;
    const string lock = dir / "list.lock";
    // The descriptors the two locks below get: the lowest free ones.
    const int first = open("/dev/null", O_RDONLY);
    ASSERT_GE(first, 0);
    close(first);
    const pid_t self = getpid();
    const pid_t watcher = fork();
    ASSERT_GE(watcher, 0);
    if (watcher == 0) {
        char path[64], target[PATH_MAX];
        for (int fd = first;; fd = fd == first ? first + 1 : first) {
            std::snprintf(path, sizeof path, "/proc/%d/fd/%d", static_cast<int>(self), fd);
            (void)!readlink(path, target, sizeof target);
        }
    }
    int notTaken = 0, notRefused = 0;
    for (int i = 0; i < 10000; ++i) {
        fsys::FileLock taken(lock, i % 2 == 0, 0ms);
        notTaken += !taken.Held();
        // Now and then after a wait.
        fsys::FileLock other(lock, true, i % 100 == 0 ? 2ms : 0ms);
        notRefused += other.Status() != fsys::LockStatus::Busy;
    }
    kill(watcher, SIGKILL);
    waitpid(watcher, nullptr, 0);
    EXPECT_EQ(notTaken, 0);
    EXPECT_EQ(notRefused, 0);

    // Nor does a process forked while it was held, which has the descriptor
    // until it starts its program, keep it taken once let go.
    pid_t forked = -1;
    {
        fsys::FileLock taken(lock, true, 0ms);
        forked = fork();
        ASSERT_GE(forked, 0);
        if (forked == 0) {
            for (;;) pause();
        }
    }
    fsys::FileLock again(lock, true, 0ms);
    kill(forked, SIGKILL);
    waitpid(forked, nullptr, 0);
    EXPECT_TRUE(again.Held());
}

}  // namespace
