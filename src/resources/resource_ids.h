#pragma once
// The numbers the program's resources go by. The tables themselves are data
// in this folder, found through framework/dialog_template.h.

#include "framework/dialog_template.h"

namespace res {

constexpr int IDD_ABOUTBOX = 100;
constexpr int IDD_DIALER = 102;
constexpr int IDD_OPTION = 129;
constexpr int IDR_MAINFRAME = 128;  // the program icon
constexpr int IDS_ABOUTBOX = 101;

struct VersionInfo {
    int major, minor, patch, build;
};
constexpr VersionInfo kVersion{1, 0, 0, 0};

}  // namespace res
