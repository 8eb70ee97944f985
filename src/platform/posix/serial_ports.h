#pragma once
// Serial ports "COM1" to "COM4" on POSIX terminal devices (a tty, a USB modem,
// a pty). Opening never waits: a tty waiting for carrier opens at once. A line
// is held for exclusive use (flock) while it is open, so that two programs do
// not talk to one modem at once.
//
// Without a speed for the port the line settings (speed, parity, handshake)
// are left as they are; only output post-processing is switched off while a
// line is written, and echo and line editing of input while the line is held,
// so the bytes go out exactly as given and what the modem says is neither
// sent back to it nor held up. With a speed the line is set to it, 8 data
// bits, no parity, one stop bit, raw.

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "framework/ports.h"

class PosixSerialPorts : public port::SerialPorts {
public:
    // devicePathFor maps a port name to its device path; an empty path means
    // the port has no device. speedFor gives the port's speed setting as the
    // profile holds it (port::ParseLineSpeed); a setting that is no supported
    // speed fails the open, saying so.
    explicit PosixSerialPorts(
        std::function<std::string(std::string_view portName)> devicePathFor,
        std::function<std::string(std::string_view portName)> speedFor = nullptr);

    std::unique_ptr<port::SerialLine> Open(std::string_view name) override;
    port::SerialOpenFailure LastFailure() const override { return lastFailure_; }
    std::string DevicePath(std::string_view name) const override;

private:
    std::unique_ptr<port::SerialLine> Fail(std::string device, std::string reason);

    std::function<std::string(std::string_view)> devicePathFor_;
    std::function<std::string(std::string_view)> speedFor_;
    port::SerialOpenFailure lastFailure_;
};

// "COM1" -> "/dev/ttyS0" ... "COM4" -> "/dev/ttyS3"; "" for any other name.
std::string DefaultSerialDevice(std::string_view portName);

// The reasons an open can fail, in the words the user sees.
namespace serial_reason {
inline constexpr const char* kMissing = "does not exist";
inline constexpr const char* kNoPermission =
    "no permission to use it (your user needs to be in the dialout group; log in again after "
    "adding it)";
inline constexpr const char* kBusy = "busy, held by another program (ModemManager, for example)";
inline constexpr const char* kNotTerminal = "not a terminal (serial) device";
}  // namespace serial_reason
