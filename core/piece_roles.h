// The piece set's roles: which of its 32 pictures shows which man or mark on
// which colour of square.
//
// Pictures 2k - 1 and 2k, for k = 1 to 6, show the white king, queen, rook,
// bishop, knight and pawn on a light and on a dark square, k = 7 to 12 the
// black ones in the same order; 25/26 the empty squares, 27/28 the frame
// strips, 29/30 a cross and 31/32 a dot.
#pragma once

#include "core/position.h"

namespace chess {

constexpr int piece_set_pictures = 32;
constexpr int empty_light_picture = 25;
constexpr int empty_dark_picture = 26;
constexpr int horizontal_frame_picture = 27;
constexpr int vertical_frame_picture = 28;
constexpr int cross_picture = 29;
constexpr int dot_picture = 31;

// The odd picture of a piece's pair: the one on a light square.
constexpr int light_picture(Piece p) {
    if (p == Piece::Empty) return empty_light_picture;
    if (p == Piece::Cross) return cross_picture;
    if (p == Piece::Dot) return dot_picture;
    return 2 * static_cast<int>(p) - 1;
}

// The picture that shows p on a square of the given colour.
constexpr int picture_of(Piece p, bool dark) { return light_picture(p) + (dark ? 1 : 0); }

// The piece a square picture shows, whatever the square's colour; Empty for
// the frame strips and numbers outside 1 to 32 as well.
constexpr Piece piece_of_picture(int n) {
    if (n < 1 || n > piece_set_pictures) return Piece::Empty;
    if (n <= 24) return static_cast<Piece>((n + 1) / 2);
    if (n == 29 || n == 30) return Piece::Cross;
    if (n == 31 || n == 32) return Piece::Dot;
    return Piece::Empty;
}

}  // namespace chess
