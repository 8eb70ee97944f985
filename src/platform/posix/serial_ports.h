#pragma once
// Serial ports "COM1" to "COM4" on POSIX devices (a tty, a USB modem, a pty).
// Opening never waits: a tty waiting for carrier or a FIFO nobody reads fails
// at once. The line settings (speed, parity, handshake) are left as they are;
// only output post-processing is switched off while a line is written, so the
// bytes arrive exactly as given.

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "framework/ports.h"

class PosixSerialPorts : public port::SerialPorts {
public:
    // devicePathFor maps a port name to its device path; an empty path means
    // the port has no device.
    explicit PosixSerialPorts(std::function<std::string(std::string_view portName)> devicePathFor);

    std::unique_ptr<port::SerialLine> Open(std::string_view name) override;

private:
    std::function<std::string(std::string_view)> devicePathFor_;
};

// "COM1" -> "/dev/ttyS0" ... "COM4" -> "/dev/ttyS3"; "" for any other name.
std::string DefaultSerialDevice(std::string_view portName);
