#include "dial_list/list_file.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace {

constexpr size_t kMaxLineChars = kEntryBytes - 1;
constexpr std::chrono::milliseconds kInPlaceTimeout{5000};

bool IsDialChar(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'D') || c == '-' || c == ',' ||
           c == '*' || c == '#';
}

// Hands out the file one read at a time, the way a line-buffered text reader
// would, with CR LF folded into the single line end.
class LineReader {
public:
    explicit LineReader(std::string_view bytes) : bytes_(bytes) {}

    struct Line {
        std::string_view chars;  // without the line end
        bool ended;              // a line end closed this read
    };

    // False at the end of the file.
    bool Next(Line& line) {
        if (pos_ >= bytes_.size()) return false;
        const size_t start = pos_;
        while (pos_ < bytes_.size()) {
            const size_t count = pos_ - start;
            if (bytes_[pos_] == '\n') {
                line = {bytes_.substr(start, count), true};
                pos_ += 1;
                return true;
            }
            if (bytes_[pos_] == '\r' && pos_ + 1 < bytes_.size() && bytes_[pos_ + 1] == '\n') {
                line = {bytes_.substr(start, count), true};
                pos_ += 2;
                return true;
            }
            if (count == kMaxLineChars) break;  // the rest of the line is the next read
            ++pos_;
        }
        line = {bytes_.substr(start, pos_ - start), false};
        return true;
    }

private:
    std::string_view bytes_;
    size_t pos_ = 0;
};

// The text an entry line stands for, or nothing when the line fails. The last
// character of the read is dropped: the line end when there is one, else the
// last byte that was read.
bool AcceptEntry(const LineReader::Line& line, std::string_view& text) {
    std::string_view chars = line.chars;
    if (!line.ended) chars.remove_suffix(1);
    for (char c : chars) {
        if (!IsDialChar(c)) return false;
    }
    text = chars;
    return true;
}

void SetEntry(char* entry, std::string_view text) {
    if (!text.empty()) std::memcpy(entry, text.data(), text.size());
    entry[text.size()] = '\0';
}

// Restores a signal's disposition when the save is over.
class ScopedSignalIgnore {
public:
    explicit ScopedSignalIgnore(int sig) : sig_(sig) {
        struct sigaction ignore = {};
        ignore.sa_handler = SIG_IGN;
        sigemptyset(&ignore.sa_mask);
        active_ = sigaction(sig_, &ignore, &old_) == 0;
    }
    ~ScopedSignalIgnore() {
        if (active_) sigaction(sig_, &old_, nullptr);
    }
    ScopedSignalIgnore(const ScopedSignalIgnore&) = delete;
    ScopedSignalIgnore& operator=(const ScopedSignalIgnore&) = delete;

private:
    int sig_;
    bool active_ = false;
    struct sigaction old_ = {};
};

bool WriteAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t written = write(fd, data.data(), data.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (written == 0) return false;
        data.remove_prefix(static_cast<size_t>(written));
    }
    return true;
}

std::string DirName(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string BaseName(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The file a save must replace: symbolic links are followed, so that saving
// through a link updates what it points to instead of replacing the link.
bool ResolveTarget(const std::string& path, std::string& target) {
    std::string current = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st;
        if (lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            target = current;
            return true;
        }
        std::string link(static_cast<size_t>(st.st_size > 0 ? st.st_size : 255) + 1, '\0');
        ssize_t length;
        for (;;) {
            length = readlink(current.c_str(), link.data(), link.size());
            if (length < 0) return false;
            if (static_cast<size_t>(length) < link.size()) break;
            link.resize(link.size() * 2);  // the link changed under us
        }
        link.resize(static_cast<size_t>(length));
        if (link.empty()) return false;
        current = link[0] == '/' ? link : DirName(current) + "/" + link;
    }
    return false;  // a loop of links
}

// Devices and FIFOs cannot be replaced, only written. The descriptor stays
// non-blocking so that a FIFO nobody reads fails at once (ENXIO) and one whose
// reader stops reading fails after a while, instead of freezing the program.
bool WriteInPlace(const std::string& target, std::string_view data) {
    const int fd = open(target.c_str(), O_WRONLY | O_TRUNC | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return false;
    const auto deadline = std::chrono::steady_clock::now() + kInPlaceTimeout;
    bool ok = true;
    while (ok && !data.empty()) {
        const ssize_t written = write(fd, data.data(), data.size());
        if (written > 0) {
            data.remove_prefix(static_cast<size_t>(written));
        } else if (written < 0 && errno == EINTR) {
            continue;
        } else if (written < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                                  deadline - std::chrono::steady_clock::now())
                                  .count();
            pollfd ready = {fd, POLLOUT, 0};
            const int polled = left > 0 ? poll(&ready, 1, static_cast<int>(left)) : 0;
            if (polled < 0 && errno == EINTR) continue;
            ok = polled > 0 && (ready.revents & POLLOUT);
        } else {
            ok = false;
        }
    }
    if (close(fd) != 0) ok = false;
    return ok;
}

bool ReplaceAtomically(const std::string& target, std::string_view data,
                       const struct stat* existing) {
    const std::string dir = DirName(target);
    // Keep the temporary name within the file system's name limit.
    const std::string stem = dir + "/." + BaseName(target).substr(0, 200) + ".tmp" +
                             std::to_string(getpid()) + "-";
    std::string temp;
    int fd = -1;
    for (unsigned attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = stem + std::to_string(attempt);
        // 0666: the process's umask decides a new file's permissions, as for any new file.
        fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) return false;
    }
    if (fd < 0) return false;

    bool ok = true;
    if (existing) {
        // The owner can only be kept by a privileged process; the group often can.
        if (fchown(fd, existing->st_uid, existing->st_gid) != 0 &&
            fchown(fd, static_cast<uid_t>(-1), existing->st_gid) != 0) {
            // Not fatal: the file is ours now, with the old permission bits.
        }
        ok = fchmod(fd, existing->st_mode & 07777) == 0;
    }
    ok = ok && WriteAll(fd, data) && fsync(fd) == 0;
    if (close(fd) != 0) ok = false;
    if (ok) ok = rename(temp.c_str(), target.c_str()) == 0;
    if (!ok) {
        unlink(temp.c_str());
        return false;
    }
    // Make the rename itself durable; the new content is already on disk.
    const int dirFd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        fsync(dirFd);
        close(dirFd);
    }
    return true;
}

}  // namespace

ListReadResult ParseListFile(std::string_view bytes, DialList& list) {
    LineReader reader(bytes);
    LineReader::Line line;
    if (!reader.Next(line)) return {ListReadStatus::Empty, 0};

    int count = 0;
    for (int i = 0; i < kListEntries; ++i) {
        if (!reader.Next(line)) break;  // separator
        if (!reader.Next(line)) break;  // a file may end after a separator
        if (!line.chars.empty() && line.chars[0] == '\0') {
            list[i][0] = '\0';
            count = i + 1;
            break;
        }
        std::string_view text;
        SetEntry(list[i], AcceptEntry(line, text) ? text : std::string_view());
        count = i + 1;
    }
    return {ListReadStatus::Loaded, count};
}

ListReadResult ReadListFile(const std::string& path, DialList& list) {
    // O_NONBLOCK only for the open: a FIFO without a writer must not hang it.
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return {ListReadStatus::CannotOpen, 0};
    const int flags = fcntl(fd, F_GETFL);
    if (flags >= 0) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);

    // No parse looks past kMaxListFileBytes, which also bounds endless devices.
    std::string bytes(kMaxListFileBytes, '\0');
    size_t filled = 0;
    bool failed = false;
    while (filled < bytes.size()) {
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
    if (failed) return {ListReadStatus::CannotOpen, 0};
    bytes.resize(filled);
    return ParseListFile(bytes, list);
}

std::string FormatListFile(const DialList& list) {
    std::string out;
    out.reserve(2 + kListEntries * (4 + kMaxLineChars));
    out += "\r\n";
    for (const auto& entry : list) {
        out += "\r\n";
        out.append(entry, strnlen(entry, kMaxLineChars));
        out += "\r\n";
    }
    return out;
}

bool WriteListFile(const std::string& path, const DialList& list) {
    if (path.empty()) return false;
    std::string target;
    if (!ResolveTarget(path, target)) return false;
    const std::string data = FormatListFile(list);

    // A file-size limit or a vanished FIFO reader must fail the save, not end the program.
    ScopedSignalIgnore ignoreFileSize(SIGXFSZ);
    ScopedSignalIgnore ignorePipe(SIGPIPE);

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
