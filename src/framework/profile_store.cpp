#include "framework/profile_store.h"

#include <chrono>
#include <climits>
#include <cstdint>
#include <vector>

#include "framework/file_system.h"

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

// A wait this long for the lock means its holder is stopped or hung, not
// busy: a read goes on without it and a write gives up.
constexpr std::chrono::milliseconds kLockWait{2000};
// Once the lock has been found stuck, later calls only glance at it, so that
// the window stays usable while the other program holds on.
constexpr std::chrono::milliseconds kStuckLockWait{100};

}  // namespace

ProfileStore::ProfileStore(std::string path)
    : path_(std::move(path)), lockPath_(path_ + ".lock") {}

const std::string& ProfileStore::Path() const { return path_; }
const std::string& ProfileStore::LockPath() const { return lockPath_; }

std::chrono::milliseconds ProfileStore::LockWait() const {
    return lockStuck_ ? kStuckLockWait : kLockWait;
}

void ProfileStore::NoteLock(fsys::LockStatus status) const {
    if (status == fsys::LockStatus::Busy) lockStuck_ = true;
    if (status == fsys::LockStatus::Held) lockStuck_ = false;
}

ProfileState ProfileStore::Classify(fsys::ReadStatus status, const std::string& bytes) {
    switch (status) {
        case fsys::ReadStatus::Missing: return ProfileState::Missing;
        case fsys::ReadStatus::Failed: return ProfileState::Unreadable;
        case fsys::ReadStatus::Ok: break;
    }
    return bytes.size() > kMaxProfileBytes ? ProfileState::TooLarge : ProfileState::Usable;
}

void ProfileStore::Refresh() const {
    std::string target;
    if (!fsys::ResolveLinks(path_, target)) {
        state_ = ProfileState::Unreadable;
        contents_.clear();
        stamp_.reset();
        return;
    }
    const std::optional<fsys::FileStamp> stamp = fsys::StampOf(target);
    if (stamp && stamp_ && *stamp == *stamp_) return;  // the same file as last time
    stamp_.reset();
    contents_.clear();
    if (!stamp && !fsys::Exists(target)) {
        // No lock file is made for a profile that does not exist (yet).
        state_ = ProfileState::Missing;
        return;
    }
    fsys::ReadStatus status;
    {
        // Renames make every read see a whole file anyway; the shared lock
        // keeps a read from meeting an in-place write half done.
        fsys::FileLock lock(lockPath_, false, LockWait());
        NoteLock(lock.Status());
        status = fsys::ReadFile(target, contents_, kMaxProfileBytes + 1, true);
    }
    state_ = Classify(status, contents_);
    if (state_ != ProfileState::Usable) contents_.clear();
    stamp_ = stamp;
}

ProfileState ProfileStore::State() const {
    Refresh();
    return state_;
}

std::optional<std::string> ProfileStore::Lookup(std::string_view section,
                                                std::string_view key) const {
    Refresh();
    if (state_ != ProfileState::Usable) return std::nullopt;
    return IniLookup(contents_, section, key);
}

std::string ProfileStore::GetString(std::string_view section, std::string_view key,
                                    std::string_view defaultValue) const {
    std::optional<std::string> v = Lookup(section, key);
    return v ? *v : std::string(defaultValue);
}

int ProfileStore::GetInt(std::string_view section, std::string_view key, int defaultValue) const {
    std::optional<std::string> v = Lookup(section, key);
    return (v && !v->empty()) ? ParseProfileInt(*v) : defaultValue;
}

bool ProfileStore::WriteString(std::string_view section, std::string_view key,
                               std::string_view value) {
    lastWrite_ = Write(section, key, value);
    return lastWrite_ == WriteResult::Written || lastWrite_ == WriteResult::Unchanged;
}

ProfileStore::WriteResult ProfileStore::Write(std::string_view section, std::string_view key,
                                              std::string_view value) {
    if (!IniNamesStorable(section, key)) return WriteResult::Failed;
    std::string target;
    if (!fsys::ResolveLinks(path_, target)) return WriteResult::NotUsed;
    if (!fsys::MakeDirectories(fsys::ParentDirectory(target))) return WriteResult::Failed;

    // Without a lock to be had at all (a folder that takes no lock file) the
    // write goes on: the rename still keeps the profile whole.
    fsys::FileLock lock(lockPath_, true, LockWait());
    NoteLock(lock.Status());
    if (lock.Status() == fsys::LockStatus::Busy) return WriteResult::LockBusy;

    // Re-read under the lock, so that a key another copy has just written is kept.
    std::string contents;
    const ProfileState state =
        Classify(fsys::ReadFile(target, contents, kMaxProfileBytes + 1, true), contents);
    if (state == ProfileState::TooLarge || state == ProfileState::Unreadable) {
        return WriteResult::NotUsed;  // never overwrite what could not be read
    }

    std::string updated = IniSet(contents, section, key, value);
    if (state == ProfileState::Usable && updated == contents) return WriteResult::Unchanged;
    // A profile grown past the limit would no longer be read at all.
    if (updated.size() > kMaxProfileBytes) return WriteResult::PastLimit;
    if (fsys::ReplaceFileContents(target, updated) != fsys::WriteStatus::Ok) {
        stamp_.reset();  // it may have changed all the same (a write in place that failed)
        return WriteResult::Failed;
    }
    // The next read takes the new contents without reading the file again.
    stamp_ = fsys::StampOf(target);
    contents_ = std::move(updated);
    state_ = ProfileState::Usable;
    return WriteResult::Written;
}

bool ProfileStore::WriteInt(std::string_view section, std::string_view key, int value) {
    return WriteString(section, key, std::to_string(value));
}

std::string DefaultProfilePath(std::string_view programName) {
    std::string name = fsys::BaseName(programName);
    if (name.empty()) name = "vantrel";
    return fsys::JoinPath(fsys::UserConfigDirectory(), name + ".ini");
}

}  // namespace fw
