// A chess problem as problemists print it: the heading above the board
// (authors, source, award), the stipulation and the count of the men below
// it, then the twins, the conditions and a legend of the fairy men. The
// position itself, fairy and neutral men included, is the item's Position
// (its looks say how each man is printed).
#pragma once

#include <string>
#include <vector>

#include "core/position.h"

namespace chess {

// A twin: "b)" and what changes, as printed ("wKe1→e2").
struct Twin {
    std::string label;
    std::string text;
};

// A fairy man's kind and where it stands, for the legend under the board:
// "Grasshoppers: c2, e5".
struct LegendEntry {
    std::string name;  // as the legend prints it, plural when more than one
    std::vector<int> squares;
};

struct Problem {
    std::vector<std::string> authors;
    std::string title;
    std::string source;  // the origin as printed, issue and year included
    std::string award;
    std::string stipulation;  // "#2", "h#3", "s#5", "+", "="
    std::vector<std::string> conditions;
    std::vector<Twin> twins;
    std::vector<LegendEntry> legend;
    std::vector<std::string> remarks;
    // The solver's options as given ("Try", "SetPlay"), kept with the
    // problem though not printed.
    std::vector<std::string> options;
    // The solution as given (a solver's output pasted in the entry): lines
    // separated by '\n', indentation kept.
    std::string solution;
};

// The men on the board by side: neutral men apart, whatever colour their
// square gives them; marks are not men.
struct MenCount {
    int white = 0;
    int black = 0;
    int neutral = 0;
};
MenCount count_men(const Position& position);
// "(5+4)", or "(5+4+1)" when there are neutral men.
std::string count_text(const MenCount& count);

}  // namespace chess
