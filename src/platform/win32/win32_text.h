#pragma once
// Text crosses into Win32 as UTF-16 and comes back as UTF-8, so the program's
// Japanese texts show the same on every Windows locale.

#include <string>
#include <string_view>

namespace platform {

std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view utf16);

// "Name|pattern|Name|pattern||" as the common dialogs take it: pairs of
// NUL-terminated strings, the list ended by an empty string.
std::wstring ToWin32FileFilter(std::string_view filter);

// The default extension as the common dialogs take it: "*.vtl" and ".vtl" are "vtl".
std::wstring ToWin32DefaultExt(std::string_view ext);

}  // namespace platform
