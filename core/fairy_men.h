// The fairy men a diagram can show, each as problemists print it: an
// ordinary man turned (a grasshopper is an upside-down queen), named in the
// legend under the board. One table for every reader of problems, so that a
// grasshopper read from any file is drawn and named alike.
//
// The turns chosen, clockwise: grasshopper queen 180°, nightrider knight
// 180°, zebra knight 90°, camel knight 270°, leo queen 90°, rose queen 270°,
// pao rook 90°, vao bishop 90°, lion rook 180°. No two kinds share a man and
// a turn, so a turned man says which kind it is.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/position.h"

namespace chess {

struct FairyKind {
    std::string_view code;      // the solver's letters: "G", "N", "Z", "CA"
    Piece man;                  // the white man drawn for it
    std::uint8_t turn;          // quarter turns clockwise
    std::string_view singular;  // "Grasshopper"
    std::string_view plural;    // "Grasshoppers"
};

// The kind of a solver's code, in any case ("g", "Ca"); null for the codes
// of ordinary men and for unknown ones.
const FairyKind* fairy_kind(std::string_view code);
// The kind a man with these looks is printed as; null for an ordinary man.
const FairyKind* fairy_kind_of(Piece man, Looks looks);

// A man's letters as a twin's text prints them: "K" ... "P" (the knight "S"),
// a fairy man's code ("G", "Ca"), after the side: "wK", "bG", "nS".
std::string man_name(Piece man, Looks looks);

// The looks of a position's men as text, for the diagram record's looks key
// and the lists diagram_batch writes: the squares whose men are not plain,
// each as square, ':', then the quarter turns (1-3) and 'n' for a neutral
// man, in the squares' order: "c2:2,d4:n,f3:1n". Empty when every man is
// plain.
std::string looks_field(const Position& position);
// Sets the looks such a field gives on the position's men. False, with what
// is wrong, for a malformed item, a square given twice or one without a man.
bool read_looks_field(std::string_view value, Position& position, std::string& error);

}  // namespace chess
