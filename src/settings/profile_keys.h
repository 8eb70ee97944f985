#pragma once
// Sections, keys and defaults of the profile.
#include <string>

namespace profile_keys {

inline constexpr const char* kFlagSection = "Flag and Numeric";
inline constexpr const char* kDialSection = "Dial";
inline constexpr const char* kModemSection = "Modem";
inline constexpr const char* kPortsSection = "Ports";

inline constexpr const char* kPlayWait = "PlayWait";
inline constexpr const char* kCharWait = "CharWait";
inline constexpr const char* kMinusWait = "MinusWait";
inline constexpr const char* kTransSelect = "TransSelect";
inline constexpr const char* kOutputDevice = "OutputDevice";
inline constexpr const char* kLastDial = "LastDial";
inline constexpr const char* kLoadFile = "LoadFile";
inline constexpr const char* kIntlPrefix = "IntlPrefix";  // what a leading "+" becomes; no default
inline constexpr const char* kModemInitWait = "ModemInitWait";
inline constexpr const char* kModemPort = "ModemPort";
inline constexpr const char* kModemInitChar = "ModemInitChar";
inline constexpr const char* kModemDialChar = "ModemDialChar";

inline constexpr int kDefaultPlayWait = 10;
inline constexpr int kDefaultCharWait = 150;
inline constexpr int kDefaultMinusWait = 100;
inline constexpr int kDefaultModemInitWait = 3000;
inline constexpr const char* kDefaultModemInit = "ATZ";

// The ranges the options dialog allows, in milliseconds. A hand-edited
// profile is held to them too: a negative wait would arm a timer of weeks.
inline constexpr int kMaxToneWait = 1000;
inline constexpr int kMaxModemInitWait = 5000;
inline constexpr const char* kDefaultModemDial = "ATDT";

// "DialList0" to "DialList4": the five rows on view.
inline std::string DialListKey(int n) { return "DialList" + std::to_string(n); }

}  // namespace profile_keys
