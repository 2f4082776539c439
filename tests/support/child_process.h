// Checks that run in a forked child: a call that might block for ever or
// take the whole machine's memory, or one that must run without root's
// privileges. The child reports what went wrong as text; "" means every
// check held.
#pragma once

#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>

namespace child_process {

// The unprivileged account checks switch to when the tests run as root.
constexpr uid_t nobody = 65534;

// What came back from a child: its report, or why there is none.
struct Outcome {
    std::string report;
    bool skipped = false;  // it could not become nobody
};

// Runs checks in a child process. A child still running after deadline
// seconds is killed and reported as blocked: that is a hang, not slowness.
// With as_nobody the child first becomes uid and gid 65534 (the caller runs
// as root).
inline Outcome run(const std::function<std::string()>& checks, int deadline = 60, bool as_nobody = false) {
    int channel[2];
    if (pipe(channel) != 0) return {"pipe failed"};
    pid_t child = fork();
    if (child < 0) return {"fork failed"};
    if (child == 0) {
        close(channel[0]);
        std::string report;
        if (as_nobody && (setgroups(0, nullptr) != 0 || setgid(nobody) != 0 || setuid(nobody) != 0)) {
            report = "\x01";  // skipped
        } else {
            report = checks();
        }
        for (std::size_t sent = 0; sent < report.size();) {
            ssize_t n = write(channel[1], report.data() + sent, report.size() - sent);
            if (n <= 0) break;
            sent += static_cast<std::size_t>(n);
        }
        _exit(0);
    }
    close(channel[1]);
    Outcome outcome;
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(deadline);
    bool blocked = false;
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            blocked = true;
            break;
        }
        pollfd wait_for{channel[0], POLLIN, 0};
        if (poll(&wait_for, 1, static_cast<int>(left.count())) <= 0) continue;
        char buffer[4096];
        ssize_t n = read(channel[0], buffer, sizeof buffer);
        if (n <= 0) break;
        outcome.report.append(buffer, static_cast<std::size_t>(n));
    }
    close(channel[0]);
    if (blocked) kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    if (blocked) return {"the child was still running after " + std::to_string(deadline) + " seconds"};
    if (WIFSIGNALED(status)) return {"the child ended by signal " + std::to_string(WTERMSIG(status))};
    if (outcome.report == "\x01") return {"", true};
    return outcome;
}

// Runs checks without root's privileges: in a child as nobody when the
// tests run as root, else right here.
inline Outcome run_unprivileged(const std::function<std::string()>& checks) {
    if (geteuid() != 0) return {checks()};
    return run(checks, 60, true);
}

// Appends a line to a report when a check does not hold.
inline void check(std::string& report, bool held, const std::string& what) {
    if (!held) report += what + "\n";
}

}  // namespace child_process
