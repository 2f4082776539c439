#include "core/moves.h"

#include "core/board_tables.h"

namespace chess {

using namespace board_detail;

std::optional<Board> Board::from_position(const Position& position, std::string* why) {
    auto fail = [why](const char* text) -> std::optional<Board> {
        if (why) *why = text;
        return std::nullopt;
    };
    if (position.to_move == Side::Unknown) return fail("side to move unknown");
    Board b;
    int kings[2] = {0, 0};
    for (int s = 0; s < 64; ++s) {
        const Piece p = position[s];
        if (!is_man(p)) continue;
        b.squares_[static_cast<std::size_t>(s)] = p;
        if (kind_of(p) == King) {
            const int side = is_white(p) ? 0 : 1;
            ++kings[side];
            b.kings_[static_cast<std::size_t>(side)] = static_cast<std::int8_t>(s);
        }
        if (kind_of(p) == Pawn && (rank_of(s) == 0 || rank_of(s) == 7)) return fail("a pawn on the first or last rank");
    }
    for (bool white : {true, false}) {
        // Men beyond the first set can only come from promoted pawns.
        int pawns = 0, extra = 0;
        const int initial[6] = {1, 1, 2, 2, 2, 8};
        for (int kind = Queen; kind <= Knight; ++kind) {
            int count = 0;
            for (Piece p : b.squares_) count += p == man(kind, white);
            if (count > initial[kind]) extra += count - initial[kind];
        }
        for (Piece p : b.squares_) pawns += p == man(Pawn, white);
        if (pawns > 8 || extra > 8 - pawns) {
            return fail(white ? "White has more men than a game can give" : "Black has more men than a game can give");
        }
    }
    if (kings[0] == 0) return fail("White has no king");
    if (kings[1] == 0) return fail("Black has no king");
    if (kings[0] > 1) return fail("White has more than one king");
    if (kings[1] > 1) return fail("Black has more than one king");
    b.white_ = position.to_move == Side::White;

    // Rights the men's places allow; file letters as Chess960 files write
    // them count only for the corner rooks.
    auto grant = [&b](bool white, bool short_side) {
        const int rank = white ? 0 : 7;
        if (b[square_of(4, rank)] != man(King, white) || b[square_of(short_side ? 7 : 0, rank)] != man(Rook, white)) return;
        b.castling_ |= white ? (short_side ? white_short : white_long) : (short_side ? black_short : black_long);
    };
    for (char c : position.castling) {
        if (c == 'K') grant(true, true);
        else if (c == 'Q') grant(true, false);
        else if (c == 'k') grant(false, true);
        else if (c == 'q') grant(false, false);
        else if (c == 'H') grant(true, true);
        else if (c == 'A') grant(true, false);
        else if (c == 'h') grant(false, true);
        else if (c == 'a') grant(false, false);
    }

    const int ep = parse_square(position.en_passant);
    if (ep >= 0) {
        const int pawn_at = b.white_ ? ep - 8 : ep + 8;
        const int came_from = b.white_ ? ep + 8 : ep - 8;
        const bool placed = rank_of(ep) == (b.white_ ? 5 : 2) && b[pawn_at] == man(Pawn, !b.white_) &&
                            b[ep] == Piece::Empty && b[came_from] == Piece::Empty;
        if (placed) b.en_passant_ = static_cast<std::int8_t>(ep);
    }
    b.halfmove_ = position.halfmove_clock < 0 ? 0 : position.halfmove_clock;
    b.fullmove_ = position.fullmove_number < 1 ? 1 : position.fullmove_number;

    if (b.attacked(b.kings_[b.white_ ? 1 : 0], b.white_)) return fail("the side not to move is in check");
    b.check_ = b.king_attacked();
    return b;
}

Board Board::initial() { return *from_position(Position::initial()); }

Position Board::position() const {
    Position p;
    p.squares = squares_;
    p.to_move = to_move();
    p.castling.clear();
    if (castling_ & white_short) p.castling += 'K';
    if (castling_ & white_long) p.castling += 'Q';
    if (castling_ & black_short) p.castling += 'k';
    if (castling_ & black_long) p.castling += 'q';
    if (p.castling.empty()) p.castling = "-";
    p.en_passant = en_passant_ >= 0 ? square_name(en_passant_) : "-";
    p.halfmove_clock = halfmove_;
    p.fullmove_number = fullmove_;
    return p;
}

bool Board::attacked(int square, bool by_white) const {
    const int f = file_of(square), r = rank_of(square);
    if (by_white) {
        if (r > 1) {
            if (f > 0 && (*this)[square - 9] == Piece::WhitePawn) return true;
            if (f < 7 && (*this)[square - 7] == Piece::WhitePawn) return true;
        }
    } else if (r < 6) {
        if (f > 0 && (*this)[square + 7] == Piece::BlackPawn) return true;
        if (f < 7 && (*this)[square + 9] == Piece::BlackPawn) return true;
    }
    const Piece knight = man(Knight, by_white), king = man(King, by_white);
    for (int i = 0; i < tables.knight_count[square]; ++i) {
        if ((*this)[tables.knight[square][i]] == knight) return true;
    }
    for (int i = 0; i < tables.king_count[square]; ++i) {
        if ((*this)[tables.king[square][i]] == king) return true;
    }
    const Piece queen = man(Queen, by_white), rook = man(Rook, by_white), bishop = man(Bishop, by_white);
    for (int d = 0; d < 8; ++d) {
        const Piece slider = d < 4 ? rook : bishop;
        const std::int8_t* ray = tables.ray[square][d];
        for (int i = 0, n = tables.ray_length[square][d]; i < n; ++i) {
            const Piece p = (*this)[ray[i]];
            if (p == Piece::Empty) continue;
            if (p == queen || p == slider) return true;
            break;
        }
    }
    return false;
}

void Board::pseudo_moves(MoveList& out) const {
    const bool w = white_;
    auto add = [&out](int from, int to, MoveKind kind = MoveKind::Normal, Piece promotion = Piece::Empty) {
        out.push(Move{static_cast<std::uint8_t>(from), static_cast<std::uint8_t>(to), kind, promotion});
    };
    auto add_pawn = [&](int from, int to) {
        if (rank_of(to) == (w ? 7 : 0)) {
            for (int k : {Queen, Rook, Bishop, Knight}) add(from, to, MoveKind::Promotion, man(k, w));
        } else {
            add(from, to);
        }
    };
    const int step = w ? 8 : -8;
    for (int s = 0; s < 64; ++s) {
        const Piece p = (*this)[s];
        if (!own(p, w)) continue;
        switch (kind_of(p)) {
            case Pawn: {
                const int t = s + step;
                if ((*this)[t] == Piece::Empty) {
                    add_pawn(s, t);
                    if (rank_of(s) == (w ? 1 : 6) && (*this)[t + step] == Piece::Empty) add(s, t + step, MoveKind::DoublePush);
                }
                for (int df : {-1, 1}) {
                    const int f = file_of(s) + df;
                    if (f < 0 || f > 7) continue;
                    const int c = t + df;
                    if (own((*this)[c], !w)) add_pawn(s, c);
                    else if (c == en_passant_) add(s, c, MoveKind::EnPassant);
                }
                break;
            }
            case Knight:
                for (int i = 0; i < tables.knight_count[s]; ++i) {
                    const int t = tables.knight[s][i];
                    if (!own((*this)[t], w)) add(s, t);
                }
                break;
            case King:
                for (int i = 0; i < tables.king_count[s]; ++i) {
                    const int t = tables.king[s][i];
                    if (!own((*this)[t], w)) add(s, t);
                }
                break;
            default: {
                const int kind = kind_of(p);
                const int first = kind == Bishop ? 4 : 0, last = kind == Rook ? 4 : 8;
                for (int d = first; d < last; ++d) {
                    const std::int8_t* ray = tables.ray[s][d];
                    for (int i = 0, n = tables.ray_length[s][d]; i < n; ++i) {
                        const Piece q = (*this)[ray[i]];
                        if (own(q, w)) break;
                        add(s, ray[i]);
                        if (q != Piece::Empty) break;
                    }
                }
            }
        }
    }
    // Castling: the rights promise king and rook at home; the squares between
    // must be empty and the king may not leave, cross or (tested with the
    // other moves) land on an attacked square.
    const int home = w ? 4 : 60;
    const std::uint8_t short_right = w ? white_short : black_short, long_right = w ? white_long : black_long;
    if ((castling_ & (short_right | long_right)) && !check_) {
        if ((castling_ & short_right) && (*this)[home + 1] == Piece::Empty && (*this)[home + 2] == Piece::Empty &&
            !attacked(home + 1, !w)) {
            add(home, home + 2, MoveKind::Castle);
        }
        if ((castling_ & long_right) && (*this)[home - 1] == Piece::Empty && (*this)[home - 2] == Piece::Empty &&
            (*this)[home - 3] == Piece::Empty && !attacked(home - 1, !w)) {
            add(home, home - 2, MoveKind::Castle);
        }
    }
}

bool Board::leaves_king_safe(Move m) const {
    const int king = kings_[white_ ? 0 : 1];
    // A check already given, a king move and en passant (two men leave the
    // board's lines) are tried out on a copy.
    if (check_ || m.from == king || m.kind == MoveKind::EnPassant) {
        Board next = *this;
        next.apply(m);
        return !next.attacked(next.kings_[white_ ? 0 : 1], !white_);
    }
    // Otherwise only a pin matters: the man is the first on a line from its
    // king, an enemy slider of that line's kind the next, and the move
    // leaves the line.
    const int d = tables.direction[king][m.from];
    if (d < 0) return true;
    const std::int8_t* ray = tables.ray[king][d];
    const int length = tables.ray_length[king][d];
    int i = 0;
    for (; ray[i] != m.from; ++i) {
        if ((*this)[ray[i]] != Piece::Empty) return true;
    }
    for (++i; i < length; ++i) {
        const Piece p = (*this)[ray[i]];
        if (p == Piece::Empty) continue;
        const bool pinner = p == man(Queen, !white_) || p == man(d < 4 ? Rook : Bishop, !white_);
        return !pinner || tables.direction[king][m.to] == d;
    }
    return true;
}

bool Board::gives_check(Move m) const {
    // After the move: the side to move is the one that may be in check.
    const int king = kings_[white_ ? 0 : 1];
    const bool mover = !white_;
    const Piece p = (*this)[m.to];
    const int df = file_of(king) - file_of(m.to), dr = rank_of(king) - rank_of(m.to);
    switch (kind_of(p)) {
        case Pawn:
            if ((df == 1 || df == -1) && dr == (mover ? 1 : -1)) return true;
            break;
        case Knight:
            if ((df * df + dr * dr) == 5) return true;
            break;
        case King:
            break;
        default: {
            const int d = tables.direction[m.to][king];
            if (d >= 0 && (kind_of(p) == Queen || (d < 4) == (kind_of(p) == Rook))) {
                const std::int8_t* ray = tables.ray[m.to][d];
                int i = 0;
                while (ray[i] != king && (*this)[ray[i]] == Piece::Empty) ++i;
                if (ray[i] == king) return true;
            }
        }
    }
    // A line through the square left.
    const int d = tables.direction[king][m.from];
    if (d < 0) return false;
    const std::int8_t* ray = tables.ray[king][d];
    for (int i = 0, length = tables.ray_length[king][d]; i < length; ++i) {
        const Piece q = (*this)[ray[i]];
        if (q == Piece::Empty) continue;
        return q == man(Queen, mover) || q == man(d < 4 ? Rook : Bishop, mover);
    }
    return false;
}

void Board::legal_moves(MoveList& out) const {
    MoveList pseudo;
    pseudo_moves(pseudo);
    out.clear();
    for (const Move& m : pseudo) {
        if (leaves_king_safe(m)) out.push(m);
    }
}

bool Board::has_legal_move() const {
    MoveList pseudo;
    pseudo_moves(pseudo);
    for (const Move& m : pseudo) {
        if (leaves_king_safe(m)) return true;
    }
    return false;
}

bool Board::is_legal(Move m) const {
    MoveList moves;
    legal_moves(moves);
    for (const Move& legal : moves) {
        if (legal == m) return true;
    }
    return false;
}

void Board::apply(Move m) {
    const bool w = white_;
    const Piece p = (*this)[m.from];
    const Piece captured = (*this)[m.to];
    ++halfmove_;
    if (kind_of(p) == Pawn || captured != Piece::Empty) halfmove_ = 0;
    squares_[m.from] = Piece::Empty;
    squares_[m.to] = m.kind == MoveKind::Promotion ? m.promotion : p;
    if (m.kind == MoveKind::EnPassant) squares_[static_cast<std::size_t>(m.to + (w ? -8 : 8))] = Piece::Empty;
    if (m.kind == MoveKind::Castle) {
        const int rook_from = m.to > m.from ? m.from + 3 : m.from - 4;
        const int rook_to = m.to > m.from ? m.from + 1 : m.from - 1;
        squares_[static_cast<std::size_t>(rook_to)] = squares_[static_cast<std::size_t>(rook_from)];
        squares_[static_cast<std::size_t>(rook_from)] = Piece::Empty;
    }
    if (kind_of(p) == King) kings_[w ? 0 : 1] = static_cast<std::int8_t>(m.to);
    castling_ &= tables.keep[m.from] & tables.keep[m.to];
    en_passant_ = m.kind == MoveKind::DoublePush ? static_cast<std::int8_t>((m.from + m.to) / 2) : -1;
    if (!w) ++fullmove_;
    white_ = !w;
}

void Board::play(Move m) {
    apply(m);
    // En passant and castling move two men: the whole test.
    check_ = m.kind == MoveKind::EnPassant || m.kind == MoveKind::Castle ? king_attacked() : gives_check(m);
}

bool Board::pass() {
    if (check_) return false;
    ++halfmove_;
    en_passant_ = -1;
    if (!white_) ++fullmove_;
    white_ = !white_;
    // The side that passed was not in check, and the side now to move was
    // the side not to move: neither is in check.
    return true;
}

void Board::play(Move m, std::string& san) {
    write_bare_san(m, san);
    play(m);
    if (check_) san += has_legal_move() ? '+' : '#';
}


std::uint64_t perft(const Board& board, int depth) {
    if (depth <= 0) return 1;
    MoveList moves;
    board.legal_moves(moves);
    if (depth == 1) return static_cast<std::uint64_t>(moves.size());
    std::uint64_t total = 0;
    for (const Move& m : moves) {
        Board next = board;
        next.play(m);
        total += perft(next, depth - 1);
    }
    return total;
}

}  // namespace chess
