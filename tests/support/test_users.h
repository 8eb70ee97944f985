#pragma once
// Real users for tests of what one user's files may do to another's. Run as
// root, a test makes the users it needs (useradd; they go again when the test
// process ends) and becomes one of them in a child process; elsewhere it has
// no users and skips.
#include <grp.h>
#include <pwd.h>
#include <sys/types.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace testing_support {

// The user's number, making a system user of that name when there is none.
inline std::optional<uid_t> TestUser(const std::string& name) {
    if (geteuid() != 0) return std::nullopt;  // could be no one else
    for (int attempt = 0; attempt < 5; ++attempt) {
        if (const passwd* pw = getpwnam(name.c_str())) return pw->pw_uid;
        // Two tests at once may both try; the loser finds the user made.
        const std::string command = "useradd --system --no-create-home --user-group "
                                    "--shell /usr/sbin/nologin " + name + " >/dev/null 2>&1";
        if (std::system(command.c_str()) == 0) {
            static std::vector<std::string> made;
            if (made.empty()) {
                std::atexit([] {
                    for (const std::string& user : made) {
                        (void)!std::system(("userdel " + user + " >/dev/null 2>&1").c_str());
                    }
                });
            }
            made.push_back(name);
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
    }
    return std::nullopt;
}

// In a child process: become the user for good. False when that failed.
inline bool BecomeUser(uid_t uid) {
    const passwd* pw = getpwuid(uid);
    const gid_t gid = pw != nullptr ? pw->pw_gid : static_cast<gid_t>(uid);
    return setgroups(0, nullptr) == 0 && setgid(gid) == 0 && setuid(uid) == 0;
}

}  // namespace testing_support
