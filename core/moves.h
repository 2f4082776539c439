// The rules of moving: legal moves of a position, making them, and reading
// and writing them in standard algebraic notation (SAN).
//
// A Board is a Position that can be played: side to move known, one king a
// side, no more men than a game can give a side (16, at most 8 pawns, no
// more promoted men than pawns gone), no pawn on the first or last rank,
// the side not to move not in check. Castling rights and the en passant
// square are read from the position's text fields; rights the men's places
// do not allow (king or rook not at home) and an en passant square no pawn
// has just passed are dropped. Marks count as empty squares and do not come
// back from position().
//
// Nothing here allocates per move: moves are four bytes, move lists live on
// the stack, pins are found along the king's lines, and only king moves, en
// passant and answers to check are tried out on a copy of the small board.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/position.h"

namespace chess {

enum class MoveKind : std::uint8_t { Normal, DoublePush, EnPassant, Castle, Promotion };

struct Move {
    std::uint8_t from = 0;
    std::uint8_t to = 0;
    MoveKind kind = MoveKind::Normal;
    // For a promotion: the man the pawn becomes, in the mover's colour.
    Piece promotion = Piece::Empty;

    bool operator==(const Move&) const = default;
};

// Enough for the pseudo-legal moves of any Board: its men are no more than a
// game can have, and nine queens, two rooks, bishops and knights and a king
// make at most 323 moves. Pushing past the end drops the move rather than
// writing past the list.
class MoveList {
public:
    static constexpr int capacity = 384;

    void clear() { size_ = 0; }
    void push(Move m) {
        if (size_ < capacity) moves_[static_cast<std::size_t>(size_++)] = m;
    }
    int size() const { return size_; }
    bool empty() const { return size_ == 0; }
    const Move& operator[](int i) const { return moves_[static_cast<std::size_t>(i)]; }
    const Move* begin() const { return moves_.data(); }
    const Move* end() const { return moves_.data() + size_; }

private:
    std::array<Move, capacity> moves_;
    int size_ = 0;
};

// What reading a SAN move gave: the move, or why there is none ("no knight
// can go to f3", "two knights can go to d2", "castling through check", "the
// king would be in check").
struct SanResult {
    bool ok = false;
    Move move;
    std::string error;
};

// Castling rights as bits.
enum : std::uint8_t {
    white_short = 1,
    white_long = 2,
    black_short = 4,
    black_long = 8,
};

class Board {
public:
    // The playable board of a position, or nothing with why in *why ("side to
    // move unknown", "White has no king", "a pawn on the first or last rank",
    // "the side not to move is in check").
    static std::optional<Board> from_position(const Position& position, std::string* why = nullptr);
    static Board initial();

    // The position with castling, en passant square (set after every double
    // step, as FEN has it) and clocks.
    Position position() const;

    Side to_move() const { return white_ ? Side::White : Side::Black; }
    Piece operator[](int square) const { return squares_[static_cast<std::size_t>(square)]; }
    std::uint8_t castling() const { return castling_; }
    // The square a pawn just passed, or -1.
    int en_passant() const { return en_passant_; }
    int halfmove_clock() const { return halfmove_; }
    int fullmove_number() const { return fullmove_; }

    bool in_check() const { return check_; }
    void legal_moves(MoveList& out) const;
    bool has_legal_move() const;
    bool is_checkmate() const { return in_check() && !has_legal_move(); }
    bool is_stalemate() const { return !in_check() && !has_legal_move(); }
    // Whether a move (from any source) is one of the legal moves here.
    bool is_legal(Move m) const;

    // Makes a legal move; anything else leaves the board in an undefined
    // (but memory-safe) state.
    void play(Move m);
    // Makes a legal move and appends its SAN with check or mate sign: what
    // write_san and play do, for the price of one.
    void play(Move m, std::string& san);

    // A null move, as analysis and some puzzle files write it ("--", "Z0"):
    // the side to move passes, and an en passant chance is gone. False, and
    // nothing changes, while the side to move is in check.
    bool pass();

    // Reads one SAN move. Tolerated: "0-0" and "o-o" for "O-O", "e8Q" for
    // "e8=Q", a lower-case promotion letter, trailing "+", "#", "!", "?" and
    // "e.p.", a capture sign missing or present where nothing is taken, a
    // needless disambiguation, and the long forms "Ng1-f3", "e2-e4", "e2e4",
    // "e7e8q", "e1g1" (a move given by its squares alone is whatever man
    // stands on the first). Refused: a piece letter on a pawn move.
    SanResult parse_san(std::string_view text) const;
    // Appends the move's SAN with its check or mate sign; the move must be
    // legal here.
    void write_san(Move m, std::string& out) const;
    std::string san(Move m) const;
    // Reads a SAN move and, when it is legal, makes it and appends it as
    // the rules write it (the PGN reader's step, done once).
    SanResult play_san(std::string_view text, std::string& out);

    bool operator==(const Board&) const = default;

private:
    Board() = default;
    bool attacked(int square, bool by_white) const;
    bool king_attacked() const { return attacked(kings_[white_ ? 0 : 1], !white_); }
    // The SAN without its check or mate sign; alone: no other man of the
    // kind can go to the square, so no disambiguation is looked for.
    void write_bare_san(Move m, std::string& out, bool alone = false) const;
    SanResult read_san(std::string_view text, bool* alone) const;
    // The legal move between two squares; promotion a kind, or -1.
    SanResult read_coordinates(int from, int to, int promotion, bool* alone) const;
    // Pseudo-legal moves: legal but for leaving the own king in check.
    void pseudo_moves(MoveList& out) const;
    bool leaves_king_safe(Move m) const;
    // Whether the move just made by apply() checks the side now to move;
    // not for en passant or castling.
    bool gives_check(Move m) const;
    void apply(Move m);
    // Legal moves to a square of the mover's men of one kind (given as the
    // white man), from the file and rank given (-1: any); *pseudo_count gets
    // how many would be legal but for the own king.
    int candidates(Piece white_kind, int to, int from_file, int from_rank, Move* out, int max,
                   int* pseudo_count) const;

    std::array<Piece, 64> squares_{};
    bool white_ = true;
    std::uint8_t castling_ = 0;
    std::int8_t en_passant_ = -1;
    std::array<std::int8_t, 2> kings_{};  // white, black
    int halfmove_ = 0;
    int fullmove_ = 1;
    // Whether the side to move is in check: kept by play(), not by apply(),
    // which also makes the trial moves of the legality test.
    bool check_ = false;
};

// Leaf nodes of the legal move tree to the given depth: the standard check
// of a move generator.
std::uint64_t perft(const Board& board, int depth);

}  // namespace chess
