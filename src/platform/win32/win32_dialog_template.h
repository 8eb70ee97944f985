#pragma once
// Dialog templates for the Win32 dialog manager, built in memory from the
// program's template tables, so the platform lays the windows out itself in
// its own dialog units and font.

#include <cstdint>
#include <string_view>
#include <vector>

#include "framework/dialog_template.h"

namespace platform {

// A DLGTEMPLATEEX with its items, ready for CreateDialogIndirectParamW (whose
// argument must be DWORD-aligned, hence the element type). The window itself
// is created hidden whatever the table says: it is shown when its modal run
// starts, after the program has initialised it. A non-empty `face` stands in
// for the table's font face; sizes stay in dialog units of that face.
std::vector<uint32_t> BuildDialogTemplate(const res::DialogTemplate& tmpl,
                                          std::wstring_view face = {});

}  // namespace platform
