#pragma once
// Serial ports "COM1" to "COM4" on Windows, opened by their device names.
// Without a speed for the port the line settings are left as the system has
// them; with one the line is set to it, 8 data bits, no parity, one stop bit.
// Every write is bounded in time, so a port that does not drain (no modem,
// handshake held) fails the write instead of holding the window; reads take
// only what has already arrived.

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "framework/ports.h"

namespace platform {

class Win32SerialPorts : public port::SerialPorts {
public:
    // devicePathFor maps a port name to the path opened (UTF-8); an empty
    // path means the port has no device.
    // speedFor gives the port's speed setting as the profile holds it
    // (port::ParseLineSpeed); a setting that is no supported speed fails the
    // open, saying so.
    explicit Win32SerialPorts(
        std::function<std::string(std::string_view portName)> devicePathFor = nullptr,
        unsigned writeTimeoutMs = 3000,
        std::function<std::string(std::string_view portName)> speedFor = nullptr);

    std::unique_ptr<port::SerialLine> Open(std::string_view name) override;
    port::SerialOpenFailure LastFailure() const override { return lastFailure_; }
    std::string DevicePath(std::string_view name) const override { return devicePathFor_(name); }

private:
    std::function<std::string(std::string_view)> devicePathFor_;
    unsigned writeTimeoutMs_;
    std::function<std::string(std::string_view)> speedFor_;
    port::SerialOpenFailure lastFailure_;
};

// Why CreateFile failed, in the words the user sees, from GetLastError's code.
std::string SerialOpenReason(unsigned long error);

// "COM1" -> "\\.\COM1" ... "COM4" -> "\\.\COM4"; "" for any other name.
std::string DefaultWin32SerialDevice(std::string_view portName);

}  // namespace platform
