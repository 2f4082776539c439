#include "core/fairy_men.h"

#include <array>

namespace chess {

namespace {

constexpr std::array<FairyKind, 9> kinds{{
    {"G", Piece::WhiteQueen, 2, "Grasshopper", "Grasshoppers"},
    {"N", Piece::WhiteKnight, 2, "Nightrider", "Nightriders"},
    {"Z", Piece::WhiteKnight, 1, "Zebra", "Zebras"},
    {"CA", Piece::WhiteKnight, 3, "Camel", "Camels"},
    {"LE", Piece::WhiteQueen, 1, "Leo", "Leos"},
    {"RO", Piece::WhiteQueen, 3, "Rose", "Roses"},
    {"PA", Piece::WhiteRook, 1, "Pao", "Paos"},
    {"VA", Piece::WhiteBishop, 1, "Vao", "Vaos"},
    {"LI", Piece::WhiteRook, 2, "Lion", "Lions"},
}};

char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// The white man of either side's man.
Piece white_of(Piece man) {
    if (!is_black(man)) return man;
    return static_cast<Piece>(static_cast<int>(man) - static_cast<int>(Piece::BlackKing) +
                              static_cast<int>(Piece::WhiteKing));
}

}  // namespace

const FairyKind* fairy_kind(std::string_view code) {
    for (const FairyKind& kind : kinds) {
        if (kind.code.size() != code.size()) continue;
        bool same = true;
        for (std::size_t i = 0; i < code.size(); ++i) same = same && upper(code[i]) == kind.code[i];
        if (same) return &kind;
    }
    return nullptr;
}

const FairyKind* fairy_kind_of(Piece man, Looks looks) {
    if (!is_man(man) || looks.turn == 0) return nullptr;
    const Piece white = white_of(man);
    for (const FairyKind& kind : kinds) {
        if (kind.man == white && kind.turn == looks.turn) return &kind;
    }
    return nullptr;
}

std::string man_name(Piece man, Looks looks) {
    std::string name(1, looks.neutral ? 'n' : is_black(man) ? 'b' : 'w');
    if (const FairyKind* kind = fairy_kind_of(man, looks)) {
        name += kind->code[0];
        if (kind->code.size() > 1) name += static_cast<char>(kind->code[1] - 'A' + 'a');
        return name;
    }
    const char letter = upper(fen_letter(white_of(man)));
    name += letter == 'N' ? 'S' : letter;
    return name;
}

std::string looks_field(const Position& position) {
    std::string field;
    for (int square = 0; square < 64; ++square) {
        const Looks looks = position.looks[static_cast<std::size_t>(square)];
        if (!is_man(position[square]) || looks.plain()) continue;
        if (!field.empty()) field += ',';
        field += square_name(square) + ':';
        if (looks.turn != 0) field += static_cast<char>('0' + looks.turn);
        if (looks.neutral) field += 'n';
    }
    return field;
}

bool read_looks_field(std::string_view value, Position& position, std::string& error) {
    std::array<bool, 64> seen{};
    while (!value.empty()) {
        const std::size_t comma = value.find(',');
        const std::string_view item = value.substr(0, comma);
        const std::size_t colon = item.find(':');
        const int square = parse_square(item.substr(0, colon));
        std::string_view how = colon == std::string_view::npos ? std::string_view() : item.substr(colon + 1);
        Looks looks;
        if (!how.empty() && how[0] >= '1' && how[0] <= '3') {
            looks.turn = static_cast<std::uint8_t>(how[0] - '0');
            how.remove_prefix(1);
        }
        if (how == "n") {
            looks.neutral = true;
            how = {};
        }
        if (square < 0 || !how.empty() || looks.plain()) {
            error = "\"" + std::string(item.substr(0, 16)) + "\" is not a square's looks (such as c2:2, d4:n, f3:1n)";
            return false;
        }
        if (seen[static_cast<std::size_t>(square)]) {
            error = "the looks of " + square_name(square) + " are given twice";
            return false;
        }
        if (!is_man(position[square])) {
            error = "looks for " + square_name(square) + ", which holds no man";
            return false;
        }
        seen[static_cast<std::size_t>(square)] = true;
        position.looks[static_cast<std::size_t>(square)] = looks;
        if (comma == std::string_view::npos) break;
        value.remove_prefix(comma + 1);
        if (value.empty()) {
            error = "the looks end in a comma";
            return false;
        }
    }
    return true;
}

}  // namespace chess
