// Dialing through a modem on Windows. The device is a file, which the serial
// ports append to as a device would take the bytes; a pipe without a server
// stands for a device nobody reads.
#include <fstream>
#include <iterator>
#include <random>

#include "platform/win32/win32_serial_ports.h"
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
        std::ofstream(WorkingDevice(), std::ios::binary);
        devices["COM1"] = WorkingDevice();
        app.AttachPlatform(&ui, &ui, &ports);
    }
    void Settings(const std::string& dial, const std::string& modemExtra = "") {
        SetProfile("[Flag and Numeric]\nOutputDevice=1\n[Dial]\nLastDial=" + dial + "\n[Modem]\n" +
                   modemExtra);
    }
    // Everything the modem has received since the last call.
    std::string Received() {
        std::ifstream in(WorkingDevice(), std::ios::binary);
        const std::string all{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        const std::string fresh = all.substr(std::min(seen, all.size()));
        seen = all.size();
        return fresh;
    }
    std::string WorkingDevice() const { return dir / "modem"; }
    std::string MissingDevice() const { return dir / "no-such-device"; }
    std::string DeviceNobodyReads() const {
        return "\\\\.\\pipe\\vantrel-test-nobody-" + std::to_string(std::random_device()());
    }
    // A file takes every byte as it is; there are no line settings to keep.
    void StartTranslatingLineEnds() {}
    void ExpectLineSettingsKept() {}
    // A file cannot be taken away while it is held.
    static bool CanLoseDevice() { return false; }
    void LoseDevice() {}
    int RunAndClose() {
        ui.SysCommand(SC_CLOSE);
        return Run();
    }

    std::map<std::string, std::string> devices;
    platform::Win32SerialPorts ports;
    size_t seen = 0;
};

}  // namespace

#include "dialer/modem_dial_cases.h"
