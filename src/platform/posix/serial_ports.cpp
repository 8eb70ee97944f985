#include "platform/posix/serial_ports.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "platform/posix/fd_io.h"

namespace {

using Clock = posix_io::Clock;

// A device that stops accepting bytes (hardware handshake held off, nobody
// reading a pty) fails the line after this long instead of freezing the window.
constexpr std::chrono::milliseconds kWriteTimeout{3000};
// Output still queued at close: the driver would wait for it in close() for up
// to half a minute, so it gets this long and is then discarded.
constexpr std::chrono::milliseconds kDrainTimeout{2000};

bool IsPortName(std::string_view name) {
    return name == "COM1" || name == "COM2" || name == "COM3" || name == "COM4";
}

bool SetTermios(int fd, const termios& settings) {
    while (tcsetattr(fd, TCSANOW, &settings) != 0) {
        if (errno != EINTR) return false;
    }
    return true;
}

class PosixSerialLine : public port::SerialLine {
public:
    explicit PosixSerialLine(int fd) : fd_(fd) {}

    ~PosixSerialLine() override {
        if (isatty(fd_)) DrainBriefly();
        close(fd_);
    }

    PosixSerialLine(const PosixSerialLine&) = delete;
    PosixSerialLine& operator=(const PosixSerialLine&) = delete;

    bool Write(std::string_view bytes) override {
        // A write can raise SIGPIPE when the reader of a FIFO has gone and
        // SIGTTOU when the device is the terminal of a background program;
        // either must fail the line rather than stop the program.
        posix_io::ScopedIgnoreSignal ignoreSigpipe(SIGPIPE);
        posix_io::ScopedIgnoreSignal ignoreSigttou(SIGTTOU);

        // The terminal driver would otherwise turn each LF into CR LF on the way out.
        termios saved = {};
        bool restore = false;
        if (tcgetattr(fd_, &saved) == 0 && (saved.c_oflag & OPOST)) {
            termios exact = saved;
            exact.c_oflag &= ~static_cast<tcflag_t>(OPOST);
            if (!SetTermios(fd_, exact)) return false;
            restore = true;
        }

        // The descriptor is non-blocking, so a stalled device is waited for
        // in poll(), where the wait can be bounded.
        const bool ok = posix_io::WriteAll(fd_, bytes, Clock::now() + kWriteTimeout);

        // Output processing happens as bytes enter the driver, so the queued
        // bytes are already final and the user's settings can come back now.
        if (restore && !SetTermios(fd_, saved)) return false;
        return ok;
    }

private:
    void DrainBriefly() {
        const Clock::time_point deadline = Clock::now() + kDrainTimeout;
        for (;;) {
            int pending = 0;
            if (ioctl(fd_, TIOCOUTQ, &pending) != 0 || pending <= 0) return;
            if (Clock::now() >= deadline) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        tcflush(fd_, TCOFLUSH);
    }

    int fd_;
};

}  // namespace

PosixSerialPorts::PosixSerialPorts(
    std::function<std::string(std::string_view portName)> devicePathFor)
    : devicePathFor_(std::move(devicePathFor)) {}

std::unique_ptr<port::SerialLine> PosixSerialPorts::Open(std::string_view name) {
    if (!IsPortName(name)) return nullptr;
    const std::string path = devicePathFor_ ? devicePathFor_(name) : DefaultSerialDevice(name);
    if (path.empty()) return nullptr;
    // O_NONBLOCK: a tty waiting for carrier opens at once, a FIFO without a
    // reader fails at once (ENXIO). O_APPEND only matters when the "device" is
    // a plain file, which then collects the lines instead of overwriting them.
    const int fd =
        open(path.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC | O_APPEND);
    if (fd < 0) return nullptr;
    return std::make_unique<PosixSerialLine>(fd);
}

std::string DefaultSerialDevice(std::string_view portName) {
    if (!IsPortName(portName)) return "";
    return "/dev/ttyS" + std::string(1, static_cast<char>(portName[3] - 1));
}
