#pragma once
// Serial ports "COM1" to "COM4" on Windows, opened by their device names.
// The line settings are left as the system has them; every write is bounded
// in time, so a port that does not drain (no modem, handshake held) fails the
// write instead of holding the window.

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
    explicit Win32SerialPorts(
        std::function<std::string(std::string_view portName)> devicePathFor = nullptr,
        unsigned writeTimeoutMs = 3000);

    std::unique_ptr<port::SerialLine> Open(std::string_view name) override;

private:
    std::function<std::string(std::string_view)> devicePathFor_;
    unsigned writeTimeoutMs_;
};

// "COM1" -> "\\.\COM1" ... "COM4" -> "\\.\COM4"; "" for any other name.
std::string DefaultWin32SerialDevice(std::string_view portName);

}  // namespace platform
