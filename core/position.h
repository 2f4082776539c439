// A chess diagram's position: 64 squares, each empty, a man, or one of the
// two marks a diagram can show, and the side to move when it is known.
//
// Nothing here checks legality: teachers draw kingless positions and nine
// queens, and a diagram must show them as they are.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace chess {

// The men in the piece set's order: king, queen, rook, bishop, knight, pawn,
// white first. The marks have no FEN letter.
enum class Piece : std::uint8_t {
    Empty = 0,
    WhiteKing, WhiteQueen, WhiteRook, WhiteBishop, WhiteKnight, WhitePawn,
    BlackKing, BlackQueen, BlackRook, BlackBishop, BlackKnight, BlackPawn,
    Cross, Dot,
};

enum class Side : std::uint8_t { Unknown, White, Black };

// Squares are numbered 0 (a1) to 63 (h8), rank by rank.
constexpr int square_of(int file, int rank) { return rank * 8 + file; }
constexpr int file_of(int square) { return square % 8; }
constexpr int rank_of(int square) { return square / 8; }
// a1 is dark.
constexpr bool is_dark_square(int square) { return (file_of(square) + rank_of(square)) % 2 == 0; }
// "e4" for square 28.
std::string square_name(int square);
// The square of a name such as "e4", or -1.
int parse_square(std::string_view name);

constexpr bool is_man(Piece p) { return p >= Piece::WhiteKing && p <= Piece::BlackPawn; }
constexpr bool is_mark(Piece p) { return p == Piece::Cross || p == Piece::Dot; }
constexpr bool is_white(Piece p) { return p >= Piece::WhiteKing && p <= Piece::WhitePawn; }
constexpr bool is_black(Piece p) { return p >= Piece::BlackKing && p <= Piece::BlackPawn; }

// The FEN letter of a man ('K' ... 'p'); 0 for the empty square and marks.
char fen_letter(Piece p);
// The man of a FEN letter, or Empty for any other character.
Piece piece_of_letter(char c);

// How a problem's man is printed beyond its kind and colour: a fairy man is
// an ordinary man turned (a grasshopper is an upside-down queen), and a
// neutral man, belonging to both sides, is drawn half white, half black. The
// men of ordinary chess have the default looks.
struct Looks {
    std::uint8_t turn = 0;  // quarter turns clockwise: 0, 1 (90°), 2 (180°), 3 (270°)
    bool neutral = false;   // the man's colour in squares is then White's
    bool operator==(const Looks&) const = default;
    bool plain() const { return turn == 0 && !neutral; }
};

struct Position {
    std::array<Piece, 64> squares{};
    // Kept beside the men, so that everything that knows only FEN keeps
    // working: a square without a man has the default looks.
    std::array<Looks, 64> looks{};
    Side to_move = Side::Unknown;
    // The remaining FEN fields, kept as read so that a position is written
    // back as it came; "-" and the clock defaults when not given.
    std::string castling = "-";
    std::string en_passant = "-";
    int halfmove_clock = 0;
    int fullmove_number = 1;

    Piece& operator[](int square) { return squares[static_cast<std::size_t>(square)]; }
    Piece operator[](int square) const { return squares[static_cast<std::size_t>(square)]; }
    bool operator==(const Position&) const = default;

    // The initial position of a game, White to move.
    static Position initial();
};

}  // namespace chess
