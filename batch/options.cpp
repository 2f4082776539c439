#include "batch/options.h"

#include <getopt.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "core/text.h"

namespace batch {

namespace {

// Beyond these a picture gets larger than any print needs.
constexpr double max_size_cm = 100.0;
constexpr int max_dpi = 2400;
// Below these a board is not legible: on paper, and in a picture's pixels.
constexpr double min_size_cm = 1.0;
constexpr double min_square_pixels = 16;
// A picture is drawn in 4 bytes a pixel and encoded from a copy of up to 3:
// at most this many pixels keep a worker under about 300 MB.
constexpr double max_picture_pixels = 40e6;
// The tallest diagram in squares: numbered, with a caption of three lines.
constexpr double tallest_squares = 11;

// A measure as a person would write it: 2.5, 0.01.
std::string number_text(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3g", value);
    return text;
}
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
                 "                      extension; jpeg for a folder); or fen or epd: the\n"
                 "                      positions read written out as a list, one a line, to\n"
                 "                      the file PATH (- for standard output; positions.fen\n"
                 "                      or positions.epd in a folder)\n"
                 "      --caption=TEMPLATE  captions made from each game's tags and each EPD\n"
                 "                      record's operands: '{White} \u2013 {Black}, {Site}\n"
                 "                      {Date:year}'; {comment} is the usual caption; a field\n"
                 "                      missing or '?' is left out with the text before it\n"
                 "  -p, --pieces=DIR    draw with the raster piece set in DIR (1.jpg to 32.jpg,\n"
                 "                      as the editor's DATA folder): the editor's own picture,\n"
                 "                      JPEG only\n"
                 "  -s, --size=CM       the diagram's width on paper in centimetres, 1 to 100\n"
                 "                      (default 6; with --layout: as large as the cell)\n"
                 "  -r, --dpi=N         the resolution of PNG and JPEG files (default 300); a\n"
                 "                      picture must have 16 pixels a square at least, and\n"
                 "                      40 million pixels at most\n"
                 "  -j, --jobs=N        worker processes (default: the number of processors)\n"
                 "\n"
                 "Pages and what is printed round each diagram:\n"
                 "  -l, --layout=CxR    C columns by R rows of diagrams a page (1x1 to 6x8): PDF\n"
                 "                      gives one file of all pages (-o book.pdf, or book.pdf in\n"
                 "                      the folder), the other formats one file a page, 001.png,\n"
                 "                      ...; with --pieces, JPEG sheets of 1180 x 1628 pixels\n"
                 "                      (2x2, 2x3 and 3x4 as the editor and the composers make);\n"
                 "                      --size sets the diagrams' width on the page, centred\n"
                 "                      in their cells, and is refused when they do not fit\n"
                 "      --paper=PAPER   a4 or letter (default a4), margins of 15 mm\n"
                 "  -n, --numbers       the diagram's number in the set above it\n"
                 "      --coordinates   files and ranks beside the board\n"
                 "      --side-to-move  a disc beside the board: white or black to move\n"
                 "      --flip[=auto]   the board seen from Black's side; auto: where Black is\n"
                 "                      to move\n"
                 "      --style=STYLE   problem: as problem columns print problems, the authors,\n"
                 "                      source and award above the board, the stipulation and\n"
                 "                      the count of the men (white+black) below it, then\n"
                 "                      twins, conditions and fairy men (the default for\n"
                 "                      problems; other items get their caption as heading);\n"
                 "                      plain: the caption below the board, problems too\n"
                 "      --solutions     pages after the diagrams listing each number and its\n"
                 "                      solution (PGN main line; EPD pv, else bm; a problem's\n"
                 "                      solution as given, its indentation kept)\n"
                 "      --pgn           read every FILE as PGN (files ending .pgn, or starting\n"
                 "                      with a tag, always are): one diagram a game\n"
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

std::optional<ListFormat> list_format_named(std::string_view name) {
    const std::string word = chess::ascii_lower(name);
    if (word == "fen") return ListFormat::Fen;
    if (word == "epd") return ListFormat::Epd;
    return std::nullopt;
}

}  // namespace

[[noreturn]] void fail(const std::string& message) {
    std::fprintf(stderr, "%s: %s\n", program, message.c_str());
    std::exit(exit_nothing);
}

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
        {"caption", required_argument, nullptr, 'T'}, {"style", required_argument, nullptr, 'Y'},
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
                options.list_format = list_format_named(optarg);
                options.format = format_named(optarg);
                if (!options.format && !options.list_format) {
                    bad_usage(std::string("unknown format '") + optarg + "' (jpeg, png, svg, pdf, fen, epd)");
                }
                break;
            case 'T': {
                std::string error;
                options.caption = chess::CaptionTemplate::parse(optarg, error);
                if (!options.caption) bad_usage("caption template '" + std::string(optarg) + "': " + error);
                break;
            }
            case 'p':
                if (*optarg == '\0') bad_usage("the piece set folder is empty");
                options.draw.pieces = optarg;
                break;
            case 's': {
                const auto size = read_real(optarg);
                if (!size || !(*size >= min_size_cm) || *size > max_size_cm) {
                    bad_usage(std::string("size '") + optarg +
                              "' is not a width in centimetres from 1 (a legible board) to 100");
                }
                options.draw.size_cm = *size;
                options.run.diagram_cm = *size;
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
            case 'Y': {
                const std::string style = chess::ascii_lower(optarg);
                if (style == "problem") {
                    options.run.print = PrintStyle::Problem;
                } else if (style == "plain") {
                    options.run.print = PrintStyle::Plain;
                } else {
                    bad_usage(std::string("unknown style '") + optarg + "' (problem, plain)");
                }
                options.styled = true;
                break;
            }
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
    // A list named for its format is written as one.
    if (!options.format && !options.list_format) {
        const std::string extension = chess::lower_extension(options.output);
        if (!extension.empty()) options.list_format = list_format_named(std::string_view(extension).substr(1));
    }
    if (options.list_format && (options.run.columns > 0 || options.styled || options.run.solutions ||
                                !options.draw.pieces.empty() || options.sized)) {
        bad_usage("a position list (--format fen or epd) is text: --layout, --numbers, --coordinates, "
                  "--side-to-move, --flip, --style, --solutions, --pieces, --size and --dpi do not apply");
    }
    if (options.inputs.empty()) bad_usage("no position list given (use - for standard input)");
    if (options.jobs == 0) {
        const long cores = sysconf(_SC_NPROCESSORS_ONLN);
        options.jobs = cores < 1 ? 1 : cores > max_jobs ? max_jobs : static_cast<int>(cores);
    }
    return options;
}

Plan plan_output(const Options& options, std::size_t positions) {
    Plan plan;
    const bool paged = options.run.columns > 0;
    const std::string& path = options.output;
    std::error_code ignored;
    const auto extension_format = format_of_path(path);
    plan.folder = std::filesystem::is_directory(path, ignored) || path.back() == '/' || !extension_format;
    if (plan.folder) {
        plan.path = path.back() == '/' ? path : path + "/";
        plan.format = options.format.value_or(Format::Jpeg);
    } else {
        plan.path = path;
        plan.format = options.format.value_or(*extension_format);
        if (*extension_format != plan.format) {
            bad_usage("the output file " + path + " is named for " + extension_of(*extension_format) +
                      ", not " + extension_of(plan.format));
        }
        if (paged && plan.format != Format::Pdf) {
            bad_usage("pages as " + std::string(extension_of(plan.format)) +
                      " are one file each: name a folder for them");
        }
        if (!paged && positions > 1) {
            fail("the output " + path + " is one file, but the input holds " + std::to_string(positions) +
                 " positions (name a folder for several)");
        }
    }
    if (!options.draw.pieces.empty() && plan.format != Format::Jpeg) {
        bad_usage("a raster piece set (--pieces) gives JPEG pictures only");
    }
    if (!options.draw.pieces.empty() && options.styled) {
        bad_usage("a raster piece set (--pieces) draws the editor's own picture: --numbers, --coordinates, "
                  "--side-to-move, --flip and --style do not apply");
    }
    if (!paged && options.run.solutions) bad_usage("--solutions needs pages (--layout) to put the answers on");
    if (!options.draw.pieces.empty() && options.sized) {
        bad_usage("a raster piece set (--pieces) has its own size: --size and --dpi do not apply");
    }
    const std::string sized_as = "--size " + number_text(options.draw.size_cm) + " at --dpi " +
                                 std::to_string(options.draw.dpi);
    if (options.draw.pieces.empty() && !paged && (plan.format == Format::Jpeg || plan.format == Format::Png)) {
        const double square = options.draw.size_cm / 2.54 * options.draw.dpi / 9;
        if (square < min_square_pixels) {
            bad_usage(sized_as + " gives squares of " + number_text(square) +
                      " pixels: a legible board needs 16 at least");
        }
        if (9 * square * tallest_squares * square > max_picture_pixels) {
            bad_usage(sized_as + " gives a picture " + std::to_string(static_cast<long>(std::ceil(9 * square))) +
                      " pixels wide, more than the 40 million pixels a worker draws at most");
        }
    }
    if (paged && options.draw.pieces.empty() && options.run.diagram_cm > 0) {
        // The diagram at its width, as tall as its bands make it: it must
        // fit the cell, or the page would overlap its neighbours.
        const chess::PageLayout page =
            chess::render::page_layout(options.run.paper, options.run.columns, options.run.rows);
        const double squares_high = options.run.style.numbers ? 10 : 9.5;
        const double most_cm = std::min(page.cell_width(), page.cell_height() * 9 / squares_high) / 72 * 2.54;
        if (options.run.diagram_cm > most_cm + 1e-9) {
            bad_usage("--size " + number_text(options.run.diagram_cm) + " does not fit the cells of " +
                      std::to_string(options.run.columns) + "x" + std::to_string(options.run.rows) +
                      " pages: at most " + number_text(std::floor(most_cm * 100) / 100) + " cm");
        }
    }
    return plan;
}

}  // namespace batch
