#pragma once
// The language the user reads Windows in, which the program follows.

#include "framework/translation.h"

namespace platform {

fw::Language UserInterfaceLanguage();

}  // namespace platform
