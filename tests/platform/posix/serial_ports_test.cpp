#include "platform/posix/serial_ports.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <pty.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// A pseudo terminal standing in for a modem: the test reads the master side.
class Pty {
public:
    Pty() {
        termios settings = {};
        cfmakeraw(&settings);
        settings.c_oflag |= OPOST | ONLCR;  // the translation a write must not suffer
        settings.c_lflag |= ECHO | ICANON;  // echo and line editing a held line must not suffer
        settings.c_cflag |= CS8 | CREAD | CLOCAL;
        cfsetispeed(&settings, B9600);
        cfsetospeed(&settings, B9600);
        char name[256] = {};
        ok_ = openpty(&master_, &slave_, name, &settings, nullptr) == 0;
        path_ = name;
        if (ok_) fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    }
    ~Pty() {
        if (master_ >= 0) close(master_);
        if (slave_ >= 0) close(slave_);
    }
    bool ok() const { return ok_; }
    const std::string& path() const { return path_; }
    int slave() const { return slave_; }
    void Say(const std::string& bytes) {
        ASSERT_EQ(write(master_, bytes.data(), bytes.size()), ssize_t(bytes.size()));
    }
    void CloseMaster() {
        close(master_);
        master_ = -1;
    }

    // Everything that arrives until the line has been quiet for a moment.
    std::string Received() {
        std::string bytes;
        char buffer[4096];
        for (;;) {
            pollfd ready = {master_, POLLIN, 0};
            if (poll(&ready, 1, 200) <= 0) return bytes;
            const ssize_t got = read(master_, buffer, sizeof buffer);
            if (got <= 0) return bytes;
            bytes.append(buffer, static_cast<size_t>(got));
        }
    }

private:
    int master_ = -1;
    int slave_ = -1;
    bool ok_ = false;
    std::string path_;
};

PosixSerialPorts PortsTo(const std::string& device) {
    return PosixSerialPorts([device](std::string_view) { return device; });
}

TEST(PosixSerialPorts, DefaultDevicesAreTheFourFirstSerialPorts) {
    EXPECT_EQ(DefaultSerialDevice("COM1"), "/dev/ttyS0");
    EXPECT_EQ(DefaultSerialDevice("COM2"), "/dev/ttyS1");
    EXPECT_EQ(DefaultSerialDevice("COM3"), "/dev/ttyS2");
    EXPECT_EQ(DefaultSerialDevice("COM4"), "/dev/ttyS3");
    EXPECT_EQ(DefaultSerialDevice("COM5"), "");
    EXPECT_EQ(DefaultSerialDevice("COM0"), "");
    EXPECT_EQ(DefaultSerialDevice("com1"), "");
    EXPECT_EQ(DefaultSerialDevice("COM10"), "");
    EXPECT_EQ(DefaultSerialDevice(""), "");
}

TEST(PosixSerialPorts, BytesArriveExactlyAndLineSettingsStay) {
    Pty pty;
    ASSERT_TRUE(pty.ok());
    termios before = {};
    ASSERT_EQ(tcgetattr(pty.slave(), &before), 0);

    std::string asked;
    PosixSerialPorts ports([&](std::string_view name) {
        asked = std::string(name);
        return name == "COM3" ? pty.path() : std::string();
    });
    {
        auto line = ports.Open("COM3");
        ASSERT_NE(line, nullptr);
        EXPECT_EQ(asked, "COM3");
        EXPECT_TRUE(line->Write("ATZ\r\r\n"));
        EXPECT_TRUE(line->Write("ATDT0,1%s%d*#\r\r\n"));
        // What the modem says is read at once, half lines too, and never echoed to it.
        pty.Say("\r\nOK\r\nBU");
        std::string said;
        EXPECT_TRUE(line->Read(said, 100));
        EXPECT_EQ(said, "\r\nOK\r\nBU");
        EXPECT_TRUE(line->Read(said, 100));
        EXPECT_EQ(said, "\r\nOK\r\nBU");
    }
    EXPECT_EQ(pty.Received(), "ATZ\r\r\nATDT0,1%s%d*#\r\r\n");

    termios after = {};
    ASSERT_EQ(tcgetattr(pty.slave(), &after), 0);
    EXPECT_EQ(after.c_oflag, before.c_oflag);  // OPOST and ONLCR are back
    EXPECT_EQ(after.c_cflag, before.c_cflag);
    EXPECT_EQ(after.c_iflag, before.c_iflag);
    EXPECT_EQ(after.c_lflag, before.c_lflag);
    EXPECT_EQ(cfgetospeed(&after), static_cast<speed_t>(B9600));

    // Another name the resolver knows nothing about has no device.
    EXPECT_EQ(ports.Open("COM1"), nullptr);
    EXPECT_EQ(asked, "COM1");
}

TEST(PosixSerialPorts, LongWritesAreContinuedUntilEveryByteIsThere) {
    Pty pty;
    ASSERT_TRUE(pty.ok());
    std::string data;
    for (int i = 0; i < 20000; ++i) data += static_cast<char>("0123456789\r\n"[i % 12]);

    // Far more than the terminal buffers hold, so the writer must wait for the reader.
    std::string received;
    std::thread reader([&] {
        while (received.size() < data.size()) {
            const std::string more = pty.Received();
            if (more.empty()) break;
            received += more;
        }
    });
    auto line = PortsTo(pty.path()).Open("COM1");
    ASSERT_NE(line, nullptr);
    EXPECT_TRUE(line->Write(data));
    line.reset();
    reader.join();
    EXPECT_EQ(received.size(), data.size());
    EXPECT_TRUE(received == data);
}

TEST(PosixSerialPorts, FailuresAreReportedWithoutWaiting) {
    const std::string dir = fs::temp_directory_path() / ("serial-" + std::to_string(getpid()));
    fs::create_directories(dir);
    const std::string fifo = dir + "/fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);

    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(PortsTo(fifo).Open("COM1"), nullptr);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);

    EXPECT_EQ(PortsTo(dir + "/missing").Open("COM1"), nullptr);
    EXPECT_FALSE(fs::exists(dir + "/missing"));  // a missing device is never created
    EXPECT_EQ(PortsTo("").Open("COM2"), nullptr);

    // Names other than COM1 to COM4 are refused even when a device is at hand.
    Pty pty;
    ASSERT_TRUE(pty.ok());
    EXPECT_EQ(PortsTo(pty.path()).Open("COM5"), nullptr);
    EXPECT_EQ(PortsTo(pty.path()).Open("com1"), nullptr);
    EXPECT_EQ(PortsTo(pty.path()).Open("LPT1"), nullptr);

    // A device whose other end has hung up: writing and reading fail.
    auto hungUp = PortsTo(pty.path()).Open("COM1");
    ASSERT_NE(hungUp, nullptr);
    pty.CloseMaster();
    EXPECT_FALSE(hungUp->Write("ATZ\r\r\n"));
    std::string nothing;
    EXPECT_FALSE(hungUp->Read(nothing, 100));
    hungUp.reset();

    fs::remove_all(dir);
}

// The reason an open failed, as "device: reason".
std::string WhyNot(const std::string& device,
                   std::function<std::string(std::string_view)> speed = nullptr) {
    PosixSerialPorts ports([device](std::string_view) { return device; }, std::move(speed));
    if (ports.Open("COM1")) return "opened";
    const port::SerialOpenFailure why = ports.LastFailure();
    return why.device + ": " + why.reason;
}

TEST(PosixSerialPorts, EachOpenFailureSaysWhichDeviceAndWhy) {
    const std::string dir = fs::temp_directory_path() / ("serial-why-" + std::to_string(getpid()));
    fs::create_directories(dir);
    const std::string fifo = dir + "/fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const int fifoReader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);

    EXPECT_EQ(WhyNot(dir + "/missing"), dir + "/missing: does not exist");
    EXPECT_EQ(WhyNot(fifo), fifo + ": not a terminal (serial) device");  // even with a reader
    EXPECT_EQ(WhyNot(dir), dir + ": not a terminal (serial) device");
    EXPECT_EQ(WhyNot("/dev/null"), "/dev/null: not a terminal (serial) device");
    close(fifoReader);

    Pty pty;
    ASSERT_TRUE(pty.ok());
    {
        // Another program holding the device: the lock a held line takes, or exclusive use.
        auto held = PortsTo(pty.path()).Open("COM1");
        ASSERT_NE(held, nullptr);
        EXPECT_EQ(WhyNot(pty.path()),
                  pty.path() + ": busy, held by another program (ModemManager, for example)");
    }
    ASSERT_EQ(ioctl(pty.slave(), TIOCEXCL), 0);
    EXPECT_EQ(WhyNot(pty.path()),
              pty.path() + ": busy, held by another program (ModemManager, for example)");
    ASSERT_EQ(ioctl(pty.slave(), TIOCNXCL), 0);
    EXPECT_EQ(WhyNot(pty.path(), [](std::string_view) { return "12345"; }),
              pty.path() + ": the speed 12345 (COM1Speed in [Ports]) is not a standard rate");

    // No permission: a device of mode 000, opened by a user who is not root.
    ASSERT_EQ(chmod(pty.path().c_str(), 0), 0);
    int answer[2];
    ASSERT_EQ(pipe(answer), 0);
    const pid_t child = fork();
    if (child == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(2);
        const std::string why = WhyNot(pty.path());
        _exit(write(answer[1], why.data(), why.size()) == ssize_t(why.size()) ? 0 : 3);
    }
    close(answer[1]);
    char text[512] = {};
    const ssize_t got = read(answer[0], text, sizeof text - 1);
    close(answer[0]);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(std::string(text, size_t(std::max<ssize_t>(got, 0))),
              pty.path() +
                  ": no permission to use it (your user needs to be in the dialout group; log in "
                  "again after adding it)");
    fs::remove_all(dir);
}

TEST(PosixSerialPorts, ASpeedSetsThe8N1RawLineAndNoSpeedLeavesItAlone) {
    Pty pty;
    ASSERT_TRUE(pty.ok());
    PosixSerialPorts ports([&](std::string_view) { return pty.path(); },
                           [](std::string_view name) { return name == "COM2" ? "115200" : ""; });
    termios before = {};
    ASSERT_EQ(tcgetattr(pty.slave(), &before), 0);
    ports.Open("COM1").reset();
    termios after = {};
    ASSERT_EQ(tcgetattr(pty.slave(), &after), 0);
    EXPECT_EQ(cfgetospeed(&after), static_cast<speed_t>(B9600));
    EXPECT_EQ(after.c_lflag, before.c_lflag);

    ports.Open("COM2").reset();
    ASSERT_EQ(tcgetattr(pty.slave(), &after), 0);
    EXPECT_EQ(cfgetospeed(&after), static_cast<speed_t>(B115200));
    EXPECT_EQ(cfgetispeed(&after), static_cast<speed_t>(B115200));
    EXPECT_EQ(after.c_cflag & (CSIZE | PARENB | CSTOPB), static_cast<tcflag_t>(CS8));
    EXPECT_EQ(after.c_lflag & (ECHO | ICANON | ISIG), 0u);
    EXPECT_EQ(after.c_oflag & OPOST, 0u);
    EXPECT_EQ(after.c_iflag & (ICRNL | IXON), 0u);
}

TEST(PosixSerialPorts, OnlyASupportedSpeedInPlainDecimalIsTaken) {
    Pty pty;
    ASSERT_TRUE(pty.ok());
    for (const char* text : {"abc", "0x2580", "99999999999999999999", "-9600", "+9600", "9600.0",
                             "09600", "9600 baud", "2147483647"}) {
        EXPECT_EQ(WhyNot(pty.path(), [text](std::string_view) { return text; }),
                  pty.path() + ": the speed " + text + " (COM1Speed in [Ports]) is not a standard rate");
    }
    // A long setting is cut for the message, never inside a character.
    EXPECT_EQ(WhyNot(pty.path(), [](std::string_view) { return std::string(23, '9') + "ｱｱ"; }),
              pty.path() + ": the speed " + std::string(23, '9') + "... (COM1Speed in [Ports]) is "
              "not a standard rate");

    termios after = {};
    for (const char* text : {"", "0", "19200"}) {
        EXPECT_EQ(WhyNot(pty.path(), [text](std::string_view) { return text; }), "opened") << text;
        ASSERT_EQ(tcgetattr(pty.slave(), &after), 0);
        EXPECT_EQ(cfgetospeed(&after), std::string(text) == "19200" ? speed_t(B19200) : speed_t(B9600))
            << text;
    }
}

TEST(PosixSerialPorts, ABackgroundProgramOnItsOwnTerminalIsNotStopped) {
    Pty pty;
    ASSERT_TRUE(pty.ok());
    // A session with the pty as its terminal, and in it a background process
    // group that opens, writes, reads and closes the line: every change of the
    // terminal's settings would raise SIGTTOU there, and a read SIGTTIN, which
    // stop a process.
    pty.Say("OK\r\n");
    pty.Received();  // the terminal's own echo of it
    const pid_t leader = fork();
    if (leader == 0) {
        if (setsid() < 0 || ioctl(pty.slave(), TIOCSCTTY, 0) != 0) _exit(2);
        const pid_t background = fork();
        if (background == 0) {
            setpgid(0, 0);
            PosixSerialPorts ports([&](std::string_view) { return pty.path(); },
                                   [](std::string_view name) { return name == "COM2" ? "2400" : ""; });
            for (const char* name : {"COM1", "COM2"}) {
                auto line = ports.Open(name);
                std::string said;
                if (!line || !line->Write("ATZ\r\r\n")) _exit(3);
                line->Read(said, 100);
            }
            _exit(0);
        }
        int status = 0;
        for (int i = 0; i < 100; ++i) {
            if (waitpid(background, &status, WNOHANG | WUNTRACED) == background) break;
            usleep(50000);
        }
        if (WIFEXITED(status)) _exit(WEXITSTATUS(status));
        kill(background, SIGKILL);
        waitpid(background, nullptr, 0);
        _exit(WIFSTOPPED(status) ? 4 : 5);
    }
    int status = 0;
    ASSERT_EQ(waitpid(leader, &status, 0), leader);
    // 4: stopped by a signal, 3: the line failed, 2: no session to test in.
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(pty.Received(), "ATZ\r\r\nATZ\r\r\n");
}

TEST(PosixSerialPorts, AWriteNobodyTakesGivesUpInsteadOfHanging) {
    Pty pty;
    ASSERT_TRUE(pty.ok());
    // Nobody reads the master: the terminal buffers fill and stay full.
    std::atomic<bool> finished = false;
    bool written = true;
    std::thread writer([&] {
        auto line = PortsTo(pty.path()).Open("COM1");
        written = line && line->Write(std::string(1 << 20, '5'));
        line.reset();
        finished = true;
    });
    for (int i = 0; i < 300 && !finished; ++i) std::this_thread::sleep_for(50ms);
    const bool gaveUp = finished;
    if (!gaveUp) pty.CloseMaster();  // free the writer so the test can end
    writer.join();
    EXPECT_TRUE(gaveUp);
    EXPECT_FALSE(written);
}

}  // namespace
