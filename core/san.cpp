// Reading and writing moves in standard algebraic notation, on the Board
// of core/moves.h.
#include <cstdlib>

#include "core/board_tables.h"
#include "core/moves.h"

namespace chess {

using namespace board_detail;

namespace {

const char* const kind_names[] = {"king", "queen", "rook", "bishop", "knight", "pawn"};
const char kind_letters[] = "KQRBNP";

std::string count_word(int n) {
    static const char* const words[] = {"no", "one", "two", "three", "four", "five", "six", "seven", "eight", "nine", "ten"};
    return n >= 0 && n <= 10 ? words[n] : std::to_string(n);
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

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

    // Coordinates alone, as engines and some databases write moves: "e2e4",
    // "e2-e4", "e7e8q", "g1f3", "e1g1" (castling as the king's move).
    if (s.size() >= 4 && s[0] >= 'a' && s[0] <= 'h') {
        std::string_view rest = s;
        const int from = parse_square(rest.substr(0, 2));
        rest.remove_prefix(2);
        if (from >= 0 && !rest.empty() && (rest[0] == '-' || rest[0] == 'x' || rest[0] == ':')) rest.remove_prefix(1);
        const int to = rest.size() >= 2 ? parse_square(rest.substr(0, 2)) : -1;
        if (from >= 0 && to >= 0) {
            rest.remove_prefix(2);
            if (!rest.empty() && rest[0] == '=') rest.remove_prefix(1);
            const int promotion = rest.size() == 1 ? promotion_kind(rest[0]) : -1;
            if (rest.size() > 1 || (rest.size() == 1 && promotion < 0)) return refusal("not a move");
            return read_coordinates(from, to, promotion, alone);
        }
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
    } else if (!s.empty() && kind == Pawn &&
               (std::string_view("QRBNK").find(s.back()) != std::string_view::npos ||
                (s.size() >= 3 && is_digit(s[s.size() - 2]) && std::string_view("qrnk").find(s.back()) != std::string_view::npos))) {
        promotion = promotion_kind(s.back());
        s.remove_suffix(1);
    }
    if (s.size() < 2) return refusal("not a move");
    const int to = parse_square(s.substr(s.size() - 2));
    if (to < 0) return refusal("not a move");
    s.remove_suffix(2);
    // "Nxf3", "N:f3", and the long form's "Ng1-f3".
    if (!s.empty() && (s.back() == 'x' || s.back() == ':' || s.back() == '-')) s.remove_suffix(1);
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

SanResult Board::read_coordinates(int from, int to, int promotion, bool* alone) const {
    const Piece p = (*this)[from];
    if (!own(p, white_)) return refusal("no man of the side to move on " + square_name(from));
    MoveList moves;
    legal_moves(moves);
    for (const Move& m : moves) {
        if (m.from != from || m.to != to) continue;
        if (m.kind == MoveKind::Promotion) {
            if (promotion < 0) return refusal("a promotion needs a piece: Q, R, B or N");
            if (kind_of(m.promotion) != promotion) continue;
        } else if (promotion >= 0) {
            return refusal("only a pawn reaching the last rank promotes");
        }
        // Written from its square: the SAN written back is worked out anew.
        if (alone) *alone = false;
        return accepted(m);
    }
    const std::string name = kind_names[kind_of(p)];
    return refusal("the " + name + " on " + square_name(from) + " cannot go to " + square_name(to));
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

}  // namespace chess
