// Reading games from PGN files, one game at a time, for worksheets.
//
// The reader streams: it holds one buffer of the input and the game being
// read, never the file, so a book of 100,000 games is read in one pass in
// constant memory. Every length that hostile input could blow up is bounded
// (PgnLimits), and a broken game is reported and skipped while reading goes
// on with the next one.
//
// Each game gives its tags and a diagram: with a FEN tag, the puzzle's
// position, the comment before the first move as its caption, and the main
// line as its solution; without one, the position after the main line
// played from the initial position. Every main-line move is played by the
// move rules, so an illegal or ambiguous move is found and named.
#pragma once

#include <cstddef>
#include <istream>
#include <string>
#include <string_view>
#include <vector>

#include "core/annotations.h"
#include "core/position.h"

namespace chess {

struct PgnLimits {
    // A tag name, a move, a move number, a NAG: longer is an error.
    std::size_t max_token = 255;
    // A tag's value: longer is an error.
    std::size_t max_tag_value = 4096;
    // Comment text kept per comment; the rest is read and dropped.
    std::size_t max_comment = 64 * 1024;
    // Tags in one game: more is an error.
    int max_tags = 256;
    // Variations inside variations: deeper is an error.
    int max_depth = 64;
    // Half-moves of the main line: more is an error.
    int max_plies = 20000;
};

struct PgnTag {
    std::string name;
    std::string value;
};

struct PgnGame {
    // Counted from 1 over every game of the input, skipped ones included.
    int number = 0;
    // The line the game starts on, from 1.
    int line = 0;
    std::vector<PgnTag> tags;
    // The game came with a FEN tag: a puzzle, whose diagram is the set-up
    // position and whose solution is its main line.
    bool puzzle = false;
    // The diagram: the FEN tag's position, or the position after the last
    // move of the main line.
    Position position;
    // The comment(s) before the first move, commands removed and blanks
    // tidied: a puzzle's caption.
    std::string caption;
    // The main line with move numbers, "1. Qh5+ Kd8 2. Qf7#", or
    // "1... Rxe2 2. Qf7" when Black moves first; numbers go on from the
    // position's move number. Written by the move rules, so "0-0" reads "O-O",
    // "e8Q" reads "e8=Q" and check and mate signs are right; NAGs, comments
    // and variations are left out.
    std::string solution;
    // Half-moves of the main line.
    int plies = 0;
    // "1-0", "0-1", "1/2-1/2" or "*"; empty when the game has none.
    std::string result;
    // Empty for a game read to its result; otherwise why it stops early
    // ("the file ends inside the comment from line 12", "no result before
    // the next game").
    // Such a game is given as far as it goes.
    std::string cut_off;
    // Square colours and arrows: from the comment before the first move of a
    // puzzle; from the last comment of the main line of a played game when
    // it follows the last move (an earlier one marks an earlier position).
    Annotations annotations;
    // The game's texts were not UTF-8 and were read as Windows-1252: its
    // tags, caption and marks are converted.
    bool windows_1252 = false;

    // The value of a tag, or empty.
    std::string_view tag(std::string_view name) const;
};

struct PgnError {
    int game = 0;
    // The line where it was found; 0 when not known.
    int line = 0;
    // For a move the rules refuse: its number as the game writes it ("12",
    // "12...") and the move as written; both empty for other errors.
    std::string move_number;
    std::string san;
    std::string reason;

    // "game 3, move 12... (Nf3): no knight can go to f3", or
    // "game 3, line 40: a tag's value is longer than 4096 bytes".
    std::string message() const;
};

class PgnReader {
public:
    explicit PgnReader(std::istream& in, PgnLimits limits = {});

    enum class Status { Game, Error, End };
    // Reads the next game into *game (its old contents are replaced, their
    // storage reused). Error: the game is broken, *error says why, and the
    // next call goes on after it. End: nothing more in the input.
    Status next(PgnGame& game, PgnError& error);

private:
    class Parse;
    friend class Parse;

    // The next byte, or -1 at the end of the input; line counted.
    int get();
    int peek();
    bool fill();
    // The rest of the current line, from the next byte: at least `want`
    // bytes of it, or all of it, are read ahead.
    std::string_view rest_of_line(std::size_t want);

    std::istream& in_;
    PgnLimits limits_;
    std::vector<char> buffer_;
    std::size_t at_ = 0;
    std::size_t end_ = 0;
    bool eof_ = false;
    bool started_ = false;
    int line_ = 1;
    // Only blanks since the last line break: where '%' starts an escape line.
    bool line_start_ = true;
    int games_ = 0;
    // Scratch kept between games so that their storage is reused.
    std::string token_;
    std::string comment_;
    std::string last_comment_;
    std::string first_comment_;
};

}  // namespace chess
