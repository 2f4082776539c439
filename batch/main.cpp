// diagram_batch: chess diagrams from position lists, without a display.
#include <fcntl.h>
#include <getopt.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "batch/diagram_output.h"
#include "input/diagram_pictures.h"
#include "batch/pages.h"
#include "input/position_list.h"
#include "batch/workers.h"

namespace {

const char* const program = "diagram_batch";

// Exit statuses: everything done; some input rejected, the rest done;
// nothing done.
constexpr int exit_done = 0;
constexpr int exit_partly = 1;
constexpr int exit_nothing = 2;

// Beyond these a picture gets larger than any print needs.
constexpr double max_size_cm = 100.0;
constexpr int max_dpi = 2400;
constexpr int max_picture_side = 32767;
constexpr int max_jobs = 256;

void usage(std::FILE* out) {
    std::fprintf(out,
                 "Usage: %s [OPTION]... FILE...\n"
                 "Draw a chess diagram of every position in the lists FILE (one FEN or EPD\n"
                 "record a line; - reads standard input).\n"
                 "\n"
                 "  -o, --output=PATH   a folder (created if missing) for one file per position,\n"
                 "                      001.jpg, 002.jpg, ...; or a file for a single position.\n"
                 "                      PATH is a folder when it is one, ends in '/', or has no\n"
                 "                      extension .jpg, .jpeg, .png, .svg or .pdf (default: .)\n"
                 "  -f, --format=FORMAT jpeg, png, svg or pdf (default: the output file's\n"
                 "                      extension; jpeg for a folder)\n"
                 "  -p, --pieces=DIR    draw with the raster piece set in DIR (1.jpg to 32.jpg,\n"
                 "                      as the editor's DATA folder): the editor's own picture,\n"
                 "                      JPEG only\n"
                 "  -s, --size=CM       the diagram's width on paper in centimetres (default 6)\n"
                 "  -r, --dpi=N         the resolution of PNG and JPEG files (default 300)\n"
                 "  -j, --jobs=N        worker processes (default: the number of processors)\n"
                 "\n"
                 "Pages and what is printed round each diagram:\n"
                 "  -l, --layout=CxR    C columns by R rows of diagrams a page (1x1 to 6x8): PDF\n"
                 "                      gives one file of all pages (-o book.pdf, or book.pdf in\n"
                 "                      the folder), the other formats one file a page, 001.png,\n"
                 "                      ...; with --pieces, JPEG sheets of 1180 x 1628 pixels\n"
                 "                      (2x2, 2x3 and 3x4 as the editor and the composers make)\n"
                 "      --paper=PAPER   a4 or letter (default a4), margins of 15 mm\n"
                 "  -n, --numbers       the diagram's number in the set above it\n"
                 "      --coordinates   files and ranks beside the board\n"
                 "      --side-to-move  a disc beside the board: white or black to move\n"
                 "      --flip[=auto]   the board seen from Black's side; auto: where Black is\n"
                 "                      to move\n"
                 "      --solutions     pages after the diagrams listing each number and its\n"
                 "                      solution (PGN main line; EPD pv, else bm)\n"
                 "      --pgn           read every FILE as PGN (files ending .pgn always are):\n"
                 "                      one diagram a game\n"
                 "  -h, --help          show this help and exit\n"
                 "  -V, --version       show the version and exit\n"
                 "\n"
                 "A caption may follow a FEN's six fields; an EPD record's caption is its c0,\n"
                 "else its id, and its c1 may mark squares and moves (Rd4,Ge5 or Re2e4, or\n"
                 "[%%csl ...] [%%cal ...]). Blank lines and lines starting with # are skipped.\n"
                 "A PGN game with a FEN tag is a puzzle: its position, the comment before the\n"
                 "first move as caption, the main line as solution; a game without one shows\n"
                 "the position after its main line. [%%csl]/[%%cal] comments mark the diagram.\n"
                 "\n"
                 "A FILE ending in .jpg or .jpeg, or holding a JPEG picture, is a diagram saved\n"
                 "by diagram_editor: its position, marks and caption are drawn anew. A folder\n"
                 "stands for its .jpg and .jpeg files in the order of their names.\n"
                 "\n"
                 "Exit status: 0 all diagrams written; 1 some lines or files rejected, the\n"
                 "rest written; 2 nothing written.\n",
                 program);
}

[[noreturn]] void fail(const std::string& message) {
    std::fprintf(stderr, "%s: %s\n", program, message.c_str());
    std::exit(exit_nothing);
}

[[noreturn]] void bad_usage(const std::string& message) {
    std::fprintf(stderr, "%s: %s\nTry '%s --help' for more information.\n", program, message.c_str(), program);
    std::exit(exit_nothing);
}

std::optional<double> read_real(const char* text) {
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(text, &end);
    if (errno != 0 || end == text || *end != '\0' || !std::isfinite(value)) return std::nullopt;
    return value;
}

std::optional<long> read_whole(const char* text) {
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0') return std::nullopt;
    return value;
}

struct Options {
    std::string output = ".";
    std::optional<batch::Format> format;
    batch::DrawSettings draw;
    int jobs = 0;
    bool sized = false;  // --size or --dpi given
    std::vector<std::string> inputs;
    batch::PageRun run;
    bool pgn = false;
    bool styled = false;  // an option of what is printed round the diagram
};

Options read_options(int argc, char** argv) {
    static const option long_options[] = {
        {"output", required_argument, nullptr, 'o'}, {"format", required_argument, nullptr, 'f'},
        {"pieces", required_argument, nullptr, 'p'}, {"size", required_argument, nullptr, 's'},
        {"dpi", required_argument, nullptr, 'r'},    {"jobs", required_argument, nullptr, 'j'},
        {"help", no_argument, nullptr, 'h'},         {"version", no_argument, nullptr, 'V'},
        {"layout", required_argument, nullptr, 'l'}, {"paper", required_argument, nullptr, 'P'},
        {"numbers", no_argument, nullptr, 'n'},      {"coordinates", no_argument, nullptr, 'C'},
        {"side-to-move", no_argument, nullptr, 'S'}, {"flip", optional_argument, nullptr, 'F'},
        {"solutions", no_argument, nullptr, 'K'},    {"pgn", no_argument, nullptr, 'G'},
        {nullptr, 0, nullptr, 0},
    };
    Options options;
    opterr = 0;
    int c;
    while ((c = getopt_long(argc, argv, ":o:f:p:s:r:j:l:nhV", long_options, nullptr)) != -1) {
        switch (c) {
            case 'o':
                if (*optarg == '\0') bad_usage("the output path is empty");
                options.output = optarg;
                break;
            case 'f':
                options.format = batch::format_named(optarg);
                if (!options.format) bad_usage(std::string("unknown format '") + optarg + "' (jpeg, png, svg, pdf)");
                break;
            case 'p':
                if (*optarg == '\0') bad_usage("the piece set folder is empty");
                options.draw.pieces = optarg;
                break;
            case 's': {
                const auto size = read_real(optarg);
                if (!size || *size <= 0 || *size > max_size_cm) {
                    bad_usage(std::string("size '") + optarg + "' is not a width in centimetres above 0 and up to 100");
                }
                options.draw.size_cm = *size;
                options.sized = true;
                break;
            }
            case 'r': {
                const auto dpi = read_whole(optarg);
                if (!dpi || *dpi < 1 || *dpi > max_dpi) {
                    bad_usage(std::string("resolution '") + optarg + "' is not a whole number from 1 to 2400");
                }
                options.draw.dpi = static_cast<int>(*dpi);
                options.sized = true;
                break;
            }
            case 'j': {
                const auto jobs = read_whole(optarg);
                if (!jobs || *jobs < 1 || *jobs > max_jobs) {
                    bad_usage(std::string("jobs '") + optarg + "' is not a whole number from 1 to 256");
                }
                options.jobs = static_cast<int>(*jobs);
                break;
            }
            case 'l':
                if (!chess::render::read_grid(optarg, options.run.columns, options.run.rows)) {
                    bad_usage(std::string("layout '") + optarg + "' is not columns x rows from 1x1 to 6x8 (e.g. 3x4)");
                }
                break;
            case 'P':
                if (!chess::render::paper_named(optarg, options.run.paper)) {
                    bad_usage(std::string("unknown paper '") + optarg + "' (a4, letter)");
                }
                break;
            case 'n':
                options.run.style.numbers = options.styled = true;
                break;
            case 'C':
                options.run.style.coordinates = options.styled = true;
                break;
            case 'S':
                options.run.style.side_to_move = options.styled = true;
                break;
            case 'F':
                if (optarg && std::string(optarg) != "auto") {
                    bad_usage(std::string("flip '") + optarg + "': the only value is auto (--flip=auto)");
                }
                options.run.style.flip = optarg ? chess::render::Flip::BlackToMove : chess::render::Flip::Always;
                options.styled = true;
                break;
            case 'K':
                options.run.solutions = true;
                break;
            case 'G':
                options.pgn = true;
                break;
            case 'h':
                usage(stdout);
                std::exit(exit_done);
            case 'V':
                std::printf("%s %s\n", program, DIAGRAMS_VERSION);
                std::exit(exit_done);
            case ':':
                bad_usage(std::string("option '") + argv[optind - 1] + "' needs a value");
            default:
                if (optopt) bad_usage(std::string("unknown option '-") + static_cast<char>(optopt) + "'");
                bad_usage(std::string("unknown option '") + argv[optind - 1] + "'");
        }
    }
    for (int i = optind; i < argc; ++i) options.inputs.emplace_back(argv[i]);
    if (options.inputs.empty()) bad_usage("no position list given (use - for standard input)");
    if (options.jobs == 0) {
        const long cores = sysconf(_SC_NPROCESSORS_ONLN);
        options.jobs = cores < 1 ? 1 : cores > max_jobs ? max_jobs : static_cast<int>(cores);
    }
    return options;
}

// Where the diagrams go.
struct Plan {
    bool folder = true;
    std::string path;  // a folder ends in '/'
    batch::Format format = batch::Format::Jpeg;
};

Plan plan_output(const Options& options, std::size_t positions) {
    Plan plan;
    const bool paged = options.run.columns > 0;
    const std::string& path = options.output;
    std::error_code ignored;
    const auto extension_format = batch::format_of_path(path);
    plan.folder = std::filesystem::is_directory(path, ignored) || path.back() == '/' || !extension_format;
    if (plan.folder) {
        plan.path = path.back() == '/' ? path : path + "/";
        plan.format = options.format.value_or(batch::Format::Jpeg);
    } else {
        plan.path = path;
        plan.format = options.format.value_or(*extension_format);
        if (*extension_format != plan.format) {
            bad_usage("the output file " + path + " is named for " + batch::extension_of(*extension_format) +
                      ", not " + batch::extension_of(plan.format));
        }
        if (paged && plan.format != batch::Format::Pdf) {
            bad_usage("pages as " + std::string(batch::extension_of(plan.format)) +
                      " are one file each: name a folder for them");
        }
        if (!paged && positions != 1) {
            fail("the output " + path + " is one file, but the input holds " + std::to_string(positions) +
                 " positions (name a folder for several)");
        }
    }
    if (!options.draw.pieces.empty() && plan.format != batch::Format::Jpeg) {
        bad_usage("a raster piece set (--pieces) gives JPEG pictures only");
    }
    if (!options.draw.pieces.empty() && options.styled) {
        bad_usage("a raster piece set (--pieces) draws the editor's own picture: --numbers, --coordinates, "
                  "--side-to-move and --flip do not apply");
    }
    if (!paged && options.run.solutions) bad_usage("--solutions needs pages (--layout) to put the answers on");
    if (!options.draw.pieces.empty() && options.sized) {
        bad_usage("a raster piece set (--pieces) has its own size: --size and --dpi do not apply");
    }
    if (options.draw.pieces.empty() && (plan.format == batch::Format::Jpeg || plan.format == batch::Format::Png)) {
        const double side = options.draw.size_cm / 2.54 * options.draw.dpi * 9.5 / 9.0;
        if (side > max_picture_side) bad_usage("the picture would be larger than 32767 pixels a side");
    }
    return plan;
}

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

bool is_pgn_name(const std::string& name) {
    if (name.size() < 4) return false;
    std::string end = name.substr(name.size() - 4);
    for (char& c : end) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return end == ".pgn";
}

}  // namespace

int main(int argc, char** argv) {
    const Options options = read_options(argc, argv);
    const bool paged = options.run.columns > 0;

    // Every input is read, and every bad line or game reported, before
    // anything is drawn: a PGN file game by game, keeping only the diagrams.
    // A diagram's file takes its place among all lines and games that hold
    // or should hold one, so that one mended later keeps its name.
    std::vector<batch::BookItem> items;
    std::size_t slots = 0;
    bool rejected = false;
    // A folder stands for the diagram pictures in it, by name.
    std::vector<std::string> inputs;
    for (const std::string& input : options.inputs) {
        std::error_code ignored;
        if (input == "-" || !std::filesystem::is_directory(input, ignored)) {
            inputs.push_back(input);
            continue;
        }
        std::string error;
        if (!batch::diagram_pictures_in(input, inputs, error)) {
            std::fprintf(stderr, "%s: %s\n", program, error.c_str());
            rejected = true;
        }
    }
    for (const std::string& input : inputs) {
        // A diagram picture saved by the editor is one position.
        if (input != "-" && batch::is_diagram_picture(input)) {
            ++slots;
            const batch::ListEntry entry = batch::read_diagram_picture(input, input);
            if (!entry.ok) {
                std::fprintf(stderr, "%s\n", batch::entry_message(entry).c_str());
                rejected = true;
                continue;
            }
            batch::BookItem item;
            item.position = entry.position;  // its crosses and dots included
            item.caption = entry.caption;
            item.place = slots;
            items.push_back(std::move(item));
            continue;
        }
        const bool standard_input = input == "-";
        const std::string name = standard_input ? "(standard input)" : input;
        if (options.pgn || is_pgn_name(input)) {
            std::ifstream file;
            if (!standard_input) {
                file.open(input, std::ios::binary);
                if (!file) {
                    std::fprintf(stderr, "%s: %s: %s\n", program, name.c_str(), std::strerror(errno));
                    rejected = true;
                    continue;
                }
            }
            batch::read_pgn_items(standard_input ? std::cin : file, items, slots, [&](const std::string& message) {
                std::fprintf(stderr, "%s: %s\n", name.c_str(), batch::valid_utf8(message).c_str());
                rejected = true;
            });
            continue;
        }
        std::vector<batch::ListEntry> entries;
        const int fd = standard_input ? STDIN_FILENO : open(input.c_str(), O_RDONLY | O_CLOEXEC);
        std::string error;
        if (fd < 0) {
            error = name + ": " + std::strerror(errno);
        } else {
            batch::read_position_list(fd, name, entries, error);
            if (!standard_input) close(fd);
        }
        if (!error.empty()) {
            std::fprintf(stderr, "%s: %s\n", program, error.c_str());
            rejected = true;
        }
        for (const batch::ListEntry& entry : entries) {
            ++slots;
            if (!entry.ok) {
                std::fprintf(stderr, "%s\n", batch::entry_message(entry).c_str());
                rejected = true;
                continue;
            }
            batch::BookItem item;
            item.position = entry.position;
            item.caption = entry.caption;
            item.marks = chess::render::marks_of_comment(entry.comment);
            item.solution = chess::render::epd_solution(entry.best_moves, entry.variation);
            item.place = slots;
            items.push_back(std::move(item));
        }
    }
    if (slots == 0) fail("no positions in the input");
    // The number each diagram prints: its place among those drawn.
    for (std::size_t k = 0; k < items.size(); ++k) items[k].number = static_cast<int>(k + 1);

    Plan plan = plan_output(options, slots);
    if (items.empty()) fail("no position could be read");
    batch::DrawSettings draw = options.draw;
    draw.format = plan.format;

    std::string error;
    if (!batch::prepare_drawing(draw, error)) fail(error);
    if (plan.folder) {
        std::error_code failed;
        std::filesystem::create_directories(plan.path, failed);
        if (failed) fail(plan.path + ": " + failed.message());
    }

    if (paged) {
        const std::string book_path = plan.folder ? plan.path + "book.pdf" : plan.path;
        // Pages are named as single diagrams are, by their number.
        const std::size_t per_page = static_cast<std::size_t>(options.run.columns * options.run.rows);
        const std::size_t estimate = (items.size() + per_page - 1) / per_page + (options.run.solutions ? 1 : 0);
        auto page_path = [&](int page) {
            return plan.path + numbered(static_cast<std::size_t>(page), std::max<std::size_t>(estimate, 100)) + "." +
                   batch::extension_of(plan.format);
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
        const bool ok = batch::write_pages(items, options.run, draw, book_path, page_path,
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

    struct Job {
        const batch::BookItem* item;
        std::string path;
    };
    std::vector<Job> jobs;
    for (std::size_t k = 0; k < items.size(); ++k) {
        const std::string path = plan.folder ? plan.path + numbered(items[k].place, slots) + "." +
                                                   batch::extension_of(plan.format)
                                             : plan.path;
        jobs.push_back({&items[k], path});
    }

    Progress progress(jobs.size());
    std::size_t written = 0;
    batch::run_jobs(
        jobs.size(), options.jobs,
        [&](std::size_t i, std::string& cause) {
            const batch::BookItem& item = *jobs[i].item;
            const bool plain = !options.styled && item.marks.empty();
            if (plain) return batch::write_diagram(item.position, item.caption, draw, jobs[i].path, cause);
            return batch::write_styled_diagram(item, options.run, draw, jobs[i].path, cause);
        },
        [&](std::size_t i, batch::Outcome outcome, const std::string& message) {
            const bool ok = outcome == batch::Outcome::Done;
            if (ok) {
                ++written;
            } else {
                progress.clear();
                if (outcome == batch::Outcome::Lost && batch::interrupted()) {
                    // Counted in the summary below.
                } else if (outcome == batch::Outcome::Lost) {
                    std::fprintf(stderr, "%s: %s: not written: %s\n", program, jobs[i].path.c_str(), message.c_str());
                } else {
                    std::fprintf(stderr, "%s: %s\n", program, message.c_str());
                }
                rejected = true;
            }
            progress.step(ok);
        });
    progress.finish();
    if (batch::interrupted()) {
        std::fprintf(stderr, "%s: interrupted: %zu of %zu diagrams written\n", program, written, jobs.size());
        batch::raise_held_signal();
    }

    if (written == 0) return exit_nothing;
    return rejected ? exit_partly : exit_done;
}
