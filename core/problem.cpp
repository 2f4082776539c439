#include "core/problem.h"

namespace chess {

MenCount count_men(const Position& position) {
    MenCount count;
    for (int sq = 0; sq < 64; ++sq) {
        Piece p = position[sq];
        if (!is_man(p)) continue;
        if (position.looks[static_cast<std::size_t>(sq)].neutral)
            ++count.neutral;
        else if (is_white(p))
            ++count.white;
        else
            ++count.black;
    }
    return count;
}

std::string count_text(const MenCount& count) {
    std::string text = "(" + std::to_string(count.white) + "+" + std::to_string(count.black);
    if (count.neutral > 0) text += "+" + std::to_string(count.neutral);
    return text + ")";
}

}  // namespace chess
