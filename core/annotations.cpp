#include "core/annotations.h"

#include "core/position.h"

namespace chess {

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }
bool is_separator(char c) { return c == ',' || is_blank(c); }

// Calls take(entry) for each entry of a list.
template <typename Take>
void each_entry(std::string_view list, Take take) {
    std::size_t i = 0;
    while (i < list.size()) {
        while (i < list.size() && is_separator(list[i])) ++i;
        std::size_t start = i;
        while (i < list.size() && !is_separator(list[i])) ++i;
        if (i > start) take(list.substr(start, i - start));
    }
}

}  // namespace

std::optional<MarkColour> mark_colour(char letter) {
    switch (letter) {
        case 'R': case 'r': return MarkColour::Red;
        case 'G': case 'g': return MarkColour::Green;
        case 'B': case 'b': return MarkColour::Blue;
        case 'Y': case 'y': return MarkColour::Yellow;
        default: return std::nullopt;
    }
}

char colour_letter(MarkColour colour) {
    switch (colour) {
        case MarkColour::Red: return 'R';
        case MarkColour::Green: return 'G';
        case MarkColour::Blue: return 'B';
        case MarkColour::Yellow: return 'Y';
    }
    return 'R';
}

void read_square_list(std::string_view list, Annotations& into) {
    each_entry(list, [&into](std::string_view entry) {
        if (entry.size() != 3) return;
        const std::optional<MarkColour> colour = mark_colour(entry[0]);
        const int square = parse_square(entry.substr(1));
        if (colour && square >= 0) into.squares.push_back({square, *colour});
    });
}

void read_arrow_list(std::string_view list, Annotations& into) {
    each_entry(list, [&into](std::string_view entry) {
        if (entry.size() != 5) return;
        const std::optional<MarkColour> colour = mark_colour(entry[0]);
        const int from = parse_square(entry.substr(1, 2));
        const int to = parse_square(entry.substr(3, 2));
        if (colour && from >= 0 && to >= 0 && from != to) into.arrows.push_back({from, to, *colour});
    });
}

void read_annotations(std::string_view text, Annotations& into) {
    std::size_t at = 0;
    while ((at = text.find("[%", at)) != std::string_view::npos) {
        const std::size_t close = text.find(']', at);
        if (close == std::string_view::npos) return;
        std::string_view command = text.substr(at + 2, close - at - 2);
        at = close + 1;
        std::size_t name_end = 0;
        while (name_end < command.size() && !is_blank(command[name_end])) ++name_end;
        const std::string_view name = command.substr(0, name_end);
        const std::string_view list = command.substr(name_end);
        if (name == "csl") read_square_list(list, into);
        else if (name == "cal") read_arrow_list(list, into);
    }
}

Annotations read_annotations(std::string_view text) {
    Annotations a;
    read_annotations(text, a);
    return a;
}

std::string write_annotations(const Annotations& annotations) {
    std::string out;
    if (!annotations.squares.empty()) {
        out += "[%csl ";
        for (std::size_t i = 0; i < annotations.squares.size(); ++i) {
            if (i) out += ',';
            out += colour_letter(annotations.squares[i].colour);
            out += square_name(annotations.squares[i].square);
        }
        out += ']';
    }
    if (!annotations.arrows.empty()) {
        out += "[%cal ";
        for (std::size_t i = 0; i < annotations.arrows.size(); ++i) {
            if (i) out += ',';
            out += colour_letter(annotations.arrows[i].colour);
            out += square_name(annotations.arrows[i].from);
            out += square_name(annotations.arrows[i].to);
        }
        out += ']';
    }
    return out;
}

std::string strip_commands(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    bool blank = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '[' && i + 1 < text.size() && text[i + 1] == '%') {
            const std::size_t close = text.find(']', i);
            if (close == std::string_view::npos) break;
            i = close;
            blank = true;
            continue;
        }
        if (is_blank(text[i])) {
            blank = true;
            continue;
        }
        if (blank && !out.empty()) out += ' ';
        blank = false;
        out += text[i];
    }
    return out;
}

}  // namespace chess
