// Files on Windows. Paths are UTF-8 inside the program and cross into the
// wide-character calls here, so any file name works on any system locale.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>

#include "framework/file_system.h"

namespace fsys {

namespace {

// A device written in place that stops taking bytes gives up after this long.
constexpr DWORD kInPlaceTimeoutMs = 5000;

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

// A device cannot be replaced, only written. The write runs on a worker
// thread so that a device that stops taking bytes can be given up on.
struct InPlaceWrite {
    HANDLE handle;
    std::string_view data;
    bool ok = false;
};

DWORD WINAPI InPlaceWorker(void* param) {
    auto* job = static_cast<InPlaceWrite*>(param);
    job->ok = WriteAllHandle(job->handle, job->data);
    return 0;
}

bool WriteInPlace(Handle& device, std::string_view data) {
    InPlaceWrite job{device.Get(), data};
    HANDLE thread = CreateThread(nullptr, 0, InPlaceWorker, &job, 0, nullptr);
    if (thread == nullptr) return false;
    if (WaitForSingleObject(thread, kInPlaceTimeoutMs) != WAIT_OBJECT_0) {
        CancelSynchronousIo(thread);
        WaitForSingleObject(thread, INFINITE);
        job.ok = false;
    }
    CloseHandle(thread);
    return job.ok && device.Close();
}

bool ReplaceAtomically(const std::wstring& target, const std::string& targetUtf8,
                       std::string_view data, bool exists) {
    static std::atomic<unsigned> counter{0};
    // Beside the target, so that the rename stays on one volume; the name is
    // kept short enough for any file system.
    std::string name = ".";
    name += BaseName(targetUtf8).substr(0, 200);
    name += ".tmp";
    name += std::to_string(GetCurrentProcessId());
    name += '-';
    const std::string stem = JoinPath(ParentDirectory(targetUtf8), name);
    std::wstring temp;
    HANDLE h = INVALID_HANDLE_VALUE;
    for (unsigned attempt = 0; attempt < 100 && h == INVALID_HANDLE_VALUE; ++attempt) {
        if (!ToWide(stem + std::to_string(counter.fetch_add(1)), temp)) return false;
        h = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                        FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) return false;
    }
    if (h == INVALID_HANDLE_VALUE) return false;

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
    return ok;
}

}  // namespace

ReadStatus ReadFile(const std::string& path, std::string& bytes, size_t maxBytes,
                    bool regularOnly) {
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
    if (regularOnly && GetFileType(file.Get()) != FILE_TYPE_DISK) return ReadStatus::Failed;

    constexpr size_t kChunk = 65536;
    size_t filled = 0;
    while (filled < maxBytes) {
        if (bytes.size() == filled) bytes.resize(filled + std::min(kChunk, maxBytes - filled));
        DWORD got = 0;
        const DWORD want = static_cast<DWORD>(std::min<size_t>(bytes.size() - filled, 1u << 20));
        if (!::ReadFile(file.Get(), bytes.data() + filled, want, &got, nullptr)) {
            if (GetLastError() == ERROR_BROKEN_PIPE) break;  // a pipe's writer has finished
            bytes.clear();
            return ReadStatus::Failed;
        }
        if (got == 0) break;
        filled += got;
    }
    bytes.resize(filled);
    return ReadStatus::Ok;
}

bool ReplaceFileContents(const std::string& path, std::string_view data) {
    std::wstring target;
    if (path.empty() || !ToWide(path, target)) return false;

    // Opening what is there tells a device or a pipe (written in place, as
    // they cannot be replaced) from a file on a disk, and does not change it.
    Handle existing(CreateFileW(target.c_str(), GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!existing.Valid()) {
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND) return false;  // a folder, a locked file, no access
        return ReplaceAtomically(target, path, data, false);
    }
    if (GetFileType(existing.Get()) != FILE_TYPE_DISK) return WriteInPlace(existing, data);
    existing.Close();

    const DWORD attributes = GetFileAttributesW(target.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        return false;
    }
    // Renaming over a read-only file would get round its attribute (and Wine
    // running as root does not enforce it on open); refuse as Windows does.
    if (attributes & FILE_ATTRIBUTE_READONLY) return false;
    if (!ReplaceAtomically(target, path, data, true)) return false;
    // The replacement keeps the old file's attributes (hidden, say) even
    // where the system's replace does not carry them over.
    constexpr DWORD kKept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                            FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    const DWORD now = GetFileAttributesW(target.c_str());
    if (now != INVALID_FILE_ATTRIBUTES && (now & kKept) != (attributes & kKept)) {
        SetFileAttributesW(target.c_str(), (now & ~kKept) | (attributes & kKept));
    }
    return true;
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

FileLock::FileLock(const std::string& lockPath, bool exclusive) {
    std::wstring wide;
    if (!ToWide(lockPath, wide)) return;
    HANDLE h = CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return;
    OVERLAPPED whole = {};
    if (!LockFileEx(h, exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0, 0, MAXDWORD, MAXDWORD, &whole)) {
        CloseHandle(h);
        return;
    }
    handle_ = reinterpret_cast<intptr_t>(h);
}

FileLock::~FileLock() {
    if (handle_ == kNone) return;
    HANDLE h = reinterpret_cast<HANDLE>(handle_);
    OVERLAPPED whole = {};
    UnlockFileEx(h, 0, MAXDWORD, MAXDWORD, &whole);
    CloseHandle(h);
}

}  // namespace fsys
