// Files on Windows. Paths are UTF-8 inside the program and cross into the
// wide-character calls here, so any file name works on any system locale.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdlib>
#include <iterator>

#include "framework/file_system.h"

namespace fsys {

namespace {

bool ToWide(std::string_view utf8, std::wstring& wide) {
    wide.clear();
    if (utf8.empty()) return true;
    const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(),
                                      static_cast<int>(utf8.size()), nullptr, 0);
    if (n <= 0) return false;
    wide.resize(static_cast<size_t>(n));
    return MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(),
                               static_cast<int>(utf8.size()), wide.data(), n) == n;
}

std::string ToUtf8(std::wstring_view wide) {
    if (wide.empty()) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                      nullptr, 0, nullptr, nullptr);
    if (n <= 0) return {};
    std::string utf8(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), utf8.data(), n,
                        nullptr, nullptr);
    return utf8;
}

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// Length of the part of a path that names a root: "C:\", "\\server\share\", "\".
size_t RootLength(std::string_view path) {
    if (path.size() >= 2 && path[1] == ':') return path.size() >= 3 && IsSeparator(path[2]) ? 3 : 2;
    if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
        size_t separators = 0;
        for (size_t i = 2; i < path.size(); ++i) {
            if (IsSeparator(path[i]) && ++separators == 2) return i + 1;
        }
        return path.size();
    }
    return !path.empty() && IsSeparator(path[0]) ? 1 : 0;
}

class Handle {
public:
    explicit Handle(HANDLE h) : h_(h) {}
    ~Handle() { Close(); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    bool Valid() const { return h_ != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return h_; }
    bool Close() {
        if (!Valid()) return true;
        const bool ok = CloseHandle(h_) != 0;
        h_ = INVALID_HANDLE_VALUE;
        return ok;
    }

private:
    HANDLE h_;
};

bool WriteAllHandle(HANDLE h, std::string_view data) {
    while (!data.empty()) {
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(data.size(), 1u << 20));
        DWORD written = 0;
        if (!WriteFile(h, data.data(), chunk, &written, nullptr) || written == 0) return false;
        data.remove_prefix(written);
    }
    return true;
}

// A device or a pipe may stop giving or taking bytes; the transfer runs on
// a worker thread so that it can be given up on.
struct BlockingTransfer {
    HANDLE handle;
    bool (*run)(BlockingTransfer&);
    std::string_view out;  // for a write
    std::string* in;       // for a read
    size_t maxBytes;
    bool ok = false;
};

DWORD WINAPI TransferWorker(void* param) {
    auto* job = static_cast<BlockingTransfer*>(param);
    job->ok = job->run(*job);
    return 0;
}

bool RunWithDeadline(BlockingTransfer& job, DWORD timeoutMs) {
    HANDLE thread = CreateThread(nullptr, 0, TransferWorker, &job, 0, nullptr);
    if (thread == nullptr) return false;
    if (WaitForSingleObject(thread, timeoutMs) != WAIT_OBJECT_0) {
        CancelSynchronousIo(thread);
        WaitForSingleObject(thread, INFINITE);
        job.ok = false;
    }
    CloseHandle(thread);
    return job.ok;
}

bool WriteJob(BlockingTransfer& job) { return WriteAllHandle(job.handle, job.out); }

WriteStatus WriteDevice(Handle& device, std::string_view data) {
    BlockingTransfer job{device.Get(), WriteJob, data, nullptr, 0};
    const bool ok = RunWithDeadline(job, static_cast<DWORD>(kDeviceTimeout.count()));
    return ok && device.Close() ? WriteStatus::Ok : WriteStatus::Failed;
}

// A file that must keep its identity (other hard links share it, or its
// folder takes no new file) is overwritten where it is; nothing is cut before
// the new bytes are in, and the result is flushed and measured.
WriteStatus RewriteInPlace(const std::wstring& target, std::string_view data) {
    Handle file(CreateFileW(target.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) return WriteStatus::Failed;
    bool ok = WriteAllHandle(file.Get(), data) && SetEndOfFile(file.Get()) &&
              FlushFileBuffers(file.Get());
    LARGE_INTEGER size = {};
    ok = ok && GetFileSizeEx(file.Get(), &size) &&
         static_cast<unsigned long long>(size.QuadPart) == data.size();
    ok = file.Close() && ok;
    if (ok) return WriteStatus::Ok;
    return data.empty() ? WriteStatus::Failed : WriteStatus::Damaged;
}

enum class Replaced { Ok, Failed, NoTempFile };

Replaced ReplaceAtomically(const std::wstring& target, const std::string& targetUtf8,
                           std::string_view data, bool exists) {
    // Beside the target, so that the rename stays on one volume.
    const std::string dir = ParentDirectory(targetUtf8);
    const std::string base = BaseName(targetUtf8);
    std::wstring temp;
    HANDLE h = INVALID_HANDLE_VALUE;
    for (unsigned attempt = 0; attempt < 100 && h == INVALID_HANDLE_VALUE; ++attempt) {
        const std::string name = TempFileName(base, GetCurrentProcessId(), NewTempFileNumber());
        if (!ToWide(JoinPath(dir, name), temp)) return Replaced::Failed;
        h = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                        FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) {
            return GetLastError() == ERROR_ACCESS_DENIED || GetLastError() == ERROR_WRITE_PROTECT
                       ? Replaced::NoTempFile
                       : Replaced::Failed;
        }
    }
    if (h == INVALID_HANDLE_VALUE) return Replaced::Failed;

    Handle file(h);
    bool ok = WriteAllHandle(file.Get(), data) && FlushFileBuffers(file.Get());
    ok = file.Close() && ok;
    if (ok) {
        // ReplaceFileW keeps the old file's security descriptor and
        // attributes; a new file gets its folder's defaults like any other.
        ok = exists && ReplaceFileW(target.c_str(), temp.c_str(), nullptr,
                                    REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr);
        if (!ok) {
            ok = MoveFileExW(temp.c_str(), target.c_str(),
                             MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
        }
    }
    if (!ok) DeleteFileW(temp.c_str());
    return ok ? Replaced::Ok : Replaced::Failed;
}

bool ReadJob(BlockingTransfer& job) {
    std::string& bytes = *job.in;
    constexpr size_t kChunk = 65536;
    size_t filled = 0;
    while (filled < job.maxBytes) {
        if (bytes.size() == filled) bytes.resize(filled + std::min(kChunk, job.maxBytes - filled));
        DWORD got = 0;
        const DWORD want = static_cast<DWORD>(std::min<size_t>(bytes.size() - filled, 1u << 20));
        if (!::ReadFile(job.handle, bytes.data() + filled, want, &got, nullptr)) {
            if (GetLastError() == ERROR_BROKEN_PIPE) break;  // a pipe's writer has finished
            return false;
        }
        if (got == 0) break;
        filled += got;
    }
    bytes.resize(filled);
    return true;
}

}  // namespace

ReadStatus ReadFile(const std::string& path, std::string& bytes, size_t maxBytes,
                    bool regularOnly, std::chrono::milliseconds timeout) {
    bytes.clear();
    std::wstring wide;
    if (path.empty() || !ToWide(path, wide)) return ReadStatus::Failed;
    Handle file(CreateFileW(wide.c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? ReadStatus::Missing
                                                                              : ReadStatus::Failed;
    }
    const bool onDisk = GetFileType(file.Get()) == FILE_TYPE_DISK;
    if (regularOnly && !onDisk) return ReadStatus::Failed;

    // A pipe or a device may never send anything: it gets the deadline.
    BlockingTransfer job{file.Get(), ReadJob, {}, &bytes, maxBytes};
    const bool ok = onDisk ? ReadJob(job)
                           : RunWithDeadline(job, static_cast<DWORD>(timeout.count()));
    if (!ok) {
        bytes.clear();
        return ReadStatus::Failed;
    }
    return ReadStatus::Ok;
}

WriteStatus ReplaceFileContents(const std::string& path, std::string_view data) {
    std::wstring target;
    if (path.empty() || !ToWide(path, target)) return WriteStatus::Failed;

    // Opening what is there tells a device or a pipe (written in place, as
    // they cannot be replaced) from a file on a disk, and does not change it.
    Handle existing(CreateFileW(target.c_str(), GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!existing.Valid()) {
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND) return WriteStatus::Failed;  // a folder, a locked file, no access
        return ReplaceAtomically(target, path, data, false) == Replaced::Ok ? WriteStatus::Ok
                                                                             : WriteStatus::Failed;
    }
    if (GetFileType(existing.Get()) != FILE_TYPE_DISK) return WriteDevice(existing, data);
    BY_HANDLE_FILE_INFORMATION info = {};
    const bool linked = GetFileInformationByHandle(existing.Get(), &info) && info.nNumberOfLinks > 1;
    existing.Close();

    const DWORD attributes = GetFileAttributesW(target.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        return WriteStatus::Failed;
    }
    // Renaming over a read-only file would get round its attribute (and Wine
    // running as root does not enforce it on open); refuse as Windows does.
    if (attributes & FILE_ATTRIBUTE_READONLY) return WriteStatus::Failed;
    if (linked) return RewriteInPlace(target, data);
    switch (ReplaceAtomically(target, path, data, true)) {
        case Replaced::Ok: break;
        case Replaced::NoTempFile: return RewriteInPlace(target, data);
        case Replaced::Failed: return WriteStatus::Failed;
    }
    // The replacement keeps the old file's attributes (hidden, say) even
    // where the system's replace does not carry them over.
    constexpr DWORD kKept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                            FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    const DWORD now = GetFileAttributesW(target.c_str());
    if (now != INVALID_FILE_ATTRIBUTES && (now & kKept) != (attributes & kKept)) {
        SetFileAttributesW(target.c_str(), (now & ~kKept) | (attributes & kKept));
    }
    return WriteStatus::Ok;
}

bool ResolveLinks(const std::string& path, std::string& target) {
    // Windows saves through links and junctions by itself.
    target = path;
    return true;
}

bool Exists(const std::string& path) {
    std::wstring wide;
    return !path.empty() && ToWide(path, wide) &&
           GetFileAttributesW(wide.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsRegularFile(const std::string& path) {
    std::wstring wide;
    if (path.empty() || !ToWide(path, wide)) return false;
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES &&
           !(attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE));
}

std::optional<FileStamp> StampOf(const std::string& path) {
    std::wstring wide;
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    if (path.empty() || !ToWide(path, wide) ||
        !GetFileAttributesExW(wide.c_str(), GetFileExInfoStandard, &data)) {
        return std::nullopt;
    }
    auto join = [](DWORD high, DWORD low) { return (uint64_t{high} << 32) | low; };
    FileStamp stamp;
    stamp.parts[0] = data.dwFileAttributes;
    stamp.parts[1] = join(data.ftCreationTime.dwHighDateTime, data.ftCreationTime.dwLowDateTime);
    stamp.parts[2] = join(data.nFileSizeHigh, data.nFileSizeLow);
    stamp.parts[3] = join(data.ftLastWriteTime.dwHighDateTime, data.ftLastWriteTime.dwLowDateTime);
    return stamp;
}

bool MakeDirectories(const std::string& dir) {
    std::wstring wide;
    if (dir.empty() || !ToWide(dir, wide)) return false;
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (dir.size() <= RootLength(dir)) return false;  // a drive or share that is not there
    const std::string parent = ParentDirectory(dir);
    if (parent != dir && !MakeDirectories(parent)) return false;
    if (!CreateDirectoryW(wide.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
        return false;
    }
    const DWORD made = GetFileAttributesW(wide.c_str());
    return made != INVALID_FILE_ATTRIBUTES && (made & FILE_ATTRIBUTE_DIRECTORY);
}

std::string ParentDirectory(const std::string& path) {
    const size_t root = RootLength(path);
    size_t end = path.size();
    while (end > root && !IsSeparator(path[end - 1])) --end;  // drop the last component
    if (end == 0) return ".";
    if (end <= root) return path.substr(0, root);
    while (end > root && IsSeparator(path[end - 1])) --end;  // and the separators before it
    return path.substr(0, end);
}

std::string BaseName(std::string_view path) {
    const size_t root = RootLength(path);
    size_t start = path.size();
    while (start > root && !IsSeparator(path[start - 1])) --start;
    return std::string(path.substr(std::max(start, root)));
}

std::string JoinPath(const std::string& dir, std::string_view name) {
    if (dir.empty() || IsSeparator(dir.back()) || (dir.size() == 2 && dir[1] == ':')) {
        return dir + std::string(name);
    }
    return dir + "\\" + std::string(name);
}

std::string UserConfigDirectory() {
    wchar_t buffer[MAX_PATH] = {};
    if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_APPDATA | CSIDL_FLAG_CREATE, nullptr,
                                   SHGFP_TYPE_CURRENT, buffer))) {
        return ToUtf8(buffer);
    }
    if (const wchar_t* appData = _wgetenv(L"APPDATA"); appData != nullptr && appData[0] != 0) {
        return ToUtf8(appData);
    }
    return ".";
}

std::string ThisHostName() {
    wchar_t name[256] = {};
    DWORD size = static_cast<DWORD>(std::size(name));
    if (GetComputerNameExW(ComputerNameDnsHostname, name, &size)) return ToUtf8(name);
    size = static_cast<DWORD>(std::size(name));
    return GetComputerNameW(name, &size) ? ToUtf8(name) : std::string();
}

int RemoveStaleTempFiles(const std::string& dir) {
    std::wstring pattern;
    if (dir.empty() || !ToWide(JoinPath(dir, "*"), pattern)) return 0;
    WIN32_FIND_DATAW found = {};
    HANDLE search = FindFirstFileW(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return 0;
    FILETIME nowTime = {};
    GetSystemTimeAsFileTime(&nowTime);
    auto ticks = [](const FILETIME& t) {  // 100 ns each
        return (static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
    };
    const unsigned long long staleTicks =
        static_cast<unsigned long long>(std::chrono::seconds(kStaleTempAge).count()) * 10000000ull;
    int removed = 0;
    do {
        if (found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) continue;
        const std::string name = ToUtf8(found.cFileName);
        const std::optional<unsigned long> owner = TempFileOwner(name);
        if (!owner || *owner == GetCurrentProcessId()) continue;
        // Written lately: perhaps a save under way that the process check cannot see.
        const unsigned long long written = ticks(found.ftLastWriteTime);
        if (written > ticks(nowTime) || ticks(nowTime) - written < staleTicks) continue;
        // A process of that number that still runs may be a copy saving right
        // now; only a number nobody has is certainly a leftover.
        HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, *owner);
        if (process != nullptr) {
            DWORD code = 0;
            const bool running = !GetExitCodeProcess(process, &code) || code == STILL_ACTIVE;
            CloseHandle(process);
            if (running) continue;
        } else if (GetLastError() != ERROR_INVALID_PARAMETER) {
            continue;  // there, but not ours to look at
        }
        std::wstring path;
        if (ToWide(JoinPath(dir, name), path) && DeleteFileW(path.c_str())) ++removed;
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return removed;
}

// A GUI program on Windows gets no such signals; an ended process leaves its
// temporary file to the next start's clean-up.
void RemoveTempFilesOnSignals() {}

FileLock::FileLock(const std::string& lockPath, bool exclusive, std::chrono::milliseconds wait) {
    std::wstring wide;
    if (!ToWide(lockPath, wide)) return;
    HANDLE h = CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return;
    const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(wait.count());
    DWORD pause = 1;
    for (;;) {
        OVERLAPPED whole = {};
        const DWORD flags = (exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0) | LOCKFILE_FAIL_IMMEDIATELY;
        if (LockFileEx(h, flags, 0, MAXDWORD, MAXDWORD, &whole)) {
            handle_ = reinterpret_cast<intptr_t>(h);
            status_ = LockStatus::Held;
            return;
        }
        if (GetLastError() != ERROR_LOCK_VIOLATION && GetLastError() != ERROR_IO_PENDING) break;
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline) {
            status_ = LockStatus::Busy;
            break;
        }
        Sleep(static_cast<DWORD>(std::min<ULONGLONG>(pause, deadline - now)));
        pause = std::min<DWORD>(pause * 2, 25);
    }
    CloseHandle(h);
}

FileLock::~FileLock() {
    if (handle_ == kNone) return;
    HANDLE h = reinterpret_cast<HANDLE>(handle_);
    OVERLAPPED whole = {};
    UnlockFileEx(h, 0, MAXDWORD, MAXDWORD, &whole);
    CloseHandle(h);
}

}  // namespace fsys
