// Files on POSIX systems.
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sys/file.h>
#ifdef __linux__
#include <sys/inotify.h>
#endif
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "framework/file_system.h"
#include "platform/posix/fd_io.h"

namespace fsys {

namespace {

template <typename F>
auto RetryEintr(F f) {
    decltype(f()) r;
    do {
        r = f();
    } while (r == -1 && errno == EINTR);
    return r;
}

int MillisecondsLeft(posix_io::Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          deadline - posix_io::Clock::now())
                          .count();
    return left > 0 ? static_cast<int>(std::min<long long>(left, INT_MAX)) : 0;
}

// ---------------------------------------------------------------------------
// Temporary files in progress, known to the signal handler. A slot goes from
// free (0) to being filled (1) to armed (2); the handler removes the armed
// ones. Lock-free atomics and unlink() are all a handler may use.

constexpr int kTempSlots = 8;
struct TempSlot {
    std::atomic<int> state{0};
    char path[PATH_MAX];
};
TempSlot g_tempSlots[kTempSlots];
static_assert(std::atomic<int>::is_always_lock_free);

class TrackedTemp {
public:
    explicit TrackedTemp(const std::string& path) {
        if (path.size() >= PATH_MAX) return;  // too long to be opened anyway
        for (int i = 0; i < kTempSlots; ++i) {
            int expected = 0;
            if (g_tempSlots[i].state.compare_exchange_strong(expected, 1)) {
                std::memcpy(g_tempSlots[i].path, path.c_str(), path.size() + 1);
                g_tempSlots[i].state.store(2);
                slot_ = i;
                return;
            }
        }
    }
    ~TrackedTemp() {
        if (slot_ >= 0) g_tempSlots[slot_].state.store(0);
    }
    TrackedTemp(const TrackedTemp&) = delete;
    TrackedTemp& operator=(const TrackedTemp&) = delete;

private:
    int slot_ = -1;
};

extern "C" void RemoveTempsAndEnd(int sig) {
    const int savedErrno = errno;
    for (TempSlot& slot : g_tempSlots) {
        if (slot.state.load() == 2) unlink(slot.path);
    }
    errno = savedErrno;
    // The handler was installed to reset itself, so the signal, raised again,
    // ends the program as it would have without us once this handler returns.
    raise(sig);
}

// ---------------------------------------------------------------------------
// Writing

// Devices and FIFOs cannot be replaced, only written. The descriptor stays
// non-blocking so that a FIFO nobody reads fails at once (ENXIO) and one whose
// reader stops reading fails after a while.
WriteStatus WriteDevice(const std::string& target, std::string_view data) {
    const int fd = RetryEintr([&] {
        return open(target.c_str(),
                    O_WRONLY | O_TRUNC | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW | O_CLOEXEC);
    });
    if (fd < 0) return WriteStatus::Failed;
    bool ok = posix_io::WriteAll(fd, data, posix_io::Clock::now() + kDeviceTimeout);
    if (close(fd) != 0) ok = false;
    return ok ? WriteStatus::Ok : WriteStatus::Failed;
}

// A regular file that must keep its identity (other hard links share it, or
// its folder takes no new file) is overwritten where it is. Nothing is cut
// before the new bytes are in, and what was written is flushed and measured,
// so a failure can be told to the user instead of passing unseen.
WriteStatus RewriteInPlace(const std::string& target, std::string_view data) {
    const int fd = RetryEintr(
        [&] { return open(target.c_str(), O_WRONLY | O_NOCTTY | O_NOFOLLOW | O_CLOEXEC); });
    if (fd < 0) return WriteStatus::Failed;
    bool ok = posix_io::WriteAll(fd, data);
    ok = ok && RetryEintr([&] { return ftruncate(fd, static_cast<off_t>(data.size())); }) == 0;
    ok = ok && RetryEintr([&] { return fsync(fd); }) == 0;
    struct stat st {};
    ok = ok && fstat(fd, &st) == 0 && st.st_size == static_cast<off_t>(data.size());
    if (close(fd) != 0) ok = false;
    if (ok) return WriteStatus::Ok;
    return data.empty() ? WriteStatus::Failed : WriteStatus::Damaged;
}

enum class Replaced { Ok, Failed, NoTempFile };

Replaced ReplaceAtomically(const std::string& target, std::string_view data,
                           const struct stat* existing) {
    const std::string dir = ParentDirectory(target);
    const std::string base = BaseName(target);
    std::string temp;
    int fd = -1;
    for (unsigned attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = JoinPath(dir, TempFileName(base, static_cast<unsigned long>(getpid()),
                                          NewTempFileNumber()));
        // 0666: the process's umask decides a new file's permissions, as for any new file.
        fd = RetryEintr([&] { return open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666); });
        if (fd < 0 && errno != EEXIST) {
            const bool folderShut = errno == EACCES || errno == EPERM || errno == EROFS;
            return folderShut ? Replaced::NoTempFile : Replaced::Failed;
        }
    }
    if (fd < 0) return Replaced::Failed;
    TrackedTemp tracked(temp);

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
        return Replaced::Failed;
    }
    // Make the rename itself durable; the new content is already on disk, so
    // a failure here cannot leave a partial file and is not reported.
    const int dirFd = RetryEintr([&] { return open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); });
    if (dirFd >= 0) {
        (void)fsync(dirFd);
        close(dirFd);
    }
    return Replaced::Ok;
}

// ---------------------------------------------------------------------------
// Waiting for a lock, but not for ever: tries that never block until the
// deadline, so that no signal is needed to end the wait and none can end it
// early. A holder lets go by closing the lock file, and on Linux the wait
// wakes at that close: a writer that lets go and at once locks again leaves
// only a moment's gap, which a try at a fixed pace would mostly miss. Other
// holders (one on another machine) are found by a try every millisecond.

#ifdef __linux__
class CloseWatch {
public:
    explicit CloseWatch(const std::string& path)
        : fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
        const uint32_t closes = IN_CLOSE_WRITE | IN_CLOSE_NOWRITE;
        if (fd_ >= 0 && inotify_add_watch(fd_, path.c_str(), closes) < 0) {
            close(fd_);
            fd_ = -1;
        }
    }
    ~CloseWatch() {
        if (fd_ >= 0) close(fd_);
    }
    CloseWatch(const CloseWatch&) = delete;
    CloseWatch& operator=(const CloseWatch&) = delete;

    // Returns after the pause, or sooner when the file was closed.
    void Pause(std::chrono::microseconds pause) {
        if (fd_ < 0) {
            std::this_thread::sleep_for(pause);
            return;
        }
        pollfd ready = {fd_, POLLIN, 0};
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(pause).count();
        if (poll(&ready, 1, static_cast<int>(std::max<long long>(ms, 1))) > 0) {
            alignas(inotify_event) char events[4096];
            while (read(fd_, events, sizeof events) > 0) {
            }
        }
    }

private:
    int fd_;
};
#else
struct CloseWatch {
    explicit CloseWatch(const std::string&) {}
    void Pause(std::chrono::microseconds pause) { std::this_thread::sleep_for(pause); }
};
#endif

// 0 when locked, else the errno that ended the wait (EWOULDBLOCK at the deadline).
int LockWithin(int fd, const std::string& path, int operation, std::chrono::milliseconds wait) {
    auto tryLock = [&] { return RetryEintr([&] { return flock(fd, operation | LOCK_NB); }); };
    if (tryLock() == 0) return 0;
    if (errno != EWOULDBLOCK || wait.count() <= 0) return errno;
    const auto deadline = posix_io::Clock::now() + wait;
    CloseWatch closes(path);
    for (;;) {
        // Tried again once the watch is in place, so that no close goes unseen.
        if (tryLock() == 0) return 0;
        if (errno != EWOULDBLOCK) return errno;
        const auto now = posix_io::Clock::now();
        if (now >= deadline) return EWOULDBLOCK;
        closes.Pause(std::min<std::chrono::microseconds>(
            std::chrono::milliseconds(1),
            std::chrono::ceil<std::chrono::microseconds>(deadline - now)));
    }
}

// ---------------------------------------------------------------------------
// Links

// Whether a save may follow the link at path, whose own status is link. As
// protected_symlinks has it: in a sticky folder anyone may write to, only the
// user's own links and those of the folder's owner.
bool MayFollow(const std::string& path, const struct stat& link) {
    if (link.st_uid == geteuid()) return true;
    struct stat folder;
    if (stat(ParentDirectory(path).c_str(), &folder) != 0) return false;
    const bool shared = (folder.st_mode & S_ISVTX) && (folder.st_mode & S_IWOTH);
    return !shared || folder.st_uid == link.st_uid;
}

enum class Walk { Ok, Refused, Failed };

Walk WalkLinks(const std::string& path, std::string& target) {
    std::string current = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st;
        if (lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            target = current;
            return Walk::Ok;
        }
        if (!MayFollow(current, st)) return Walk::Refused;
        std::string link(static_cast<size_t>(st.st_size > 0 ? st.st_size : PATH_MAX) + 1, '\0');
        ssize_t length;
        for (;;) {
            length = readlink(current.c_str(), link.data(), link.size());
            if (length < 0) return Walk::Failed;
            if (static_cast<size_t>(length) < link.size()) break;
            link.resize(link.size() * 2);  // the link changed under us
        }
        link.resize(static_cast<size_t>(length));
        if (link.empty()) return Walk::Failed;
        current = link[0] == '/' ? link : JoinPath(ParentDirectory(current), link);
    }
    return Walk::Failed;  // a loop, or a chain too long to be meant
}

}  // namespace

ReadStatus ReadFile(const std::string& path, std::string& bytes, size_t maxBytes,
                    bool regularOnly, std::chrono::milliseconds timeout) {
    bytes.clear();
    const auto deadline = posix_io::Clock::now() + timeout;
    // Non-blocking throughout: a FIFO without a writer must not hang the
    // open, and one whose writer never writes (or a terminal) must not hang
    // the read beyond the deadline.
    const int fd = RetryEintr(
        [&] { return open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC); });
    if (fd < 0) return errno == ENOENT ? ReadStatus::Missing : ReadStatus::Failed;
    struct stat st {};
    const bool known = fstat(fd, &st) == 0;
    if (regularOnly && (!known || !S_ISREG(st.st_mode))) {
        close(fd);
        return ReadStatus::Failed;
    }

    // Grows by chunks, so a limit far beyond the file costs nothing; a
    // regular file's first chunk is its size, and one more byte to see its end.
    constexpr size_t kChunk = 65536;
    size_t chunk = kChunk;
    const bool regular = known && S_ISREG(st.st_mode);
    if (regular && static_cast<uint64_t>(st.st_size) < kChunk) {
        chunk = static_cast<size_t>(st.st_size) + 1;
    }
    size_t filled = 0;
    bool failed = false;
    while (filled < maxBytes) {
        if (bytes.size() == filled) {
            bytes.resize(filled + std::min(chunk, maxBytes - filled));
            chunk = kChunk;
        }
        const ssize_t got = read(fd, bytes.data() + filled, bytes.size() - filled);
        if (got > 0) {
            filled += static_cast<size_t>(got);
            // A regular file always comes to its end, however busy the
            // machine; only a device may go on sending for ever.
            if (regular || posix_io::Clock::now() < deadline) continue;
            failed = true;
            break;
        }
        if (got == 0) break;
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
            failed = true;
            break;
        }
        pollfd ready = {fd, POLLIN, 0};
        const int polled = poll(&ready, 1, MillisecondsLeft(deadline));
        if (polled < 0 && errno == EINTR) continue;
        if (polled <= 0) {
            failed = true;  // nothing came in time
            break;
        }
    }
    close(fd);
    if (failed) {
        bytes.clear();
        return ReadStatus::Failed;
    }
    bytes.resize(filled);
    return ReadStatus::Ok;
}

WriteStatus ReplaceFileContents(const std::string& path, std::string_view data) {
    if (path.empty()) return WriteStatus::Failed;
    std::string target;
    switch (WalkLinks(path, target)) {
        case Walk::Ok: break;
        case Walk::Refused: return WriteStatus::Refused;
        case Walk::Failed: return WriteStatus::Failed;
    }

    posix_io::ScopedIgnoreSignal ignoreFileSize(SIGXFSZ);
    posix_io::ScopedIgnoreSignal ignorePipe(SIGPIPE);

    // Not a link when it was walked; one laid there since is not followed:
    // it is no regular file here, and the device write will not open it.
    struct stat st;
    if (lstat(target.c_str(), &st) != 0) {
        if (errno != ENOENT) return WriteStatus::Failed;
        return ReplaceAtomically(target, data, nullptr) == Replaced::Ok ? WriteStatus::Ok
                                                                         : WriteStatus::Failed;
    }
    if (!S_ISREG(st.st_mode)) return WriteDevice(target, data);
    // Renaming would get round a write-protected file; refuse as opening it would.
    if (faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) return WriteStatus::Failed;
    if (st.st_nlink > 1) return RewriteInPlace(target, data);
    switch (ReplaceAtomically(target, data, &st)) {
        case Replaced::Ok: return WriteStatus::Ok;
        case Replaced::NoTempFile: return RewriteInPlace(target, data);
        case Replaced::Failed: break;
    }
    return WriteStatus::Failed;
}

bool ResolveLinks(const std::string& path, std::string& target) {
    return WalkLinks(path, target) == Walk::Ok;
}

bool Exists(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

bool IsRegularFile(const std::string& path) {
    struct stat st;
    return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::optional<FileStamp> StampOf(const std::string& path) {
    struct stat st;
    if (path.empty() || stat(path.c_str(), &st) != 0) return std::nullopt;
    FileStamp stamp;
    stamp.parts[0] = static_cast<uint64_t>(st.st_dev);
    stamp.parts[1] = static_cast<uint64_t>(st.st_ino);
    stamp.parts[2] = static_cast<uint64_t>(st.st_size);
    stamp.parts[3] = static_cast<uint64_t>(st.st_mtim.tv_sec) * 1000000000u +
                     static_cast<uint64_t>(st.st_mtim.tv_nsec);
    stamp.parts[4] = static_cast<uint64_t>(st.st_ctim.tv_sec) * 1000000000u +
                     static_cast<uint64_t>(st.st_ctim.tv_nsec);
    return stamp;
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

std::string ThisHostName() {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0) return {};
    return name;
}

int RemoveStaleTempFiles(const std::string& dir) {
    DIR* listing = opendir(dir.c_str());
    if (listing == nullptr) return 0;
    const int dirFd = dirfd(listing);
    const time_t now = time(nullptr);
    int removed = 0;
    while (const dirent* entry = readdir(listing)) {
        const std::optional<unsigned long> owner = TempFileOwner(entry->d_name);
        if (!owner || *owner > static_cast<unsigned long>(INT_MAX)) continue;
        const pid_t pid = static_cast<pid_t>(*owner);
        if (pid == getpid()) continue;
        struct stat st;
        if (fstatat(dirFd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
        if (!S_ISREG(st.st_mode) || st.st_uid != geteuid()) continue;
        if (now - st.st_mtime < std::chrono::seconds(kStaleTempAge).count()) continue;
        // A process of that number that still runs may be a copy saving right
        // now; only a number nobody has is certainly a leftover.
        if (kill(pid, 0) == 0 || errno != ESRCH) continue;
        if (unlinkat(dirFd, entry->d_name, 0) == 0) ++removed;
    }
    closedir(listing);
    return removed;
}

void RemoveTempFilesOnSignals() {
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
        struct sigaction current = {};
        if (sigaction(sig, nullptr, &current) != 0) continue;
        // A signal the program ignores (SIGHUP under nohup) or handles itself is left so.
        if (!(current.sa_flags & SA_SIGINFO) && current.sa_handler != SIG_DFL) continue;
        if ((current.sa_flags & SA_SIGINFO) && current.sa_sigaction != nullptr) continue;
        struct sigaction action = {};
        action.sa_handler = RemoveTempsAndEnd;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESETHAND;
        sigaction(sig, &action, nullptr);
    }
}

FileLock::FileLock(const std::string& lockPath, bool exclusive, std::chrono::milliseconds wait) {
    // O_NOFOLLOW: a link planted at the lock's name never gets a file made at
    // its far end. A directory (or a read-only file) already there is locked
    // as it is, so that it cannot turn the locking, and with it every save, off.
    int fd = RetryEintr([&] {
        return open(lockPath.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC,
                    0666);
    });
    if (fd < 0 && errno != ENOENT && errno != ENOTDIR) {
        fd = RetryEintr(
            [&] { return open(lockPath.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC); });
    }
    if (fd < 0) return;

    const int result = LockWithin(fd, lockPath, exclusive ? LOCK_EX : LOCK_SH, wait);
    if (result == 0) {
        handle_ = fd;
        status_ = LockStatus::Held;
        return;
    }
    if (result == EWOULDBLOCK) status_ = LockStatus::Busy;
    close(fd);
}

FileLock::~FileLock() {
    if (handle_ == kNone) return;
    // Let go before closing: a close releases the lock only once nothing else
    // holds the open file, and a program looking at this one's descriptors (a
    // system monitor, lsof) holds each for a moment; the lock would then still
    // be taken when the next one is asked for.
    const int fd = static_cast<int>(handle_);
    flock(fd, LOCK_UN);
    close(fd);
}

}  // namespace fsys
