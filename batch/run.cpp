#include "batch/run.h"

#include <sys/signalfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "batch/output_checks.h"
#include "batch/position_output.h"
#include "batch/workers.h"
#include "input/diagram_items.h"
#include "input/diagram_pictures.h"
#include "input/input_source.h"
#include "pictures/files.h"

namespace batch {

namespace {

// Jobs handed to the workers at a time.
constexpr std::size_t jobs_a_batch = 4096;

std::string numbered(std::size_t number, std::size_t count) {
    const std::size_t width = std::to_string(count).size();
    std::string text = std::to_string(number);
    return std::string(width - text.size(), '0') + text;
}

// A progress line on a terminal, for runs that take longer than a second;
// a total of 0 is not known.
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
        if (total_ > 0) {
            std::fprintf(stderr, "\r%s: %zu/%zu diagrams, %.0f/s\033[K", program, done_, total_, rate(now));
        } else {
            std::fprintf(stderr, "\r%s: %zu diagrams, %.0f/s\033[K", program, done_, rate(now));
        }
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
                     total_ > 0 ? total_ : done_, seconds, rate(now));
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

namespace input = chess::input;

// The inputs the command line names: a folder stands for the diagram
// pictures in it, by name.
std::vector<std::string> input_paths(const Options& options, bool& rejected) {
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
    return inputs;
}

// A bad line, game or picture names its input and place; an input that
// cannot be read is the program's complaint. A game drawn as far as it goes
// is reported as one rejected; how a file was read, only to a person.
void tell(const input::ReadProblem& problem, bool& rejected) {
    using Severity = input::ReadProblem::Severity;
    if (problem.severity == Severity::Notice) {
        if (isatty(STDERR_FILENO) == 1) std::fprintf(stderr, "%s\n", problem.message.c_str());
        return;
    }
    if (problem.number > 0) {
        std::fprintf(stderr, "%s\n", problem.message.c_str());
    } else {
        std::fprintf(stderr, "%s: %s\n", program, problem.message.c_str());
    }
    rejected = true;
}

BookItem book_item(const input::DiagramItem& read, int number) {
    BookItem item;
    item.position = read.position;
    item.caption = read.caption;
    item.marks = read.marks;
    item.solution = read.solution;
    item.problem = read.problem;
    // A problem's solution as given, its lines and indentation kept.
    if (read.problem && !read.problem->solution.empty()) item.solution = read.problem->solution;
    item.place = read.number;
    item.number = number;
    return item;
}

// One input, opened once, and what its first bytes say it holds; one that
// could not be opened is read by path, for the reader to say why.
struct Input {
    std::string path;
    input::InputSource source;
    input::Kind kind = input::Kind::Nothing;
};

Input open_input(const Options& options, const std::string& path) {
    Input opened;
    opened.path = path;
    std::string ignored;
    if (!opened.source.open(path, ignored)) return opened;
    opened.kind = input::kind_of(opened.source);
    if (options.pgn && opened.kind != input::Kind::Picture) opened.kind = input::Kind::Pgn;
    return opened;
}

void read_input(input::ItemReader& reader, const Options& options, Input& in) {
    if (in.source.is_open()) {
        reader.read(in.source, in.kind);
    } else {
        reader.read(in.path, options.pgn);
    }
}

// Held-back signals (SIGINT, SIGTERM, SIGHUP) for as long as it lives: one
// that arrives is seen between two diagrams, and makes a read waiting on a
// stream give up (through `fd`).
class HeldSignals {
public:
    HeldSignals() {
        sigemptyset(&held_);
        for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&held_, signal);
        sigprocmask(SIG_BLOCK, &held_, &saved_);
        fd = signalfd(-1, &held_, SFD_CLOEXEC | SFD_NONBLOCK);
    }
    void let_through() { sigprocmask(SIG_SETMASK, &saved_, nullptr); }
    void hold() { sigprocmask(SIG_BLOCK, &held_, nullptr); }
    ~HeldSignals() {
        if (fd >= 0) close(fd);
        sigprocmask(SIG_SETMASK, &saved_, nullptr);
    }
    // The signal that has arrived, or 0.
    int arrived() const {
        sigset_t pending;
        if (sigpending(&pending) != 0) return 0;
        for (int signal : {SIGINT, SIGTERM, SIGHUP})
            if (sigismember(&pending, signal)) return signal;
        return 0;
    }
    // Ends the process by the signal that arrived, as its default action would.
    [[noreturn]] void end_by(int signal) {
        std::fflush(stderr);
        std::signal(signal, SIG_DFL);
        sigprocmask(SIG_SETMASK, &saved_, nullptr);
        sigset_t one;
        sigemptyset(&one);
        sigaddset(&one, signal);
        sigprocmask(SIG_UNBLOCK, &one, nullptr);
        raise(signal);
        std::_Exit(128 + signal);
    }

    int fd = -1;

private:
    sigset_t held_, saved_;
};

// What the first pass over the input found: where names depend on counts,
// every input is read once to count (a stream copied aside as it is read)
// and every problem told, then read again to draw.
struct Counted {
    std::vector<Input> inputs;
    std::size_t slots = 0;  // lines, games and pictures that hold or should hold a position
    std::size_t items = 0;  // those that do
    bool rejected = false;
};

Counted count_inputs(const Options& options) {
    Counted counted;
    input::ItemReader reader([&](const input::DiagramItem&) { ++counted.items; },
                             [&](const input::ReadProblem& problem) { tell(problem, counted.rejected); });
    if (options.caption) reader.set_caption_template(*options.caption);
    for (const std::string& path : input_paths(options, counted.rejected)) {
        Input in;
        in.path = path;
        std::string error;
        if (in.source.open(path, error) && !in.source.regular() && !in.source.spool(error)) {
            std::fprintf(stderr, "%s: %s: %s\n", program, in.source.name().c_str(), error.c_str());
            counted.rejected = true;
            continue;
        }
        if (in.source.is_open()) {
            in.kind = input::kind_of(in.source);
            if (options.pgn && in.kind != input::Kind::Picture) in.kind = input::Kind::Pgn;
        }
        read_input(reader, options, in);
        in.source.release();
        counted.inputs.push_back(std::move(in));
    }
    counted.slots = reader.count();
    return counted;
}

// The second pass: every item again, in the same order and with the same
// numbers; its problems were told by the first.
void draw_counted(Counted& counted, const Options& options, const std::function<void(const BookItem&)>& draw) {
    int number = 0;
    input::ItemReader reader([&](const input::DiagramItem& read) { draw(book_item(read, ++number)); },
                             [](const input::ReadProblem&) {});
    if (options.caption) reader.set_caption_template(*options.caption);
    for (Input& in : counted.inputs) {
        std::string error;
        if (in.source.is_open() || in.source.regular()) {
            if (!in.source.rewind(error)) {
                std::fprintf(stderr, "%s: %s: %s\n", program, in.source.name().c_str(), error.c_str());
                counted.rejected = true;
                continue;
            }
        }
        read_input(reader, options, in);
        in.source.release();
    }
}

// A PDF book, drawn in one pass as the items are read: no count is needed.
int write_pdf_book(const Options& options, const Plan& plan, const DrawSettings& draw) {
    bool rejected = false;
    const std::string book_path = plan.folder ? plan.path + "book.pdf" : plan.path;
    if (const std::string why = unfit_for_a_file(book_path); !why.empty()) fail(book_path + ": " + why);
    // An interrupt stops the book between two diagrams: its temporary
    // file is removed rather than left half-written, then the signal ends
    // the run.
    HeldSignals held;
    auto pages = std::make_unique<ItemPages>(options.run, draw, book_path, std::function<std::string(int)>());
    pages->set_stop([&] { return held.arrived() != 0; });
    Progress progress(0);
    std::string error;
    bool failed = false, stopped = false, counted_all = true;
    std::size_t placed = 0, total = 0;
    input::InputSource* reading = nullptr;
    int number = 0;
    input::ItemReader reader(
        [&](const input::DiagramItem& read) {
            ++total;
            if (failed || stopped) return;
            if (placed == 0 && plan.folder) {
                std::error_code made;
                std::filesystem::create_directories(plan.path, made);
                if (made) fail(plan.path + ": " + made.message());
            }
            if (!pages->add(book_item(read, ++number), error)) {
                failed = true;
                reader.stop();
                return;
            }
            ++placed;
            progress.step(true);
            if (held.arrived()) {
                // The rest is counted for the message where that is quick.
                stopped = true;
                if (reading && !reading->regular()) {
                    counted_all = false;
                    reader.stop();
                }
            }
        },
        [&](const input::ReadProblem& problem) {
            if (!stopped && !held.arrived()) tell(problem, rejected);
        });
    if (options.caption) reader.set_caption_template(*options.caption);
    std::size_t slots = 0;
    for (const std::string& path : input_paths(options, rejected)) {
        if (failed) break;
        // A FIFO's open waits for its writer: an interrupt may end the run there.
        struct stat status {};
        const bool fifo = path != "-" && stat(path.c_str(), &status) == 0 && S_ISFIFO(status.st_mode);
        if (fifo) held.let_through();
        Input in = open_input(options, path);
        if (fifo) held.hold();
        if (stopped && in.source.is_open() && !in.source.regular()) {
            counted_all = false;
            continue;
        }
        in.source.give_up_on(held.fd);
        reading = &in.source;
        read_input(reader, options, in);
        reading = nullptr;
        if (held.arrived()) {
            stopped = true;
            // A stream given up while waiting was not counted to its end.
            if (in.source.is_open() && !in.source.regular() && !in.source.at_end()) counted_all = false;
        }
    }
    slots = reader.count();
    if (!failed && !stopped) {
        if (slots == 0) fail("no positions in the input");
        if (placed == 0) fail("no position could be read");
        failed = !pages->finish(error);
        progress.finish();
        if (!failed) {
            // A signal after the last look at it: the book is whole, and in place.
            if (const int signal = held.arrived()) {
                std::fprintf(stderr, "%s: interrupted after the book was written\n", program);
                held.end_by(signal);
            }
            return rejected ? exit_partly : exit_done;
        }
    }
    progress.clear();
    if (const int signal = held.arrived()) {
        if (counted_all) {
            std::fprintf(stderr, "%s: interrupted after %zu of %zu diagrams: the book is not written\n", program,
                         placed, total);
        } else {
            std::fprintf(stderr, "%s: interrupted after %zu diagrams: the book is not written\n", program, placed);
        }
        pages.reset();
        held.end_by(signal);
    }
    std::fprintf(stderr, "%s: %s\n", program, error.c_str());
    return exit_nothing;
}

// Pages as files of their own (or raster sheets), named by their number
// among as many as the count gives.
int write_page_files(const Options& options, const Plan& plan, const DrawSettings& draw, Counted& counted) {
    const std::size_t per_page = static_cast<std::size_t>(options.run.columns * options.run.rows);
    const std::size_t estimate = (counted.items + per_page - 1) / per_page + (options.run.solutions ? 1 : 0);
    auto page_path = [&](int page) {
        return plan.path + numbered(static_cast<std::size_t>(page), std::max<std::size_t>(estimate, 100)) + "." +
               extension_of(plan.format);
    };
    // A page's name that can take no file stops the run before any page
    // is written.
    for (std::size_t page = 1; page <= estimate; ++page) {
        const std::string path = page_path(static_cast<int>(page));
        if (const std::string why = unfit_for_a_file(path); !why.empty()) fail(path + ": " + why);
    }
    HeldSignals held;
    auto pages = std::make_unique<ItemPages>(options.run, draw, plan.path, page_path);
    pages->set_stop([&] { return held.arrived() != 0; });
    Progress progress(counted.items);
    std::string error;
    bool failed = false, written = false;
    std::size_t placed = 0;
    draw_counted(counted, options, [&](const BookItem& item) {
        if (failed || held.arrived()) return;
        if (!pages->add(item, error)) {
            failed = true;
            return;
        }
        ++placed;
        progress.step(true);
    });
    if (!failed && !held.arrived()) failed = !(written = pages->finish(error));
    progress.finish();
    if (const int signal = held.arrived()) {
        progress.clear();
        if (written) {
            std::fprintf(stderr, "%s: interrupted after the book was written\n", program);
        } else {
            std::fprintf(stderr, "%s: interrupted after %zu of %zu diagrams: the book is not written\n", program,
                         placed, counted.items);
        }
        // The pages made so far are removed before the signal ends the run.
        pages.reset();
        held.end_by(signal);
    }
    if (failed) {
        progress.clear();
        std::fprintf(stderr, "%s: %s\n", program, error.c_str());
        return exit_nothing;
    }
    return counted.rejected ? exit_partly : exit_done;
}

// The file an earlier run left under the number of an item now rejected:
// a diagram of ours (its record shows it) goes, so that the folder holds
// this run's diagrams only; anything else is kept, and said so.
void clear_rejected(const std::string& path, std::size_t number, Progress& progress) {
    struct stat status {};
    if (lstat(path.c_str(), &status) != 0) return;
    if (S_ISREG(status.st_mode) && input::read_diagram_picture(path, path).ok) {
        if (unlink(path.c_str()) == 0) return;
        progress.clear();
        std::fprintf(stderr, "%s: %s: an earlier diagram for the rejected item %zu, not removed: %s\n", program,
                     path.c_str(), number, std::strerror(errno));
        return;
    }
    progress.clear();
    std::fprintf(stderr, "%s: warning: %s is named for the rejected item %zu but is no diagram of ours: kept\n",
                 program, path.c_str(), number);
}

// One file a diagram, drawn by the worker processes a batch at a time, so
// that the jobs held never grow with the input.
int write_diagrams(const Options& options, const Plan& plan, const DrawSettings& draw, Counted& counted) {
    struct Job {
        BookItem item;
        std::string path;
    };
    std::vector<Job> jobs;
    Progress progress(counted.items);
    std::size_t written = 0;
    bool rejected = counted.rejected;
    // Signals wait between batches too: the reading in between is of
    // regular files and copies, which never block.
    HeldSignals held;
    auto run_batch = [&] {
        run_jobs(
            jobs.size(), options.jobs,
            [&](std::size_t i, std::string& cause) {
                const BookItem& item = jobs[i].item;
                if (const std::string why = unfit_for_a_file(jobs[i].path); !why.empty()) {
                    cause = jobs[i].path + ": " + why;
                    return false;
                }
                // A problem is printed round its board by the vector renderer
                // unless the raster piece set draws it.
                if (!options.styled && (!item.problem || !draw.pieces.empty())) {
                    return write_diagram(item.position, item.caption, item.marks, draw, jobs[i].path, cause);
                }
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
                        std::fprintf(stderr, "%s: %s: not written: %s\n", program, jobs[i].path.c_str(),
                                     message.c_str());
                    } else {
                        std::fprintf(stderr, "%s: %s\n", program, message.c_str());
                    }
                    rejected = true;
                }
                progress.step(ok);
            });
        jobs.clear();
        if (interrupted()) {
            progress.finish();
            std::fprintf(stderr, "%s: interrupted: %zu of %zu diagrams written\n", program, written, counted.items);
            raise_held_signal();
        }
    };
    auto path_of = [&](std::size_t number) {
        return plan.path + numbered(number, counted.slots) + "." + extension_of(plan.format);
    };
    // The numbers between two items' are those of rejected ones.
    std::size_t next = 1;
    draw_counted(counted, options, [&](const BookItem& item) {
        if (!plan.folder) {
            jobs.push_back({item, plan.path});
        } else {
            for (; next < item.place; ++next) clear_rejected(path_of(next), next, progress);
            next = item.place + 1;
            jobs.push_back({item, path_of(item.place)});
        }
        if (jobs.size() == jobs_a_batch) run_batch();
    });
    run_batch();
    if (plan.folder) {
        for (; next <= counted.slots; ++next) clear_rejected(path_of(next), next, progress);
    }
    progress.finish();
    if (written == 0) return exit_nothing;
    return rejected ? exit_partly : exit_done;
}

}  // namespace

std::size_t read_inputs(const Options& options, const std::function<void(const input::DiagramItem&)>& take,
                        bool& rejected) {
    input::ItemReader reader(take, [&](const input::ReadProblem& problem) { tell(problem, rejected); });
    if (options.caption) reader.set_caption_template(*options.caption);
    for (const std::string& path : input_paths(options, rejected)) {
        Input in = open_input(options, path);
        read_input(reader, options, in);
    }
    return reader.count();
}

int run(const Options& options) {
    if (options.list_format) return write_position_list(options);
    // Before anything is read or written: the output neither replaces an
    // input nor is a path that can take no file.
    const Plan planned = plan_output(options, 0);
    refuse_replacing_inputs(options, planned);
    refuse_unfit_output(planned);
    DrawSettings draw = options.draw;
    const bool paged = options.run.columns > 0;
    // A PDF book takes its diagrams as they come; other outputs are named
    // by counts, which the input is read once for first.
    if (paged) {
        if (planned.format == Format::Pdf && options.draw.pieces.empty()) {
            draw.format = planned.format;
            std::string error;
            if (!prepare_drawing(draw, error)) fail(error);
            return write_pdf_book(options, planned, draw);
        }
    }
    Counted counted = count_inputs(options);
    if (counted.slots == 0) fail("no positions in the input");
    const Plan plan = plan_output(options, counted.slots);
    if (counted.items == 0) fail("no position could be read");
    draw.format = plan.format;

    std::string error;
    if (!prepare_drawing(draw, error)) fail(error);
    if (plan.folder) {
        std::error_code failed;
        std::filesystem::create_directories(plan.path, failed);
        if (failed) fail(plan.path + ": " + failed.message());
    }
    if (paged) return write_page_files(options, plan, draw, counted);
    return write_diagrams(options, plan, draw, counted);
}

}  // namespace batch
