#pragma once
// The face the program's dialogs and boxes are shown in. The templates name a
// Japanese face that many systems lack; the dialog manager then falls back on
// a face chosen by the system's language, which on a Western system has no
// Japanese letters at all. So the face is chosen here, once, from what is
// installed, and written into every template the windows are made from.

#include <string>
#include <string_view>

namespace platform {

// `templateFace` itself when a face of that name with the Japanese character
// set is installed; otherwise the installed proportional sans-serif face with
// that character set that has the letters the program uses, well-known user
// interface faces first; `templateFace` when there is none.
std::wstring ChooseDialogFace(std::wstring_view templateFace);

// ChooseDialogFace, asked once per process for each template face.
const std::wstring& DialogFaceFor(std::wstring_view templateFace);

}  // namespace platform
