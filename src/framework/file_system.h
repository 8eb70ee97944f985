#pragma once
// The few file operations the program needs whose safety depends on the
// operating system: reading a file without hanging on odd ones, replacing a
// file so that it is never seen half-written, and locking a file across
// processes. One implementation per platform lives in platform/<os>/.
//
// Paths are UTF-8 strings in the platform's own syntax.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace fsys {

enum class ReadStatus {
    Ok,       // bytes holds the file's first maxBytes bytes (possibly none)
    Missing,  // nothing exists at the path
    Failed,   // it exists but could not be opened or read
};

// Reads the file at path, at most maxBytes of it. Never waits for a FIFO's
// writer to appear (one without a writer reads as empty). With regularOnly,
// anything but a regular file (a directory, a device, a FIFO) is Failed.
// bytes is cleared first and only holds data when the result is Ok.
ReadStatus ReadFile(const std::string& path, std::string& bytes, size_t maxBytes,
                    bool regularOnly);

// Replaces the file's whole contents with data without ever leaving a partial
// file behind: the bytes go to a temporary file beside the target, are flushed
// to the disk and only then take the target's place. Symbolic links are
// followed and the file at the end of the chain is replaced (a dangling link
// gets its target created). An existing file keeps its permissions; one that
// may not be written is refused. A target that exists but is not a regular
// file (a device, a FIFO) cannot be replaced and is written in place, giving
// up when it stops taking bytes. False on any failure, a file-size limit
// included; the previous file is then unchanged and no temporary file is left.
bool ReplaceFileContents(const std::string& path, std::string_view data);

// The file a write to path has to replace: the end of its chain of symbolic
// links, which need not exist yet. False for a loop of links or a link that
// cannot be read.
bool ResolveLinks(const std::string& path, std::string& target);

// Whether anything (a file, a directory, a dangling link) is at path.
bool Exists(const std::string& path);

// Whether path names a regular file (links followed).
bool IsRegularFile(const std::string& path);

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

// An advisory lock on a file of its own (created when missing), held for the
// object's lifetime, shared among readers or exclusive for one writer. Other
// processes taking the same lock wait. Held() is false when the lock file
// could not be made or locked.
class FileLock {
public:
    FileLock(const std::string& lockPath, bool exclusive);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    bool Held() const { return handle_ != kNone; }

private:
    static constexpr intptr_t kNone = -1;
    intptr_t handle_ = kNone;  // a descriptor or a handle, by platform
};

}  // namespace fsys
