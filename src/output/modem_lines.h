#pragma once
// The command lines sent to a modem, as the bytes that reach the port. The
// original wrote "...\r\n" through a text-mode stream, which turned the LF into
// CR LF, so modems have always received CR CR LF; we keep those bytes.
#include <string>
#include <string_view>

std::string ComposeModemInitLine(std::string_view initCommand);
std::string ComposeModemDialLine(std::string_view dialPrefix, std::string_view dialString);
std::string ComposeModemEmptyLine();
// "COM1" to "COM4" for 0 to 3; empty for any other index.
std::string ModemPortName(int index);
