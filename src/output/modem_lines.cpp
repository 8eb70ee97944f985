#include "output/modem_lines.h"

namespace {
constexpr std::string_view kLineEnd = "\r\r\n";
}

std::string ComposeModemInitLine(std::string_view initCommand) {
    return std::string(initCommand).append(kLineEnd);
}

// Sent whole however long: a line is never cut to fit a buffer.
std::string ComposeModemDialLine(std::string_view dialPrefix, std::string_view dialString) {
    return std::string(dialPrefix).append(dialString).append(kLineEnd);
}

std::string ComposeModemEmptyLine() { return std::string(kLineEnd); }

std::string ModemPortName(int index) {
    if (index < 0 || index > 3) return {};
    return "COM" + std::to_string(index + 1);
}
