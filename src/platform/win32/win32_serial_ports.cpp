#include "platform/win32/win32_serial_ports.h"

#include <algorithm>

#include <windows.h>

#include "platform/win32/win32_text.h"

namespace platform {
namespace {

class Win32SerialLine : public port::SerialLine {
public:
    Win32SerialLine(HANDLE file, unsigned timeoutMs, bool readable)
        : file_(file),
          event_(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
          timeoutMs_(timeoutMs),
          readable_(readable) {}
    ~Win32SerialLine() override {
        if (event_) CloseHandle(event_);
        CloseHandle(file_);
    }
    Win32SerialLine(const Win32SerialLine&) = delete;
    Win32SerialLine& operator=(const Win32SerialLine&) = delete;

    bool Read(std::string& out, size_t maxBytes) override {
        DWORD available = 0;
        if (!readable_) return true;
        switch (GetFileType(file_)) {
            case FILE_TYPE_CHAR: {
                COMSTAT state{};
                DWORD errors = 0;
                if (!ClearCommError(file_, &errors, &state)) return false;
                available = state.cbInQue;
                break;
            }
            case FILE_TYPE_PIPE:
                if (!PeekNamedPipe(file_, nullptr, 0, nullptr, &available, nullptr)) return false;
                break;
            default: return true;  // a file standing in for the device says nothing
        }
        available = DWORD(std::min<size_t>(available, maxBytes));
        if (available == 0 || !event_) return true;
        // Only what has arrived is asked for, so the read completes at once.
        std::string chunk(available, '\0');
        OVERLAPPED ov{};
        ov.hEvent = event_;
        ResetEvent(event_);
        DWORD got = 0;
        if (!ReadFile(file_, chunk.data(), available, &got, &ov)) {
            if (GetLastError() != ERROR_IO_PENDING) return false;
            if (WaitForSingleObject(event_, timeoutMs_) != WAIT_OBJECT_0) {
                CancelIo(file_);
                GetOverlappedResult(file_, &ov, &got, TRUE);
                return true;
            }
            if (!GetOverlappedResult(file_, &ov, &got, FALSE)) return false;
        }
        out.append(chunk.data(), got);
        return true;
    }

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
    bool readable_;
};

}  // namespace

std::string DefaultWin32SerialDevice(std::string_view portName) {
    if (portName.size() == 4 && portName.substr(0, 3) == "COM" && portName[3] >= '1' &&
        portName[3] <= '4')
        return "\\\\.\\" + std::string(portName);
    return {};
}

std::string SerialOpenReason(unsigned long error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_BAD_NETPATH:
        case ERROR_INVALID_NAME: return "does not exist";
        // A serial port is only ever open once: someone else having it is refused like this.
        case ERROR_ACCESS_DENIED:
            return "busy, held by another program, or not yours to use";
        case ERROR_SHARING_VIOLATION:
        case ERROR_PIPE_BUSY:
        case ERROR_BUSY: return "busy, held by another program";
        case ERROR_GEN_FAILURE:
        case ERROR_DEVICE_NOT_CONNECTED:
        case ERROR_NOT_READY: return "no device answers behind it (is the modem plugged in?)";
        default: return "cannot be opened (Windows error " + std::to_string(error) + ")";
    }
}

Win32SerialPorts::Win32SerialPorts(std::function<std::string(std::string_view)> devicePathFor,
                                   unsigned writeTimeoutMs,
                                   std::function<std::string(std::string_view)> speedFor)
    : devicePathFor_(devicePathFor ? std::move(devicePathFor) : DefaultWin32SerialDevice),
      writeTimeoutMs_(writeTimeoutMs),
      speedFor_(std::move(speedFor)) {}

std::unique_ptr<port::SerialLine> Win32SerialPorts::Open(std::string_view name) {
    const std::string path = devicePathFor_(name);
    if (path.empty()) {
        lastFailure_ = {"", std::string(name) + " has no device"};
        return nullptr;
    }
    const std::string speedText = speedFor_ ? speedFor_(name) : std::string();
    const std::optional<int> baud = port::ParseLineSpeed(speedText);
    if (!baud) {
        lastFailure_ = {path, port::LineSpeedRefusal(name, speedText)};
        return nullptr;
    }
    const std::wstring wide = Widen(path);
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        lastFailure_ = {path, "not a serial device"};
        return nullptr;
    }
    // Overlapped, so that no write can wait without a bound. Read access where
    // the device gives it, for the modem's replies; a file standing in for
    // the device may be read by others meanwhile.
    HANDLE file = CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                              nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    bool readable = file != INVALID_HANDLE_VALUE;
    if (!readable && GetLastError() == ERROR_ACCESS_DENIED && path.rfind("\\\\.\\pipe\\", 0) == 0)
        file = CreateFileW(wide.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_FLAG_OVERLAPPED, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        lastFailure_ = {path, SerialOpenReason(GetLastError())};
        return nullptr;
    }
    if (*baud != 0 && GetFileType(file) == FILE_TYPE_CHAR) {
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        bool ok = GetCommState(file, &dcb);
        dcb.BaudRate = DWORD(*baud);
        dcb.ByteSize = 8;
        dcb.Parity = NOPARITY;
        dcb.StopBits = ONESTOPBIT;
        dcb.fBinary = TRUE;
        dcb.fParity = FALSE;
        if (!ok || !SetCommState(file, &dcb)) {
            CloseHandle(file);
            lastFailure_ = {path, "its speed cannot be set to " + std::to_string(*baud)};
            return nullptr;
        }
    }
    return std::make_unique<Win32SerialLine>(file, writeTimeoutMs_, readable);
}

}  // namespace platform
