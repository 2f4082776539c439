// A problem's heading above the board and its footer below, as problem
// columns print them: the authors, title, source and award centred over the
// board in type smaller than the caption's; under the frame the
// stipulation at the left and the count of the men at the right, each at
// the diagram's edge, then the twins, conditions, legend and remarks, one
// to a line, broken at the diagram's width as captions are. Only render/
// includes it.
#pragma once

#include <cairo.h>

#include <string>
#include <vector>

#include "core/problem.h"
#include "render/diagram_internal.h"

namespace chess::render {

struct ProblemText {
    struct Line {
        std::string text;
        std::string right;  // the count, at the right edge
        const TextStyle* style = nullptr;
        bool centred = false;
        double y = 0;  // its top, in squares from the block's top
    };
    std::vector<Line> heading, footer;
    double heading_height = 0;  // in squares, the gap above the frame included
    double footer_height = 0;   // in squares, the gap below the frame included
};

// The problem's lines, broken and placed; the count from the position.
ProblemText problem_text(Renderer::Fonts& fonts, const Problem& problem, const Position& position);
// The lines with the block's top-left corner at (x, y) of cr's user space,
// the diagram 9 squares of s wide.
void draw_lines(cairo_t* cr, PangoContext* context, const std::vector<ProblemText::Line>& lines, double x, double y,
                double s);

}  // namespace chess::render
