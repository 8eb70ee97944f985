// libFuzzer target for list files. Besides the sanitizers' own checks it holds
// the reader to what the rest of the program relies on, and drives the file
// layer on a scratch folder: every input is saved, read back, listed, locked
// and saved again through a hard link (which writes in place).
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "dial_list/list_file.h"
#include "framework/file_system.h"
#include "fuzz/fuzz_folder.h"

namespace {

using fuzz_support::Check;
using fuzz_support::In;

std::string ReadBytes(const std::string& path) {
    std::string bytes;
    Check(fsys::ReadFile(path, bytes, SIZE_MAX, true) == fsys::ReadStatus::Ok, "read back");
    return bytes;
}

// The input as a file on disk: the file reader must see what the parser sees,
// and saves (by rename, and in place through a second hard link) must land
// whole, leaving no temporary file.
void DriveFiles(std::string_view bytes, const DialList& parsed, ListReadResult parsedResult) {
    const std::string input = In("input.vtl");
    Check(fsys::ReplaceFileContents(input, bytes) == fsys::WriteStatus::Ok, "input saved");
    Check(ReadBytes(input) == bytes, "input reads back");

    static DialList fromFile;
    std::memset(fromFile, 'Z', sizeof fromFile);
    const ListReadResult read = ReadListFile(input, fromFile);
    Check(read.status == parsedResult.status && read.entriesRead == parsedResult.entriesRead,
          "file read as parsed");
    for (int i = 0; i < read.entriesRead; ++i) {
        Check(std::strcmp(fromFile[i], parsed[i]) == 0, "file entries as parsed");
    }

    const std::string saved = In("saved.vtl");
    const bool linked = !bytes.empty() && (bytes[0] & 1) && fsys::Exists(saved);
    if (linked) Check(link(saved.c_str(), In("other-name.vtl").c_str()) == 0, "hard link made");
    bool damaged = true;
    Check(WriteListFile(saved, fromFile, &damaged) && !damaged, "list saved");
    Check(ReadBytes(saved) == FormatListFile(fromFile), "saved list reads back");
    if (linked) {
        Check(ReadBytes(In("other-name.vtl")) == FormatListFile(fromFile), "link kept");
        unlink(In("other-name.vtl").c_str());
    }
    static DialList again;
    Check(ReadListFile(saved, again).entriesRead == kListEntries, "saved list loads");
    for (int i = 0; i < read.entriesRead; ++i) Check(std::strcmp(again[i], fromFile[i]) == 0, "round trip");

    {
        fsys::FileLock held(In("list.lock"), true, std::chrono::milliseconds(0));
        Check(held.Held(), "free lock taken");
        fsys::FileLock second(In("list.lock"), false, std::chrono::milliseconds(0));
        Check(second.Status() == fsys::LockStatus::Busy, "held lock refused");
    }
    fsys::FileLock after(In("list.lock"), false, std::chrono::milliseconds(0));
    Check(after.Held(), "released lock taken");

    const std::vector<std::string> expected{"input.vtl", "list.lock", "saved.vtl"};
    Check(fuzz_support::Names() == expected, "no temporary file left");
}

bool IsDialChar(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'D') || c == '-' || c == ',' ||
           c == '*' || c == '#';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    static DialList list;
    std::memset(list, 'Z', sizeof list);  // no NUL: an unterminated entry would show
    const ListReadResult result = ParseListFile(bytes, list);

    if (result.status == ListReadStatus::Empty) {
        if (size != 0 || result.entriesRead != 0) std::abort();
        return 0;
    }
    if (result.status != ListReadStatus::Loaded) std::abort();
    if (result.entriesRead < 0 || result.entriesRead > kListEntries) std::abort();
    for (int i = 0; i < kListEntries; ++i) {
        const char* entry = list[i];
        if (i >= result.entriesRead) {
            // Entries after the last one read keep what they held.
            for (int k = 0; k < kEntryBytes; ++k) {
                if (entry[k] != 'Z') std::abort();
            }
            continue;
        }
        const size_t length = strnlen(entry, kEntryBytes);
        if (length >= static_cast<size_t>(kEntryBytes)) std::abort();
        for (size_t k = 0; k < length; ++k) {
            if (!IsDialChar(entry[k])) std::abort();
        }
    }

    // What was read is saved and read back unchanged.
    static DialList again;
    std::memcpy(again, list, sizeof list);
    const std::string saved = FormatListFile(list);
    if (saved.size() > kMaxListFileBytes) std::abort();
    const ListReadResult reread = ParseListFile(saved, again);
    if (reread.status != ListReadStatus::Loaded || reread.entriesRead != kListEntries) std::abort();
    for (int i = 0; i < result.entriesRead; ++i) {
        if (std::strcmp(again[i], list[i]) != 0) std::abort();
    }
    DriveFiles(bytes, list, result);
    return 0;
}
