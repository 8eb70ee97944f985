#include "framework/profile_store.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

namespace fw {

namespace {

// ---------------------------------------------------------------------------
// Text rules

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
    }
    return true;
}

bool IsQuoted(std::string_view s) { return s.size() >= 2 && s.front() == '"' && s.back() == '"'; }

// One line of the file: [begin, contentEnd) is its text, [contentEnd, end) its
// line end ("\n", "\r\n", or for the last line "", "\r").
struct Line {
    size_t begin;
    size_t contentEnd;
    size_t end;
};

std::vector<Line> SplitLines(std::string_view text) {
    std::vector<Line> lines;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t nl = text.find('\n', pos);
        size_t end = (nl == std::string_view::npos) ? text.size() : nl + 1;
        size_t contentEnd = (nl == std::string_view::npos) ? text.size() : nl;
        if (contentEnd > pos && text[contentEnd - 1] == '\r') --contentEnd;
        lines.push_back({pos, contentEnd, end});
        pos = end;
    }
    return lines;
}

enum class LineKind { Other, Header, Key };

struct Parsed {
    LineKind kind = LineKind::Other;
    std::string_view name;    // section or key name, trimmed
    size_t valueOffset = 0;   // for a key: offset of the byte after '=' within the line
};

Parsed ParseLine(std::string_view content) {
    Parsed p;
    std::string_view t = Trim(content);
    if (t.empty() || t.front() == ';') return p;
    if (t.front() == '[') {
        size_t close = t.find(']');
        if (close == std::string_view::npos) return p;  // a broken header belongs to nothing
        p.kind = LineKind::Header;
        p.name = Trim(t.substr(1, close - 1));
        return p;
    }
    size_t eq = content.find('=');
    if (eq == std::string_view::npos) return p;
    p.kind = LineKind::Key;
    p.name = Trim(content.substr(0, eq));
    p.valueOffset = eq + 1;
    return p;
}

std::string_view ReadValue(std::string_view raw) {
    std::string_view v = Trim(raw);
    if (IsQuoted(v)) v = v.substr(1, v.size() - 2);
    return v;
}

// What goes after '=' so that ReadValue gives the value back (CR and LF aside).
std::string EncodeValue(std::string_view value) {
    std::string v(value);
    for (char& c : v) {
        if (c == '\r' || c == '\n') c = ' ';
    }
    if (!v.empty() && (IsBlank(v.front()) || IsBlank(v.back()) || IsQuoted(v))) {
        return '"' + v + '"';
    }
    return v;
}

std::string_view LineEndStyle(std::string_view text) {
    size_t nl = text.find('\n');
    if (nl != std::string_view::npos && nl > 0 && text[nl - 1] == '\r') return "\r\n";
    return "\n";
}

// Copies the text up to the end of the line, giving the line a complete line
// end when it is the unterminated last one, so that a line can follow it.
void AppendTerminated(std::string& out, std::string_view text, const Line& line,
                      std::string_view eol) {
    out.append(text.substr(0, line.end));
    bool terminated = line.end > line.begin && text[line.end - 1] == '\n';
    if (!terminated) out.append(line.end > line.contentEnd ? std::string_view("\n") : eol);
}

// ---------------------------------------------------------------------------
// Files

// Retries a call interrupted by a signal.
template <typename F>
auto Retry(F f) {
    decltype(f()) r;
    do {
        r = f();
    } while (r == -1 && errno == EINTR);
    return r;
}

std::string DirName(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// The file a write has to replace: the path itself, or the end of the chain of
// symbolic links it starts (which need not exist yet). Renaming over the link
// would turn it into a plain file and leave its target stale.
bool ResolveTarget(const std::string& path, std::string& target) {
    std::string current = path;
    for (int depth = 0; depth < 40; ++depth) {
        struct stat st;
        if (lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            target = current;
            return true;
        }
        std::string link(static_cast<size_t>(st.st_size > 0 ? st.st_size : PATH_MAX) + 1, '\0');
        ssize_t n = readlink(current.c_str(), link.data(), link.size());
        if (n < 0 || static_cast<size_t>(n) >= link.size()) return false;
        link.resize(static_cast<size_t>(n));
        if (link.empty()) return false;
        current = (link.front() == '/') ? link : DirName(current) + "/" + link;
    }
    return false;  // a loop, or a chain too long to be meant
}

bool MakeDirs(const std::string& dir) {
    struct stat st;
    if (stat(dir.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
    if (errno != ENOENT) return false;
    std::string parent = DirName(dir);
    if (parent != dir && !MakeDirs(parent)) return false;
    if (mkdir(dir.c_str(), 0777) != 0 && errno != EEXIST) return false;
    return stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

enum class ReadResult { Ok, Missing, Failed };

ReadResult ReadFile(const std::string& path, std::string& out, struct stat& st) {
    out.clear();
    int fd = Retry([&] { return open(path.c_str(), O_RDONLY | O_CLOEXEC); });
    if (fd < 0) return errno == ENOENT ? ReadResult::Missing : ReadResult::Failed;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return ReadResult::Failed;
    }
    char buf[65536];
    for (;;) {
        ssize_t n = Retry([&] { return read(fd, buf, sizeof buf); });
        if (n < 0) {
            close(fd);
            return ReadResult::Failed;
        }
        if (n == 0) break;
        out.append(buf, static_cast<size_t>(n));
    }
    close(fd);
    return ReadResult::Ok;
}

// Holds a lock on "<target>.lock" for its lifetime. The lock lives on a file
// of its own because the profile's inode changes at every write.
class LockFile {
public:
    LockFile(const std::string& target, bool exclusive) {
        fd_ = Retry([&] {
            return open((target + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        });
        if (fd_ < 0) return;
        if (Retry([&] { return flock(fd_, exclusive ? LOCK_EX : LOCK_SH); }) != 0) {
            close(fd_);
            fd_ = -1;
        }
    }
    ~LockFile() {
        if (fd_ >= 0) close(fd_);  // closing releases the lock
    }
    LockFile(const LockFile&) = delete;
    LockFile& operator=(const LockFile&) = delete;
    bool Held() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

// A file size limit would otherwise kill the process with SIGXFSZ in the middle
// of the write; ignored, the write fails with EFBIG and the old profile stays.
class IgnoreFileSizeSignal {
public:
    IgnoreFileSizeSignal() {
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        sigemptyset(&ignore.sa_mask);
        saved_ = sigaction(SIGXFSZ, &ignore, &old_) == 0;
    }
    ~IgnoreFileSizeSignal() {
        if (saved_) sigaction(SIGXFSZ, &old_, nullptr);
    }
    IgnoreFileSizeSignal(const IgnoreFileSizeSignal&) = delete;
    IgnoreFileSizeSignal& operator=(const IgnoreFileSizeSignal&) = delete;

private:
    struct sigaction old_ {};
    bool saved_ = false;
};

bool WriteAll(int fd, std::string_view data) {
    while (!data.empty()) {
        ssize_t n = Retry([&] { return write(fd, data.data(), data.size()); });
        if (n <= 0) return false;
        data.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

// Writes the contents to a new file beside the target and renames it over the
// target. On failure the target is untouched and the new file removed.
bool ReplaceFile(const std::string& target, std::string_view contents, const struct stat* old) {
    static std::atomic<unsigned> counter{0};
    std::string dir = DirName(target);
    std::string base = target.substr(target.rfind('/') + 1);

    std::string tmp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        tmp = dir + "/." + base + ".tmp." + std::to_string(getpid()) + "." +
              std::to_string(counter.fetch_add(1));
        // 0666 lets the umask decide for a new profile, as for any new file.
        fd = Retry([&] { return open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666); });
        if (fd < 0 && errno != EEXIST) return false;
    }
    if (fd < 0) return false;

    bool ok = true;
    if (old != nullptr) {
        // Best effort for the owner (only root may give a file away); the mode
        // must match, or a private profile could become readable to others.
        if (old->st_uid != geteuid() || old->st_gid != getegid()) {
            (void)fchown(fd, old->st_uid, old->st_gid);
        }
        ok = fchmod(fd, old->st_mode & 07777) == 0;
    }
    {
        IgnoreFileSizeSignal guard;
        ok = ok && WriteAll(fd, contents);
    }
    ok = ok && fsync(fd) == 0;
    ok = (close(fd) == 0) && ok;
    ok = ok && rename(tmp.c_str(), target.c_str()) == 0;
    if (!ok) {
        unlink(tmp.c_str());
        return false;
    }
    // Make the rename itself durable; the data already is, so a failure here
    // cannot leave a partial profile and is not reported.
    int dfd = Retry([&] { return open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); });
    if (dfd >= 0) {
        (void)fsync(dfd);
        close(dfd);
    }
    return true;
}

}  // namespace

// ---------------------------------------------------------------------------
// Pure rules

bool IniNamesStorable(std::string_view section, std::string_view key) {
    section = Trim(section);
    key = Trim(key);
    if (section.find_first_of("\r\n]") != std::string_view::npos) return false;
    if (key.empty() || key.front() == ';' || key.front() == '[') return false;
    return key.find_first_of("\r\n=") == std::string_view::npos;
}

std::optional<std::string> IniLookup(std::string_view contents, std::string_view section,
                                     std::string_view key) {
    section = Trim(section);
    key = Trim(key);
    bool inSection = false;
    for (const Line& line : SplitLines(contents)) {
        std::string_view content = contents.substr(line.begin, line.contentEnd - line.begin);
        Parsed p = ParseLine(content);
        if (p.kind == LineKind::Header) {
            if (inSection) return std::nullopt;  // only the first section of a name counts
            inSection = SameName(p.name, section);
        } else if (p.kind == LineKind::Key && inSection && SameName(p.name, key)) {
            return std::string(ReadValue(content.substr(p.valueOffset)));
        }
    }
    return std::nullopt;
}

std::string IniSet(std::string_view contents, std::string_view section, std::string_view key,
                   std::string_view value) {
    if (!IniNamesStorable(section, key)) return std::string(contents);
    section = Trim(section);
    key = Trim(key);
    const std::string_view eol = LineEndStyle(contents);
    const std::string encoded = EncodeValue(value);

    std::vector<Line> lines = SplitLines(contents);
    bool inSection = false;
    const Line* insertAfter = nullptr;  // header or last key line of the section
    for (const Line& line : lines) {
        std::string_view content = contents.substr(line.begin, line.contentEnd - line.begin);
        Parsed p = ParseLine(content);
        if (p.kind == LineKind::Header) {
            if (inSection) break;
            if (SameName(p.name, section)) {
                inSection = true;
                insertAfter = &line;
            }
        } else if (p.kind == LineKind::Key && inSection) {
            if (SameName(p.name, key)) {
                std::string out(contents.substr(0, line.begin + p.valueOffset));
                out += encoded;
                out.append(contents.substr(line.contentEnd));
                return out;
            }
            insertAfter = &line;
        }
    }

    std::string newKey = std::string(key) + "=" + encoded + std::string(eol);
    std::string out;
    if (insertAfter != nullptr) {
        AppendTerminated(out, contents, *insertAfter, eol);
        out += newKey;
        out.append(contents.substr(insertAfter->end));
        return out;
    }
    if (!lines.empty()) AppendTerminated(out, contents, lines.back(), eol);
    out += "[" + std::string(section) + "]" + std::string(eol);
    out += newKey;
    return out;
}

int ParseProfileInt(std::string_view value) {
    size_t i = 0;
    while (i < value.size() && IsBlank(value[i])) ++i;
    bool negative = false;
    if (i < value.size() && (value[i] == '+' || value[i] == '-')) {
        negative = value[i] == '-';
        ++i;
    }
    // Accumulated as a magnitude in 64 bits and stopped once past the int
    // range, so any length of digits saturates instead of overflowing.
    const int64_t limit = negative ? -static_cast<int64_t>(INT_MIN) : INT_MAX;
    int64_t magnitude = 0;
    for (; i < value.size() && value[i] >= '0' && value[i] <= '9'; ++i) {
        magnitude = magnitude * 10 + (value[i] - '0');
        if (magnitude > limit) {
            magnitude = limit;
            break;
        }
    }
    return static_cast<int>(negative ? -magnitude : magnitude);
}

// ---------------------------------------------------------------------------
// The store

namespace {

std::optional<std::string> ReadKey(const std::string& path, std::string_view section,
                                   std::string_view key) {
    std::string target;
    if (!ResolveTarget(path, target)) return std::nullopt;
    std::string contents;
    struct stat st {};
    // No lock file is made for a profile that does not exist (yet).
    if (lstat(target.c_str(), &st) != 0) return std::nullopt;
    {
        // Renames make every read see a whole file anyway; the shared lock
        // keeps a read from interleaving with a writer's read-modify-write.
        // A profile in a place where no lock file can be made is read unlocked.
        LockFile lock(target, false);
        if (ReadFile(target, contents, st) != ReadResult::Ok) return std::nullopt;
    }
    return IniLookup(contents, section, key);
}

}  // namespace

ProfileStore::ProfileStore(std::string path) : path_(std::move(path)) {}

const std::string& ProfileStore::Path() const { return path_; }

std::string ProfileStore::GetString(std::string_view section, std::string_view key,
                                    std::string_view defaultValue) const {
    std::optional<std::string> v = ReadKey(path_, section, key);
    return v ? *v : std::string(defaultValue);
}

int ProfileStore::GetInt(std::string_view section, std::string_view key, int defaultValue) const {
    std::optional<std::string> v = ReadKey(path_, section, key);
    return (v && !v->empty()) ? ParseProfileInt(*v) : defaultValue;
}

bool ProfileStore::WriteString(std::string_view section, std::string_view key,
                               std::string_view value) {
    if (!IniNamesStorable(section, key)) return false;
    std::string target;
    if (!ResolveTarget(path_, target)) return false;
    if (!MakeDirs(DirName(target))) return false;

    LockFile lock(target, true);
    if (!lock.Held()) return false;

    std::string contents;
    struct stat old {};
    ReadResult r = ReadFile(target, contents, old);
    if (r == ReadResult::Failed) return false;  // never overwrite what could not be read

    std::string updated = IniSet(contents, section, key, value);
    if (r == ReadResult::Ok && updated == contents) return true;
    return ReplaceFile(target, updated, r == ReadResult::Ok ? &old : nullptr);
}

bool ProfileStore::WriteInt(std::string_view section, std::string_view key, int value) {
    return WriteString(section, key, std::to_string(value));
}

std::string DefaultProfilePath(std::string_view programName) {
    size_t slash = programName.rfind('/');
    if (slash != std::string_view::npos) programName.remove_prefix(slash + 1);
    std::string file = std::string(programName.empty() ? "vantrel" : programName) + ".ini";

    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg != nullptr && xdg[0] == '/') return std::string(xdg) + "/" + file;

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
    return (home == "/" ? "" : home) + "/.config/" + file;
}

}  // namespace fw
