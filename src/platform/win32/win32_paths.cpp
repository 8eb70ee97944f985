#include "platform/win32/win32_paths.h"

#include <windows.h>

#include "platform/win32/win32_text.h"

namespace platform {

std::string ProgramDirectory() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, path.data(), DWORD(path.size()));
        if (n == 0) return ".";
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        // Truncated: a longer path than the buffer.
        path.resize(path.size() * 2);
    }
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::string(".") : Narrow(path.substr(0, slash));
}

}  // namespace platform
