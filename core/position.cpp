#include "core/position.h"

namespace chess {

namespace {
constexpr std::string_view letters = "KQRBNPkqrbnp";
}

std::string square_name(int square) {
    if (square < 0 || square > 63) return std::string();
    return {static_cast<char>('a' + file_of(square)), static_cast<char>('1' + rank_of(square))};
}

int parse_square(std::string_view name) {
    if (name.size() != 2 || name[0] < 'a' || name[0] > 'h' || name[1] < '1' || name[1] > '8') return -1;
    return square_of(name[0] - 'a', name[1] - '1');
}

char fen_letter(Piece p) { return is_man(p) ? letters[static_cast<std::size_t>(p) - 1] : 0; }

Piece piece_of_letter(char c) {
    std::size_t at = letters.find(c);
    return at == std::string_view::npos || c == 0 ? Piece::Empty : static_cast<Piece>(at + 1);
}

Position Position::initial() {
    Position p;
    const Piece back[8] = {Piece::WhiteRook, Piece::WhiteKnight, Piece::WhiteBishop, Piece::WhiteQueen,
                           Piece::WhiteKing, Piece::WhiteBishop, Piece::WhiteKnight, Piece::WhiteRook};
    for (int f = 0; f < 8; ++f) {
        p[square_of(f, 0)] = back[f];
        p[square_of(f, 1)] = Piece::WhitePawn;
        p[square_of(f, 6)] = Piece::BlackPawn;
        // Black's men are White's six places further on.
        p[square_of(f, 7)] = static_cast<Piece>(static_cast<int>(back[f]) + 6);
    }
    p.to_move = Side::White;
    p.castling = "KQkq";
    return p;
}

}  // namespace chess
