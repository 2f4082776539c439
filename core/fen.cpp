#include "core/fen.h"

#include <charconv>
#include <vector>

namespace chess {

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

struct Field {
    std::string_view text;
    std::size_t offset;
};

// A character for a message: printable ASCII as it is, anything else by its
// byte value, so that a message never carries a broken UTF-8 sequence.
std::string shown(char c) {
    auto u = static_cast<unsigned char>(c);
    if (u >= 0x20 && u < 0x7F) return std::string("'") + c + "'";
    static const char digits[] = "0123456789ABCDEF";
    return std::string("byte 0x") + digits[u >> 4] + digits[u & 15];
}

std::string quoted(std::string_view field) {
    constexpr std::size_t longest = 20;
    std::string text(field.substr(0, longest));
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20) c = '?';
    }
    return "\"" + text + (field.size() > longest ? "...\"" : "\"");
}

FenResult failure(std::string message, std::size_t offset) {
    FenResult r;
    r.error = std::move(message);
    r.error_offset = offset;
    return r;
}

// Reads ranks 8 to 1; fills the position's squares.
FenResult read_placement(const Field& field, Position& position) {
    int rank = 7;
    int file = 0;  // squares filled on this rank so far
    for (std::size_t i = 0; i < field.text.size(); ++i) {
        const char c = field.text[i];
        const std::size_t at = field.offset + i;
        if (c == '/') {
            if (file != 8) {
                return failure("rank " + std::to_string(rank + 1) + " has " + std::to_string(file) + " squares", at);
            }
            if (rank == 0) return failure("more than 8 ranks", at);
            --rank;
            file = 0;
        } else if (c >= '1' && c <= '8') {
            // Two digits in a row ("44") are a run split in two: accepted by
            // most readers, and the squares still add up.
            file += c - '0';
            if (file > 8) {
                return failure("rank " + std::to_string(rank + 1) + " has " + std::to_string(file) + " squares", at);
            }
        } else if (Piece p = piece_of_letter(c); p != Piece::Empty) {
            if (file >= 8) {
                return failure("rank " + std::to_string(rank + 1) + " has " + std::to_string(file + 1) + " squares",
                               at);
            }
            position[square_of(file, rank)] = p;
            ++file;
        } else {
            return failure("unknown piece letter " + shown(c), at);
        }
    }
    const std::size_t end = field.offset + field.text.size();
    if (file != 8) return failure("rank " + std::to_string(rank + 1) + " has " + std::to_string(file) + " squares", end);
    if (rank != 0) return failure("only " + std::to_string(8 - rank) + " ranks", end);
    FenResult ok;
    ok.ok = true;
    return ok;
}

// The castling field in the standard order "KQkq" (Chess960 files after
// their side's K and Q): files write the letters in any order, and now and
// then one twice. Empty when a character is no castling letter.
std::string read_castling(std::string_view text) {
    if (text == "-") return "-";
    auto rank_of_letter = [](char c) {
        switch (c) {
            case 'K': return 0;
            case 'Q': return 1;
            case 'k': return 3;
            case 'q': return 4;
            default:
                if (c >= 'A' && c <= 'H') return 2;
                if (c >= 'a' && c <= 'h') return 5;
                return -1;
        }
    };
    std::string groups[6];
    for (char c : text) {
        const int group = rank_of_letter(c);
        if (group < 0) return {};
        if (groups[group].find(c) == std::string::npos) groups[group] += c;
    }
    std::string out;
    for (const std::string& g : groups) out += g;
    return out;
}

bool read_number(std::string_view text, int& value, int lowest) {
    if (text.empty() || text.size() > 9) return false;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() && value >= lowest;
}

}  // namespace

FenResult read_fen(std::string_view text) {
    std::vector<Field> fields;
    std::size_t i = 0;
    std::size_t rest = text.size();
    while (true) {
        while (i < text.size() && is_blank(text[i])) ++i;
        if (i == text.size()) break;
        if (fields.size() == 6) {
            rest = i;
            break;
        }
        std::size_t start = i;
        while (i < text.size() && !is_blank(text[i])) ++i;
        fields.push_back({text.substr(start, i - start), start});
    }
    if (fields.empty()) return failure("no position", 0);

    Position position;
    FenResult placed = read_placement(fields[0], position);
    if (!placed.ok) return placed;

    if (fields.size() > 1) {
        const Field& f = fields[1];
        if (f.text == "w") {
            position.to_move = Side::White;
        } else if (f.text == "b") {
            position.to_move = Side::Black;
        } else {
            return failure("side to move must be 'w' or 'b', not " + quoted(f.text), f.offset);
        }
    }
    if (fields.size() > 2) {
        const Field& f = fields[2];
        position.castling = read_castling(f.text);
        if (position.castling.empty()) return failure("castling field " + quoted(f.text) + " is not valid", f.offset);
    }
    if (fields.size() > 3) {
        const Field& f = fields[3];
        const int square = parse_square(f.text);
        const bool on_third_or_sixth = square >= 0 && (rank_of(square) == 2 || rank_of(square) == 5);
        if (f.text != "-" && !on_third_or_sixth) {
            return failure("en passant square " + quoted(f.text) + " is not '-' or a square on rank 3 or 6",
                           f.offset);
        }
        position.en_passant = std::string(f.text);
    }
    // The counters: "-" for one not kept, as some programs write, leaves
    // its default; a move number 0, which many problem collections carry,
    // is taken as 1.
    if (fields.size() > 4 && fields[4].text != "-") {
        const Field& f = fields[4];
        if (!read_number(f.text, position.halfmove_clock, 0)) {
            return failure("halfmove clock " + quoted(f.text) + " is not a number", f.offset);
        }
    }
    if (fields.size() > 5 && fields[5].text != "-") {
        const Field& f = fields[5];
        if (!read_number(f.text, position.fullmove_number, 0)) {
            return failure("move number " + quoted(f.text) + " is not a number", f.offset);
        }
        if (position.fullmove_number == 0) position.fullmove_number = 1;
    }

    FenResult result;
    result.ok = true;
    result.position = position;
    result.fields = static_cast<int>(fields.size());
    if (rest < text.size()) {
        std::string_view caption = text.substr(rest);
        while (!caption.empty() && is_blank(caption.back())) caption.remove_suffix(1);
        result.rest = caption;
    }
    return result;
}

std::string fen_placement(const Position& position) {
    std::string out;
    for (int rank = 7; rank >= 0; --rank) {
        int run = 0;
        for (int file = 0; file < 8; ++file) {
            const char c = fen_letter(position[square_of(file, rank)]);
            if (c == 0) {
                ++run;
                continue;
            }
            if (run) out += static_cast<char>('0' + run);
            run = 0;
            out += c;
        }
        if (run) out += static_cast<char>('0' + run);
        if (rank) out += '/';
    }
    return out;
}

std::string write_fen(const Position& position) {
    return fen_placement(position) + (position.to_move == Side::Black ? " b " : " w ") + position.castling + " " +
           position.en_passant + " " + std::to_string(position.halfmove_clock) + " " +
           std::to_string(position.fullmove_number);
}

}  // namespace chess
