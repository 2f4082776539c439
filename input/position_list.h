// Position lists: one position a line, as FEN (a caption may follow the six
// fields) or as an EPD record (the caption is its c0, else its id). Blank
// lines and lines starting with '#' are skipped; a byte-order mark is
// accepted, and lines may end in LF, CRLF or a lone CR, as the programs that
// write lists do. A line holding a NUL byte is refused, not taken as text.
//
// A chess problem's turned (fairy) and neutral men keep their looks in a
// list (core/fairy_men.h gives the field's form): an EPD record's "looks"
// operation ("looks c2:2,d4:n;"), which EPD readers that do not know it
// skip; before a FEN line, a comment line "#looks c2:2,d4:n", which
// FEN list readers skip as a comment.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include <sys/types.h>

#include "core/epd.h"
#include "core/position.h"

namespace chess::input {

// Longer lines are refused without being held in memory.
constexpr std::size_t max_line_bytes = 64 * 1024;

// One line that holds, or should hold, a position.
struct ListEntry {
    std::string source;  // the input's name as messages show it
    long line = 0;       // 1-based
    bool ok = false;
    Position position;
    std::string caption;  // valid UTF-8
    // When !ok: what is wrong, and the 1-based byte column (0: the whole line).
    std::string error;
    std::size_t column = 0;
    // Best moves, predicted variation and the second comment of an EPD
    // record, kept for uses beyond drawing.
    std::vector<std::string> best_moves;
    std::vector<std::string> variation;
    std::string comment;
    // Every operation of an EPD record, for captions made from them.
    std::vector<EpdOperation> operations;
};

// "FILE:LINE:COL: what is wrong" (without the column when there is none).
std::string entry_message(const ListEntry& entry);

class InputSource;

// Reads a descriptor, or an input with what it holds read ahead, line by
// line in fixed chunks, so that a line of any length costs at most max_line
// bytes of memory.
class LineReader {
public:
    enum class Status { Line, TooLong, End, Failed };

    explicit LineReader(int fd, std::size_t max_line = max_line_bytes);
    explicit LineReader(InputSource& source, std::size_t max_line = max_line_bytes);
    // The next line without its line end (LF, CRLF, CR: a CRLF split
    // between two reads is still one) and, on the first line,
    // without a byte-order mark. TooLong: the line was skipped to its end.
    // Failed: a read error, errno_value() says which.
    Status next(std::string& line);
    long line_number() const { return line_number_; }
    int errno_value() const { return errno_; }
    // The bytes held for reading: bounded by max_line plus two chunks.
    std::size_t buffer_size() const { return buffer_.size(); }

private:
    bool fill();
    Status finish(std::size_t stop, std::size_t next_start, bool too_long, std::string& line);

    std::function<ssize_t(char* to, std::size_t size)> read_;
    std::size_t max_line_;
    std::vector<char> buffer_;
    std::size_t start_ = 0;
    std::size_t end_ = 0;
    bool eof_ = false;
    long line_number_ = 0;
    int errno_ = 0;
};

// The comment line that gives the looks of the next FEN line's men.
constexpr std::string_view looks_comment = "#looks ";

// One line of a list into entry (position, caption or what is wrong); false
// for a line that holds no position: blank, or a comment.
bool read_list_line(std::string_view text, ListEntry& entry);

// Hands each entry of one list read from fd to `take` as it is read. False,
// with a message in error, when reading failed (the entries before it were
// handed on).
bool read_position_list(int fd, const std::string& source, const std::function<void(ListEntry& entry)>& take,
                        std::string& error);
// The same from an input, from its first byte held.
bool read_position_list(InputSource& input, const std::function<void(ListEntry& entry)>& take, std::string& error);

}  // namespace chess::input
