// Both sides of one benchmark: ours and a baseline doing the same job, timed
// in the same iterations on the same data, alternating which goes first.
// Reports the ratio ours / baseline; the iteration time is ours.
//
//   ratio      our time over the baseline's, all iterations together
//   ours_ms    our time per iteration
//   base_ms    the baseline's time per iteration
#pragma once

#include <benchmark/benchmark.h>

#include <chrono>
#include <functional>

namespace bench {

using Clock = std::chrono::steady_clock;

class Pair {
public:
    explicit Pair(benchmark::State& state) : state_(state) {}

    // One iteration: both sides, in an order that alternates.
    void run(const std::function<void()>& ours, const std::function<void()>& baseline) {
        if ((count_++ % 2) == 0) {
            double o = timed(ours);
            base_ += timed(baseline);
            ours_ += o;
            state_.SetIterationTime(o);
        } else {
            base_ += timed(baseline);
            double o = timed(ours);
            ours_ += o;
            state_.SetIterationTime(o);
        }
    }

    void report() {
        if (count_ == 0 || base_ <= 0) return;
        state_.counters["ratio"] = ours_ / base_;
        state_.counters["ours_ms"] = 1000 * ours_ / count_;
        state_.counters["base_ms"] = 1000 * base_ / count_;
    }

private:
    static double timed(const std::function<void()>& work) {
        Clock::time_point start = Clock::now();
        work();
        return std::chrono::duration<double>(Clock::now() - start).count();
    }

    benchmark::State& state_;
    long count_ = 0;
    double ours_ = 0;
    double base_ = 0;
};

}  // namespace bench
