#pragma once
// The few file operations the program needs whose safety depends on the
// operating system: reading a file without hanging on odd ones, replacing a
// file so that it is never seen half-written, and locking a file across
// processes. One implementation per platform lives in platform/<os>/; the
// platform-neutral helpers are in framework/file_system.cpp.
//
// Paths are UTF-8 strings in the platform's own syntax.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace fsys {

enum class ReadStatus {
    Ok,       // bytes holds the file's first maxBytes bytes (possibly none)
    Missing,  // nothing exists at the path
    Failed,   // it exists but could not be opened or read in time
};

// No in-place write waits longer than this for a device or FIFO that has
// stopped taking bytes (a reader that never reads).
constexpr std::chrono::milliseconds kDeviceTimeout{5000};
// Nor a read for one that gives none (a FIFO whose writer never writes, a
// terminal nobody types on). A little shorter, as a start-up may make one
// read before its window can show, and with the program's own start-up the
// window should still be up within about six seconds.
constexpr std::chrono::milliseconds kReadTimeout{4000};

// Reads the file at path, at most maxBytes of it. Never waits for a FIFO's
// writer to appear (one without a writer reads as empty), and gives up with
// Failed when reading anything but a regular file takes longer than timeout. With regularOnly,
// anything but a regular file (a directory, a device, a FIFO) is Failed.
// bytes is cleared first and only holds data when the result is Ok.
ReadStatus ReadFile(const std::string& path, std::string& bytes, size_t maxBytes,
                    bool regularOnly, std::chrono::milliseconds timeout = kReadTimeout);

enum class WriteStatus {
    Ok,
    Failed,   // nothing was changed
    Damaged,  // a write in place stopped part-way: the file may hold part of the new data
    Refused,  // another user's link on the way was not followed: nothing was changed
};

// Replaces the file's whole contents with data. Normally the bytes go to a
// temporary file beside the target, are flushed to the disk and only then
// take the target's place, so the file is never seen half-written. Symbolic
// links are followed and the file at the end of the chain is replaced (a
// dangling link gets its target created), but only where Linux's
// protected_symlinks would let this user follow them, whatever this machine's
// setting: in a sticky folder that anyone may write to, such as /tmp, only a
// link of the user's own or of the folder's owner leads on. Anyone else's
// might lead the save onto a file of their choosing, and is Refused. An
// existing file keeps its permissions; one that may not be written is refused.
//
// A file that cannot be replaced is written in place instead: a device or a
// FIFO (giving up when it stops taking bytes), a file with other hard links
// (replacing it would part them), and a file in a folder where no temporary
// file can be made. Such a write is flushed and its size checked, and a
// failure after the first byte reports Damaged. Any other failure, a
// file-size limit included, leaves the previous file unchanged and no
// temporary file behind.
WriteStatus ReplaceFileContents(const std::string& path, std::string_view data);

// The file a write to path has to replace: the end of its chain of symbolic
// links, which need not exist yet. False for a loop of links, a link that
// cannot be read and one that a save may not follow (as above).
bool ResolveLinks(const std::string& path, std::string& target);

// Whether anything (a file, a directory, a dangling link) is at path.
bool Exists(const std::string& path);

// Whether path names a regular file (links followed).
bool IsRegularFile(const std::string& path);

// What tells one version of a file from the next without reading it
// (identity, size, change times; links followed). Nothing when there is no
// file.
struct FileStamp {
    uint64_t parts[5] = {};
    bool operator==(const FileStamp&) const = default;
};
std::optional<FileStamp> StampOf(const std::string& path);

// Creates the directory and any missing parents. True when it exists as a
// directory afterwards.
bool MakeDirectories(const std::string& dir);

// The directory part of a path ("." when it has none) and the last component.
std::string ParentDirectory(const std::string& path);
std::string BaseName(std::string_view path);
std::string JoinPath(const std::string& dir, std::string_view name);

// Where the user's per-application settings files belong: on POSIX
// $XDG_CONFIG_HOME when it is absolute, else ~/.config (HOME from the
// environment, else from the user database); on Windows the roaming
// application-data folder (%APPDATA%).
std::string UserConfigDirectory();

// The temporary file a replacement of the file named base writes first, in
// the target's folder: ".vantrel-<base>@<host>.<pid>.<number>.tmp", the
// number as 16 hex digits. Only the first 100 bytes of base and 64 of the
// host name are used, so the name stays within any file system's limit.
std::string TempFileName(std::string_view base, unsigned long pid, uint64_t number);
// A number for the next temporary file: random, so that no one can lay a file
// in a save's way beforehand.
uint64_t NewTempFileNumber();
// The process of this machine that made a temporary file of that form;
// nothing for any other name, and for one made on another machine.
std::optional<unsigned long> TempFileOwner(std::string_view name);
// This machine's name, as temporary files carry it (empty when unknown).
std::string ThisHostName();

// A save's temporary file untouched for this long is no save under way.
constexpr std::chrono::minutes kStaleTempAge{5};

// Removes the temporary files in dir that saves of this user's earlier runs
// on this machine left behind when they were killed: regular files named as
// TempFileName makes them, whose process is no longer running and which have
// not been written for kStaleTempAge (a copy in another PID namespace may be
// saving under a number that means nothing here). Returns how many went.
int RemoveStaleTempFiles(const std::string& dir);

// From now on a SIGTERM, SIGINT or SIGHUP that arrives during a save first
// removes that save's temporary file and then ends the program as the signal
// would have. Nothing on systems without those signals.
void RemoveTempFilesOnSignals();

enum class LockStatus {
    Held,
    Busy,         // another process held it for the whole wait
    Unavailable,  // no lock could be made there (no such folder, not lockable)
};

// An advisory lock on a file of its own (created when missing; a directory
// already there is locked as it is), held for the object's lifetime, shared
// among readers or exclusive for one writer. Waits at most `wait` for another
// process to let go; no signal cuts the wait short, and a lock let go is free
// at once for the next one to take.
class FileLock {
public:
    FileLock(const std::string& lockPath, bool exclusive, std::chrono::milliseconds wait);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    LockStatus Status() const { return status_; }
    bool Held() const { return status_ == LockStatus::Held; }

private:
    static constexpr intptr_t kNone = -1;
    intptr_t handle_ = kNone;  // a descriptor or a handle, by platform
    LockStatus status_ = LockStatus::Unavailable;
};

}  // namespace fsys
