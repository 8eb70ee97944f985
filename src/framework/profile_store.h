#pragma once
// The application profile: an INI file read and written with the rules of the
// Windows private profile calls, so that a profile edited by hand or carried
// over from Windows reads the same.
//
// Reading rules
//   - Section and key names match without regard to ASCII case; blanks (space,
//     tab) around names, around values and around the names asked for are
//     ignored. A value wrapped in one pair of double quotes loses them.
//   - A line whose first non-blank character is ';' is a comment. A section
//     starts at a line whose first non-blank character is '[' and that holds a
//     ']'; the name is what lies between them. A key line is any other line
//     holding '='; the key is what lies before the first '='. Lines before the
//     first section and lines without '=' belong to nothing.
//   - The first section of a name is the only one searched, and the first key
//     of a name in it wins.
//   - LF and CR LF line ends are both accepted; bytes are taken as they are.
//
// Writing rules
//   - A key found is given its new value in place: the line keeps everything up
//     to and including its '=' and its line end. A missing key is added after
//     the last key line of the section (after the header when it has none); a
//     missing section is added at the end of the file. Every other byte of the
//     file stays as it was; nothing is ever deleted.
//   - New lines follow the file's line end style (that of its first line end;
//     LF for a file without one).
//   - Values are written as they are, with two exceptions that keep every
//     value readable as written: CR and LF inside a value become spaces (one
//     line per key, so a value can never inject lines), and a value that would
//     lose something on reading (blanks at either end, or a '"' at both ends)
//     is written inside one pair of double quotes.
//   - Names that cannot be stored so that they read back as themselves are
//     refused (see IniNamesStorable); the contents are then left unchanged.
//
// Integers: see ParseProfileInt.

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

#include "framework/file_system.h"

namespace fw {

// The value of the key as the reading rules give it, or nothing when the
// section or the key is missing.
std::optional<std::string> IniLookup(std::string_view contents, std::string_view section,
                                     std::string_view key);

// The contents with the key set to the value. Returns the contents unchanged
// when the names are not storable.
std::string IniSet(std::string_view contents, std::string_view section, std::string_view key,
                   std::string_view value);

// Whether a section and key of these names can be written: the section name
// holds no CR, LF or ']'; the key name is not empty after trimming, holds no
// CR, LF or '=' and does not start with ';' or '['.
bool IniNamesStorable(std::string_view section, std::string_view key);

// Signed decimal: leading blanks, then an optional '+' or '-', then digits up
// to the first character that is not one. No digit reads 0. A number beyond
// the range of int saturates at INT_MIN or INT_MAX.
int ParseProfileInt(std::string_view value);

// What the profile file is to the program.
enum class ProfileState {
    Missing,     // not there yet: every key has its default; the first write makes it
    Usable,
    TooLarge,    // far larger than any profile: not read, never overwritten
    Unreadable,  // there but not a regular file, or not readable: as TooLarge
};

// One profile file, shared by every running copy of the program. The file is
// read once and then again only when it has changed on disk, so reads stay
// cheap and still see another copy's writes. Reads take a shared lock and
// writes an exclusive one on a lock file beside the profile's own name
// ("<path>.lock"; beside the link, not its target, when the profile is a
// symbolic link). A lock held by another process is waited for about two
// seconds: then a read goes on without it and a write is refused.
// A write re-reads the file under the lock, so no key another copy wrote is
// lost, and replaces it through fsys::ReplaceFileContents: whatever fails
// (full disk, file size limit, a crash), the profile is either the old one or
// the new one, never a part. A write-protected profile is not written.
class ProfileStore {
public:
    // Larger profiles are TooLarge.
    static constexpr size_t kMaxProfileBytes = 1 << 20;

    explicit ProfileStore(std::string path);

    const std::string& Path() const;
    const std::string& LockPath() const;
    ProfileState State() const;

    // A key that is missing, or present with an empty value, gives the default.
    int GetInt(std::string_view section, std::string_view key, int defaultValue) const;
    // A key that is missing gives the default; an empty value gives "".
    std::string GetString(std::string_view section, std::string_view key,
                          std::string_view defaultValue) const;

    enum class WriteResult {
        Written,
        Unchanged,  // the key held the value already: nothing to write
        LockBusy,   // another process held the lock throughout the wait
        NotUsed,    // the profile is TooLarge or Unreadable
        PastLimit,  // the profile would grow past kMaxProfileBytes
        Failed,     // names not storable, or the file could not be replaced
    };
    // False unless Written or Unchanged; the profile is then unchanged.
    bool WriteString(std::string_view section, std::string_view key, std::string_view value);
    bool WriteInt(std::string_view section, std::string_view key, int value);
    WriteResult LastWriteResult() const { return lastWrite_; }

private:
    void Refresh() const;
    std::optional<std::string> Lookup(std::string_view section, std::string_view key) const;
    WriteResult Write(std::string_view section, std::string_view key, std::string_view value);
    std::chrono::milliseconds LockWait() const;
    void NoteLock(fsys::LockStatus status) const;
    static ProfileState Classify(fsys::ReadStatus status, const std::string& bytes);

    std::string path_;
    std::string lockPath_;
    // The file as last read (or written), and what it looked like on disk then.
    mutable std::string contents_;
    mutable ProfileState state_ = ProfileState::Missing;
    mutable std::optional<fsys::FileStamp> stamp_;
    mutable bool lockStuck_ = false;
    WriteResult lastWrite_ = WriteResult::Written;
};

// <program>.ini in the user's settings folder (fsys::UserConfigDirectory):
// $XDG_CONFIG_HOME, else ~/.config on POSIX; %APPDATA% on Windows. The
// program name may be a path; its last component is used.
std::string DefaultProfilePath(std::string_view programName);

}  // namespace fw
