#include "platform/posix/fd_io.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>

namespace posix_io {

bool WriteAll(int fd, std::string_view bytes, std::optional<Clock::time_point> deadline) {
    while (!bytes.empty()) {
        const ssize_t written = write(fd, bytes.data(), bytes.size());
        if (written > 0) {
            bytes.remove_prefix(static_cast<size_t>(written));
            continue;
        }
        if (written < 0 && errno == EINTR) continue;
        if (written == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) return false;

        int timeout = -1;
        if (deadline) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                                  *deadline - Clock::now())
                                  .count();
            timeout = left > 0 ? static_cast<int>(left) : 0;
        }
        pollfd ready = {fd, POLLOUT, 0};
        const int polled = poll(&ready, 1, timeout);
        if (polled < 0 && errno == EINTR) continue;
        if (polled <= 0) return false;                  // timed out or failed
        if (!(ready.revents & POLLOUT)) return false;  // hung up or in error
    }
    return true;
}

ScopedIgnoreSignal::ScopedIgnoreSignal(int sig) : sig_(sig) {
    struct sigaction ignore = {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    active_ = sigaction(sig_, &ignore, &old_) == 0;
}

ScopedIgnoreSignal::~ScopedIgnoreSignal() {
    if (active_) sigaction(sig_, &old_, nullptr);
}

}  // namespace posix_io
