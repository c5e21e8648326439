// SPDX-License-Identifier: MIT
// Runs a piece of a test as an unprivileged user: in a child process that gives up root
// (user and group "nobody") before it runs, so that file and device permissions apply even
// when the suite runs as root. The child's answer comes back as its exit status.
#pragma once

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

namespace corvex::test {

inline constexpr uid_t kNobody = 65534;

// Runs `body` in a child without root's rights and returns its result (0..255), or -1 when
// the child could not drop its rights or did not end normally. Without root the body runs
// in a child all the same, as the caller already lacks the rights.
inline int runUnprivileged(const std::function<int()> &body) {
    const pid_t child = ::fork();
    if (child < 0) return -1;
    if (child == 0) {
        if (::geteuid() == 0) {
            const gid_t group = kNobody;
            if (::setgroups(1, &group) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)
                ::_exit(255);
        }
        ::_exit(body() & 0xff);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) != 255 ? WEXITSTATUS(status) : -1;
}

}  // namespace corvex::test
