#include "output/modem_lines.h"

#include <array>

namespace {
constexpr std::string_view kLineEnd = "\r\r\n";

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}
}  // namespace

std::string ComposeModemInitLine(std::string_view initCommand) {
    return std::string(initCommand).append(kLineEnd);
}

// Sent whole however long: a line is never cut to fit a buffer.
std::string ComposeModemDialLine(std::string_view dialPrefix, std::string_view dialString) {
    return std::string(dialPrefix).append(dialString).append(kLineEnd);
}

std::string ComposeModemEmptyLine() { return std::string(kLineEnd); }

std::string ComposeModemHangUpLine() { return std::string("ATH").append(kLineEnd); }

std::string ModemPortName(int index) {
    if (index < 0 || index > 3) return {};
    return "COM" + std::to_string(index + 1);
}

std::optional<ModemResult> ParseModemResult(std::string_view line) {
    // Numeric results (ATV0) by their number; 5 is the old CONNECT 1200.
    static constexpr std::array<std::string_view, 9> kByNumber = {
        "OK", "CONNECT", "RING", "NO CARRIER", "ERROR", "CONNECT 1200", "NO DIALTONE", "BUSY",
        "NO ANSWER"};
    line = Trim(line);
    const bool digits = !line.empty() && line.size() <= 3 &&
                        line.find_first_not_of("0123456789") == std::string_view::npos;
    std::string text;
    if (digits && line.size() == 1 && line[0] != '9') {
        text = kByNumber[size_t(line[0] - '0')];
    } else if (digits && line.size() > 1 && line[0] != '0') {
        // From 10 on every modem numbers its connections, by speed and
        // protocol, though not all alike: only 10 means the same everywhere.
        // Taken for what it is, a connection, the call is held until Stop.
        text = line == "10" ? "CONNECT 2400" : "CONNECT (code " + std::string(line) + ")";
    } else if (line.substr(0, 7) == "CONNECT") {
        text = std::string(line);
    } else if (line == "NO DIAL TONE") {  // how some modems spell it
        text = "NO DIALTONE";
    } else {
        for (std::string_view verbal : kByNumber)
            if (line == verbal) text = std::string(verbal);
        if (text.empty()) return std::nullopt;
    }
    ModemResult result;
    result.connect = text.rfind("CONNECT", 0) == 0;
    result.final = text != "RING";
    result.text = std::move(text);
    return result;
}

std::vector<std::string> ModemReplyLines::Feed(std::string_view bytes) {
    std::vector<std::string> lines;
    for (char c : bytes) {
        if (c == '\r' || c == '\n') {
            if (!overlong_ && !partial_.empty()) lines.push_back(partial_);
            partial_.clear();
            overlong_ = false;
        } else if (!overlong_) {
            partial_ += c;
            if (partial_.size() > kMaxLine) {
                partial_.clear();
                overlong_ = true;
            }
        }
    }
    return lines;
}

void ModemReplyLines::Clear() {
    partial_.clear();
    overlong_ = false;
}

bool ModemAnswersLine(std::string_view command) {
    return command.size() >= 2 && (command[0] == 'A' || command[0] == 'a') &&
           (command[1] == 'T' || command[1] == 't');
}

bool ModemDialIsVoiceCall(std::string_view dialCommand) {
    dialCommand = Trim(dialCommand);
    return !dialCommand.empty() && dialCommand.back() == ';';
}
