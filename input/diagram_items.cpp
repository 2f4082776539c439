#include "input/diagram_items.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>

#include "core/text.h"
#include "input/diagram_pictures.h"
#include "input/position_list.h"

namespace chess::input {

const char* const standard_input_name = "(standard input)";

namespace {

bool is_space(int c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

// A game starts with its tags; blanks and a byte-order mark may come first.
bool looks_like_pgn(std::istream& in) {
    for (int c; (c = in.get()) != EOF;) {
        if (c == '[') return true;
        if (!is_space(c) && c != 0xEF && c != 0xBB && c != 0xBF) return false;
    }
    return false;
}

// What a caption template's field names in a game: "comment" its opening
// comment, any other name its tag.
std::optional<std::string> game_field(const PgnGame& game, std::string_view name) {
    if (name == "comment") return game.caption;
    for (const PgnTag& tag : game.tags) {
        if (tag.name == name) return tag.value;
    }
    return std::nullopt;
}

// ... in a list line or a picture: "comment" its caption (the text after a
// FEN, an EPD's c0 else id, a picture's task), any other name an EPD
// operation's operands.
std::optional<std::string> record_field(const ListEntry& entry, std::string_view name) {
    if (name == "comment") return entry.caption;
    for (const EpdOperation& op : entry.operations) {
        if (op.opcode != name) continue;
        std::string text;
        for (const std::string& operand : op.operands) text += (text.empty() ? "" : " ") + operand;
        return text;
    }
    return std::nullopt;
}

}  // namespace

Kind kind_of(const std::string& path) {
    // A picture's name is kept to: its failure to load is what the user
    // needs to hear about, not a list's.
    const std::string extension = lower_extension(path);
    if (extension == ".jpg" || extension == ".jpeg" || extension == ".bmp") return Kind::Picture;
    std::ifstream in(path, std::ios::binary);
    char head[2] = {};
    in.read(head, 2);
    if (in.gcount() == 0) return Kind::Nothing;
    const bool jpeg = static_cast<unsigned char>(head[0]) == 0xFF && static_cast<unsigned char>(head[1]) == 0xD8;
    const bool bmp = head[0] == 'B' && head[1] == 'M';
    if (in.gcount() == 2 && (jpeg || bmp)) return Kind::Picture;
    if (extension == ".pgn") return Kind::Pgn;
    in.clear();
    in.seekg(0);
    return looks_like_pgn(in) ? Kind::Pgn : Kind::List;
}

ItemReader::ItemReader(std::function<void(const DiagramItem&)> on_item,
                       std::function<void(const ReadProblem&)> on_problem)
    : on_item_(std::move(on_item)), on_problem_(std::move(on_problem)) {}

void ItemReader::read(const std::string& path, Kind kind) {
    switch (kind) {
        case Kind::Picture: read_picture(path); break;
        case Kind::Pgn: read_pgn(path); break;
        case Kind::List:
        case Kind::Nothing: read_list(path); break;
    }
}

void ItemReader::input_problem(const std::string& name, const std::string& cause) {
    on_problem_({0, name + ": " + cause, cause});
}

void ItemReader::read_picture(const std::string& path) {
    // A diagram picture saved by the editor is one position.
    const ListEntry entry = read_diagram_picture(path, path);
    ++count_;
    if (!entry.ok) {
        on_problem_({count_, entry_message(entry), {}});
        return;
    }
    DiagramItem item;
    item.number = count_;
    item.position = entry.position;
    item.caption = entry.caption;
    if (caption_) item.caption = caption_->expand([&](std::string_view name) { return record_field(entry, name); });
    item.source = path;
    on_item_(item);
}

void ItemReader::read_pgn(const std::string& path) {
    const bool standard_input = path == "-";
    const std::string name = standard_input ? standard_input_name : path;
    std::ifstream file;
    if (!standard_input) {
        file.open(path, std::ios::binary);
        if (!file) return input_problem(name, std::strerror(errno));
    }
    std::istream& in = standard_input ? std::cin : file;
    // Only the diagrams' positions and texts are kept, never the games'.
    PgnReader reader(in);
    PgnGame game;
    PgnError refused;
    DiagramItem item;
    item.source = name;
    while (true) {
        const PgnReader::Status status = reader.next(game, refused);
        if (status == PgnReader::Status::End) break;
        ++count_;
        if (status == PgnReader::Status::Error) {
            on_problem_({count_, name + ": " + valid_utf8(refused.message(), Controls::Blank), {}});
            continue;
        }
        item.number = count_;
        item.position = game.position;
        const std::string caption =
            caption_ ? caption_->expand([&](std::string_view name) { return game_field(game, name); }) : pgn_caption(game);
        item.caption = valid_utf8(caption, Controls::Blank);
        item.marks = game.annotations;
        item.solution = game.solution;
        item.line = game.line;
        item.game = game.number;
        on_item_(item);
    }
    if (in.bad()) input_problem(name, "read error");
}

void ItemReader::read_list(const std::string& path) {
    const bool standard_input = path == "-";
    const std::string name = standard_input ? standard_input_name : path;
    const int fd = standard_input ? STDIN_FILENO : ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return input_problem(name, std::strerror(errno));
    DiagramItem item;
    item.source = name;
    std::string error;
    const bool read = read_position_list(fd, name, [&](ListEntry& entry) {
        ++count_;
        if (!entry.ok) {
            on_problem_({count_, entry_message(entry), {}});
            return;
        }
        item.number = count_;
        item.position = entry.position;
        if (caption_) {
            const std::string caption = caption_->expand([&](std::string_view name) { return record_field(entry, name); });
            item.caption = valid_utf8(caption, Controls::Blank);
        } else {
            item.caption = std::move(entry.caption);
        }
        item.marks = marks_of_comment(entry.comment);
        item.solution = epd_solution(entry.best_moves, entry.variation);
        item.line = entry.line;
        on_item_(item);
    }, error);
    if (!standard_input) ::close(fd);
    // The message names the input; the cause is what follows the name.
    if (!read) on_problem_({0, error, error.substr(name.size() + 2)});
}

Annotations marks_of_comment(std::string_view c1) {
    Annotations marks;
    if (c1.find("[%") != std::string_view::npos) {
        read_annotations(c1, marks);
    } else {
        read_square_list(c1, marks);
        read_arrow_list(c1, marks);
    }
    return marks;
}

std::string epd_solution(const std::vector<std::string>& best_moves, const std::vector<std::string>& variation) {
    const bool line = !variation.empty();
    std::string text;
    for (const std::string& move : line ? variation : best_moves) {
        if (!text.empty()) text += line ? " " : ", ";
        text += move;
    }
    return text;
}

std::string pgn_caption(const PgnGame& game) {
    if (game.puzzle || !game.caption.empty()) return game.caption;
    auto known = [](std::string_view v) { return !v.empty() && v != "?"; };
    const std::string_view white = game.tag("White"), black = game.tag("Black");
    if (!known(white) || !known(black)) return {};
    return std::string(white) + " \u2013 " + std::string(black);
}

}  // namespace chess::input
