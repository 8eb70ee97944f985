#include "platform/win32/win32_language.h"

#include <windows.h>

namespace platform {

fw::Language UserInterfaceLanguage() {
    return PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_JAPANESE ? fw::Language::Japanese
                                                                       : fw::Language::English;
}

}  // namespace platform
