// Opens COUNT connections to a local socket and holds them, idle, until it is
// killed; prints how many it made. Usage: connection_flood SOCKET COUNT
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
    if (argc != 3 || std::strlen(argv[1]) >= sizeof(sockaddr_un::sun_path)) {
        std::fprintf(stderr, "usage: connection_flood SOCKET COUNT\n");
        return 2;
    }
    rlimit limit{};
    getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);

    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strcpy(addr.sun_path, argv[1]);
    // A listener that no longer accepts must not hold this up for long.
    const timeval patience{2, 0};
    int made = 0;
    for (int i = std::atoi(argv[2]); i > 0; --i) {
        const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0) break;
        setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &patience, sizeof patience);
        if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0)
            ++made;
        else
            close(fd);
    }
    std::printf("%d\n", made);
    std::fflush(stdout);
    for (;;) pause();
}
