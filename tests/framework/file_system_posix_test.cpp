// Temporary files of saves: left-overs of killed runs, and a save stopped by a signal.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "framework/file_system.h"
#include "framework/profile_test_helpers.h"

namespace {

using namespace profile_test;

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

    EXPECT_EQ(fsys::RemoveStaleTempFiles(dir.path()), 2);
    EXPECT_EQ(Names(dir.path()).size(), 4u);
    EXPECT_FALSE(fs::exists(dir / stale));
    EXPECT_FALSE(fsys::TempFileOwner(".x.tmp-1"));
    EXPECT_FALSE(fsys::TempFileOwner(".tmp12-1"));
}

TEST(TempFiles, SignalDuringASaveRemovesItsTemporaryFile) {
    TempDir dir;
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

}  // namespace
