#include "core/diagram_record.h"

#include <array>

#include "core/fairy_men.h"
#include "core/fen.h"
#include "core/jpeg_comments.h"
#include "core/piece_set_mark.h"
#include "core/record_lines.h"

namespace chess {

namespace {

// Length of the well-formed UTF-8 sequence at text[i] (no overlong forms, no
// surrogates, nothing above U+10FFFF), or 0.
std::size_t utf8_sequence(std::string_view text, std::size_t i) {
    auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char c = byte(i);
    if (c < 0x80) return 1;
    std::size_t n = 0;
    unsigned char low = 0x80, high = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
        n = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        if (c == 0xE0) low = 0xA0;
        if (c == 0xED) high = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        if (c == 0xF0) low = 0x90;
        if (c == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (i + n > text.size()) return 0;
    if (byte(i + 1) < low || byte(i + 1) > high) return 0;
    for (std::size_t k = 2; k < n; ++k) {
        if (byte(i + k) < 0x80 || byte(i + k) > 0xBF) return 0;
    }
    return n;
}

std::string escape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else
            out += c;
    }
    return out;
}

// The longest start of text, cut at a character boundary, whose escaped
// form takes at most room bytes.
std::string_view fitting(std::string_view text, std::size_t room) {
    std::size_t used = 0, i = 0;
    while (i < text.size()) {
        std::size_t n = utf8_sequence(text, i);
        if (n == 0) n = 1;
        std::size_t cost = n;
        if (n == 1 && (text[i] == '\\' || text[i] == '\n' || text[i] == '\r')) cost = 2;
        if (used + cost > room) break;
        used += cost;
        i += n;
    }
    return text.substr(0, i);
}

DiagramRecordResult failure(std::string error, int line) {
    DiagramRecordResult r;
    r.error = std::move(error);
    r.line = line;
    return r;
}

// The caption's escapes undone; false for an unknown escape, a lone '\' at
// the end, a control character or a byte that is not well-formed UTF-8.
bool unescape(std::string_view value, std::string& out, std::string& error) {
    out.clear();
    for (std::size_t i = 0; i < value.size();) {
        const char c = value[i];
        if (c == '\\') {
            if (i + 1 == value.size()) {
                error = "the caption ends in a lone '\\'";
                return false;
            }
            const char e = value[i + 1];
            if (e == '\\')
                out += '\\';
            else if (e == 'n')
                out += '\n';
            else if (e == 'r')
                out += '\r';
            else {
                error = "unknown escape in the caption";
                return false;
            }
            i += 2;
            continue;
        }
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F) {
            error = "a control character in the caption";
            return false;
        }
        const std::size_t n = utf8_sequence(value, i);
        if (n == 0) {
            error = "the caption is not valid UTF-8";
            return false;
        }
        out.append(value.substr(i, n));
        i += n;
    }
    return true;
}

bool read_marks(std::string_view value, Position& position, std::string& error) {
    if (value.empty()) return true;
    std::array<bool, 2> seen{};
    while (true) {
        const std::size_t end = value.find(';');
        std::string_view group = value.substr(0, end);
        if (group.size() < 2 || group[1] != ':' || (group[0] != 'x' && group[0] != 'o')) {
            error = "a group of marks must start with \"x:\" or \"o:\"";
            return false;
        }
        const bool cross = group[0] == 'x';
        if (seen[cross ? 0 : 1]) {
            error = std::string("the group \"") + group[0] + ":\" is given twice";
            return false;
        }
        seen[cross ? 0 : 1] = true;
        std::string_view squares = group.substr(2);
        while (true) {
            const std::size_t comma = squares.find(',');
            const std::string_view name = squares.substr(0, comma);
            const int square = parse_square(name);
            if (square < 0) {
                error = "\"" + std::string(name.substr(0, 8)) + "\" is not a square";
                return false;
            }
            if (position[square] != Piece::Empty) {
                error = "the marked square " + std::string(name) + " is not empty";
                return false;
            }
            position[square] = cross ? Piece::Cross : Piece::Dot;
            if (comma == std::string_view::npos) break;
            squares.remove_prefix(comma + 1);
        }
        if (end == std::string_view::npos) break;
        value.remove_prefix(end + 1);
    }
    return true;
}

}  // namespace

std::string marks_field(const Position& position) {
    std::string out;
    for (Piece mark : {Piece::Cross, Piece::Dot}) {
        std::string group;
        for (int square = 0; square < 64; ++square) {
            if (position[square] != mark) continue;
            group += group.empty() ? (mark == Piece::Cross ? "x:" : "o:") : ",";
            group += square_name(square);
        }
        if (group.empty()) continue;
        if (!out.empty()) out += ';';
        out += group;
    }
    return out;
}

std::string write_diagram_record(const DiagramRecord& record) {
    std::string head = std::string(diagram_record_magic) + std::to_string(diagram_record_version) + "\n";
    head += "fen=" + write_fen(record.position) + "\n";
    head += "marks=" + marks_field(record.position) + "\n";
    if (const std::string looks = looks_field(record.position); !looks.empty()) head += "looks=" + looks + "\n";
    std::string tail = "square=" + std::to_string(record.square) + "\n";
    // Written only for a marked set: the record of any other stays as it was.
    if (is_piece_set_name(record.set)) tail += "set=" + record.set + "\n";
    if (!record.annotations.empty()) tail += "annotations=" + write_annotations(record.annotations) + "\n";
    const std::string caption_key = "caption=";
    const std::size_t fixed = head.size() + caption_key.size() + 1 + tail.size();
    const std::size_t room = diagram_record_max_bytes > fixed ? diagram_record_max_bytes - fixed : 0;
    return head + caption_key + escape(fitting(record.caption, room)) + "\n" + tail;
}

bool is_diagram_record(std::string_view text) { return text.starts_with(diagram_record_magic); }

DiagramRecordResult read_diagram_record(std::string_view text) {
    if (text.size() > diagram_record_max_bytes) return failure("the record is longer than 65533 bytes", 0);
    if (!is_diagram_record(text)) return failure("not a diagram record", 1);
    const std::string version_line = std::string(diagram_record_magic) + std::to_string(diagram_record_version);
    const std::size_t first_end = text.find('\n');
    if (text.substr(0, first_end) != version_line) {
        std::string_view version = text.substr(diagram_record_magic.size(), first_end - diagram_record_magic.size());
        return failure("record version \"" + std::string(version.substr(0, 16)) + "\" is not supported (only " +
                           std::to_string(diagram_record_version) + ")",
                       1);
    }

    DiagramRecordResult result;
    bool have_fen = false, have_marks = false, have_caption = false, have_square = false;
    bool have_set = false;
    bool have_annotations = false;
    std::string_view marks;
    int marks_line = 0;
    bool have_looks = false;
    std::string_view looks;
    int looks_line = 0;
    RecordLines lines(text);
    std::string_view key, value;
    while (lines.next(key, value)) {
        const int line = lines.line();
        auto once = [&](bool& have) {
            if (have) return false;
            have = true;
            return true;
        };
        if (key == "fen") {
            if (!once(have_fen)) return failure("fen is given twice", line);
            const FenResult fen = read_fen(value);
            if (!fen.ok) return failure("fen: " + fen.error, line);
            if (!fen.rest.empty()) return failure("fen: text after the six fields", line);
            result.record.position = fen.position;
        } else if (key == "marks") {
            if (!once(have_marks)) return failure("marks are given twice", line);
            marks = value;
            marks_line = line;
        } else if (key == "looks") {
            if (!once(have_looks)) return failure("looks are given twice", line);
            looks = value;
            looks_line = line;
        } else if (key == "caption") {
            if (!once(have_caption)) return failure("caption is given twice", line);
            std::string error;
            if (!unescape(value, result.record.caption, error)) return failure(error, line);
        } else if (key == "square") {
            if (!once(have_square)) return failure("square is given twice", line);
            if (!read_record_number(value, diagram_record_max_square, result.record.square)) {
                return failure("square must be a whole number from 1 to " +
                                   std::to_string(diagram_record_max_square),
                               line);
            }
        } else if (key == "set") {
            if (!once(have_set)) return failure("set is given twice", line);
            if (!is_piece_set_name(value)) return failure("set must be 1 to 64 of a-z, 0-9, '.', '_', '-'", line);
            result.record.set = value;
        } else if (key == "annotations") {
            if (!once(have_annotations)) return failure("annotations are given twice", line);
            read_annotations(value, result.record.annotations);
        }
        // Keys a later revision of this version adds are skipped.
    }
    if (!lines.error().empty()) return failure(lines.error(), lines.line());
    if (!have_fen) return failure("no fen", 0);
    if (!have_square) return failure("no square", 0);
    // After the fen, whichever order the lines came in: a mark needs its
    // square empty.
    std::string error;
    if (!read_marks(marks, result.record.position, error)) return failure("marks: " + error, marks_line);
    if (!read_looks_field(looks, result.record.position, error)) return failure("looks: " + error, looks_line);
    result.ok = true;
    return result;
}

DiagramRecordResult read_diagram_picture(const std::string& path) {
    const JpegComments comments = jpeg_file_comments(path);
    if (!comments.ok) return failure(comments.error, 0);
    const std::string* found = nullptr;
    for (const std::string& comment : comments.comments) {
        if (!is_diagram_record(comment)) continue;
        if (found) return failure("the picture holds two diagram records", 0);
        found = &comment;
    }
    if (!found) return failure("the picture holds no diagram record (it was not saved by diagram_editor)", 0);
    DiagramRecordResult result = read_diagram_record(*found);
    if (!result.ok) result.error = "damaged diagram record: " + result.error;
    return result;
}

}  // namespace chess
