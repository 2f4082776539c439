#include "render/problem_layout.h"

#include <pango/pangocairo.h>

#include <algorithm>

namespace chess::render {

namespace {

// Smaller than the caption, as a column sets its headings: the authors in
// bold, the source in italics.
constexpr TextStyle author_style{"Serif", 0.3, true};
constexpr TextStyle title_style{"Serif", 0.3};
constexpr TextStyle source_style{"Serif", 0.3, false, true};
// The stipulation and the count at nearly the caption's size; the twins,
// conditions and legend as the heading.
constexpr TextStyle stipulation_style{"Serif", 0.36};
constexpr TextStyle footer_style{"Serif", 0.3};
// A field's lines at most; more is cut short, as a caption is.
constexpr int field_lines = 3;
// Between the heading and the frame, and between the frame and the footer.
constexpr double heading_gap = 0.15;
constexpr double footer_gap = 2.0 / 50;
// The footer takes at least the caption's band.
constexpr double least_footer = 0.5;

// "A", "A & B", "A, B & C".
std::string joined_authors(const std::vector<std::string>& authors) {
    std::string text;
    for (std::size_t k = 0; k < authors.size(); ++k) {
        if (k > 0) text += k + 1 == authors.size() ? " & " : ", ";
        text += authors[k];
    }
    return text;
}

// "Grasshoppers: c2, e5".
std::string legend_text(const LegendEntry& entry) {
    std::string text = entry.name;
    for (std::size_t k = 0; k < entry.squares.size(); ++k) {
        text += k == 0 ? ": " : ", ";
        text += square_name(entry.squares[k]);
    }
    return text;
}

// The field's lines at the block's foot; the block grows by their height.
void add_field(Renderer::Fonts& fonts, std::vector<ProblemText::Line>& block, double& height, const TextStyle& style,
               const std::string& text, bool centred) {
    const double line = line_height(fonts, style);
    for (std::string& part : break_text(fonts, style, 9, field_lines, text).lines) {
        block.push_back({std::move(part), {}, &style, centred, height});
        height += line;
    }
}

}  // namespace

ProblemText problem_text(Renderer::Fonts& fonts, const Problem& problem, const Position& position) {
    ProblemText text;
    double& top = text.heading_height;
    add_field(fonts, text.heading, top, author_style, joined_authors(problem.authors), true);
    add_field(fonts, text.heading, top, title_style, problem.title, true);
    add_field(fonts, text.heading, top, source_style, problem.source, true);
    add_field(fonts, text.heading, top, source_style, problem.award, true);
    if (top > 0) top += heading_gap;

    // The count is never typed: the position says it.
    double& bottom = text.footer_height;
    bottom = footer_gap;
    text.footer.push_back({problem.stipulation, count_text(count_men(position)), &stipulation_style, false, bottom});
    bottom += line_height(fonts, stipulation_style);
    for (const Twin& twin : problem.twins) {
        add_field(fonts, text.footer, bottom, footer_style, twin.label.empty() ? twin.text : twin.label + " " + twin.text,
                  false);
    }
    for (const std::string& condition : problem.conditions) add_field(fonts, text.footer, bottom, footer_style, condition, false);
    for (const LegendEntry& entry : problem.legend) add_field(fonts, text.footer, bottom, footer_style, legend_text(entry), false);
    for (const std::string& remark : problem.remarks) add_field(fonts, text.footer, bottom, footer_style, remark, false);
    bottom = std::max(bottom, least_footer);
    return text;
}

void draw_lines(cairo_t* cr, PangoContext* context, const std::vector<ProblemText::Line>& lines, double x, double y,
                double s) {
    cairo_set_source_rgb(cr, 0, 0, 0);
    // Each part placed by its logical box: centred, or from the left edge,
    // or ending at the right one.
    auto show = [&](const TextStyle& style, const std::string& part, double top, int align) {
        if (part.empty()) return;
        auto layout = styled_layout(cr, context, style, s, part);
        PangoRectangle logical;
        pango_layout_get_extents(layout.get(), nullptr, &logical);
        const double width = logical.width / static_cast<double>(PANGO_SCALE);
        const double left = align < 0 ? 0 : align == 0 ? (9 * s - width) / 2 : 9 * s - width;
        cairo_move_to(cr, x + left - logical.x / static_cast<double>(PANGO_SCALE), y + top * s);
        pango_cairo_show_layout(cr, layout.get());
    };
    for (const ProblemText::Line& line : lines) {
        show(*line.style, line.text, line.y, line.centred ? 0 : -1);
        show(*line.style, line.right, line.y, 1);
    }
}

}  // namespace chess::render
