// The piece-set mark: which set drew a piece-set picture, kept as text inside
// it, so that the editor can tell its own set from any other raster set.
//
// make_piece_set writes it into every one of the 32 pictures as a JPEG
// comment segment (COM), in the form of the diagram record
// (core/diagram_record.h): UTF-8, lines ended by LF, a fixed first line,
// then one key=value a line:
//
//     chess-piece-set/1
//     set=book
//     square=50
//
// - set (required): the set's name, 1 to 64 characters a-z, 0-9, '.', '_',
//   '-'. The suite's own set, the vector renderer's squares rasterised, is
//   "book" (own_piece_set).
// - square (required): the width in pixels of the set's squares.
//
// Keys this version does not know are skipped; a later version is refused.
// The editor copies the set's name into the diagram record of every picture
// it saves with a set whose 32 pictures all carry the same mark.
#pragma once

#include <string>
#include <string_view>

#include "core/diagram_record.h"

namespace chess {

constexpr std::string_view piece_set_mark_magic = "chess-piece-set/";
constexpr int piece_set_mark_version = 1;
// The set make_piece_set draws: a diagram drawn with it is the renderer's
// diagram, which can be drawn again at any size.
constexpr std::string_view own_piece_set = "book";

struct PieceSetMark {
    std::string set;
    int square = 0;
};

std::string write_piece_set_mark(const PieceSetMark& mark);

struct PieceSetMarkResult {
    bool ok = false;
    PieceSetMark mark;
    // When !ok: what is wrong, and the line (from 1) where it was found.
    std::string error;
    int line = 0;
};
PieceSetMarkResult read_piece_set_mark(std::string_view text);

// Whether text is a set's name as a mark or a diagram record gives it.
bool is_piece_set_name(std::string_view text);

// The name of the set in folder (ending in '/') when each of its pictures
// 1.jpg ... 32.jpg carries one sound mark, all of them the same set at
// square pixels; "" otherwise (a set drawn elsewhere, or one with a picture
// replaced). Only the files' headers are read.
std::string marked_piece_set(const std::string& folder, int square);

// Whether a diagram picture of width x height pixels with this record is
// the renderer's diagram, which can be drawn again in its place at any size:
// drawn with the suite's own set, at the size the record gives (a picture
// cut or resized elsewhere, comment and all, is not).
bool drawn_with_own_set(const DiagramRecord& record, int width, int height);

}  // namespace chess
