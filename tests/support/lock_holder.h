#pragma once
// Another process that holds a lock file, as a stopped or hung copy of the
// program would, until the test ends it.
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

namespace testing_support {

class LockHolder {
public:
    explicit LockHolder(const std::string& lockPath) {
        int ready[2];
        if (pipe(ready) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            close(ready[0]);
            const int fd = open(lockPath.c_str(), O_RDWR | O_CREAT, 0666);
            const char ok = fd >= 0 && flock(fd, LOCK_EX) == 0 ? 'y' : 'n';
            (void)!write(ready[1], &ok, 1);
            for (;;) pause();
        }
        close(ready[1]);
        char answer = 'n';
        held_ = pid_ > 0 && read(ready[0], &answer, 1) == 1 && answer == 'y';
        close(ready[0]);
    }
    ~LockHolder() { Release(); }
    LockHolder(const LockHolder&) = delete;
    LockHolder& operator=(const LockHolder&) = delete;

    bool Held() const { return held_; }
    void Release() {
        if (pid_ <= 0) return;
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
        held_ = false;
    }

private:
    pid_t pid_ = -1;
    bool held_ = false;
};

}  // namespace testing_support
