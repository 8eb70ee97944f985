#include "platform/posix/serial_ports.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

// A device that stops accepting bytes (hardware handshake held off, nobody
// reading a pty) fails the line after this long instead of freezing the window.
constexpr std::chrono::milliseconds kWriteTimeout{3000};
// Output still queued at close: the driver would wait for it in close() for up
// to half a minute, so it gets this long and is then discarded.
constexpr std::chrono::milliseconds kDrainTimeout{2000};

bool IsPortName(std::string_view name) {
    return name == "COM1" || name == "COM2" || name == "COM3" || name == "COM4";
}

int MillisecondsUntil(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

bool SetTermios(int fd, const termios& settings) {
    while (tcsetattr(fd, TCSANOW, &settings) != 0) {
        if (errno != EINTR) return false;
    }
    return true;
}

// Signals a write to a device can raise, which must fail the line rather than
// stop the program: SIGPIPE when the reader of a FIFO has gone, SIGTTOU when
// the device is the terminal of a program running in the background.
class ScopedIgnoreSignal {
public:
    explicit ScopedIgnoreSignal(int sig) : sig_(sig) {
        struct sigaction ignore = {};
        ignore.sa_handler = SIG_IGN;
        sigemptyset(&ignore.sa_mask);
        active_ = sigaction(sig_, &ignore, &old_) == 0;
    }
    ~ScopedIgnoreSignal() {
        if (active_) sigaction(sig_, &old_, nullptr);
    }
    ScopedIgnoreSignal(const ScopedIgnoreSignal&) = delete;
    ScopedIgnoreSignal& operator=(const ScopedIgnoreSignal&) = delete;

private:
    int sig_;
    bool active_ = false;
    struct sigaction old_ = {};
};

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
        ScopedIgnoreSignal ignoreSigpipe(SIGPIPE);
        ScopedIgnoreSignal ignoreSigttou(SIGTTOU);

        // The terminal driver would otherwise turn each LF into CR LF on the way out.
        termios saved = {};
        bool restore = false;
        if (tcgetattr(fd_, &saved) == 0 && (saved.c_oflag & OPOST)) {
            termios exact = saved;
            exact.c_oflag &= ~static_cast<tcflag_t>(OPOST);
            if (!SetTermios(fd_, exact)) return false;
            restore = true;
        }

        const bool ok = WriteAll(bytes);

        // Output processing happens as bytes enter the driver, so the queued
        // bytes are already final and the user's settings can come back now.
        if (restore && !SetTermios(fd_, saved)) return false;
        return ok;
    }

private:
    // The descriptor stays non-blocking: waiting is done in poll(), where it
    // can be bounded.
    bool WriteAll(std::string_view bytes) {
        const Clock::time_point deadline = Clock::now() + kWriteTimeout;
        while (!bytes.empty()) {
            const ssize_t written = write(fd_, bytes.data(), bytes.size());
            if (written > 0) {
                bytes.remove_prefix(static_cast<size_t>(written));
                continue;
            }
            if (written < 0 && errno == EINTR) continue;
            if (written == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) return false;

            pollfd ready = {fd_, POLLOUT, 0};
            const int polled = poll(&ready, 1, MillisecondsUntil(deadline));
            if (polled < 0 && errno == EINTR) continue;
            if (polled <= 0) return false;  // timed out or failed
            if (!(ready.revents & POLLOUT)) return false;  // hung up or in error
        }
        return true;
    }

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
