#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <set>
#include <string>

#include <unistd.h>

#include "batch/workers.h"

using batch::Outcome;

namespace {
struct Seen {
    std::map<std::size_t, Outcome> outcome;
    std::map<std::size_t, std::string> message;
    int duplicates = 0;
};

Seen run(std::size_t count, int workers, const batch::JobFunction& job) {
    Seen seen;
    batch::run_jobs(count, workers, job, [&](std::size_t i, Outcome o, const std::string& m) {
        if (seen.outcome.count(i)) ++seen.duplicates;
        seen.outcome[i] = o;
        seen.message[i] = m;
    });
    return seen;
}
}  // namespace

TEST(Workers, EveryJobReportedOnceFromOtherProcesses) {
    const pid_t parent = getpid();
    const Seen seen = run(101, 2, [&](std::size_t i, std::string& error) {
        if (getpid() == parent) {
            error = "ran in the parent";
            return false;
        }
        if (i % 10 == 3) {
            error = "job " + std::to_string(i) + " failed";
            return false;
        }
        return true;
    });
    EXPECT_EQ(seen.duplicates, 0);
    ASSERT_EQ(seen.outcome.size(), 101u);
    for (const auto& [i, o] : seen.outcome) {
        if (i % 10 == 3) {
            EXPECT_EQ(o, Outcome::Failed) << i;
            EXPECT_EQ(seen.message.at(i), "job " + std::to_string(i) + " failed");
        } else {
            EXPECT_EQ(o, Outcome::Done) << i << ": " << seen.message.at(i);
        }
    }
}

TEST(Workers, OneWorkerOrOneJobRunsInProcess) {
    const pid_t parent = getpid();
    for (auto [count, workers] : {std::pair<std::size_t, int>{5, 1}, {1, 4}}) {
        const Seen seen = run(count, workers, [&](std::size_t, std::string&) { return getpid() == parent; });
        ASSERT_EQ(seen.outcome.size(), count);
        for (const auto& [i, o] : seen.outcome) EXPECT_EQ(o, Outcome::Done) << i;
    }
}

TEST(Workers, AJobThatKillsItsWorkerLosesOnlyThatWorkersRest) {
    // Worker 0 takes the even jobs, worker 1 the odd; job 4 aborts worker 0.
    const Seen seen = run(10, 2, [](std::size_t i, std::string&) {
        if (i == 4) std::abort();
        return true;
    });
    EXPECT_EQ(seen.duplicates, 0);
    ASSERT_EQ(seen.outcome.size(), 10u);
    for (std::size_t i : {0, 2}) EXPECT_EQ(seen.outcome.at(i), Outcome::Done) << i;
    for (std::size_t i : {4, 6, 8}) {
        EXPECT_EQ(seen.outcome.at(i), Outcome::Lost) << i;
        EXPECT_EQ(seen.message.at(i), "its worker process killed by signal Aborted") << i;
    }
    for (std::size_t i : {1, 3, 5, 7, 9}) EXPECT_EQ(seen.outcome.at(i), Outcome::Done) << i;
}
