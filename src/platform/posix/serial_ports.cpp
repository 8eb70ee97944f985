#include "platform/posix/serial_ports.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>
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

bool SpeedConstant(int baud, speed_t& out) {
    static constexpr struct {
        int baud;
        speed_t constant;
    } kSpeeds[] = {{300, B300},       {600, B600},       {1200, B1200},     {2400, B2400},
                   {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},
                   {57600, B57600},   {115200, B115200}, {230400, B230400}, {460800, B460800},
                   {921600, B921600}};
    for (const auto& s : kSpeeds)
        if (s.baud == baud) {
            out = s.constant;
            return true;
        }
    return false;
}

std::string ReasonOf(int error) {
    switch (error) {
        case ENOENT:
        case ENOTDIR: return serial_reason::kMissing;
        case EACCES:
        case EPERM:
        case EROFS: return serial_reason::kNoPermission;
        case EBUSY:
        case EWOULDBLOCK: return serial_reason::kBusy;
        case EISDIR: return serial_reason::kNotTerminal;
        case ENXIO:
        case ENODEV:
        case EIO: return "no device answers behind it (is the modem plugged in and switched on?)";
        default: {
            std::string text = std::strerror(error);
            if (!text.empty()) text[0] = static_cast<char>(std::tolower(text[0]));
            return text;
        }
    }
}

class PosixSerialLine : public port::SerialLine {
public:
    // restore: the settings to put back at close, when the line changed them
    // only for as long as it is held.
    PosixSerialLine(int fd, const termios* restore) : fd_(fd) {
        if (restore) {
            restore_ = *restore;
            hasRestore_ = true;
        }
    }

    ~PosixSerialLine() override {
        posix_io::ScopedIgnoreSignal ignoreSigttou(SIGTTOU);
        DrainBriefly();
        if (hasRestore_) SetTermios(fd_, restore_);
        close(fd_);
    }

    PosixSerialLine(const PosixSerialLine&) = delete;
    PosixSerialLine& operator=(const PosixSerialLine&) = delete;

    bool Write(std::string_view bytes) override {
        // A write can raise SIGTTOU when the device is the terminal of a
        // background program, as can every change of its settings; it must
        // fail the line rather than stop the program.
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

    bool Read(std::string& out, size_t maxBytes) override {
        // A hung-up terminal reads as empty for ever, so ask poll() first.
        pollfd state = {fd_, POLLIN, 0};
        if (poll(&state, 1, 0) < 0) return errno == EINTR;
        if (state.revents & (POLLHUP | POLLERR | POLLNVAL)) return false;
        if (!(state.revents & POLLIN)) return true;
        // Reading the terminal of a background program raises SIGTTIN, which
        // would stop it; ignored, the read fails instead.
        posix_io::ScopedIgnoreSignal ignoreSigttin(SIGTTIN);
        char buffer[1024];
        while (maxBytes > 0 && (state.revents & POLLIN)) {
            const ssize_t got = read(fd_, buffer, std::min(sizeof buffer, maxBytes));
            if (got > 0) {
                out.append(buffer, size_t(got));
                maxBytes -= size_t(got);
            } else if (got == 0 || errno == EAGAIN || errno == EWOULDBLOCK) {
                break;
            } else if (errno != EINTR) {
                return false;
            }
        }
        return true;
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
    termios restore_ = {};
    bool hasRestore_ = false;
};

}  // namespace

PosixSerialPorts::PosixSerialPorts(
    std::function<std::string(std::string_view portName)> devicePathFor,
    std::function<std::string(std::string_view portName)> speedFor)
    : devicePathFor_(std::move(devicePathFor)), speedFor_(std::move(speedFor)) {}

std::string PosixSerialPorts::DevicePath(std::string_view name) const {
    if (!IsPortName(name)) return "";
    return devicePathFor_ ? devicePathFor_(name) : DefaultSerialDevice(name);
}

std::unique_ptr<port::SerialLine> PosixSerialPorts::Fail(std::string device, std::string reason) {
    lastFailure_ = {std::move(device), std::move(reason)};
    return nullptr;
}

std::unique_ptr<port::SerialLine> PosixSerialPorts::Open(std::string_view name) {
    if (!IsPortName(name)) return Fail("", std::string(name) + " is not a port");
    const std::string path = DevicePath(name);
    if (path.empty())
        return Fail("", std::string(name) + " has no device; name one in section [Ports]");

    // A FIFO, a directory or a plain file is no modem; looking first also
    // keeps open() from waiting for a FIFO's reader.
    struct stat info = {};
    if (stat(path.c_str(), &info) != 0) return Fail(path, ReasonOf(errno));
    if (!S_ISCHR(info.st_mode)) return Fail(path, serial_reason::kNotTerminal);

    // The settings are changed here and put back at close: on the terminal of
    // a program in the background each change would stop it (SIGTTOU).
    posix_io::ScopedIgnoreSignal ignoreSigttou(SIGTTOU);
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return Fail(path, ReasonOf(errno));
    auto refuse = [&](std::string reason) {
        close(fd);
        return Fail(path, std::move(reason));
    };
    if (!isatty(fd)) return refuse(serial_reason::kNotTerminal);
    int exclusive = 0;
    if (ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive) return refuse(serial_reason::kBusy);
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) return refuse(ReasonOf(errno));

    termios settings = {};
    if (tcgetattr(fd, &settings) != 0) return refuse(ReasonOf(errno));
    const std::string speedText = speedFor_ ? speedFor_(name) : std::string();
    const std::optional<int> baud = port::ParseLineSpeed(speedText);
    speed_t speed = 0;
    if (!baud || (*baud != 0 && !SpeedConstant(*baud, speed)))
        return refuse(port::LineSpeedRefusal(name, speedText));
    if (*baud != 0) {
        termios raw = settings;
        cfmakeraw(&raw);
        raw.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB);
        raw.c_cflag |= CS8 | CREAD;
        raw.c_cc[VMIN] = 0;
        raw.c_cc[VTIME] = 0;
        if (cfsetispeed(&raw, speed) != 0 || cfsetospeed(&raw, speed) != 0 || !SetTermios(fd, raw))
            return refuse("its speed cannot be set to " + std::to_string(*baud));
        return std::make_unique<PosixSerialLine>(fd, nullptr);
    }
    // Held only while the line is: the terminal's echo would send every reply
    // straight back to the modem, and line editing would hold replies back.
    termios held = settings;
    held.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN);
    held.c_cc[VMIN] = 0;
    held.c_cc[VTIME] = 0;
    if (!SetTermios(fd, held)) return refuse(ReasonOf(errno));
    return std::make_unique<PosixSerialLine>(fd, &settings);
}

std::string DefaultSerialDevice(std::string_view portName) {
    if (!IsPortName(portName)) return "";
    return "/dev/ttyS" + std::string(1, static_cast<char>(portName[3] - 1));
}
