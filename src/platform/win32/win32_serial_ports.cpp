#include "platform/win32/win32_serial_ports.h"

#include <algorithm>

#include <windows.h>

#include "platform/win32/win32_text.h"

namespace platform {
namespace {

class Win32SerialLine : public port::SerialLine {
public:
    Win32SerialLine(HANDLE file, unsigned timeoutMs)
        : file_(file), event_(CreateEventW(nullptr, TRUE, FALSE, nullptr)), timeoutMs_(timeoutMs) {}
    ~Win32SerialLine() override {
        if (event_) CloseHandle(event_);
        CloseHandle(file_);
    }
    Win32SerialLine(const Win32SerialLine&) = delete;
    Win32SerialLine& operator=(const Win32SerialLine&) = delete;

    bool Write(std::string_view bytes) override {
        if (!event_) return false;
        const DWORD deadline = GetTickCount() + timeoutMs_;
        while (!bytes.empty()) {
            const DWORD chunk = DWORD(std::min<size_t>(bytes.size(), 0x10000));
            DWORD written = 0;
            if (!WriteChunk(bytes.data(), chunk, deadline, written) || written == 0) return false;
            bytes.remove_prefix(written);
        }
        return true;
    }

private:
    bool WriteChunk(const char* data, DWORD size, DWORD deadline, DWORD& written) {
        OVERLAPPED ov{};
        // A file standing in for the device is appended to; a device ignores it.
        ov.Offset = 0xFFFFFFFF;
        ov.OffsetHigh = 0xFFFFFFFF;
        ov.hEvent = event_;
        ResetEvent(event_);
        if (WriteFile(file_, data, size, &written, &ov)) return true;
        if (GetLastError() != ERROR_IO_PENDING) return false;
        const DWORD now = GetTickCount();
        const DWORD left = LONG(deadline - now) > 0 ? deadline - now : 0;
        if (WaitForSingleObject(event_, left) != WAIT_OBJECT_0) {
            // Stalled: withdraw the write and wait for the withdrawal, so the
            // buffer is not used after this returns.
            CancelIo(file_);
            GetOverlappedResult(file_, &ov, &written, TRUE);
            return false;
        }
        return GetOverlappedResult(file_, &ov, &written, FALSE) != 0;
    }

    HANDLE file_;
    HANDLE event_;
    unsigned timeoutMs_;
};

}  // namespace

std::string DefaultWin32SerialDevice(std::string_view portName) {
    if (portName.size() == 4 && portName.substr(0, 3) == "COM" && portName[3] >= '1' &&
        portName[3] <= '4')
        return "\\\\.\\" + std::string(portName);
    return {};
}

Win32SerialPorts::Win32SerialPorts(std::function<std::string(std::string_view)> devicePathFor,
                                   unsigned writeTimeoutMs)
    : devicePathFor_(devicePathFor ? std::move(devicePathFor) : DefaultWin32SerialDevice),
      writeTimeoutMs_(writeTimeoutMs) {}

std::unique_ptr<port::SerialLine> Win32SerialPorts::Open(std::string_view name) {
    const std::string path = devicePathFor_(name);
    if (path.empty()) return nullptr;
    // Overlapped, so that no write can wait without a bound.
    const HANDLE file = CreateFileW(Widen(path).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_OVERLAPPED, nullptr);
    if (file == INVALID_HANDLE_VALUE) return nullptr;
    return std::make_unique<Win32SerialLine>(file, writeTimeoutMs_);
}

}  // namespace platform
