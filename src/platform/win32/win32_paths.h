#pragma once
// Where the program finds the files installed beside it on Windows.

#include <string>

namespace platform {

// The directory that holds the running program (UTF-8), without a trailing
// separator.
std::string ProgramDirectory();

}  // namespace platform
