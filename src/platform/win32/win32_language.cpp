#include "platform/win32/win32_language.h"

#include <windows.h>

#include <string>

namespace platform {

fw::Language UserInterfaceLanguage() {
    // As a POSIX locale name ("ja_JP"), so that the catalogs are found the same way.
    const LCID ui = MAKELCID(GetUserDefaultUILanguage(), SORT_DEFAULT);
    char language[16] = {}, country[16] = {};
    GetLocaleInfoA(ui, LOCALE_SISO639LANGNAME, language, sizeof language);
    GetLocaleInfoA(ui, LOCALE_SISO3166CTRYNAME, country, sizeof country);
    return fw::LanguageOfLocale(std::string(language) + "_" + country);
}

}  // namespace platform
