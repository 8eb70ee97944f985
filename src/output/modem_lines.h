#pragma once
// The command lines sent to a modem, as the bytes that reach the port, and the
// result codes read back. A line ends in CR CR LF: "...\r\n" written through a
// Windows text-mode stream, which turns the LF into CR LF, and modems are used
// to those bytes; we send them on every platform.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

std::string ComposeModemInitLine(std::string_view initCommand);
std::string ComposeModemDialLine(std::string_view dialPrefix, std::string_view dialString);
std::string ComposeModemEmptyLine();
// "COM1" to "COM4" for 0 to 3; empty for any other index.
std::string ModemPortName(int index);

// What hangs up a call the modem has connected: the escape sequence, sent
// between two guard times of silence, then the hang-up command.
inline constexpr std::string_view kModemEscape = "+++";
inline constexpr int kModemGuardMs = 1000;
std::string ComposeModemHangUpLine();

// A result code in its verbal form ("OK", "BUSY", "CONNECT 33600"); the
// numeric forms 0 to 8 and 10 are given their verbal text, and 11 to 999,
// which modems number differently, are connections ("CONNECT (code 12)").
struct ModemResult {
    std::string text;
    bool connect = false;  // CONNECT, with whatever followed it
    bool final = false;    // ends a dial: every result but RING
};
// nullopt when the line is not a result code (an echoed command, noise).
std::optional<ModemResult> ParseModemResult(std::string_view line);
// Whether a modem answers a line starting so with a final result: it takes
// only lines that begin with AT as commands.
bool ModemAnswersLine(std::string_view command);

// Whether a dial command asks for a voice call: ending in ";", it has the
// modem dial and answer OK at once, back in command mode with the call up for
// the handset. Dropping DTR then would end the call.
bool ModemDialIsVoiceCall(std::string_view dialCommand);

// Cuts what a modem sends into lines at CR or LF. A line that grows beyond any
// result code's length is noise and is dropped, so a chattering device costs
// no memory.
class ModemReplyLines {
public:
    static constexpr size_t kMaxLine = 80;
    // The lines completed by these bytes, empty ones left out.
    std::vector<std::string> Feed(std::string_view bytes);
    void Clear();

private:
    std::string partial_;
    bool overlong_ = false;
};
