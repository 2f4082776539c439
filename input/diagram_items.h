// Files to diagram items: the one place that decides what a file holds and
// reads it, for diagram_batch and the composers alike. Items are handed on
// one at a time as they are read, so that a reader never needs the whole
// input at once.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/annotations.h"
#include "core/caption_template.h"
#include "core/pgn.h"
#include "core/position.h"
#include "core/problem.h"

namespace chess::input {

// What a file holds: a diagram picture saved by the editor (or any JPEG or
// BMP picture) or a file the renderer wrote (PNG, SVG, PDF), PGN games, a
// position list, chess problems in the solver's text format
// (input/problem_text.h) or as problem databases' YAML entries
// (input/problem_yaml.h); Nothing: the file is empty or cannot be read, and
// each program has its own way of saying so.
enum class Kind { Picture, Pgn, List, ProblemText, ProblemYaml, Nothing };

class InputSource;

// By name first, then by the first bytes: a name ending in .jpg, .jpeg,
// .bmp, .png, .svg or .pdf (in any case), or content starting as a JPEG,
// BMP, PNG, PDF or XML (SVG) file does, is a picture; a name ending in .pgn, or content whose first mark is a '['
// (a tag), is PGN; anything else is a list (so is one whose first 64 KiB
// are blank). Problems: a name ending in .pop, or a first word that is
// BeginProblem; a name ending in .yaml or .yml, or a first line that starts
// a YAML document or one of its entries' keys ("---", "authors:").
Kind kind_of(const std::string& path);
// The same for an opened input, from bytes read ahead and kept for its
// reading: standard input is told by its bytes alone.
Kind kind_of(InputSource& input);

// The name messages give standard input ("-").
extern const char* const standard_input_name;

// One diagram of the input.
struct DiagramItem {
    // Among all pictures, list lines and games read so far that hold, or
    // should hold, a position, from 1: a rejected one leaves its number
    // unused.
    std::size_t number = 0;
    Position position;       // a picture's crosses and dots included
    std::string caption;     // valid UTF-8, one line; a problem's stipulation
    Annotations marks;       // an EPD c1, or a game's [%csl]/[%cal]
    std::string solution;    // a game's main line; an EPD pv, else its bm
    std::string source;      // the input's name as messages show it
    long line = 0;           // of the list line, the game's or problem's start; 0 for a picture
    int game = 0;            // the game's number in its file, from 1; 0 for others
    // A chess problem's heading, stipulation, twins and legend; null for
    // any other item.
    std::shared_ptr<const Problem> problem;
};

// What could not be read, or was read with a flaw.
struct ReadProblem {
    enum class Severity {
        Rejected,  // no diagram: the item or the input's rest is lost
        Damaged,   // the item is handed on all the same, drawn as far as it goes
        Notice,    // nothing lost: how the input was read (a file not UTF-8)
    };
    Severity severity = Severity::Rejected;
    // An item's problem takes its number; an input that could not be read
    // (to its end) has none.
    std::size_t number = 0;
    // "FILE:LINE:COL: why" or "FILE: game 2, move 3 (Ke3): why" for an item;
    // "FILE: why" for an input.
    std::string message;
    // For an input: why, without its name.
    std::string cause;
};

class ItemReader {
public:
    ItemReader(std::function<void(const DiagramItem& item)> on_item,
               std::function<void(const ReadProblem& problem)> on_problem);

    // Captions made by a template from each game's tags, each EPD record's
    // operands, and "comment" (a game's opening comment, the text after a
    // FEN, an EPD's c0 or a picture's caption), instead of the default.
    void set_caption_template(CaptionTemplate caption) { caption_ = std::move(caption); }

    // Reads one input ("-": standard input), opened once, as what its first
    // bytes say (kind_of), handing on every item and every problem in the
    // input's order. `pgn`: anything but a picture is read as PGN.
    void read(const std::string& path, bool pgn = false);
    // The same as the kind given.
    void read(const std::string& path, Kind kind);
    // An opened input, from its first byte, as the kind given.
    void read(InputSource& input, Kind kind);
    // Ends the input being read after the item handed on, without reading
    // its rest; the next read goes on.
    void stop();
    // The numbers used so far.
    std::size_t count() const { return count_; }

private:
    void read_picture(InputSource& input);
    void unreadable_picture(const std::string& path, const std::string& cause);
    void read_pgn(InputSource& input);
    void read_list(InputSource& input);
    void read_problems(InputSource& input, Kind kind);
    void input_problem(const std::string& name, const std::string& cause);

    std::function<void(const DiagramItem&)> on_item_;
    std::function<void(const ReadProblem&)> on_problem_;
    std::size_t count_ = 0;
    std::optional<CaptionTemplate> caption_;
    bool stopped_ = false;
    InputSource* reading_ = nullptr;
};

// The marks an EPD record's c1 gives: [%csl]/[%cal] commands, or the bare
// lists ("Rd4,Ge5 Ge2e4"): squares and arrows told apart by their length.
Annotations marks_of_comment(std::string_view c1);
// An EPD record's solution for the answer key: its predicted variation when
// it has one, else its best moves ("Qxf7+, Nxf7").
std::string epd_solution(const std::vector<std::string>& best_moves, const std::vector<std::string>& variation);
// A game's caption: a puzzle's opening comment; a played game's players
// ("White \u2013 Black") when its tags know them.
std::string pgn_caption(const PgnGame& game);

}  // namespace chess::input
