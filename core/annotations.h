// Coloured squares and arrows drawn over a diagram, as comment commands
// carry them: "[%csl Ra1,Gb2]" colours squares, "[%cal Re2e4,Gg1f3]" draws
// arrows. PGN comments hold them, and so does EPD's c1 operand.
//
// An entry is a colour letter (R, G, B or Y; lower case taken too) and one
// square, or two for an arrow. Malformed entries are skipped one by one, so
// that one typing error loses one mark, not the list.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace chess {

enum class MarkColour : std::uint8_t { Red, Green, Blue, Yellow };

// The colour of a letter R, G, B, Y (either case), or nothing.
std::optional<MarkColour> mark_colour(char letter);
// 'R', 'G', 'B' or 'Y'.
char colour_letter(MarkColour colour);

struct SquareHighlight {
    int square = 0;  // 0 (a1) to 63 (h8)
    MarkColour colour = MarkColour::Red;
    bool operator==(const SquareHighlight&) const = default;
};

struct Arrow {
    int from = 0;
    int to = 0;
    MarkColour colour = MarkColour::Red;
    bool operator==(const Arrow&) const = default;
};

// In the order written.
struct Annotations {
    std::vector<SquareHighlight> squares;
    std::vector<Arrow> arrows;

    bool empty() const { return squares.empty() && arrows.empty(); }
    void clear() {
        squares.clear();
        arrows.clear();
    }
    bool operator==(const Annotations&) const = default;
};

// Adds the entries of every [%csl ...] and [%cal ...] command in a text
// (a comment, an EPD operand); other commands such as [%clk ...] and all
// other text are passed over. A command without its closing ']' is skipped.
void read_annotations(std::string_view text, Annotations& into);
Annotations read_annotations(std::string_view text);

// The entry lists alone, as after the command name: "Ra1,Gb2" and
// "Re2e4,Gg1f3". Entries are separated by commas, blanks or both.
void read_square_list(std::string_view list, Annotations& into);
void read_arrow_list(std::string_view list, Annotations& into);

// "[%csl Ra1,Gb2][%cal Re2e4]"; each command only when it has entries.
std::string write_annotations(const Annotations& annotations);

// What a comment says to a reader: the text with every [%...] command
// removed and runs of blanks and line breaks made one space, trimmed.
std::string strip_commands(std::string_view text);

}  // namespace chess
