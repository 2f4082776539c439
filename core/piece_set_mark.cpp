#include "core/piece_set_mark.h"

#include "core/diagram_layout.h"
#include "core/jpeg_comments.h"
#include "core/piece_roles.h"
#include "core/record_lines.h"

namespace chess {

namespace {

constexpr std::size_t max_name = 64;
// As the diagram record allows.
constexpr int max_square = 4096;

PieceSetMarkResult failure(std::string error, int line) {
    PieceSetMarkResult r;
    r.error = std::move(error);
    r.line = line;
    return r;
}

}  // namespace

bool is_piece_set_name(std::string_view text) {
    if (text.empty() || text.size() > max_name) return false;
    for (char c : text) {
        if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '_' || c == '-')) return false;
    }
    return true;
}

std::string write_piece_set_mark(const PieceSetMark& mark) {
    return std::string(piece_set_mark_magic) + std::to_string(piece_set_mark_version) + "\nset=" + mark.set +
           "\nsquare=" + std::to_string(mark.square) + "\n";
}

PieceSetMarkResult read_piece_set_mark(std::string_view text) {
    if (!text.starts_with(piece_set_mark_magic)) return failure("not a piece-set mark", 1);
    const std::size_t first_end = text.find('\n');
    if (text.substr(0, first_end) != std::string(piece_set_mark_magic) + std::to_string(piece_set_mark_version))
        return failure("piece-set mark version is not supported", 1);
    PieceSetMarkResult result;
    bool have_set = false, have_square = false;
    RecordLines lines(text);
    std::string_view key, value;
    while (lines.next(key, value)) {
        const int line = lines.line();
        if (key == "set") {
            if (have_set) return failure("set is given twice", line);
            if (!is_piece_set_name(value)) return failure("set must be 1 to 64 of a-z, 0-9, '.', '_', '-'", line);
            have_set = true;
            result.mark.set = value;
        } else if (key == "square") {
            if (have_square) return failure("square is given twice", line);
            if (!read_record_number(value, max_square, result.mark.square))
                return failure("square must be a whole number from 1 to 4096", line);
            have_square = true;
        }
        // Keys a later revision adds are skipped.
    }
    if (!lines.error().empty()) return failure(lines.error(), lines.line());
    if (!have_set) return failure("no set", 0);
    if (!have_square) return failure("no square", 0);
    result.ok = true;
    return result;
}

std::string marked_piece_set(const std::string& folder, int square) {
    std::string name;
    for (int n = 1; n <= piece_set_pictures; ++n) {
        const JpegComments comments = jpeg_file_comments(folder + std::to_string(n) + ".jpg");
        if (!comments.ok) return "";
        const PieceSetMark* found = nullptr;
        PieceSetMarkResult read;
        for (const std::string& comment : comments.comments) {
            if (!comment.starts_with(piece_set_mark_magic)) continue;
            // Two marks in one picture say two things: neither is believed.
            if (found) return "";
            read = read_piece_set_mark(comment);
            if (!read.ok) return "";
            found = &read.mark;
        }
        if (!found || found->square != square || (n > 1 && found->set != name)) return "";
        name = found->set;
    }
    return name;
}

bool drawn_with_own_set(const DiagramRecord& record, int width, int height) {
    const DiagramLayout layout{record.square};
    return record.set == own_piece_set && width == layout.width() && height == layout.height();
}

}  // namespace chess
