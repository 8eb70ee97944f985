#include "platform/win32/win32_text.h"

#include <windows.h>

namespace platform {

std::wstring Widen(std::string_view utf8) {
    if (utf8.empty()) return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
    if (n <= 0) return {};
    std::wstring out(size_t(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), out.data(), n);
    return out;
}

std::string Narrow(std::wstring_view utf16) {
    if (utf16.empty()) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, utf16.data(), int(utf16.size()), nullptr, 0,
                                      nullptr, nullptr);
    if (n <= 0) return {};
    std::string out(size_t(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, utf16.data(), int(utf16.size()), out.data(), n, nullptr,
                        nullptr);
    return out;
}

std::wstring ToWin32FileFilter(std::string_view filter) {
    std::wstring out;
    // Only whole name/pattern pairs count; an empty name ends the list.
    size_t pos = 0;
    while (pos < filter.size()) {
        const size_t nameEnd = filter.find('|', pos);
        if (nameEnd == std::string_view::npos || nameEnd == pos) break;
        const size_t patternEnd = filter.find('|', nameEnd + 1);
        const std::string_view name = filter.substr(pos, nameEnd - pos);
        const std::string_view pattern =
            filter.substr(nameEnd + 1, (patternEnd == std::string_view::npos ? filter.size()
                                                                             : patternEnd) -
                                           nameEnd - 1);
        out += Widen(name);
        out += L'\0';
        out += Widen(pattern);
        out += L'\0';
        if (patternEnd == std::string_view::npos) break;
        pos = patternEnd + 1;
    }
    if (out.empty()) return {};  // no filter at all
    out += L'\0';  // the empty string that ends the list
    return out;
}

std::wstring ToWin32DefaultExt(std::string_view ext) {
    while (!ext.empty() && (ext.front() == '*' || ext.front() == '.')) ext.remove_prefix(1);
    return Widen(ext);
}

}  // namespace platform
