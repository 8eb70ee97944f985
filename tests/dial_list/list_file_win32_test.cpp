// List files on Windows: Unicode names, attributes, read-only files, hard links and pipes.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <random>
#include <thread>

#include "dial_list/list_file_helpers.h"

namespace {

using namespace list_file_test;

std::string ReadU8(const std::string& utf8Path) {
    std::ifstream in(fs::u8path(utf8Path), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::wstring Wide(const std::string& utf8Path) { return fs::u8path(utf8Path).wstring(); }

size_t Entries(const std::string& dir) {
    return static_cast<size_t>(std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
}

TEST(ListFileWrite, AnyNameSavesLoadsBackAndKeepsTheFilesAttributes) {
    TempDir dir;
    DialList saved;
    FillVaried(saved);
    const std::string path = dir / "電話帳 ｶﾅ.vtl";
    ASSERT_TRUE(WriteListFile(path, saved));
    EXPECT_TRUE(fs::exists(fs::u8path(path))) << "the name crosses into Windows as UTF-16";
    EXPECT_EQ(ReadU8(path), FormatListFile(saved));

    DialList loaded;
    Fill(loaded, "stale");
    EXPECT_EQ(ReadListFile(path, loaded).entriesRead, 100);
    for (int i = 0; i < kListEntries; ++i) EXPECT_STREQ(loaded[i], saved[i]);

    // Replacing keeps what Windows keeps of a file: its attributes.
    ASSERT_TRUE(SetFileAttributesW(Wide(path).c_str(), FILE_ATTRIBUTE_HIDDEN));
    Fill(saved, "");
    ASSERT_TRUE(WriteListFile(path, saved));
    EXPECT_EQ(ReadU8(path).size(), 402u);
    EXPECT_TRUE(GetFileAttributesW(Wide(path).c_str()) & FILE_ATTRIBUTE_HIDDEN);
    EXPECT_EQ(Entries(dir.path()), 1u) << "no temporary file is left behind";
}

TEST(ListFileWrite, ReadOnlyFilesFoldersAndMissingFoldersFailWithoutHarm) {
    TempDir dir;
    DialList list;
    FillVaried(list);
    const std::string previous = "\r\n\r\n0120\r\n";
    WriteFileBytes(dir / "locked.vtl", previous);
    ASSERT_TRUE(SetFileAttributesW(Wide(dir / "locked.vtl").c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_FALSE(WriteListFile(dir / "locked.vtl", list));
    EXPECT_EQ(ReadFileBytes(dir / "locked.vtl"), previous);

    fs::create_directory(dir / "sub");
    EXPECT_FALSE(WriteListFile(dir / "sub", list));
    EXPECT_TRUE(fs::is_directory(dir / "sub"));
    EXPECT_FALSE(WriteListFile(dir / "no/such/dir.vtl", list));
    EXPECT_FALSE(WriteListFile("", list));
    EXPECT_EQ(Entries(dir.path()), 2u) << "no temporary file is left behind";
    SetFileAttributesW(Wide(dir / "locked.vtl").c_str(), FILE_ATTRIBUTE_NORMAL);
}

// A pipe server; a device that cannot be replaced, only written.
class Pipe {
public:
    explicit Pipe(DWORD bufferBytes) {
        name_ = "\\\\.\\pipe\\vantrel-list-" + std::to_string(std::random_device()());
        handle_ = CreateNamedPipeW(Wide(name_).c_str(), PIPE_ACCESS_INBOUND,
                                   PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, 0,
                                   bufferBytes, 0, nullptr);
    }
    ~Pipe() {
        if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    }
    bool Valid() const { return handle_ != INVALID_HANDLE_VALUE; }
    const std::string& Name() const { return name_; }
    // Waits for the writer and reads until it closes.
    std::string ReadAll() {
        // A writer that has come and gone already leaves its bytes behind.
        if (!ConnectNamedPipe(handle_, nullptr) && GetLastError() != ERROR_PIPE_CONNECTED &&
            GetLastError() != ERROR_NO_DATA) {
            return {};
        }
        std::string out;
        char buf[4096];
        DWORD got = 0;
        while (::ReadFile(handle_, buf, sizeof buf, &got, nullptr) && got > 0) out.append(buf, got);
        return out;
    }
    void Connect() { ConnectNamedPipe(handle_, nullptr); }
    void ReadSome() {
        char buf[4096];
        DWORD got = 0;
        if (!::ReadFile(handle_, buf, sizeof buf, &got, nullptr)) Sleep(10);
    }

private:
    std::string name_;
    HANDLE handle_ = INVALID_HANDLE_VALUE;
};

TEST(ListFileWrite, APipeIsWrittenInPlaceAndOneNobodyReadsIsGivenUpOn) {
    DialList list;
    Fill(list, "5");
    {
        Pipe pipe(65536);
        ASSERT_TRUE(pipe.Valid());
        std::string received;
        std::thread reader([&] { received = pipe.ReadAll(); });
        bool written = false;
        // The reader may not be listening yet.
        for (int attempt = 0; attempt < 200 && !written; ++attempt) {
            written = WriteListFile(pipe.Name(), list);
            if (!written) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (!written) CloseHandle(CreateFileW(Wide(pipe.Name()).c_str(), GENERIC_WRITE, 0, nullptr,
                                              OPEN_EXISTING, 0, nullptr));  // release the reader
        reader.join();
        EXPECT_TRUE(written);
        EXPECT_EQ(received, FormatListFile(list));
    }

    // Connected, but never read, with a buffer smaller than the list.
    Pipe stuck(1024);
    ASSERT_TRUE(stuck.Valid());
    std::thread listener([&] { stuck.Connect(); });
    FillVaried(list);
    std::atomic<bool> finished = false;
    bool written = true;
    std::thread writer([&] {
        written = WriteListFile(stuck.Name(), list);
        finished = true;
    });
    for (int i = 0; i < 300 && !finished; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const bool gaveUp = finished;
    if (!gaveUp) {  // let the test end
        while (!finished) stuck.ReadSome();
    }
    writer.join();
    // A writer that failed without connecting leaves the listener waiting.
    CloseHandle(CreateFileW(Wide(stuck.Name()).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                            nullptr));
    listener.join();
    EXPECT_TRUE(gaveUp);
    EXPECT_FALSE(written);
}

TEST(ListFileWrite, HardLinkedFileIsWrittenInPlace) {
    TempDir dir;
    WriteFileBytes(dir / "a.vtl", "old");
    ASSERT_TRUE(CreateHardLinkW(Wide(dir / "b.vtl").c_str(), Wide(dir / "a.vtl").c_str(), nullptr));
    DialList list;
    FillVaried(list);
    ASSERT_TRUE(WriteListFile(dir / "a.vtl", list));
    EXPECT_EQ(ReadFileBytes(dir / "b.vtl"), FormatListFile(list)) << "the link is kept";
    EXPECT_EQ(Entries(dir.path()), 2u);
}

TEST(ListFileRead, APipeThatSendsNothingIsGivenUpOn) {
    const std::string name = "\\\\.\\pipe\\vantrel-silent-" + std::to_string(std::random_device()());
    HANDLE server = CreateNamedPipeW(Wide(name).c_str(), PIPE_ACCESS_OUTBOUND,
                                     PIPE_TYPE_BYTE | PIPE_WAIT, 1, 4096, 0, 0, nullptr);
    ASSERT_NE(server, INVALID_HANDLE_VALUE);
    DialList list;
    Fill(list, "7");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ReadListFile(name, list).status, ListReadStatus::CannotOpen);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
    EXPECT_STREQ(list[0], "7");
    CloseHandle(server);
}

}  // namespace
