#include "batch/workers.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace batch {

namespace {

// One result on the pipe: the job's index, 1 for success, the length of
// the message, then the message's bytes.
struct RecordHead {
    std::uint32_t index;
    std::uint32_t ok;
    std::uint32_t length;
};

bool write_all(int fd, const void* data, std::size_t size) {
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd, bytes, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

const int held_signals[] = {SIGINT, SIGTERM, SIGHUP};
int stopping_signal = 0;

sigset_t held_set() {
    sigset_t set;
    sigemptyset(&set);
    for (int signal : held_signals) sigaddset(&set, signal);
    return set;
}

// A held signal that has arrived, or 0.
int pending_signal() {
    sigset_t pending;
    if (sigpending(&pending) != 0) return 0;
    for (int signal : held_signals) {
        if (sigismember(&pending, signal)) return signal;
    }
    return 0;
}

// Blocks the held signals for the lifetime of a run.
class HeldSignals {
public:
    HeldSignals() {
        const sigset_t set = held_set();
        sigprocmask(SIG_BLOCK, &set, &saved_);
    }
    // A signal that stopped the run stays held until raise_held_signal.
    ~HeldSignals() {
        if (!stopping_signal) sigprocmask(SIG_SETMASK, &saved_, nullptr);
    }

private:
    sigset_t saved_;
};

[[noreturn]] void work(int fd, std::size_t first, std::size_t count, std::size_t step, const JobFunction& job) {
    for (std::size_t i = first; i < count; i += step) {
        if (pending_signal()) _exit(4);
        std::string error;
        const bool ok = job(i, error);
        const RecordHead head{static_cast<std::uint32_t>(i), ok ? 1u : 0u, static_cast<std::uint32_t>(error.size())};
        if (!write_all(fd, &head, sizeof head) || !write_all(fd, error.data(), error.size())) _exit(3);
    }
    // No destructors and no exit handlers: they belong to the parent.
    _exit(0);
}

struct Worker {
    pid_t pid = -1;
    int fd = -1;
    std::size_t first = 0;
    std::vector<char> pending;
    std::vector<bool> reported;  // by position in the worker's share
};

std::string ending_of(int status) {
    if (WIFSIGNALED(status)) return std::string("killed by signal ") + strsignal(WTERMSIG(status));
    return "ended with status " + std::to_string(WEXITSTATUS(status));
}

}  // namespace

int interrupted() { return stopping_signal; }

void raise_held_signal() {
    if (!stopping_signal) return;
    std::fflush(stderr);
    signal(stopping_signal, SIG_DFL);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, stopping_signal);
    sigprocmask(SIG_UNBLOCK, &set, nullptr);
    raise(stopping_signal);
}

namespace {
// Runs jobs first, first + step, ... here, until a held signal arrives.
void run_here(std::size_t first, std::size_t count, std::size_t step, const JobFunction& job,
              const ResultFunction& result) {
    for (std::size_t i = first; i < count; i += step) {
        if (int signal = pending_signal()) {
            stopping_signal = signal;
            result(i, Outcome::Lost, "interrupted");
            continue;
        }
        std::string error;
        const bool ok = job(i, error);
        result(i, ok ? Outcome::Done : Outcome::Failed, error);
    }
}
}  // namespace

void run_jobs(std::size_t count, int workers, const JobFunction& job, const ResultFunction& result) {
    stopping_signal = 0;
    if (count == 0) return;
    HeldSignals held;
    std::size_t n = workers < 1 ? 1 : static_cast<std::size_t>(workers);
    if (n > count) n = count;
    if (n == 1) {
        run_here(0, count, 1, job, result);
        return;
    }

    std::fflush(stdout);
    std::fflush(stderr);
    std::vector<Worker> pool;
    for (std::size_t w = 0; w < n; ++w) {
        int ends[2];
        if (pipe(ends) != 0) break;
        const pid_t pid = fork();
        if (pid < 0) {
            close(ends[0]);
            close(ends[1]);
            break;
        }
        if (pid == 0) {
            close(ends[0]);
            for (const Worker& other : pool) close(other.fd);
            work(ends[1], w, count, n, job);
        }
        close(ends[1]);
        Worker worker;
        worker.pid = pid;
        worker.fd = ends[0];
        worker.first = w;
        worker.reported.assign((count - w + n - 1) / n, false);
        pool.push_back(std::move(worker));
    }
    // Shares no worker could be started for: done here.
    for (std::size_t w = pool.size(); w < n; ++w) run_here(w, count, n, job, result);

    std::size_t open = pool.size();
    std::vector<pollfd> polled;
    while (open > 0) {
        polled.clear();
        for (const Worker& worker : pool) {
            if (worker.fd >= 0) polled.push_back({worker.fd, POLLIN, 0});
        }
        // Woken now and then to see whether a signal asks the run to stop:
        // then every worker finishes the file it is writing and ends.
        const int ready_count = poll(polled.data(), polled.size(), 100);
        if (ready_count < 0 && errno != EINTR) break;
        if (int signal = pending_signal(); signal && !stopping_signal) {
            stopping_signal = signal;
            for (const Worker& worker : pool) kill(worker.pid, SIGTERM);
        }
        if (ready_count <= 0) continue;
        for (Worker& worker : pool) {
            if (worker.fd < 0) continue;
            bool ready = false;
            for (const pollfd& p : polled) {
                if (p.fd == worker.fd && p.revents) ready = true;
            }
            if (!ready) continue;
            char buffer[4096];
            const ssize_t got = ::read(worker.fd, buffer, sizeof buffer);
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) {
                close(worker.fd);
                worker.fd = -1;
                --open;
                continue;
            }
            worker.pending.insert(worker.pending.end(), buffer, buffer + got);
            std::size_t used = 0;
            while (worker.pending.size() - used >= sizeof(RecordHead)) {
                RecordHead head;
                std::memcpy(&head, worker.pending.data() + used, sizeof head);
                if (worker.pending.size() - used - sizeof head < head.length) break;
                const std::string error(worker.pending.data() + used + sizeof head, head.length);
                used += sizeof head + head.length;
                // Only a job of this worker's share, reported once, counts.
                const std::size_t slot = (head.index - worker.first) / n;
                if (head.index >= count || head.index < worker.first || (head.index - worker.first) % n != 0 ||
                    slot >= worker.reported.size() || worker.reported[slot]) {
                    continue;
                }
                worker.reported[slot] = true;
                result(head.index, head.ok != 0 ? Outcome::Done : Outcome::Failed, error);
            }
            worker.pending.erase(worker.pending.begin(), worker.pending.begin() + static_cast<long>(used));
        }
    }

    for (Worker& worker : pool) {
        if (worker.fd >= 0) close(worker.fd);
        int status = 0;
        while (waitpid(worker.pid, &status, 0) < 0 && errno == EINTR) {
        }
        for (std::size_t slot = 0; slot < worker.reported.size(); ++slot) {
            if (!worker.reported[slot]) {
                result(worker.first + slot * n, Outcome::Lost,
                       stopping_signal ? std::string("interrupted") : "its worker process " + ending_of(status));
            }
        }
    }
}

}  // namespace batch
