#include "batch/run.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "batch/position_output.h"
#include "batch/workers.h"
#include "input/diagram_items.h"
#include "input/diagram_pictures.h"

namespace batch {

namespace {

std::string numbered(std::size_t number, std::size_t count) {
    const std::size_t width = std::to_string(count).size();
    std::string text = std::to_string(number);
    return std::string(width - text.size(), '0') + text;
}

// A progress line on a terminal, for runs that take longer than a second.
class Progress {
public:
    explicit Progress(std::size_t total) : total_(total), shown_(isatty(STDERR_FILENO) == 1) {
        start_ = last_ = Clock::now();
    }

    void step(bool ok) {
        ++done_;
        if (!ok) ++failed_;
        if (!shown_) return;
        const auto now = Clock::now();
        if (now - start_ < std::chrono::seconds(1) || now - last_ < std::chrono::milliseconds(100)) return;
        last_ = now;
        drawn_ = true;
        std::fprintf(stderr, "\r%s: %zu/%zu diagrams, %.0f/s\033[K", program, done_, total_, rate(now));
        std::fflush(stderr);
    }

    // Before a message, so that it does not run into the progress line.
    void clear() {
        if (drawn_) std::fprintf(stderr, "\r\033[K");
    }

    void finish() {
        if (!drawn_) return;
        const auto now = Clock::now();
        const double seconds = std::chrono::duration<double>(now - start_).count();
        std::fprintf(stderr, "\r%s: %zu of %zu diagrams written in %.1f s, %.0f/s\033[K\n", program, done_ - failed_,
                     total_, seconds, rate(now));
    }

private:
    using Clock = std::chrono::steady_clock;
    double rate(Clock::time_point now) const {
        const double seconds = std::chrono::duration<double>(now - start_).count();
        return seconds > 0 ? static_cast<double>(done_) / seconds : 0.0;
    }

    std::size_t total_;
    std::size_t done_ = 0;
    std::size_t failed_ = 0;
    bool shown_;
    bool drawn_ = false;
    Clock::time_point start_, last_;
};

// Every input is read, and every bad line or game reported, before
// anything is drawn: a PGN file game by game, keeping only the diagrams. A
// diagram's file takes its place among all lines and games that hold or
// should hold one, so that one mended later keeps its name. `slots` counts
// those places.
std::vector<BookItem> read_items(const Options& options, std::size_t& slots, bool& rejected) {
    std::vector<BookItem> items;
    slots = read_inputs(
        options,
        [&](const chess::input::DiagramItem& read) {
            BookItem item;
            item.position = read.position;
            item.caption = read.caption;
            item.marks = read.marks;
            item.solution = read.solution;
            item.place = read.number;
            items.push_back(std::move(item));
        },
        rejected);
    // The number each diagram prints: its place among those drawn.
    for (std::size_t k = 0; k < items.size(); ++k) items[k].number = static_cast<int>(k + 1);
    return items;
}

// The items as pages: one PDF book, or one file a page.
int write_book(const Options& options, const Plan& plan, const DrawSettings& draw, const std::vector<BookItem>& items,
           bool rejected) {
    std::string error;
    const std::string book_path = plan.folder ? plan.path + "book.pdf" : plan.path;
    // Pages are named as single diagrams are, by their number.
    const std::size_t per_page = static_cast<std::size_t>(options.run.columns * options.run.rows);
    const std::size_t estimate = (items.size() + per_page - 1) / per_page + (options.run.solutions ? 1 : 0);
    auto page_path = [&](int page) {
        return plan.path + numbered(static_cast<std::size_t>(page), std::max<std::size_t>(estimate, 100)) + "." +
               extension_of(plan.format);
    };
    // An interrupt stops the book between two diagrams: its temporary
    // file is removed rather than left half-written, then the signal
    // ends the run.
    sigset_t held, saved;
    sigemptyset(&held);
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&held, signal);
    sigprocmask(SIG_BLOCK, &held, &saved);
    auto arriving = [&] {
        sigset_t pending;
        if (sigpending(&pending) != 0) return 0;
        for (int signal : {SIGINT, SIGTERM, SIGHUP})
            if (sigismember(&pending, signal)) return signal;
        return 0;
    };
    auto arrived = [&] { return arriving() != 0; };
    Progress progress(items.size());
    int pages = 0;
    std::size_t placed = 0;
    const bool ok = write_pages(items, options.run, draw, book_path, page_path,
                                       [&] {
                                           ++placed;
                                           progress.step(true);
                                           return !arrived();
                                       },
                                       pages, error);
    progress.finish();
    if (!ok) {
        progress.clear();
        if (arrived()) {
            std::fprintf(stderr, "%s: interrupted after %zu of %zu diagrams: the book is not written\n", program,
                         placed, items.size());
            std::fflush(stderr);
            // Ended by the signal, as its default action would have.
            const int signal = arriving();
            std::signal(signal, SIG_DFL);
            sigprocmask(SIG_SETMASK, &saved, nullptr);
            sigset_t one;
            sigemptyset(&one);
            sigaddset(&one, signal);
            sigprocmask(SIG_UNBLOCK, &one, nullptr);
        } else {
            std::fprintf(stderr, "%s: %s\n", program, error.c_str());
        }
        sigprocmask(SIG_SETMASK, &saved, nullptr);
        return exit_nothing;
    }
    sigprocmask(SIG_SETMASK, &saved, nullptr);
    return rejected ? exit_partly : exit_done;
}

// One file a diagram, drawn by the worker processes.
int write_diagrams(const Options& options, const Plan& plan, const DrawSettings& draw,
                   const std::vector<BookItem>& items, std::size_t slots, bool rejected) {
    struct Job {
        const BookItem* item;
        std::string path;
    };
    std::vector<Job> jobs;
    for (std::size_t k = 0; k < items.size(); ++k) {
        const std::string path = plan.folder ? plan.path + numbered(items[k].place, slots) + "." +
                                                   extension_of(plan.format)
                                             : plan.path;
        jobs.push_back({&items[k], path});
    }

    Progress progress(jobs.size());
    std::size_t written = 0;
    run_jobs(
        jobs.size(), options.jobs,
        [&](std::size_t i, std::string& cause) {
            const BookItem& item = *jobs[i].item;
            if (!options.styled) return write_diagram(item.position, item.caption, item.marks, draw, jobs[i].path, cause);
            return write_styled_diagram(item, options.run, draw, jobs[i].path, cause);
        },
        [&](std::size_t i, Outcome outcome, const std::string& message) {
            const bool ok = outcome == Outcome::Done;
            if (ok) {
                ++written;
            } else {
                progress.clear();
                if (outcome == Outcome::Lost && interrupted()) {
                    // Counted in the summary below.
                } else if (outcome == Outcome::Lost) {
                    std::fprintf(stderr, "%s: %s: not written: %s\n", program, jobs[i].path.c_str(), message.c_str());
                } else {
                    std::fprintf(stderr, "%s: %s\n", program, message.c_str());
                }
                rejected = true;
            }
            progress.step(ok);
        });
    progress.finish();
    if (interrupted()) {
        std::fprintf(stderr, "%s: interrupted: %zu of %zu diagrams written\n", program, written, jobs.size());
        raise_held_signal();
    }

    if (written == 0) return exit_nothing;
    return rejected ? exit_partly : exit_done;
}

}  // namespace

std::size_t read_inputs(const Options& options, const std::function<void(const chess::input::DiagramItem&)>& take,
                        bool& rejected) {
    namespace input = chess::input;
    // A folder stands for the diagram pictures in it, by name.
    std::vector<std::string> inputs;
    for (const std::string& path : options.inputs) {
        std::error_code ignored;
        if (path == "-" || !std::filesystem::is_directory(path, ignored)) {
            inputs.push_back(path);
            continue;
        }
        std::string error;
        if (!input::diagram_pictures_in(path, inputs, error)) {
            std::fprintf(stderr, "%s: %s\n", program, error.c_str());
            rejected = true;
        }
    }
    input::ItemReader reader(take, [&](const input::ReadProblem& problem) {
        // A bad line, game or picture names its input and place; an input
        // that cannot be read is the program's complaint.
        if (problem.number > 0) {
            std::fprintf(stderr, "%s\n", problem.message.c_str());
        } else {
            std::fprintf(stderr, "%s: %s\n", program, problem.message.c_str());
        }
        rejected = true;
    });
    if (options.caption) reader.set_caption_template(*options.caption);
    for (const std::string& path : inputs) {
        // Standard input is a list, or PGN when asked; a file is what its
        // name and first bytes say.
        input::Kind kind = path == "-" ? input::Kind::List : input::kind_of(path);
        if (options.pgn && kind != input::Kind::Picture) kind = input::Kind::Pgn;
        reader.read(path, kind);
    }
    return reader.count();
}

int run(const Options& options) {
    if (options.list_format) return write_position_list(options);
    std::size_t slots = 0;
    bool rejected = false;
    const std::vector<BookItem> items = read_items(options, slots, rejected);
    if (slots == 0) fail("no positions in the input");
    const Plan plan = plan_output(options, slots);
    if (items.empty()) fail("no position could be read");
    DrawSettings draw = options.draw;
    draw.format = plan.format;

    std::string error;
    if (!prepare_drawing(draw, error)) fail(error);
    if (plan.folder) {
        std::error_code failed;
        std::filesystem::create_directories(plan.path, failed);
        if (failed) fail(plan.path + ": " + failed.message());
    }
    if (options.run.columns > 0) return write_book(options, plan, draw, items, rejected);
    return write_diagrams(options, plan, draw, items, slots, rejected);
}

}  // namespace batch
