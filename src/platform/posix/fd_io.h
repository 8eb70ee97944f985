#pragma once
// Descriptor helpers shared by the POSIX file and serial code.

#include <signal.h>

#include <chrono>
#include <optional>
#include <string_view>

namespace posix_io {

using Clock = std::chrono::steady_clock;

// Writes every byte, retrying interrupted calls. On a non-blocking descriptor
// a full device or pipe is waited for in poll(), but only until the deadline
// (none: as long as it takes). False on an error, a hang-up, a write that
// takes nothing, or the deadline passing.
bool WriteAll(int fd, std::string_view bytes,
              std::optional<Clock::time_point> deadline = std::nullopt);

// Ignores a signal for its lifetime and then restores what was there. Used
// around writes that would otherwise raise SIGPIPE (a FIFO's reader gone),
// SIGXFSZ (a file-size limit) or SIGTTOU (a background program's terminal):
// the write fails instead of the program ending.
class ScopedIgnoreSignal {
public:
    explicit ScopedIgnoreSignal(int sig);
    ~ScopedIgnoreSignal();
    ScopedIgnoreSignal(const ScopedIgnoreSignal&) = delete;
    ScopedIgnoreSignal& operator=(const ScopedIgnoreSignal&) = delete;

private:
    int sig_;
    bool active_ = false;
    struct sigaction old_ = {};
};

}  // namespace posix_io
