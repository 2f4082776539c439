// The diagram record: what a diagram picture shows, kept as text inside the
// picture, so that a saved diagram can be set up, listed or redrawn later.
//
// The editor writes it into every diagram picture as a JPEG comment segment
// (COM); diagram_batch reads it back. Version 1, UTF-8, lines ended by LF,
// one key=value a line after the first:
//
//     chess-diagram/1
//     fen=r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w - - 0 1
//     marks=x:e4,d5;o:h7
//     caption=Белые начинают и выигрывают
//     square=50
//
// - fen (required): the men in FEN, all six fields. Marks have no FEN letter;
//   their squares are empty here.
// - marks (optional, may be empty): "x:" the squares with a cross, "o:" those
//   with a dot, each group a comma-separated list of square names, the groups
//   separated by ';'. A marked square is empty in the fen.
// - caption (optional): the text under the board, with '\' written "\\", a
//   line feed "\n" and a carriage return "\r". Valid UTF-8 without other
//   control characters.
// - looks (optional, written only when a man is not plain): how a chess
//   problem's men are printed, "c2:2,d4:n" (core/fairy_men.h): a man turned
//   by quarter turns clockwise, as fairy men are, or neutral. Readers before
//   it skip the key and draw the men plain.
// - square (required): the width in pixels of the piece set's squares that
//   drew the picture: the picture is 9 x 9.5 of them.
// - set (optional): the name of the piece set that drew the picture, from
//   the mark its pictures carry (core/piece_set_mark.h); absent for a set
//   without one. "book" is the suite's own set, whose diagrams the vector
//   renderer draws again at any size.
// - annotations (optional): coloured squares and arrows as a comment's
//   commands carry them ("[%csl Ra1,Gb2][%cal Re2e4]"); the renderer writes
//   them, the editor draws none. Readers before it skip the line.
//
// Why this form: a fixed first line names the format and its version, so a
// reader knows a record from any other comment (a camera's, an editor's)
// without guessing; key=value lines stay readable to `rdjpgcom` and to
// people, and a later version can add keys that version 1 readers skip.
// The reader is strict about everything it uses (one of each key, every
// value well formed, nothing beyond a COM segment's 65533 bytes): a damaged
// record is refused, never half read.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "core/annotations.h"
#include "core/position.h"

namespace chess {

// The first line of every record of this version.
constexpr std::string_view diagram_record_magic = "chess-diagram/";
constexpr int diagram_record_version = 1;
// The most a JPEG comment segment holds.
constexpr std::size_t diagram_record_max_bytes = 65533;
// Square sizes a record may give.
constexpr int diagram_record_max_square = 4096;

struct DiagramRecord {
    // Men and marks; the FEN fields beyond the placement as given.
    Position position;
    std::string caption;
    int square = 0;
    // The piece set's name; empty when its pictures carry no mark.
    std::string set;
    Annotations annotations;
};

// The record's text. A caption too long for a comment segment is cut at a
// character boundary so that the whole record fits.
std::string write_diagram_record(const DiagramRecord& record);

struct DiagramRecordResult {
    bool ok = false;
    DiagramRecord record;
    // When !ok: what is wrong, and the line (from 1) where it was found.
    std::string error;
    int line = 0;
};

// Reads a record written by write_diagram_record (version 1). Keys this
// version does not know are skipped; a later version is refused.
DiagramRecordResult read_diagram_record(std::string_view text);

// Whether a comment is a diagram record of any version (starts with the
// magic): then it is read and reported, not passed over.
bool is_diagram_record(std::string_view text);

// The record of a diagram picture: the JPEG file's comment segments walked
// (without decoding the picture) and the one diagram record among them read.
// Refused with the reason: a file that cannot be read or is no JPEG, a
// picture without a record, one with two, or a damaged record.
DiagramRecordResult read_diagram_picture(const std::string& path);

// The marks field alone: "x:e4,d5;o:h7" from the crosses and dots of a position.
std::string marks_field(const Position& position);

}  // namespace chess
