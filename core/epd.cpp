#include "core/epd.h"

#include <charconv>

#include "core/fen.h"

namespace chess {

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }
bool is_letter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

// A character for a message: printable ASCII as it is, anything else by its
// byte value, so that a message never carries a broken UTF-8 sequence.
std::string shown(char c) {
    const auto u = static_cast<unsigned char>(c);
    if (u >= 0x20 && u < 0x7F) return std::string("'") + c + "'";
    static const char digits[] = "0123456789ABCDEF";
    return std::string("byte 0x") + digits[u >> 4] + digits[u & 15];
}

std::size_t skip_blanks(std::string_view text, std::size_t i) {
    while (i < text.size() && is_blank(text[i])) ++i;
    return i;
}

std::size_t skip_field(std::string_view text, std::size_t i) {
    while (i < text.size() && !is_blank(text[i])) ++i;
    return i;
}

EpdResult failure(std::string message, std::size_t offset) {
    EpdResult r;
    r.error = std::move(message);
    r.error_offset = offset;
    return r;
}

}  // namespace

const EpdOperation* EpdResult::find(std::string_view opcode) const {
    for (const EpdOperation& op : operations) {
        if (op.opcode == opcode) return &op;
    }
    return nullptr;
}

std::string EpdResult::text_of(std::string_view opcode) const {
    std::string text;
    if (const EpdOperation* op = find(opcode)) {
        for (const std::string& operand : op->operands) {
            if (!text.empty()) text += ' ';
            text += operand;
        }
    }
    return text;
}

std::string EpdResult::caption() const {
    // A c0 that is there but empty still says "no caption" on purpose.
    if (find("c0")) return text_of("c0");
    return text_of("id");
}

std::vector<std::string> EpdResult::best_moves() const {
    const EpdOperation* op = find("bm");
    return op ? op->operands : std::vector<std::string>{};
}

std::vector<std::string> EpdResult::predicted_variation() const {
    const EpdOperation* op = find("pv");
    return op ? op->operands : std::vector<std::string>{};
}

bool looks_like_epd(std::string_view text) {
    std::size_t i = 0;
    for (int field = 0; field < 4; ++field) {
        i = skip_blanks(text, i);
        if (i == text.size()) return false;
        i = skip_field(text, i);
    }
    i = skip_blanks(text, i);
    // A halfmove clock, or "-" for one not kept (FEN's counters as some
    // programs write them): no opcode starts that way.
    const bool counter = i < text.size() && (is_digit(text[i]) || (text[i] == '-' && (i + 1 == text.size() ||
                                                                                      is_blank(text[i + 1]))));
    return i < text.size() && !counter;
}

EpdResult read_epd(std::string_view text) {
    // The four position fields are a FEN prefix; read_fen checks them and
    // its error offsets hold for the whole record.
    std::size_t i = 0;
    int fields = 0;
    for (; fields < 4; ++fields) {
        i = skip_blanks(text, i);
        if (i == text.size()) break;
        i = skip_field(text, i);
    }
    FenResult fen = read_fen(text.substr(0, i));
    if (!fen.ok) return failure(fen.error, fen.error_offset);
    if (fields < 4) {
        return failure("an EPD record needs four position fields, this has " + std::to_string(fields), i);
    }

    EpdResult result;
    result.position = fen.position;
    while (true) {
        i = skip_blanks(text, i);
        if (i == text.size()) break;
        const std::size_t start = i;
        if (!is_letter(text[i])) {
            return failure("an operation must start with an opcode, not " + shown(text[i]), i);
        }
        while (i < text.size() && (is_letter(text[i]) || is_digit(text[i]) || text[i] == '_')) ++i;
        if (i < text.size() && !is_blank(text[i]) && text[i] != ';') {
            return failure("an opcode holds letters, digits and '_' only", i);
        }
        EpdOperation op;
        op.opcode = std::string(text.substr(start, i - start));
        while (true) {
            i = skip_blanks(text, i);
            if (i == text.size()) break;  // the last ';' may be missing
            if (text[i] == ';') {
                ++i;
                break;
            }
            if (text[i] == '"') {
                const std::size_t open = i++;
                std::string operand;
                bool closed = false;
                while (i < text.size()) {
                    char c = text[i++];
                    if (c == '"') {
                        closed = true;
                        break;
                    }
                    if (c == '\\' && i < text.size() && (text[i] == '"' || text[i] == '\\')) c = text[i++];
                    operand += c;
                }
                if (!closed) return failure("string of '" + op.opcode + "' has no closing '\"'", open);
                op.operands.push_back(std::move(operand));
            } else {
                const std::size_t from = i;
                while (i < text.size() && !is_blank(text[i]) && text[i] != ';') ++i;
                op.operands.emplace_back(text.substr(from, i - from));
            }
        }
        result.operations.push_back(std::move(op));
    }
    // The counters FEN keeps in its last two fields, as EPD writes them.
    auto counter = [&](std::string_view opcode, int& into, int lowest) {
        const EpdOperation* op = result.find(opcode);
        if (!op || op->operands.size() != 1) return;
        const std::string& text = op->operands[0];
        int value = 0;
        auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (error == std::errc() && end == text.data() + text.size() && value >= lowest) into = value;
    };
    counter("hmvc", result.position.halfmove_clock, 0);
    counter("fmvn", result.position.fullmove_number, 1);
    result.ok = true;
    return result;
}

namespace {

// Opcodes whose operands are text, never a move or a number: readers that
// take an unquoted operand for a move refuse "c0 Mate" or "id WAC.001".
bool text_operands(std::string_view opcode) {
    if (opcode.size() == 2 && (opcode[0] == 'c' || opcode[0] == 'v') && opcode[1] >= '0' && opcode[1] <= '9')
        return true;
    return opcode == "id" || opcode == "eco" || opcode == "nic" || opcode == "tcgs" || opcode == "tcri" ||
           opcode == "tcsi" || opcode == "looks";
}

}  // namespace

std::string write_epd(const Position& position, const std::vector<EpdOperation>& operations) {
    const std::string fen = write_fen(position);
    // The placement, side, castling and en passant fields: the counters go.
    std::size_t cut = 0;
    for (int fields = 0; fields < 4 && cut != std::string::npos; ++fields) cut = fen.find(' ', cut + 1);
    std::string out = fen.substr(0, cut);
    // The counters, where they say more than a fresh position's.
    if (position.halfmove_clock != 0) out += " hmvc " + std::to_string(position.halfmove_clock) + ";";
    if (position.fullmove_number != 1) out += " fmvn " + std::to_string(position.fullmove_number) + ";";
    for (const EpdOperation& op : operations) {
        out += ' ';
        out += op.opcode;
        for (const std::string& operand : op.operands) {
            const bool plain = !text_operands(op.opcode) && !operand.empty() &&
                               operand.find_first_of(" \t\r\n;\"\\") == std::string::npos;
            out += ' ';
            if (plain) {
                out += operand;
                continue;
            }
            out += '"';
            for (char c : operand) {
                if (c == '"' || c == '\\') out += '\\';
                out += c == '\n' || c == '\r' || c == '\t' ? ' ' : c;
            }
            out += '"';
        }
        out += ';';
    }
    return out;
}

}  // namespace chess
