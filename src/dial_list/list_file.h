#pragma once
// Dial list files: 8-bit text, CR LF line ends, 201 lines. Line 1 is empty; then,
// for each of the 100 entries, an empty separator line and the entry's text.
//
// Reading is lenient and mirrors what older list files mean:
//  - A read takes one line up to and including its line end (CR LF or a lone LF,
//    which count as one character). A read takes at most 255 characters before
//    its line end; a longer line is taken in several reads of at most 255
//    characters, each counting as a line, so it can never overflow an entry.
//    (Files written by this program therefore round-trip entries of up to 255
//    characters; for lines of up to 253 characters this is exactly the
//    historical reader.)
//  - Line 1 is ignored. Then up to 100 pairs: a separator (ignored, whatever it
//    holds) and an entry line. Nothing after the 100th pair is looked at.
//  - An entry line is accepted when every character but its last is one of
//    0-9 A-D - , * # ; the last character is dropped whatever it is (normally
//    the line end). Anything else, a NUL byte included, gives an empty entry.
//  - An entry line that starts with a NUL byte is an empty entry and ends the
//    file: such a file is binary junk past that point.
//  - The file may end anywhere after line 1: the entries read so far count.

#include <string>
#include <string_view>
#include <vector>

constexpr int kListEntries = 100;
constexpr int kEntryBytes = 256;  // 255 characters + NUL

using DialList = char[kListEntries][kEntryBytes];

enum class ListReadStatus { Loaded, CannotOpen, Empty };

// An entry line that was not taken because of what it holds.
struct RefusedEntry {
    int index;         // the entry it would have filled
    std::string line;  // as read, without its line end
};

// How many refused lines are kept for telling the user; the rest are counted.
constexpr int kRefusedKept = 5;

struct ListReadResult {
    ListReadStatus status;
    int entriesRead;  // entries 0..entriesRead-1 were replaced
    int refusedCount = 0;  // non-empty entry lines that became empty entries
    std::vector<RefusedEntry> refused;  // the first kRefusedKept of them
};

// Upper bound of the bytes a parse can consume: 201 reads of 255 characters
// plus CR LF. Readers never need to look further into a file.
constexpr size_t kMaxListFileBytes = 201 * (255 + 2);

// Fills entries 0..n-1 of list from the file's bytes; later entries keep their
// content. Empty when not even line 1 is there (no bytes at all).
ListReadResult ParseListFile(std::string_view bytes, DialList& list);

// As ParseListFile, on the file at path. CannotOpen when it cannot be opened or
// read; list is then untouched. Never waits for a FIFO writer to appear, and
// gives up (CannotOpen) on a FIFO or terminal that has sent nothing after 4 s.
ListReadResult ReadListFile(const std::string& path, DialList& list);

// The 201 lines, each ending in CR LF.
std::string FormatListFile(const DialList& list);

// Saves without ever destroying the previous file: the bytes go to a temporary
// file beside the target, which replaces it only once every byte is on disk.
// A symbolic link is followed and the file it points to is replaced, unless
// it is another user's in a shared folder such as /tmp, which sets *refused;
// an existing file keeps its permission bits. A file with other hard links,
// one in a folder that takes no new file, and a device or FIFO are written in
// place (see fsys::ReplaceFileContents). False on any failure, including a
// file-size limit being hit; the previous file is then unchanged, except
// after a write in place that stopped part-way, which sets *damaged.
bool WriteListFile(const std::string& path, const DialList& list, bool* damaged = nullptr,
                   bool* refused = nullptr);
