// List files on POSIX: FIFOs, terminals, devices, permissions, symbolic and
// hard links, shut folders and limits.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "dial_list/list_file_helpers.h"
#include "framework/file_system.h"

namespace {

using namespace list_file_test;

TEST(ListFileRead, FifosAndEndlessDevicesNeverHangTheLoad) {
    TempDir dir;
    DialList list;
    Fill(list, "x");

    // A FIFO nobody writes to reads as empty instead of hanging the load.
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
    EXPECT_EQ(ReadListFile(dir / "fifo", list).status, ListReadStatus::Empty);

    // An endless device is read only as far as a list can reach.
    Fill(list, "x");
    const ListReadResult zeros = ReadListFile("/dev/zero", list);
    EXPECT_EQ(zeros.status, ListReadStatus::Loaded);
    EXPECT_EQ(zeros.entriesRead, 1);
    EXPECT_STREQ(list[0], "");
}

TEST(ListFileRead, FifoAndTerminalThatSendNothingGiveUp) {
    TempDir dir;
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
    const int writer = open((dir / "fifo").c_str(), O_RDWR);  // a writer that never writes
    ASSERT_GE(writer, 0);
    DialList list;
    Fill(list, "7");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ReadListFile(dir / "fifo", list).status, ListReadStatus::CannotOpen);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
    EXPECT_STREQ(list[0], "7");
    close(writer);

    int master = -1, slave = -1;
    char name[256] = {};
    ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
    std::string bytes = "x";
    EXPECT_EQ(fsys::ReadFile(name, bytes, 1000, false, std::chrono::milliseconds(100)),
              fsys::ReadStatus::Failed);
    EXPECT_EQ(bytes, "");
    close(master);
    close(slave);
}

TEST(ListFileWrite, HardLinksAndShutFoldersAreWrittenInPlace) {
    TempDir dir;
    DialList list;
    FillVaried(list);
    WriteFileBytes(dir / "a.vtl", "old");
    ASSERT_EQ(link((dir / "a.vtl").c_str(), (dir / "b.vtl").c_str()), 0);
    bool damaged = true;
    ASSERT_TRUE(WriteListFile(dir / "a.vtl", list, &damaged));
    EXPECT_FALSE(damaged);
    EXPECT_EQ(ReadFileBytes(dir / "b.vtl"), FormatListFile(list)) << "the link is kept";
    EXPECT_EQ(fs::hard_link_count(dir / "a.vtl"), 2u);

    // A write in place that stops part-way says so.
    const pid_t limited = fork();
    ASSERT_GE(limited, 0);
    if (limited == 0) {
        struct rlimit limit = {1000, 1000};
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(3);
        bool hurt = false;
        _exit(!WriteListFile(dir / "a.vtl", list, &hurt) && hurt ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(limited, &status, 0), limited);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "damage reported";

    // A writable file in a folder that takes no new file (as an ordinary
    // user: root may write in any folder).
    fs::create_directory(dir / "shut");
    WriteFileBytes(dir / "shut/list.vtl", "old");
    const uid_t nobody = 65534;
    ASSERT_EQ(chown((dir / "shut/list.vtl").c_str(), nobody, nobody), geteuid() == 0 ? 0 : -1);
    ASSERT_EQ(chmod((dir / "shut").c_str(), 0555), 0);
    const pid_t user = fork();
    ASSERT_GE(user, 0);
    if (user == 0) {
        if (geteuid() == 0 && (setgid(nobody) != 0 || setuid(nobody) != 0)) _exit(3);
        const bool saved = WriteListFile(dir / "shut/list.vtl", list);
        const bool made = WriteListFile(dir / "shut/new.vtl", list);
        _exit(saved && !made ? 0 : 1);
    }
    ASSERT_EQ(waitpid(user, &status, 0), user);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(ReadFileBytes(dir / "shut/list.vtl"), FormatListFile(list));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir / "shut"), fs::directory_iterator()), 1);
    chmod((dir / "shut").c_str(), 0755);
}

TEST(ListFileWrite, SavesAndLoadsBackWithEveryPermissionKept) {
    TempDir dir;
    DialList saved;
    FillVaried(saved);

    const mode_t oldMask = umask(027);
    ASSERT_TRUE(WriteListFile(dir / "new.vtl", saved));
    umask(oldMask);
    struct stat st;
    ASSERT_EQ(stat((dir / "new.vtl").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(ReadFileBytes(dir / "new.vtl"), FormatListFile(saved));

    DialList loaded;
    Fill(loaded, "stale");
    EXPECT_EQ(ReadListFile(dir / "new.vtl", loaded).entriesRead, 100);
    for (int i = 0; i < kListEntries; ++i) EXPECT_STREQ(loaded[i], saved[i]);

    // Replacing an existing file keeps its permissions.
    ASSERT_EQ(chmod((dir / "new.vtl").c_str(), 0604), 0);
    Fill(saved, "");
    ASSERT_TRUE(WriteListFile(dir / "new.vtl", saved));
    ASSERT_EQ(stat((dir / "new.vtl").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0604u);
    EXPECT_EQ(ReadFileBytes(dir / "new.vtl").size(), 402u);

    // No temporary file is left behind.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

TEST(ListFileWrite, SymbolicLinksAreFollowedAndKept) {
    TempDir dir;
    fs::create_directory(dir / "lists");
    WriteFileBytes(dir / "lists/real.vtl", "old");
    ASSERT_EQ(chmod((dir / "lists/real.vtl").c_str(), 0600), 0);
    ASSERT_EQ(symlink("lists/real.vtl", (dir / "relative").c_str()), 0);
    ASSERT_EQ(symlink((dir / "relative").c_str(), (dir / "absolute").c_str()), 0);

    DialList list;
    Fill(list, "42");
    ASSERT_TRUE(WriteListFile(dir / "absolute", list));
    EXPECT_TRUE(fs::is_symlink(dir / "absolute"));
    EXPECT_TRUE(fs::is_symlink(dir / "relative"));
    EXPECT_EQ(ReadFileBytes(dir / "lists/real.vtl"), FormatListFile(list));
    struct stat st;
    ASSERT_EQ(stat((dir / "lists/real.vtl").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    // A dangling link creates the file it names.
    ASSERT_EQ(symlink("lists/later.vtl", (dir / "dangling").c_str()), 0);
    ASSERT_TRUE(WriteListFile(dir / "dangling", list));
    EXPECT_TRUE(fs::is_symlink(dir / "dangling"));
    EXPECT_EQ(ReadFileBytes(dir / "lists/later.vtl"), FormatListFile(list));

    // A loop of links is a failed save.
    ASSERT_EQ(symlink("loop2", (dir / "loop1").c_str()), 0);
    ASSERT_EQ(symlink("loop1", (dir / "loop2").c_str()), 0);
    EXPECT_FALSE(WriteListFile(dir / "loop1", list));
}

TEST(ListFileWrite, FailedSavesLeaveThePreviousFileAlone) {
    TempDir dir;
    DialList list;
    FillVaried(list);

    EXPECT_FALSE(WriteListFile("/dev/full", list));
    ASSERT_EQ(symlink("/dev/full", (dir / "full.vtl").c_str()), 0);
    EXPECT_FALSE(WriteListFile(dir / "full.vtl", list));
    EXPECT_TRUE(fs::is_symlink(dir / "full.vtl"));

    EXPECT_FALSE(WriteListFile(dir / "no/such/dir.vtl", list));
    EXPECT_FALSE(WriteListFile("", list));
    fs::create_directory(dir / "sub");
    EXPECT_FALSE(WriteListFile(dir / "sub", list));
    EXPECT_TRUE(fs::is_directory(dir / "sub"));

    // A FIFO nobody reads fails at once instead of waiting for a reader.
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
    std::atomic<bool> finished = false;
    bool written = true;
    std::thread writer([&] {
        written = WriteListFile(dir / "fifo", list);
        finished = true;
    });
    for (int i = 0; i < 100 && !finished; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    const bool gaveUp = finished;
    int release = -1;
    if (!gaveUp) release = open((dir / "fifo").c_str(), O_RDONLY | O_NONBLOCK);  // let the test end
    writer.join();
    if (release >= 0) close(release);
    EXPECT_TRUE(gaveUp);
    EXPECT_FALSE(written);
    EXPECT_TRUE(fs::is_fifo(dir / "fifo"));

    // A file-size limit smaller than the list: the save fails, the process
    // survives, and the previous file is byte for byte what it was.
    const std::string previous = "\r\n\r\n0120\r\n";
    WriteFileBytes(dir / "limited.vtl", previous);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        struct rlimit limit = {1000, 1000};
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(3);
        _exit(WriteListFile(dir / "limited.vtl", list) ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "killed by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(ReadFileBytes(dir / "limited.vtl"), previous);

    // Only the files the test made are there: every temporary file was removed.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 4);
}

TEST(ListFileWrite, FifoWithAReaderIsWrittenInPlace) {
    TempDir dir;
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
    std::string received;
    std::thread reader([&] { received = ReadFileBytes(dir / "fifo"); });
    DialList list;
    Fill(list, "5");
    // The reader thread may not have opened the FIFO yet.
    bool written = false;
    for (int attempt = 0; attempt < 200 && !written; ++attempt) {
        written = WriteListFile(dir / "fifo", list);
        if (!written) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (!written) close(open((dir / "fifo").c_str(), O_WRONLY));  // release the reader
    reader.join();
    EXPECT_TRUE(written);
    EXPECT_EQ(received, FormatListFile(list));
    EXPECT_TRUE(fs::is_fifo(dir / "fifo"));

    // A reader that never reads, with a pipe smaller than the list: the save
    // gives up instead of waiting for it forever.
    const int stuck = open((dir / "fifo").c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(stuck, 0);
    ASSERT_GT(fcntl(stuck, F_SETPIPE_SZ, 4096), 0);
    FillVaried(list);
    std::atomic<bool> finished = false;
    written = true;
    std::thread writer([&] {
        written = WriteListFile(dir / "fifo", list);
        finished = true;
    });
    for (int i = 0; i < 300 && !finished; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    const bool gaveUp = finished;
    if (!gaveUp) {  // let the test end
        char sink[4096];
        while (!finished) {
            if (read(stuck, sink, sizeof sink) <= 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        }
    }
    writer.join();
    close(stuck);
    EXPECT_TRUE(gaveUp);
    EXPECT_FALSE(written);
}

}  // namespace
