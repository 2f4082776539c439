#include "input/diagram_items.h"

#include <cstring>
#include <istream>
#include <vector>

#include "core/text.h"
#include "input/diagram_pictures.h"
#include "input/input_source.h"
#include "input/position_list.h"
#include "input/problem_text.h"
#include "input/problem_yaml.h"

namespace chess::input {

const char* const standard_input_name = "(standard input)";

namespace {

// How far a list or PGN is read ahead to tell them apart: blanks and a
// byte-order mark may come before a tag.
constexpr std::size_t sniff_bytes = 64 * 1024;

bool is_space(int c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

bool has_picture_name(const std::string& extension) {
    return extension == ".jpg" || extension == ".jpeg" || extension == ".bmp" || extension == ".png" ||
           extension == ".svg" || extension == ".pdf";
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

// ... in a problem: its heading's and stipulation's fields, "comment" its
// remarks.
std::optional<std::string> problem_field(const Problem& problem, std::string_view name) {
    auto joined = [](const std::vector<std::string>& texts) {
        std::string text;
        for (const std::string& part : texts) text += (text.empty() ? "" : ", ") + part;
        return text;
    };
    if (name == "author") return joined(problem.authors);
    if (name == "title") return problem.title;
    if (name == "source") return problem.source;
    if (name == "award") return problem.award;
    if (name == "stipulation") return problem.stipulation;
    if (name == "comment") return joined(problem.remarks);
    return std::nullopt;
}

// What a game cut off at the end of its file was cut off inside: such a
// game is drawn, and said to be damaged. Other early ends are silent.
bool cut_off_by_the_end(const PgnGame& game) { return game.cut_off.starts_with("the file ends inside"); }

// A problem file's or a list's first line, from its first mark: read ahead
// to its end only, so that a list streamed a line at a time is not held up.
Kind first_line_kind(InputSource& input, std::size_t at) {
    constexpr std::size_t enough = 1024;
    while (input.held().find('\n', at) == std::string_view::npos && input.held().size() < at + enough &&
           input.more()) {
    }
    const std::string_view first = input.held().substr(at);
    if (starts_problem_text(first)) return Kind::ProblemText;
    if (starts_problem_yaml(first)) return Kind::ProblemYaml;
    return Kind::List;
}

}  // namespace

Kind kind_of(const std::string& path) {
    // A picture's name is kept to: its failure to load is what the user
    // needs to hear about, not a list's.
    if (path != "-" && has_picture_name(lower_extension(path))) return Kind::Picture;
    InputSource input;
    std::string ignored;
    if (!input.open(path, ignored)) return Kind::Nothing;
    return kind_of(input);
}

Kind kind_of(InputSource& input) {
    const std::string extension = input.path() == "-" ? std::string() : lower_extension(input.path());
    if (has_picture_name(extension)) return Kind::Picture;
    while (input.held().size() < 2 && input.more()) {
    }
    const std::string_view head = input.held();
    if (head.empty()) return Kind::Nothing;
    const bool jpeg = head.size() >= 2 && static_cast<unsigned char>(head[0]) == 0xFF &&
                      static_cast<unsigned char>(head[1]) == 0xD8;
    const bool bmp = head.starts_with("BM");
    if (jpeg || bmp) return Kind::Picture;
    // The renderer's files: a PNG's signature or a PDF's header, else an
    // XML declaration or an <svg> tag within the first bytes.
    while (input.held().size() < 16 && input.more()) {
    }
    const std::string_view longer = input.held();
    if (looks_like_png(longer) || looks_like_pdf(longer) || looks_like_svg(longer)) return Kind::Picture;
    if (extension == ".pgn") return Kind::Pgn;
    if (extension == ".pop") return Kind::ProblemText;
    if (extension == ".yaml" || extension == ".yml") return Kind::ProblemYaml;
    // A game starts with its tags; blanks and a byte-order mark may come first.
    for (std::size_t at = 0;; ) {
        const std::string_view held = input.held();
        for (; at < held.size(); ++at) {
            const int c = static_cast<unsigned char>(held[at]);
            if (c == '[') return Kind::Pgn;
            if (!is_space(c) && c != 0xEF && c != 0xBB && c != 0xBF) return first_line_kind(input, at);
        }
        if (held.size() >= sniff_bytes || !input.more()) return Kind::List;
    }
}

ItemReader::ItemReader(std::function<void(const DiagramItem&)> on_item,
                       std::function<void(const ReadProblem&)> on_problem)
    : on_item_(std::move(on_item)), on_problem_(std::move(on_problem)) {}

void ItemReader::read(const std::string& path, bool pgn) {
    InputSource input;
    std::string error;
    if (!input.open(path, error)) {
        if (path != "-" && has_picture_name(lower_extension(path))) return unreadable_picture(path, error);
        return input_problem(input.name(), error);
    }
    Kind kind = kind_of(input);
    if (pgn && kind != Kind::Picture) kind = Kind::Pgn;
    read(input, kind);
}

void ItemReader::read(const std::string& path, Kind kind) {
    InputSource input;
    std::string error;
    if (!input.open(path, error)) {
        if (kind == Kind::Picture) return unreadable_picture(path, error);
        return input_problem(input.name(), error);
    }
    read(input, kind);
}

void ItemReader::read(InputSource& input, Kind kind) {
    stopped_ = false;
    reading_ = &input;
    switch (kind) {
        case Kind::Picture: read_picture(input); break;
        case Kind::Pgn: read_pgn(input); break;
        case Kind::ProblemText:
        case Kind::ProblemYaml: read_problems(input, kind); break;
        case Kind::List:
        case Kind::Nothing: read_list(input); break;
    }
    reading_ = nullptr;
}

void ItemReader::stop() {
    stopped_ = true;
    if (reading_) reading_->drop();
}

void ItemReader::input_problem(const std::string& name, const std::string& cause) {
    on_problem_({ReadProblem::Severity::Rejected, 0, name + ": " + cause, cause});
}

void ItemReader::unreadable_picture(const std::string& path, const std::string& cause) {
    // A picture is one item, which could not be read.
    ListEntry entry;
    entry.source = path;
    entry.error = cause;
    on_problem_({ReadProblem::Severity::Rejected, ++count_, entry_message(entry), {}});
}

void ItemReader::read_picture(InputSource& input) {
    // A diagram picture saved by the editor is one position; a file the
    // renderer wrote, one for each diagram on it.
    for (const PictureDiagram& diagram : read_picture_diagrams(input)) {
        if (stopped_) return;
        const ListEntry& entry = diagram.entry;
        ++count_;
        if (!entry.ok) {
            on_problem_({ReadProblem::Severity::Rejected, count_, entry_message(entry), {}});
            continue;
        }
        DiagramItem item;
        item.number = count_;
        item.position = entry.position;
        item.caption = entry.caption;
        item.marks = diagram.marks;
        if (caption_)
            item.caption = caption_->expand([&](std::string_view name) { return record_field(entry, name); });
        item.source = input.name();
        on_item_(item);
    }
}

void ItemReader::read_pgn(InputSource& input) {
    const std::string& name = input.name();
    InputStreamBuffer buffer(input);
    std::istream in(&buffer);
    // Only the diagrams' positions and texts are kept, never the games'.
    PgnReader reader(in);
    PgnGame game;
    PgnError refused;
    DiagramItem item;
    item.source = name;
    bool told_encoding = false;
    while (!stopped_) {
        const PgnReader::Status status = reader.next(game, refused);
        if (status == PgnReader::Status::End) break;
        ++count_;
        if (status == PgnReader::Status::Error) {
            on_problem_({ReadProblem::Severity::Rejected, count_,
                         name + ": " + valid_utf8(refused.message(), Controls::Blank), {}});
            continue;
        }
        if (game.windows_1252 && !told_encoding) {
            // Said once a file: every game of such a file is likely the same.
            told_encoding = true;
            const std::string cause = "not UTF-8: read as Windows-1252 (Latin-1)";
            on_problem_({ReadProblem::Severity::Notice, 0, name + ": " + cause, cause});
        }
        if (cut_off_by_the_end(game)) {
            on_problem_({ReadProblem::Severity::Damaged, count_,
                         name + ": game " + std::to_string(game.number) + ": " +
                             valid_utf8(game.cut_off, Controls::Blank) + "; drawn as far as it goes",
                         {}});
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
    if (buffer.failure() != 0) input_problem(name, std::strerror(buffer.failure()));
}

void ItemReader::read_list(InputSource& input) {
    const std::string& name = input.name();
    DiagramItem item;
    item.source = name;
    std::string error;
    const bool read = read_position_list(input, [&](ListEntry& entry) {
        if (stopped_) return;
        ++count_;
        if (!entry.ok) {
            on_problem_({ReadProblem::Severity::Rejected, count_, entry_message(entry), {}});
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
    // The message names the input; the cause is what follows the name.
    if (!read) on_problem_({ReadProblem::Severity::Rejected, 0, error, error.substr(name.size() + 2)});
}

void ItemReader::read_problems(InputSource& input, Kind kind) {
    const std::string& name = input.name();
    DiagramItem item;
    item.source = name;
    auto take = [&](ProblemEntry& entry) {
        if (stopped_) return;
        ++count_;
        for (const ProblemNote& note : entry.notes) {
            const std::string where = name + ":" + std::to_string(note.line) + ": ";
            on_problem_({note.damaged ? ReadProblem::Severity::Damaged : ReadProblem::Severity::Notice, count_,
                         where + valid_utf8(note.text, Controls::Blank), {}});
        }
        if (!entry.ok) {
            on_problem_({ReadProblem::Severity::Rejected, count_,
                         name + ":" + std::to_string(entry.error_line) + ": " + valid_utf8(entry.error, Controls::Blank),
                         {}});
            return;
        }
        item.number = count_;
        item.position = entry.position;
        const Problem& problem = entry.problem;
        const std::string caption =
            caption_ ? caption_->expand([&](std::string_view field) { return problem_field(problem, field); })
                     : problem.stipulation;
        item.caption = valid_utf8(caption, Controls::Blank);
        item.line = entry.line;
        item.problem = std::make_shared<const Problem>(std::move(entry.problem));
        on_item_(item);
    };
    std::string error;
    const bool read = kind == Kind::ProblemText ? read_problem_text(input, take, error)
                                                : read_problem_yaml(input, take, error);
    // The message names the input; the cause is what follows the name.
    if (!read) on_problem_({ReadProblem::Severity::Rejected, 0, error, error.substr(name.size() + 2)});
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
