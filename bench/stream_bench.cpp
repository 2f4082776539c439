// diagram_batch's peak memory on books of many positions, read as a stream:
// 100,000 and 1,000,000 FEN lines or PGN games as a book (3x4, numbers,
// answer key) from standard input. Reports
//
//   peak_mb   the run's peak resident memory
//   floor_mb  the same book of 1,000 items, in the same run
//   ratio     peak over floor (the goal: memory does not grow with the input)
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#ifdef DIAGRAM_BATCH

namespace {

namespace fs = std::filesystem;

// The inputs and the book, removed at the end of the run.
struct Scratch {
    Scratch() : path(fs::temp_directory_path() / ("diagram-stream-bench-" + std::to_string(getpid()))) {
        fs::create_directories(path);
    }
    ~Scratch() {
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }
    fs::path path;
};

fs::path scratch() {
    static const Scratch folder;
    return folder.path;
}

// The input of `count` items, made once a run.
std::string input(bool games, long count) {
    const fs::path path = scratch() / ((games ? "games-" : "lines-") + std::to_string(count));
    if (fs::exists(path)) return path.string();
    std::ofstream out(path, std::ios::binary);
    for (long n = 1; n <= count; ++n) {
        if (games) {
            out << "[Event \"E" << n << "\"]\n[White \"W" << n << "\"]\n[Black \"B\"]\n\n"
                << "1. e4 e5 2. Nf3 Nc6 3. Bb5 a6 4. Ba4 Nf6 5. O-O Be7 *\n\n";
        } else {
            out << "4k3/8/8/8/8/8/8/R3K3 w - - 0 1 Study " << n << "\n";
        }
    }
    return path.string();
}

// The book made from `path` on standard input; its peak resident memory in
// MB, or -1 when the run failed.
double peak_mb(const std::string& path) {
    const std::string book = (scratch() / "book.pdf").string();
    const pid_t pid = fork();
    if (pid == 0) {
        const int in = open(path.c_str(), O_RDONLY);
        const int null = open("/dev/null", O_WRONLY);
        if (in < 0 || null < 0) _exit(127);
        dup2(in, STDIN_FILENO);
        dup2(null, STDERR_FILENO);
        execl(DIAGRAM_BATCH, DIAGRAM_BATCH, "--layout", "3x4", "--numbers", "--solutions", "-o", book.c_str(), "-",
              static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    rusage usage {};
    if (pid < 0 || wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -1;
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

void BM_BookPeakMemory(benchmark::State& state) {
    const bool games = state.range(0) == 1;
    const long count = state.range(1);
    const std::string big = input(games, count), small = input(games, 1000);
    double peak = 0, floor = 0;
    for (auto _ : state) {
        floor = peak_mb(small);
        peak = peak_mb(big);
    }
    if (peak < 0 || floor <= 0) {
        state.SkipWithError("diagram_batch failed");
        return;
    }
    state.counters["peak_mb"] = peak;
    state.counters["floor_mb"] = floor;
    state.counters["ratio"] = peak / floor;
}
BENCHMARK(BM_BookPeakMemory)
    ->ArgNames({"games", "items"})
    ->Args({0, 100000})
    ->Args({0, 1000000})
    ->Args({1, 100000})
    ->Args({1, 1000000})
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

}  // namespace

#endif
