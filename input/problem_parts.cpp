// The men, twins and legend of a problem, alike in every problem format.
#include <algorithm>
#include <array>
#include <vector>

#include "core/fairy_men.h"
#include "core/text.h"
#include "input/problem_text.h"

namespace chess::input {

namespace {

std::vector<std::string_view> words_of(std::string_view text) {
    std::vector<std::string_view> words;
    std::size_t at = 0;
    while (true) {
        at = text.find_first_not_of(" \t", at);
        if (at == std::string_view::npos) return words;
        const std::size_t end = std::min(text.find_first_of(" \t", at), text.size());
        words.push_back(text.substr(at, end - at));
        at = end;
    }
}

// The square of "e4" or "E4", or -1.
int square_in(std::string_view word) {
    if (word.size() != 2) return -1;
    return parse_square(ascii_lower(word));
}

// The squares of "a2b3", or empty for anything else.
std::vector<int> squares_in(std::string_view text) {
    std::vector<int> squares;
    if (text.empty() || text.size() % 2 != 0) return {};
    for (std::size_t at = 0; at < text.size(); at += 2) {
        const int square = square_in(text.substr(at, 2));
        if (square < 0) return {};
        squares.push_back(square);
    }
    return squares;
}

Piece black_of(Piece white) {
    return static_cast<Piece>(static_cast<int>(white) - static_cast<int>(Piece::WhiteKing) +
                              static_cast<int>(Piece::BlackKing));
}

Piece white_of(Piece black) {
    return static_cast<Piece>(static_cast<int>(black) - static_cast<int>(Piece::BlackKing) +
                              static_cast<int>(Piece::WhiteKing));
}

// The white man and looks of a piece letter or fairy code; false for neither.
bool man_of_code(std::string_view code, Piece& man, Looks& looks) {
    if (code.size() == 1) {
        // S is the knight; N the nightrider, a fairy man.
        const std::size_t at = std::string_view("kqrbsp").find(ascii_lower(code)[0]);
        if (at != std::string_view::npos) {
            man = piece_of_letter("KQRBNP"[at]);
            looks = {};
            return true;
        }
    }
    const FairyKind* kind = fairy_kind(code);
    if (!kind) return false;
    man = kind->man;
    looks = {kind->turn, false};
    return true;
}

// Where the man of a square goes when the whole board is turned or mirrored.
using SquareMap = int (*)(int file, int rank);

void remap(Position& position, SquareMap map) {
    Position moved = position;
    moved.squares.fill(Piece::Empty);
    moved.looks.fill(Looks{});
    for (int square = 0; square < 64; ++square) {
        const int to = map(file_of(square), rank_of(square));
        moved[to] = position[square];
        moved.looks[static_cast<std::size_t>(to)] = position.looks[static_cast<std::size_t>(square)];
    }
    position = moved;
}

// Clockwise, as the board is seen with White below.
int rotate_90(int file, int rank) { return square_of(rank, 7 - file); }
int rotate_180(int file, int rank) { return square_of(7 - file, 7 - rank); }
int rotate_270(int file, int rank) { return square_of(7 - rank, file); }
int mirror_files(int file, int rank) { return square_of(7 - file, rank); }
int mirror_ranks(int file, int rank) { return square_of(file, 7 - rank); }
int mirror_a1h8(int file, int rank) { return square_of(rank, file); }
int mirror_a8h1(int file, int rank) { return square_of(7 - rank, 7 - file); }

std::string placed(const Position& position, int square) {
    return man_name(position[square], position.looks[static_cast<std::size_t>(square)]) + square_name(square);
}

// One change of a twin, from words[at] on; `at` is left after it.
bool apply_change(const std::vector<std::string_view>& words, std::size_t& at, std::string_view changes,
                  Position& position, std::string& text, std::string& error) {
    const std::string_view word = words[at++];
    auto squares = [&](int count, std::array<int, 2>& out) {
        for (int i = 0; i < count; ++i) {
            if (at >= words.size() || (out[static_cast<std::size_t>(i)] = square_in(words[at])) < 0) {
                error = std::string(word) + " needs " + (count == 1 ? "a square" : "two squares");
                return false;
            }
            ++at;
        }
        return true;
    };
    auto man_on = [&](int square) {
        if (is_man(position[square])) return true;
        error = "no man on " + square_name(square);
        return false;
    };
    std::array<int, 2> sq{};
    if (abbreviates(word, "move")) {
        if (!squares(2, sq) || !man_on(sq[0])) return false;
        text = placed(position, sq[0]) + "\u2192" + square_name(sq[1]);
        position[sq[1]] = position[sq[0]];
        position.looks[static_cast<std::size_t>(sq[1])] = position.looks[static_cast<std::size_t>(sq[0])];
        position[sq[0]] = Piece::Empty;
        position.looks[static_cast<std::size_t>(sq[0])] = {};
    } else if (abbreviates(word, "exchange")) {
        if (!squares(2, sq) || !man_on(sq[0]) || !man_on(sq[1])) return false;
        text = placed(position, sq[0]) + "\u2194" + placed(position, sq[1]);
        std::swap(position[sq[0]], position[sq[1]]);
        std::swap(position.looks[static_cast<std::size_t>(sq[0])], position.looks[static_cast<std::size_t>(sq[1])]);
    } else if (abbreviates(word, "remove")) {
        if (!squares(1, sq) || !man_on(sq[0])) return false;
        text = "-" + placed(position, sq[0]);
        position[sq[0]] = Piece::Empty;
        position.looks[static_cast<std::size_t>(sq[0])] = {};
    } else if (word.size() == 3 && ascii_lower(word) == "add") {
        if (at + 1 >= words.size()) {
            error = "add needs a side and a man on a square (add white Qd4)";
            return false;
        }
        const std::string_view side = words[at++];
        ProblemSide as = ProblemSide::White;
        if (!problem_side(side, as)) {
            error = "'" + std::string(side) + "' is not white, black or neutral";
            return false;
        }
        Position added = position;
        added.squares.fill(Piece::Empty);
        added.looks.fill(Looks{});
        if (!place_men(words[at++], as, added, error)) return false;
        for (int square = 0; square < 64; ++square) {
            if (added[square] == Piece::Empty) continue;
            if (position[square] != Piece::Empty) {
                error = "add: " + square_name(square) + " is taken";
                return false;
            }
            text += (text.empty() ? "+" : ", +") + placed(added, square);
            position[square] = added[square];
            position.looks[static_cast<std::size_t>(square)] = added.looks[static_cast<std::size_t>(square)];
        }
    } else if (abbreviates(word, "rotate")) {
        const std::string_view angle = at < words.size() ? words[at++] : std::string_view();
        if (angle == "90") remap(position, rotate_90);
        else if (angle == "180") remap(position, rotate_180);
        else if (angle == "270") remap(position, rotate_270);
        else {
            error = "rotate needs 90, 180 or 270";
            return false;
        }
        text = "rotation " + std::string(angle) + "\u00B0";
    } else if (abbreviates(word, "mirror")) {
        const std::string axis = at < words.size() ? ascii_lower(words[at++]) : std::string();
        const std::size_t arrow = axis.find("<-");
        const std::string from = axis.substr(0, 2), to = axis.size() >= 2 ? axis.substr(axis.size() - 2) : "";
        const std::string pair = arrow == 2 && axis.find_first_not_of("<->", 2) == axis.size() - 2 ? from + to : "";
        if (pair == "a1h1" || pair == "h1a1") remap(position, mirror_files);
        else if (pair == "a1a8" || pair == "a8a1") remap(position, mirror_ranks);
        else if (pair == "a1h8" || pair == "h8a1") remap(position, mirror_a1h8);
        else if (pair == "a8h1" || pair == "h1a8") remap(position, mirror_a8h1);
        else {
            error = "mirror needs a1<-->h1, a1<-->a8, a1<-->h8 or a8<-->h1";
            return false;
        }
        text = "mirror " + from + "\u2194" + to;
    } else if (abbreviates(word, "shift")) {
        if (!squares(2, sq)) return false;
        const int df = file_of(sq[1]) - file_of(sq[0]), dr = rank_of(sq[1]) - rank_of(sq[0]);
        Position moved = position;
        moved.squares.fill(Piece::Empty);
        moved.looks.fill(Looks{});
        for (int square = 0; square < 64; ++square) {
            if (position[square] == Piece::Empty) continue;
            const int f = file_of(square) + df, r = rank_of(square) + dr;
            if (f < 0 || f > 7 || r < 0 || r > 7) {
                error = "shift moves " + square_name(square) + " off the board";
                return false;
            }
            moved[square_of(f, r)] = position[square];
            moved.looks[static_cast<std::size_t>(square_of(f, r))] = position.looks[static_cast<std::size_t>(square)];
        }
        position = moved;
        text = "shift " + square_name(sq[0]) + "\u2192" + square_name(sq[1]);
    } else if (abbreviates(word, "stipulation") || abbreviates(word, "condition")) {
        // The rest of the line: a stipulation or a condition may hold blanks.
        if (at >= words.size()) {
            error = std::string(word) + " needs its text";
            return false;
        }
        const std::string_view& last = words.back();
        const std::size_t from = static_cast<std::size_t>(words[at].data() - changes.data());
        text = std::string(changes.substr(from, static_cast<std::size_t>(last.data() + last.size() - changes.data()) - from));
        at = words.size();
    } else if (abbreviates(word, "polishtype")) {
        for (int square = 0; square < 64; ++square) {
            const Piece man = position[square];
            if (is_white(man) && !position.looks[static_cast<std::size_t>(square)].neutral)
                position[square] = black_of(man);
            else if (is_black(man))
                position[square] = white_of(man);
        }
        text = "colours exchanged";
    } else {
        error = "'" + std::string(word) + "' is no twin's change";
        return false;
    }
    return true;
}

}  // namespace

bool abbreviates(std::string_view word, std::string_view keyword) {
    if (word.size() < std::min<std::size_t>(3, keyword.size()) || word.size() > keyword.size()) return false;
    return ascii_lower(word) == keyword.substr(0, word.size());
}

bool problem_side(std::string_view word, ProblemSide& side) {
    if (abbreviates(word, "white")) side = ProblemSide::White;
    else if (abbreviates(word, "black")) side = ProblemSide::Black;
    else if (abbreviates(word, "neutral")) side = ProblemSide::Neutral;
    else return false;
    return true;
}

bool place_men(std::string_view word, ProblemSide side, Position& position, std::string& error) {
    std::string_view men = word;
    if (men.starts_with('.')) men.remove_prefix(1);
    // A code of one letter, else of two: "CAa1" is a camel, "Ca2" nothing.
    for (std::size_t length : {std::size_t(1), std::size_t(2)}) {
        Piece man = Piece::Empty;
        Looks looks;
        if (men.size() <= length || !man_of_code(men.substr(0, length), man, looks)) continue;
        const std::vector<int> squares = squares_in(men.substr(length));
        if (squares.empty()) {
            if (length == 2 || !man_of_code(men.substr(0, std::min<std::size_t>(2, men.size())), man, looks)) {
                error = "'" + std::string(word) + "': \"" + std::string(men.substr(length)) + "\" are not squares";
                return false;
            }
            continue;
        }
        if (side == ProblemSide::Black) man = black_of(man);
        looks.neutral = side == ProblemSide::Neutral;
        for (int square : squares) {
            if (position[square] != Piece::Empty) {
                error = "'" + std::string(word) + "': " + square_name(square) + " holds a man already";
                return false;
            }
            position[square] = man;
            position.looks[static_cast<std::size_t>(square)] = looks;
        }
        return true;
    }
    error = "'" + std::string(word) + "' is no man on a square (such as Ke1, Pa2b3, Gc2)";
    return false;
}

bool continued_twin(std::string_view& changes) {
    const std::vector<std::string_view> words = words_of(changes);
    if (words.empty() || !abbreviates(words[0], "continued")) return false;
    changes = changes.substr(static_cast<std::size_t>(words[0].data() + words[0].size() - changes.data()));
    return true;
}

bool apply_twin(std::string_view changes, Position& position, std::string& text, std::string& error) {
    const std::vector<std::string_view> words = words_of(changes);
    if (words.empty()) {
        error = "a twin without changes";
        return false;
    }
    text.clear();
    for (std::size_t at = 0; at < words.size();) {
        std::string change;
        if (!apply_change(words, at, changes, position, change, error)) return false;
        text += (text.empty() ? "" : ", ") + change;
    }
    return true;
}

std::string twin_label(std::size_t index) {
    if (index < 25) return std::string(1, static_cast<char>('b' + index)) + ")";
    return std::to_string(index + 2) + ")";
}

void finish_problem(Position& position, Problem& problem) {
    problem.legend.clear();
    std::vector<const FairyKind*> kinds;
    for (int square = 0; square < 64; ++square) {
        const FairyKind* kind = fairy_kind_of(position[square], position.looks[static_cast<std::size_t>(square)]);
        if (!kind) continue;
        std::size_t at = 0;
        while (at < kinds.size() && kinds[at] != kind) ++at;
        if (at == kinds.size()) {
            kinds.push_back(kind);
            problem.legend.push_back({std::string(kind->singular), {}});
        }
        problem.legend[at].squares.push_back(square);
    }
    for (std::size_t i = 0; i < kinds.size(); ++i) {
        if (problem.legend[i].squares.size() > 1) problem.legend[i].name = kinds[i]->plural;
    }
    // A helpmate, helpstalemate or help-selfmate starts with Black, but for
    // a half move more (h#2.5), which White plays first.
    const std::string stipulation = ascii_lower(problem.stipulation);
    const std::size_t help = stipulation.find_first_not_of("0123456789-ser ");
    const bool black = help != std::string::npos && stipulation[help] == 'h' &&
                       stipulation.find(".5") == std::string::npos;
    position.to_move = black ? Side::Black : Side::White;
}

}  // namespace chess::input
