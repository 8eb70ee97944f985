// Dialing through a modem on a real pseudo-terminal.
#include <fcntl.h>
#include <pty.h>
#include <sys/stat.h>
#include <termios.h>

#include "platform/posix/serial_ports.h"
#include "support/dialer_fixture.h"

using namespace testing_support;

namespace {

class ModemDialTest : public DialerTest {
protected:
    ModemDialTest()
        : ports([this](std::string_view name) {
              auto it = devices.find(std::string(name));
              return it == devices.end() ? MissingDevice() : it->second;
          }) {
        char name[256];
        EXPECT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
        fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
        devices["COM1"] = name;
        app.AttachPlatform(&ui, &ui, &ports);
    }
    ~ModemDialTest() override {
        close(master);
        close(slave);
    }
    void Settings(const std::string& dial, const std::string& modemExtra = "") {
        SetProfile("[Flag and Numeric]\nOutputDevice=1\n[Dial]\nLastDial=" + dial + "\n[Modem]\n" +
                   modemExtra);
    }
    // Everything the modem has received since the last call.
    std::string Received() {
        std::string out;
        char buf[1024];
        ssize_t n;
        while ((n = read(master, buf, sizeof buf)) > 0) out.append(buf, size_t(n));
        return out;
    }
    std::string WorkingDevice() const { return ttyname(slave); }
    static std::string MissingDevice() { return "/nonexistent/tty"; }
    // A FIFO without a reader: a plain open would wait for one.
    std::string DeviceNobodyReads() {
        const std::string fifo = dir / "fifo";
        EXPECT_EQ(mkfifo(fifo.c_str(), 0600), 0);
        return fifo;
    }
    // The pty's own output processing would turn LF into CR LF.
    void StartTranslatingLineEnds() {
        tcgetattr(slave, &translating);
        translating.c_oflag |= OPOST | ONLCR;
        tcsetattr(slave, TCSANOW, &translating);
    }
    void ExpectLineSettingsKept() {
        termios after{};
        tcgetattr(slave, &after);
        EXPECT_EQ(after.c_oflag, translating.c_oflag);  // line settings left as they were
    }
    int RunAndClose() {
        ui.SysCommand(SC_CLOSE);
        return Run();
    }

    std::map<std::string, std::string> devices;
    PosixSerialPorts ports;
    int master = -1, slave = -1;
    termios translating{};
};

}  // namespace

#include "dialer/modem_dial_cases.h"
