// EPD: a position in four FEN fields followed by operations, each an opcode
// and its operands ended by ';': "... w - - bm Qd1+; id \"WAC.001\";".
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "core/position.h"

namespace chess {

struct EpdOperation {
    std::string opcode;
    // Quoted operands without their quotes.
    std::vector<std::string> operands;
};

struct EpdResult {
    bool ok = false;
    Position position;
    // Every operation in the record's order.
    std::vector<EpdOperation> operations;
    // When !ok: what is wrong, and the byte offset in the text where it was found.
    std::string error;
    std::size_t error_offset = 0;

    // The first operation with this opcode, or null.
    const EpdOperation* find(std::string_view opcode) const;
    // The operands of that operation joined by blanks; empty when absent.
    std::string text_of(std::string_view opcode) const;
    // What a diagram shows under the board: the comment c0, else the id.
    std::string caption() const;
    // Best moves (bm) and the predicted variation (pv), as written.
    std::vector<std::string> best_moves() const;
    std::vector<std::string> predicted_variation() const;
};

// Reads one EPD record. The four position fields are checked as FEN fields;
// an operation's opcode starts with a letter and holds letters, digits and
// '_'; a quoted operand may hold blanks and ';' (a backslash keeps the next
// '"' or '\' in it). The last operation may lack its ';'.
EpdResult read_epd(std::string_view text);

// One record: the position's first four FEN fields, its counters as hmvc
// and fmvn where they are not 0 and 1 (which read_epd takes back into the
// position), then each operation as
// opcode and operands, quoted where an operand is not one plain word or is
// text (id, c0-c9, v0-v9 and the like; blanks, ';', quotes and backslashes
// inside are kept, escaped), each ended
// by ';'. read_epd gives back what was written. Line breaks in an operand
// become blanks, so that a record stays one line.
std::string write_epd(const Position& position, const std::vector<EpdOperation>& operations);

// Whether a line is better read as EPD than as FEN: it has a fifth field
// and that field is an opcode rather than a halfmove clock.
bool looks_like_epd(std::string_view text);

}  // namespace chess
