// Files on POSIX systems.
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <vector>

#include "framework/file_system.h"
#include "platform/posix/fd_io.h"

namespace fsys {

namespace {

// A device or FIFO written in place that stops taking bytes (a reader that
// never reads) fails the write after this long instead of freezing the program.
constexpr std::chrono::milliseconds kInPlaceTimeout{5000};

template <typename F>
auto RetryEintr(F f) {
    decltype(f()) r;
    do {
        r = f();
    } while (r == -1 && errno == EINTR);
    return r;
}

// Devices and FIFOs cannot be replaced, only written. The descriptor stays
// non-blocking so that a FIFO nobody reads fails at once (ENXIO) and one whose
// reader stops reading fails after a while.
bool WriteInPlace(const std::string& target, std::string_view data) {
    const int fd = RetryEintr(
        [&] { return open(target.c_str(), O_WRONLY | O_TRUNC | O_NONBLOCK | O_NOCTTY | O_CLOEXEC); });
    if (fd < 0) return false;
    bool ok = posix_io::WriteAll(fd, data, posix_io::Clock::now() + kInPlaceTimeout);
    if (close(fd) != 0) ok = false;
    return ok;
}

bool ReplaceAtomically(const std::string& target, std::string_view data,
                       const struct stat* existing) {
    static std::atomic<unsigned> counter{0};
    const std::string dir = ParentDirectory(target);
    // Keep the temporary name within the file system's name limit.
    const std::string stem =
        JoinPath(dir, "." + BaseName(target).substr(0, 200) + ".tmp" + std::to_string(getpid()) + "-");
    std::string temp;
    int fd = -1;
    for (unsigned attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = stem + std::to_string(counter.fetch_add(1));
        // 0666: the process's umask decides a new file's permissions, as for any new file.
        fd = RetryEintr([&] { return open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666); });
        if (fd < 0 && errno != EEXIST) return false;
    }
    if (fd < 0) return false;

    bool ok = true;
    if (existing) {
        // The owner can only be kept by a privileged process; the group often
        // can. Neither is fatal, but the mode must match, or a private file
        // could become readable to others.
        if (existing->st_uid != geteuid() || existing->st_gid != getegid()) {
            if (fchown(fd, existing->st_uid, existing->st_gid) != 0) {
                (void)fchown(fd, static_cast<uid_t>(-1), existing->st_gid);
            }
        }
        ok = fchmod(fd, existing->st_mode & 07777) == 0;
    }
    ok = ok && posix_io::WriteAll(fd, data) && RetryEintr([&] { return fsync(fd); }) == 0;
    if (close(fd) != 0) ok = false;
    if (ok) ok = rename(temp.c_str(), target.c_str()) == 0;
    if (!ok) {
        unlink(temp.c_str());
        return false;
    }
    // Make the rename itself durable; the new content is already on disk, so
    // a failure here cannot leave a partial file and is not reported.
    const int dirFd = RetryEintr([&] { return open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); });
    if (dirFd >= 0) {
        (void)fsync(dirFd);
        close(dirFd);
    }
    return true;
}

}  // namespace

ReadStatus ReadFile(const std::string& path, std::string& bytes, size_t maxBytes,
                    bool regularOnly) {
    bytes.clear();
    // O_NONBLOCK only for the open: a FIFO without a writer must not hang it.
    const int fd = RetryEintr(
        [&] { return open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC); });
    if (fd < 0) return errno == ENOENT ? ReadStatus::Missing : ReadStatus::Failed;
    struct stat st {};
    if (regularOnly && (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))) {
        close(fd);
        return ReadStatus::Failed;
    }
    const int flags = fcntl(fd, F_GETFL);
    if (flags >= 0) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);

    constexpr size_t kChunk = 65536;
    size_t filled = 0;
    bool failed = false;
    while (filled < maxBytes) {
        // Grows by chunks, so a limit far beyond the file costs nothing.
        if (bytes.size() == filled) bytes.resize(filled + std::min(kChunk, maxBytes - filled));
        const ssize_t got = read(fd, bytes.data() + filled, bytes.size() - filled);
        if (got < 0) {
            if (errno == EINTR) continue;
            failed = true;
            break;
        }
        if (got == 0) break;
        filled += static_cast<size_t>(got);
    }
    close(fd);
    if (failed) {
        bytes.clear();
        return ReadStatus::Failed;
    }
    bytes.resize(filled);
    return ReadStatus::Ok;
}

bool ReplaceFileContents(const std::string& path, std::string_view data) {
    if (path.empty()) return false;
    std::string target;
    if (!ResolveLinks(path, target)) return false;

    posix_io::ScopedIgnoreSignal ignoreFileSize(SIGXFSZ);
    posix_io::ScopedIgnoreSignal ignorePipe(SIGPIPE);

    struct stat st;
    if (stat(target.c_str(), &st) != 0) {
        if (errno != ENOENT) return false;
        return ReplaceAtomically(target, data, nullptr);
    }
    if (!S_ISREG(st.st_mode)) return WriteInPlace(target, data);
    // Renaming would get round a write-protected file; refuse as opening it would.
    if (faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) return false;
    return ReplaceAtomically(target, data, &st);
}

bool ResolveLinks(const std::string& path, std::string& target) {
    std::string current = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st;
        if (lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            target = current;
            return true;
        }
        std::string link(static_cast<size_t>(st.st_size > 0 ? st.st_size : PATH_MAX) + 1, '\0');
        ssize_t length;
        for (;;) {
            length = readlink(current.c_str(), link.data(), link.size());
            if (length < 0) return false;
            if (static_cast<size_t>(length) < link.size()) break;
            link.resize(link.size() * 2);  // the link changed under us
        }
        link.resize(static_cast<size_t>(length));
        if (link.empty()) return false;
        current = link[0] == '/' ? link : JoinPath(ParentDirectory(current), link);
    }
    return false;  // a loop, or a chain too long to be meant
}

bool Exists(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

bool IsRegularFile(const std::string& path) {
    struct stat st;
    return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool MakeDirectories(const std::string& dir) {
    struct stat st;
    if (stat(dir.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
    if (errno != ENOENT) return false;
    const std::string parent = ParentDirectory(dir);
    if (parent != dir && !MakeDirectories(parent)) return false;
    if (mkdir(dir.c_str(), 0777) != 0 && errno != EEXIST) return false;
    return stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string ParentDirectory(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string BaseName(std::string_view path) {
    const size_t slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string JoinPath(const std::string& dir, std::string_view name) {
    if (!dir.empty() && dir.back() == '/') return dir + std::string(name);
    return dir + "/" + std::string(name);
}

std::string UserConfigDirectory() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg != nullptr && xdg[0] == '/') return xdg;

    std::string home;
    const char* envHome = std::getenv("HOME");
    if (envHome != nullptr && envHome[0] != '\0') {
        home = envHome;
    } else {
        struct passwd pw {};
        struct passwd* found = nullptr;
        std::vector<char> buf(16384);
        if (getpwuid_r(getuid(), &pw, buf.data(), buf.size(), &found) == 0 && found != nullptr &&
            found->pw_dir != nullptr) {
            home = found->pw_dir;
        }
    }
    if (home.empty()) home = ".";
    if (home.size() > 1 && home.back() == '/') home.pop_back();
    return (home == "/" ? "" : home) + "/.config";
}

FileLock::FileLock(const std::string& lockPath, bool exclusive) {
    const int fd =
        RetryEintr([&] { return open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666); });
    if (fd < 0) return;
    if (RetryEintr([&] { return flock(fd, exclusive ? LOCK_EX : LOCK_SH); }) != 0) {
        close(fd);
        return;
    }
    handle_ = fd;
}

FileLock::~FileLock() {
    if (handle_ != kNone) close(static_cast<int>(handle_));  // closing releases the lock
}

}  // namespace fsys
