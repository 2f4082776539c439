#include "core/moves.h"

#include <cstdlib>

namespace chess {

namespace {

// Kinds of men in the piece set's order; a man's kind is (Piece - 1) % 6.
enum Kind { King, Queen, Rook, Bishop, Knight, Pawn };

constexpr int kind_of(Piece p) { return is_man(p) ? (static_cast<int>(p) - 1) % 6 : -1; }
constexpr Piece man(int kind, bool white) { return static_cast<Piece>(1 + kind + (white ? 0 : 6)); }
constexpr bool own(Piece p, bool white) { return white ? is_white(p) : is_black(p); }

const char* const kind_names[] = {"king", "queen", "rook", "bishop", "knight", "pawn"};
const char kind_letters[] = "KQRBNP";

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

constexpr Tables tables;

std::string count_word(int n) {
    static const char* const words[] = {"no", "one", "two", "three", "four", "five", "six", "seven", "eight", "nine", "ten"};
    return n >= 0 && n <= 10 ? words[n] : std::to_string(n);
}

bool ends_with(std::string_view s, std::string_view tail) {
    return s.size() >= tail.size() && s.substr(s.size() - tail.size()) == tail;
}

SanResult refusal(std::string why) {
    SanResult r;
    r.error = std::move(why);
    return r;
}

SanResult accepted(Move m) {
    SanResult r;
    r.ok = true;
    r.move = m;
    return r;
}

// The kind of a promotion letter, or -1.
int promotion_kind(char c) {
    switch (c) {
        case 'Q': case 'q': return Queen;
        case 'R': case 'r': return Rook;
        case 'B': case 'b': return Bishop;
        case 'N': case 'n': return Knight;
        case 'K': case 'k': return King;
        default: return -1;
    }
}

}  // namespace

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

void Board::play(Move m, std::string& san) {
    write_bare_san(m, san);
    play(m);
    if (check_) san += has_legal_move() ? '+' : '#';
}

int Board::candidates(Piece white_kind, int to, int from_file, int from_rank, Move* out, int max,
                      int* pseudo_count) const {
    const int kind = kind_of(white_kind);
    const Piece mine = man(kind, white_);
    int pseudo = 0, n = 0;
    auto consider = [&](int from) {
        if ((from_file >= 0 && file_of(from) != from_file) || (from_rank >= 0 && rank_of(from) != from_rank)) return;
        ++pseudo;
        const Move m{static_cast<std::uint8_t>(from), static_cast<std::uint8_t>(to), MoveKind::Normal, Piece::Empty};
        if (leaves_king_safe(m) && n < max) out[n++] = m;
    };
    if (!own((*this)[to], white_)) {
        if (kind == Knight) {
            for (int i = 0; i < tables.knight_count[to]; ++i) {
                if ((*this)[tables.knight[to][i]] == mine) consider(tables.knight[to][i]);
            }
        } else if (kind == King) {
            for (int i = 0; i < tables.king_count[to]; ++i) {
                if ((*this)[tables.king[to][i]] == mine) consider(tables.king[to][i]);
            }
        } else if (kind == Queen || kind == Rook || kind == Bishop) {
            const int first = kind == Bishop ? 4 : 0, last = kind == Rook ? 4 : 8;
            for (int d = first; d < last; ++d) {
                const std::int8_t* ray = tables.ray[to][d];
                for (int i = 0, len = tables.ray_length[to][d]; i < len; ++i) {
                    const Piece q = (*this)[ray[i]];
                    if (q == Piece::Empty) continue;
                    if (q == mine) consider(ray[i]);
                    break;
                }
            }
        }
    }
    if (pseudo_count) *pseudo_count = pseudo;
    return n;
}

SanResult Board::parse_san(std::string_view text) const { return read_san(text, nullptr); }

SanResult Board::play_san(std::string_view text, std::string& out) {
    bool alone = false;
    SanResult r = read_san(text, &alone);
    if (!r.ok) return r;
    write_bare_san(r.move, out, alone);
    play(r.move);
    if (check_) out += has_legal_move() ? '+' : '#';
    return r;
}

SanResult Board::read_san(std::string_view s, bool* alone) const {
    // Decorations after the move, in any order and number.
    for (bool trimmed = true; trimmed;) {
        trimmed = false;
        while (!s.empty() && (s.back() == '+' || s.back() == '#' || s.back() == '!' || s.back() == '?')) {
            s.remove_suffix(1);
            trimmed = true;
        }
        if (ends_with(s, "e.p.")) {
            s.remove_suffix(4);
            trimmed = true;
        }
    }
    if (s.empty()) return refusal("not a move");
    const bool w = white_;

    if (s == "O-O" || s == "0-0" || s == "o-o" || s == "O-O-O" || s == "0-0-0" || s == "o-o-o") {
        const bool short_side = s.size() == 3;
        const std::uint8_t right = w ? (short_side ? white_short : white_long) : (short_side ? black_short : black_long);
        const int home = w ? 4 : 60;
        const int dir = short_side ? 1 : -1;
        if (!(castling_ & right)) return refusal(short_side ? "no right to castle short" : "no right to castle long");
        for (int t = home + dir; t != (short_side ? home + 3 : home - 4); t += dir) {
            if ((*this)[t] != Piece::Empty) return refusal("the squares between king and rook are not empty");
        }
        if (in_check()) return refusal("castling out of check");
        if (attacked(home + dir, !w)) return refusal("castling through check");
        const Move m{static_cast<std::uint8_t>(home), static_cast<std::uint8_t>(home + 2 * dir), MoveKind::Castle,
                     Piece::Empty};
        if (!leaves_king_safe(m)) return refusal("castling into check");
        return accepted(m);
    }

    int kind = Pawn;
    if (std::string_view("KQRBN").find(s[0]) != std::string_view::npos) {
        kind = kind_of(man(static_cast<int>(std::string_view("KQRBN").find(s[0])), true));
        s.remove_prefix(1);
    } else if (s[0] == 'P') {
        return refusal("a pawn move has no piece letter");
    } else if (s[0] < 'a' || s[0] > 'h') {
        return refusal("not a move");
    }

    int promotion = -1;
    if (s.size() >= 2 && s[s.size() - 2] == '=') {
        promotion = promotion_kind(s.back());
        if (promotion < 0) return refusal("not a move");
        s.remove_suffix(2);
    } else if (!s.empty() && kind == Pawn && std::string_view("QRBNK").find(s.back()) != std::string_view::npos) {
        promotion = promotion_kind(s.back());
        s.remove_suffix(1);
    }
    if (s.size() < 2) return refusal("not a move");
    const int to = parse_square(s.substr(s.size() - 2));
    if (to < 0) return refusal("not a move");
    s.remove_suffix(2);
    if (!s.empty() && (s.back() == 'x' || s.back() == ':')) s.remove_suffix(1);
    int from_file = -1, from_rank = -1;
    if (!s.empty() && s[0] >= 'a' && s[0] <= 'h') {
        from_file = s[0] - 'a';
        s.remove_prefix(1);
    }
    if (!s.empty() && s[0] >= '1' && s[0] <= '8') {
        from_rank = s[0] - '1';
        s.remove_prefix(1);
    }
    if (!s.empty()) return refusal("not a move");
    const std::string target = square_name(to);

    if (kind != Pawn) {
        if (promotion >= 0) return refusal("only a pawn promotes");
        Move found[16];
        int pseudo = 0;
        const int n = candidates(man(kind, true), to, from_file, from_rank, found, 16, &pseudo);
        if (n == 1) {
            // No other man of the kind could go there: nothing to disambiguate.
            if (alone) *alone = from_file < 0 && from_rank < 0;
            return accepted(found[0]);
        }
        const std::string name = kind_names[kind];
        if (n > 1) return refusal(count_word(n) + " " + name + "s can go to " + target);
        // Men that reach the square but are pinned, or leave a check unanswered.
        if (pseudo > 0) return refusal("the king would be in check");
        if (kind == King) return refusal("the king cannot go to " + target);
        return refusal("no " + name + " can go to " + target);
    }

    // Pawns.
    const int last_rank = w ? 7 : 0;
    const int step = w ? 8 : -8;
    if (from_rank >= 0) return refusal("not a move");
    if (rank_of(to) == last_rank && promotion < 0) return refusal("a promotion needs a piece: Q, R, B or N");
    if (promotion == King) return refusal("a pawn cannot become a king");
    if (promotion >= 0 && rank_of(to) != last_rank) return refusal("only a pawn reaching the last rank promotes");
    if (rank_of(to) == (w ? 0 : 7) || rank_of(to) == (w ? 1 : 6)) return refusal("no pawn can go to " + target);
    Move m{0, static_cast<std::uint8_t>(to), MoveKind::Normal, Piece::Empty};
    if (from_file >= 0 && from_file != file_of(to)) {
        if (std::abs(from_file - file_of(to)) != 1) return refusal("no pawn can go to " + target);
        const int from = square_of(from_file, rank_of(to)) - step;
        if ((*this)[from] != man(Pawn, w)) return refusal("no pawn can take on " + target);
        m.from = static_cast<std::uint8_t>(from);
        if (own((*this)[to], !w)) {
            m.kind = MoveKind::Normal;
        } else if (to == en_passant_) {
            m.kind = MoveKind::EnPassant;
        } else {
            return refusal("no pawn can take on " + target);
        }
    } else {
        if ((*this)[to] != Piece::Empty) return refusal("no pawn can go to " + target);
        const int from = to - step;
        if ((*this)[from] == man(Pawn, w)) {
            m.from = static_cast<std::uint8_t>(from);
        } else if ((*this)[from] == Piece::Empty && rank_of(to) == (w ? 3 : 4) && (*this)[from - step] == man(Pawn, w)) {
            m.from = static_cast<std::uint8_t>(from - step);
            m.kind = MoveKind::DoublePush;
        } else {
            return refusal("no pawn can go to " + target);
        }
    }
    if (promotion >= 0) {
        m.kind = MoveKind::Promotion;
        m.promotion = man(promotion, w);
    }
    if (!leaves_king_safe(m)) return refusal("the king would be in check");
    return accepted(m);
}

void Board::write_san(Move m, std::string& out) const {
    Board next = *this;
    next.play(m, out);
}

void Board::write_bare_san(Move m, std::string& out, bool alone) const {
    const Piece p = (*this)[m.from];
    const int kind = kind_of(p);
    if (m.kind == MoveKind::Castle) {
        out += m.to > m.from ? "O-O" : "O-O-O";
    } else if (kind == Pawn) {
        if (file_of(m.from) != file_of(m.to)) {
            out += static_cast<char>('a' + file_of(m.from));
            out += 'x';
        }
        out += static_cast<char>('a' + file_of(m.to));
        out += static_cast<char>('1' + rank_of(m.to));
        if (m.kind == MoveKind::Promotion) {
            out += '=';
            out += kind_letters[kind_of(m.promotion)];
        }
    } else {
        out += kind_letters[kind];
        if (kind != King && !alone) {
            Move rivals[16];
            const int n = candidates(man(kind, true), m.to, -1, -1, rivals, 16, nullptr);
            bool shared = false, same_file = false, same_rank = false;
            for (int i = 0; i < n; ++i) {
                if (rivals[i].from == m.from) continue;
                shared = true;
                if (file_of(rivals[i].from) == file_of(m.from)) same_file = true;
                if (rank_of(rivals[i].from) == rank_of(m.from)) same_rank = true;
            }
            if (shared) {
                if (!same_file || same_rank) out += static_cast<char>('a' + file_of(m.from));
                if (same_file) out += static_cast<char>('1' + rank_of(m.from));
            }
        }
        if ((*this)[m.to] != Piece::Empty) out += 'x';
        out += static_cast<char>('a' + file_of(m.to));
        out += static_cast<char>('1' + rank_of(m.to));
    }
}

std::string Board::san(Move m) const {
    std::string out;
    write_san(m, out);
    return out;
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
