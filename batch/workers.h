// Rendering a run's diagrams in worker processes.
//
// The picture store behind the raster pieces is one per process and not
// thread-safe, so the work is shared out to forked processes, which inherit
// everything the parent prepared (the loaded piece set, the positions) and
// report each result back through a pipe.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

namespace batch {

// Draws and writes job `index`; false with a message when it failed.
using JobFunction = std::function<bool(std::size_t index, std::string& error)>;

enum class Outcome {
    Done,    // the job said it succeeded
    Failed,  // the job said it failed, and why
    Lost,    // its worker ended before reporting it; the message says how
};
// Called in the calling process for every job, in the order results arrive.
using ResultFunction = std::function<void(std::size_t index, Outcome outcome, const std::string& message)>;

// While jobs run, SIGINT, SIGTERM and SIGHUP are held back: a diagram being
// written is finished, and no temporary file is left behind. Then the run
// stops, the jobs not done are reported as Lost ("interrupted"), and
// interrupted() names the signal, which the caller should raise again after
// its summary (raise_held_signal).
//
// Runs jobs 0 to count - 1 in up to `workers` processes (in the calling
// process when that is one, or when there is a single job). Jobs a worker
// could not report on (it crashed) are reported as Lost.
void run_jobs(std::size_t count, int workers, const JobFunction& job, const ResultFunction& result);

// The signal that stopped the last run_jobs, or 0.
int interrupted();
// Ends the process by the signal that stopped the run, as its default
// action would have; returns when there was none.
void raise_held_signal();

}  // namespace batch
