#include "core/piece_set_mark.h"

#include <charconv>

#include "core/diagram_layout.h"
#include "core/jpeg_comments.h"
#include "core/piece_roles.h"

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

bool read_square(std::string_view value, int& square) {
    if (value.empty() || value.size() > 4 || value[0] == '0') return false;
    auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), square);
    return error == std::errc() && end == value.data() + value.size() && square >= 1 && square <= max_square;
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
    int line = 1;
    std::size_t at = first_end == std::string_view::npos ? text.size() : first_end + 1;
    while (at < text.size()) {
        ++line;
        std::size_t end = text.find('\n', at);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view entry = text.substr(at, end - at);
        at = end + 1;
        const std::size_t equals = entry.find('=');
        if (equals == std::string_view::npos || equals == 0) return failure("a line without \"key=\"", line);
        const std::string_view key = entry.substr(0, equals), value = entry.substr(equals + 1);
        if (key == "set") {
            if (have_set) return failure("set is given twice", line);
            if (!is_piece_set_name(value)) return failure("set must be 1 to 64 of a-z, 0-9, '.', '_', '-'", line);
            have_set = true;
            result.mark.set = value;
        } else if (key == "square") {
            if (have_square) return failure("square is given twice", line);
            if (!read_square(value, result.mark.square))
                return failure("square must be a whole number from 1 to 4096", line);
            have_square = true;
        }
        // Keys a later revision adds are skipped.
    }
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
