// What move generation and SAN share: the kinds of men and the tables of
// steps and rays, computed at compile time. Internal to core/.
#pragma once

#include <cstdint>

#include "core/moves.h"

namespace chess::board_detail {

// Kinds of men in the piece set's order; a man's kind is (Piece - 1) % 6.
enum Kind { King, Queen, Rook, Bishop, Knight, Pawn };

constexpr int kind_of(Piece p) { return is_man(p) ? (static_cast<int>(p) - 1) % 6 : -1; }
constexpr Piece man(int kind, bool white) { return static_cast<Piece>(1 + kind + (white ? 0 : 6)); }
constexpr bool own(Piece p, bool white) { return white ? is_white(p) : is_black(p); }

// Steps as (file, rank): the rook's four directions first, then the bishop's.
constexpr int line_steps[8][2] = {{0, 1}, {0, -1}, {1, 0}, {-1, 0}, {1, 1}, {1, -1}, {-1, 1}, {-1, -1}};
constexpr int knight_steps[8][2] = {{1, 2}, {2, 1}, {2, -1}, {1, -2}, {-1, -2}, {-2, -1}, {-2, 1}, {-1, 2}};

struct Tables {
    // Squares a knight or king reaches from each square, and how many.
    std::int8_t knight[64][8]{};
    std::int8_t knight_count[64]{};
    std::int8_t king[64][8]{};
    std::int8_t king_count[64]{};
    // The squares along each of the eight lines from each square, nearest first.
    std::int8_t ray[64][8][7]{};
    std::int8_t ray_length[64][8]{};
    // Which of the eight lines leads from one square to another, or -1.
    std::int8_t direction[64][64]{};
    // The castling rights that survive a move touching the square.
    std::uint8_t keep[64]{};

    constexpr Tables() {
        for (auto& row : direction) {
            for (auto& d : row) d = -1;
        }
        for (int s = 0; s < 64; ++s) {
            const int f = file_of(s), r = rank_of(s);
            for (int i = 0; i < 8; ++i) {
                int nf = f + knight_steps[i][0], nr = r + knight_steps[i][1];
                if (nf >= 0 && nf < 8 && nr >= 0 && nr < 8) knight[s][knight_count[s]++] = static_cast<std::int8_t>(square_of(nf, nr));
                nf = f + line_steps[i][0];
                nr = r + line_steps[i][1];
                if (nf >= 0 && nf < 8 && nr >= 0 && nr < 8) king[s][king_count[s]++] = static_cast<std::int8_t>(square_of(nf, nr));
                for (nf = f + line_steps[i][0], nr = r + line_steps[i][1]; nf >= 0 && nf < 8 && nr >= 0 && nr < 8;
                     nf += line_steps[i][0], nr += line_steps[i][1]) {
                    const int t = square_of(nf, nr);
                    ray[s][i][ray_length[s][i]++] = static_cast<std::int8_t>(t);
                    direction[s][t] = static_cast<std::int8_t>(i);
                }
            }
            keep[s] = 0xF;
        }
        keep[square_of(4, 0)] = static_cast<std::uint8_t>(~(white_short | white_long) & 0xF);
        keep[square_of(7, 0)] = static_cast<std::uint8_t>(~white_short & 0xF);
        keep[square_of(0, 0)] = static_cast<std::uint8_t>(~white_long & 0xF);
        keep[square_of(4, 7)] = static_cast<std::uint8_t>(~(black_short | black_long) & 0xF);
        keep[square_of(7, 7)] = static_cast<std::uint8_t>(~black_short & 0xF);
        keep[square_of(0, 7)] = static_cast<std::uint8_t>(~black_long & 0xF);
    }
};

inline constexpr Tables tables;

}  // namespace chess::board_detail
