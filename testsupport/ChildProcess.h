#pragma once

// Test helper: runs a piece of a test in a child process, for what must not
// touch the test program itself (a file size limit, a mount namespace) and
// for calls that might block: the child is ended by SIGALRM after a few
// seconds, so a call that waits for good fails its test instead of hanging
// the suite.

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <functional>

namespace voltrex::testing {

// What RunInChild returns when the child was still running at its alarm.
inline constexpr int ChildTimedOut = 128 + SIGALRM;

// Runs body in a child and returns the status it returned (0 to 255), or 128
// plus the signal that ended it. The child leaves by _exit, so nothing of
// the test program (its exit handlers, its buffered output) runs twice.
inline int RunInChild(const std::function<int()>& body, unsigned seconds = 3) {
    std::fflush(nullptr);
    const pid_t child = ::fork();
    if (child < 0) {
        return -1;
    }
    if (child == 0) {
        ::alarm(seconds);
        ::_exit(body());
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) {
            return -1;
        }
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace voltrex::testing
