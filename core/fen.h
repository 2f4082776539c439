// FEN: reading and writing positions as text.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "core/position.h"

namespace chess {

struct FenResult {
    bool ok = false;
    Position position;
    // When !ok: what is wrong ("rank 3 has 9 squares", "unknown piece letter
    // 'X'"), and the byte offset in the text where it was found.
    std::string error;
    std::size_t error_offset = 0;
    // How many of the six fields were read (1 to 6).
    int fields = 0;
    // The text after the six fields with the blanks before it skipped: a
    // caption in a position list. Empty unless all six fields were given.
    std::string_view rest;
};

// Reads the piece placement alone, or with the side to move, or all six
// fields (placement, side, castling, en passant, halfmove clock, fullmove
// number), separated by blanks. Every field is checked for form; the
// position need not be legal. Leading and trailing blanks are allowed.
// Marks cannot be written in FEN; the placement holds men only.
FenResult read_fen(std::string_view text);

// The piece placement: ranks 8 to 1 separated by '/', digits for runs of
// empty squares. Marks count as empty.
std::string fen_placement(const Position& position);
// All six fields. An unknown side to move is written as "w".
std::string write_fen(const Position& position);

}  // namespace chess
