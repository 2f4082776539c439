// diagram_batch's command line: the options, their checks, --help and
// --version.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "batch/diagram_output.h"
#include "batch/pages.h"
#include "core/caption_template.h"

namespace batch {

// Exit statuses: everything done; some input rejected, the rest done;
// nothing done.
constexpr int exit_done = 0;
constexpr int exit_partly = 1;
constexpr int exit_nothing = 2;

// Positions written out as a list rather than drawn.
enum class ListFormat { Fen, Epd };

struct Options {
    std::string output = ".";
    std::optional<Format> format;
    std::optional<ListFormat> list_format;  // --format fen or epd
    // --caption: captions made from tags and operands.
    std::optional<chess::CaptionTemplate> caption;
    DrawSettings draw;
    int jobs = 0;
    bool sized = false;  // --size or --dpi given
    std::vector<std::string> inputs;
    PageRun run;
    bool pgn = false;
    bool styled = false;  // an option of what is printed round the diagram
};

// The options of the command line; --help and --version are answered, and
// a command line that makes no sense is told, with the usage hint, and ends
// the program.
Options read_options(int argc, char** argv);

// Where the diagrams go.
struct Plan {
    bool folder = true;
    std::string path;  // a folder ends in '/'
    Format format = Format::Jpeg;
};

// The output the options name, checked against what they ask to draw and
// how many positions the input holds (0 while that is not known); ends the
// program when they do not go together.
Plan plan_output(const Options& options, std::size_t positions);

// "diagram_batch: message", and the run ends with nothing done.
[[noreturn]] void fail(const std::string& message);

}  // namespace batch
