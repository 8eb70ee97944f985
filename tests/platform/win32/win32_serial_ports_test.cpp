// Windows only: built into the cross-compiled test program and run under Wine.
#ifdef _WIN32

#include <gtest/gtest.h>

#include <string>

#include "platform/win32/win32_serial_ports.h"

#include <windows.h>

namespace platform {
namespace {

// A named pipe stands in for the device: the test reads what the port wrote.
class PipeDevice {
public:
    PipeDevice(const wchar_t* name, DWORD buffer)
        : path_(std::wstring(L"\\\\.\\pipe\\") + name),
          pipe_(CreateNamedPipeW(path_.c_str(), PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED,
                                 PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, buffer, buffer,
                                 0, nullptr)) {}
    ~PipeDevice() {
        if (pipe_ != INVALID_HANDLE_VALUE) CloseHandle(pipe_);
    }
    bool Ok() const { return pipe_ != INVALID_HANDLE_VALUE; }
    std::string Path() const {
        std::string narrow;
        for (wchar_t c : path_) narrow += char(c);
        return narrow;
    }
    std::string ReadAvailable() {
        std::string out;
        DWORD avail = 0;
        while (PeekNamedPipe(pipe_, nullptr, 0, nullptr, &avail, nullptr) && avail > 0) {
            std::string chunk(avail, '\0');
            OVERLAPPED ov{};
            ov.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
            DWORD got = 0;
            if (!ReadFile(pipe_, chunk.data(), avail, &got, &ov) && GetLastError() == ERROR_IO_PENDING)
                GetOverlappedResult(pipe_, &ov, &got, TRUE);
            CloseHandle(ov.hEvent);
            out.append(chunk.data(), got);
        }
        return out;
    }

private:
    std::wstring path_;
    HANDLE pipe_;
};

TEST(Win32SerialPorts, PortNamesMapToTheirDevicesAndNothingElseOpens) {
    EXPECT_EQ(DefaultWin32SerialDevice("COM1"), "\\\\.\\COM1");
    EXPECT_EQ(DefaultWin32SerialDevice("COM4"), "\\\\.\\COM4");
    EXPECT_EQ(DefaultWin32SerialDevice("COM5"), "");
    EXPECT_EQ(DefaultWin32SerialDevice("COM0"), "");
    EXPECT_EQ(DefaultWin32SerialDevice("com1"), "");
    EXPECT_EQ(DefaultWin32SerialDevice("COM1 "), "");
    EXPECT_EQ(DefaultWin32SerialDevice(""), "");

    Win32SerialPorts ports([](std::string_view) { return std::string(); });
    EXPECT_EQ(ports.Open("COM1"), nullptr);
    Win32SerialPorts missing([](std::string_view) { return std::string("\\\\.\\pipe\\vantrel-none"); });
    EXPECT_EQ(missing.Open("COM1"), nullptr);
}

TEST(Win32SerialPorts, EveryByteArrivesAsWrittenWithoutTranslation) {
    PipeDevice device(L"vantrel-serial-bytes", 4096);
    ASSERT_TRUE(device.Ok());
    std::string asked;
    Win32SerialPorts ports([&](std::string_view name) {
        asked = std::string(name);
        return device.Path();
    });
    auto line = ports.Open("COM2");
    ASSERT_TRUE(line);
    EXPECT_EQ(asked, "COM2");
    EXPECT_TRUE(line->Write("ATZ\r\r\n"));
    EXPECT_TRUE(line->Write("ATDT0123-45,#*\r\r\n"));
    EXPECT_TRUE(line->Write(std::string("\0\n\x1a\xff", 4)));
    EXPECT_EQ(device.ReadAvailable(), std::string("ATZ\r\r\nATDT0123-45,#*\r\r\n\0\n\x1a\xff", 27));
}

TEST(Win32SerialPorts, RepliesAreReadAsTheyArriveAndFailuresSayWhy) {
    // A two-way pipe stands in for a modem that answers.
    const std::wstring path = L"\\\\.\\pipe\\vantrel-serial-replies";
    HANDLE modem = CreateNamedPipeW(path.c_str(), PIPE_ACCESS_DUPLEX,
                                    PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, 4096, 4096,
                                    0, nullptr);
    ASSERT_NE(modem, INVALID_HANDLE_VALUE);
    Win32SerialPorts ports([](std::string_view) { return std::string("\\\\.\\pipe\\vantrel-serial-replies"); });
    auto line = ports.Open("COM1");
    ASSERT_TRUE(line);
    std::string said;
    EXPECT_TRUE(line->Read(said, 100));
    EXPECT_EQ(said, "");
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(modem, "\r\nBUSY\r\n", 8, &written, nullptr));
    EXPECT_TRUE(line->Read(said, 100));
    EXPECT_EQ(said, "\r\nBUSY\r\n");

    // The one instance is taken: a second open is refused as busy.
    EXPECT_EQ(ports.Open("COM2"), nullptr);
    EXPECT_EQ(ports.LastFailure().device, "\\\\.\\pipe\\vantrel-serial-replies");
    EXPECT_EQ(ports.LastFailure().reason, "busy, held by another program");

    // The modem's end goes: the line says so.
    DisconnectNamedPipe(modem);
    CloseHandle(modem);
    EXPECT_FALSE(line->Read(said, 100));

    Win32SerialPorts missing([](std::string_view) { return std::string("C:\\no\\such\\device"); });
    EXPECT_EQ(missing.Open("COM1"), nullptr);
    EXPECT_EQ(missing.LastFailure().reason, "does not exist");
    Win32SerialPorts folder([](std::string_view) { return std::string("C:\\windows"); });
    EXPECT_EQ(folder.Open("COM1"), nullptr);
    EXPECT_EQ(folder.LastFailure().reason, "not a serial device");
    EXPECT_EQ(SerialOpenReason(ERROR_ACCESS_DENIED), "busy, held by another program, or not yours to use");

    // A speed setting that is no standard rate in plain decimal opens nothing.
    Win32SerialPorts oddSpeed([](std::string_view) { return std::string("C:\\windows"); }, 3000,
                              [](std::string_view) { return std::string("0x2580"); });
    EXPECT_EQ(oddSpeed.Open("COM3"), nullptr);
    EXPECT_EQ(oddSpeed.LastFailure().reason,
              "the speed 0x2580 (COM3Speed in [Ports]) is not a standard rate");
}

TEST(Win32SerialPorts, AStalledDeviceFailsTheWriteInsteadOfHoldingIt) {
    // Nobody reads, and the pipe holds little: the write cannot finish.
    PipeDevice device(L"vantrel-serial-stall", 64);
    ASSERT_TRUE(device.Ok());
    Win32SerialPorts ports([&](std::string_view) { return device.Path(); }, 300);
    auto line = ports.Open("COM1");
    ASSERT_TRUE(line);
    const DWORD start = GetTickCount();
    EXPECT_FALSE(line->Write(std::string(256 * 1024, 'x')));
    // Bounded by the timeout, with room for a slow machine; never forever.
    EXPECT_LT(GetTickCount() - start, 10000u);
}

}  // namespace
}  // namespace platform

#endif  // _WIN32
