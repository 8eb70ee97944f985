#include "dial_list/list_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

namespace {

namespace fs = std::filesystem;

class TempDir {
public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "listfile-XXXXXX").string();
        path_ = mkdtemp(pattern.data());
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const std::string& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void Fill(DialList& list, std::string_view text) {
    for (auto& entry : list) {
        if (!text.empty()) std::memcpy(entry, text.data(), text.size());
        entry[text.size()] = '\0';
    }
}

void Set(DialList& list, int index, std::string_view text) {
    if (!text.empty()) std::memcpy(list[index], text.data(), text.size());
    list[index][text.size()] = '\0';
}

// Line 1 and a separator before each given entry line (each line as given,
// line end included).
std::string FileOf(std::initializer_list<std::string_view> entryLines) {
    std::string bytes = "\r\n";
    for (auto line : entryLines) {
        bytes += "\r\n";
        bytes += line;
    }
    return bytes;
}

// A list whose entries are all distinct and of many lengths, 255 included.
void FillVaried(DialList& list) {
    const std::string dial = "0123456789ABCD*#-,";
    for (int i = 0; i < kListEntries; ++i) {
        const int length = (i * 37) % 256;  // 0 .. 255
        std::string text;
        for (int k = 0; k < length; ++k) text += dial[(i + k) % dial.size()];
        Set(list, i, text);
    }
    Set(list, 7, std::string(255, '9'));
    Set(list, 8, std::string(254, '#'));
    Set(list, 9, std::string(253, ','));
    Set(list, 10, "");
}

TEST(ListFileFormat, WritesTwoHundredAndOneCrLfLines) {
    DialList list;
    Fill(list, "");
    std::string expected;
    for (int i = 0; i < 201; ++i) expected += "\r\n";
    EXPECT_EQ(FormatListFile(list), expected);
    EXPECT_EQ(FormatListFile(list).size(), 402u);

    Set(list, 0, "03-1234-5678");
    Set(list, 99, "#*");
    const std::string bytes = FormatListFile(list);
    EXPECT_EQ(bytes.size(), 402u + 12 + 2);
    EXPECT_EQ(bytes.substr(0, 18), "\r\n\r\n03-1234-5678\r\n");
    EXPECT_EQ(bytes.substr(bytes.size() - 6), "\r\n#*\r\n");
}

TEST(ListFileParse, RoundTripKeepsEveryEntryUpTo255Characters) {
    DialList saved;
    FillVaried(saved);
    DialList loaded;
    Fill(loaded, "stale");
    const ListReadResult result = ParseListFile(FormatListFile(saved), loaded);
    EXPECT_EQ(result.status, ListReadStatus::Loaded);
    EXPECT_EQ(result.entriesRead, 100);
    for (int i = 0; i < kListEntries; ++i) EXPECT_STREQ(loaded[i], saved[i]) << "entry " << i;
}

TEST(ListFileParse, ShortFilesReplaceOnlyTheEntriesTheyHold) {
    DialList list;
    Fill(list, "777");

    // Only line 1: a valid file that holds no entry.
    ListReadResult result = ParseListFile("\r\n", list);
    EXPECT_EQ(result.status, ListReadStatus::Loaded);
    EXPECT_EQ(result.entriesRead, 0);
    EXPECT_STREQ(list[0], "777");

    result = ParseListFile(FileOf({"111\r\n", "\r\n", "333\r\n"}), list);
    EXPECT_EQ(result.status, ListReadStatus::Loaded);
    EXPECT_EQ(result.entriesRead, 3);
    EXPECT_STREQ(list[0], "111");
    EXPECT_STREQ(list[1], "");
    EXPECT_STREQ(list[2], "333");
    for (int i = 3; i < kListEntries; ++i) EXPECT_STREQ(list[i], "777");

    // Ending right after a separator is a normal end.
    Fill(list, "777");
    result = ParseListFile(FileOf({"11\r\n"}) + "\r\n", list);
    EXPECT_EQ(result.status, ListReadStatus::Loaded);
    EXPECT_EQ(result.entriesRead, 1);
    EXPECT_STREQ(list[0], "11");
    EXPECT_STREQ(list[1], "777");

    // No bytes at all: not even line 1.
    result = ParseListFile("", list);
    EXPECT_EQ(result.status, ListReadStatus::Empty);
    EXPECT_EQ(result.entriesRead, 0);
    EXPECT_STREQ(list[0], "11");
}

TEST(ListFileParse, AcceptsOnlyDialCharactersBeforeTheLastOne) {
    DialList list;
    Fill(list, "x");
    ParseListFile(FileOf({"03-1234-5678\r\n", "03 1234\r\n", "12ab\r\n", "ABCD\r\n", "abcd\r\n",
                          "0123456789ABCD-,*#\r\n", "12\r3\r\n", "E\r\n", "\r\n", "123"}),
                  list);
    EXPECT_STREQ(list[0], "03-1234-5678");
    EXPECT_STREQ(list[1], "");  // blank
    EXPECT_STREQ(list[2], "");  // lower case
    EXPECT_STREQ(list[3], "ABCD");
    EXPECT_STREQ(list[4], "");
    EXPECT_STREQ(list[5], "0123456789ABCD-,*#");
    EXPECT_STREQ(list[6], "");  // a CR not followed by LF is an ordinary byte
    EXPECT_STREQ(list[7], "");  // only A to D
    EXPECT_STREQ(list[8], "");
    EXPECT_STREQ(list[9], "12");  // no line end: the last digit is the dropped character
    EXPECT_STREQ(list[10], "x");

    // Whatever the last character is, it is dropped unchecked.
    ParseListFile(FileOf({"12z"}), list);
    EXPECT_STREQ(list[0], "12");
    ParseListFile(FileOf({"z"}), list);
    EXPECT_STREQ(list[0], "");
}

TEST(ListFileParse, LoneLineFeedsEndLinesToo) {
    DialList list;
    Fill(list, "x");
    const ListReadResult result = ParseListFile("\n\n123\n\n\n\r\n45\n", list);
    EXPECT_EQ(result.entriesRead, 3);
    EXPECT_STREQ(list[0], "123");
    EXPECT_STREQ(list[1], "");
    EXPECT_STREQ(list[2], "45");
    EXPECT_STREQ(list[3], "x");
}

TEST(ListFileParse, ReadsOnlyTheFirst201Lines) {
    DialList saved;
    FillVaried(saved);
    std::string bytes = FormatListFile(saved);
    // A 101st pair, and a line that would break the pairing if it were read.
    bytes += "\r\n999\r\n";
    bytes += std::string(1000, '5');
    DialList loaded;
    Fill(loaded, "");
    const ListReadResult result = ParseListFile(bytes, loaded);
    EXPECT_EQ(result.entriesRead, 100);
    for (int i = 0; i < kListEntries; ++i) EXPECT_STREQ(loaded[i], saved[i]) << "entry " << i;
}

TEST(ListFileParse, LinesLongerThanAnEntryAreSplitIntoSeveralReads) {
    DialList list;
    Fill(list, "x");
    // 255 characters and a line end: one read, kept whole.
    ParseListFile(FileOf({std::string(255, '1') + "\r\n", "2\r\n"}), list);
    EXPECT_EQ(std::string(list[0]), std::string(255, '1'));
    EXPECT_STREQ(list[1], "2");

    // 300 characters: a read of 255 (last one dropped), then the remaining 45
    // characters are a read of their own and take the place of the separator,
    // which in turn is read as entry 2.
    Fill(list, "x");
    ListReadResult result =
        ParseListFile(FileOf({std::string(300, '1') + "\r\n", "22\r\n"}), list);
    EXPECT_EQ(result.entriesRead, 2);
    EXPECT_EQ(std::string(list[0]), std::string(254, '1'));
    EXPECT_STREQ(list[1], "");
    EXPECT_STREQ(list[2], "x");

    // A split line never overflows an entry, whatever its length.
    Fill(list, "x");
    result = ParseListFile(FileOf({std::string(255 * 2 + 10, '7')}), list);
    EXPECT_EQ(result.entriesRead, 2);
    EXPECT_EQ(std::string(list[0]), std::string(254, '7'));
    EXPECT_EQ(std::string(list[1]), std::string(9, '7'));

    // So does a lone LF right at the limit.
    Fill(list, "x");
    ParseListFile(FileOf({std::string(255, '3') + "\n", "4\r\n"}), list);
    EXPECT_EQ(std::string(list[0]), std::string(255, '3'));
    EXPECT_STREQ(list[1], "4");
}

TEST(ListFileParse, NulBytes) {
    DialList list;
    Fill(list, "x");
    // An entry line starting with NUL is empty and ends the file.
    using namespace std::string_literals;
    ListReadResult result = ParseListFile(FileOf({"1\r\n", "\0 12\r\n"s, "55\r\n"}), list);
    EXPECT_EQ(result.status, ListReadStatus::Loaded);
    EXPECT_EQ(result.entriesRead, 2);
    EXPECT_STREQ(list[0], "1");
    EXPECT_STREQ(list[1], "");
    EXPECT_STREQ(list[2], "x");

    // Elsewhere a NUL is just a byte outside the dial set; in a separator it is ignored.
    Fill(list, "x");
    result = ParseListFile("\0\r\n\0\r\n1\0002\r\n\0\r\n34\r\n"s, list);
    EXPECT_EQ(result.entriesRead, 2);
    EXPECT_STREQ(list[0], "");
    EXPECT_STREQ(list[1], "34");

    // A NUL as the very last byte of the file is the dropped character.
    result = ParseListFile("\r\n\r\n56\0"s, list);
    EXPECT_EQ(result.entriesRead, 1);
    EXPECT_STREQ(list[0], "56");
}

TEST(ListFileRead, OpensFilesAndRefusesWhatItCannotRead) {
    TempDir dir;
    DialList list;
    Fill(list, "x");

    EXPECT_EQ(ReadListFile(dir / "missing.vtl", list).status, ListReadStatus::CannotOpen);
    EXPECT_EQ(ReadListFile(dir.path(), list).status, ListReadStatus::CannotOpen);
    EXPECT_STREQ(list[0], "x");

    WriteBytes(dir / "empty.vtl", "");
    EXPECT_EQ(ReadListFile(dir / "empty.vtl", list).status, ListReadStatus::Empty);

    WriteBytes(dir / "three.vtl", FileOf({"1\r\n", "2\r\n", "3"}));
    const ListReadResult result = ReadListFile(dir / "three.vtl", list);
    EXPECT_EQ(result.status, ListReadStatus::Loaded);
    EXPECT_EQ(result.entriesRead, 3);
    EXPECT_STREQ(list[2], "");  // "3" without a line end loses its only character
    EXPECT_STREQ(list[3], "x");

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
    EXPECT_EQ(ReadBytes(dir / "new.vtl"), FormatListFile(saved));

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
    EXPECT_EQ(ReadBytes(dir / "new.vtl").size(), 402u);

    // No temporary file is left behind.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

TEST(ListFileWrite, SymbolicLinksAreFollowedAndKept) {
    TempDir dir;
    fs::create_directory(dir / "lists");
    WriteBytes(dir / "lists/real.vtl", "old");
    ASSERT_EQ(chmod((dir / "lists/real.vtl").c_str(), 0600), 0);
    ASSERT_EQ(symlink("lists/real.vtl", (dir / "relative").c_str()), 0);
    ASSERT_EQ(symlink((dir / "relative").c_str(), (dir / "absolute").c_str()), 0);

    DialList list;
    Fill(list, "42");
    ASSERT_TRUE(WriteListFile(dir / "absolute", list));
    EXPECT_TRUE(fs::is_symlink(dir / "absolute"));
    EXPECT_TRUE(fs::is_symlink(dir / "relative"));
    EXPECT_EQ(ReadBytes(dir / "lists/real.vtl"), FormatListFile(list));
    struct stat st;
    ASSERT_EQ(stat((dir / "lists/real.vtl").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    // A dangling link creates the file it names.
    ASSERT_EQ(symlink("lists/later.vtl", (dir / "dangling").c_str()), 0);
    ASSERT_TRUE(WriteListFile(dir / "dangling", list));
    EXPECT_TRUE(fs::is_symlink(dir / "dangling"));
    EXPECT_EQ(ReadBytes(dir / "lists/later.vtl"), FormatListFile(list));

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
    WriteBytes(dir / "limited.vtl", previous);
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
    EXPECT_EQ(ReadBytes(dir / "limited.vtl"), previous);

    // Only the files the test made are there: every temporary file was removed.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 4);
}

TEST(ListFileWrite, FifoWithAReaderIsWrittenInPlace) {
    TempDir dir;
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
    std::string received;
    std::thread reader([&] { received = ReadBytes(dir / "fifo"); });
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
