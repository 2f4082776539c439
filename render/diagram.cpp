#include "render/diagram.h"

#include <pango/pangocairo.h>

#include <algorithm>
#include <cmath>

#include "core/diagram_layout.h"
#include "render/diagram_internal.h"
#include "render/problem_layout.h"

namespace chess::render {

namespace {

const char* const text_family = "Sans";
constexpr double coordinate_share = 0.24;
constexpr double number_share = 0.34;
// A caption's lines at most; a longer one is cut short with an ellipsis.
constexpr int caption_max_lines = 3;
// The gap above the caption's first line, as the editor's 2 pixels at 50
// a square, where the band leaves room for it.
constexpr double caption_gap_share = 2.0 / 50;

}  // namespace

Size diagram_size(const DiagramOptions& options, double s) {
    VectorDiagramLayout layout{s};
    return {layout.width(), layout.height() + (options.number.empty() ? 0 : layout.half())};
}

namespace {

Space enter_space(cairo_t* cr, double s, double raster_dpi) {
    Space space;
    cairo_matrix_t m;
    cairo_get_matrix(cr, &m);
    bool image = cairo_surface_get_type(cairo_get_target(cr)) == CAIRO_SURFACE_TYPE_IMAGE;
    space.tiled = cairo_surface_get_type(cairo_get_target(cr)) == CAIRO_SURFACE_TYPE_SVG;
    double scale = std::sqrt(std::fabs(m.xx * m.yy - m.xy * m.yx));
    if (image && m.xy == 0 && m.yx == 0 && m.xx > 0 && m.xx == m.yy) {
        space.snap = true;
        cairo_identity_matrix(cr);
        space.ox = m.x0;
        space.oy = m.y0;
        space.s = s * m.xx;
        space.device_scale = 1;
    } else {
        space.s = s;
        space.device_scale = scale > 0 ? scale : 1;
    }
    if (image) {
        Hatching h = raster_hatching(raster_dpi);
        space.hatching = {h.period / space.device_scale, h.width / space.device_scale};
    } else {
        // Device units of the vector surfaces are points.
        Hatching h = vector_hatching();
        space.hatching = {h.period / space.device_scale, h.width / space.device_scale};
    }
    if (space.snap) {
        // The shipped set's frame: 3 pixels at 50, 2 at the smallest sizes.
        int s_px = static_cast<int>(std::lround(space.s));
        space.frame_line = std::min(std::max(2, (s_px + 10) / 20), s_px / 2 / 2);
        space.margin = std::max(1, s_px / 40);
    } else {
        space.frame_line = 0.06 * space.s;
        space.margin = body_margin * space.s;
    }
    return space;
}

// The white body of glyph g in vector space, its cell's corner at the
// origin: the silhouette filled and stroked round with the margin.
cairo_surface_t* body_of(Renderer::Fonts& fonts, int g, const Space& space) {
    auto found = std::find_if(fonts.bodies.begin(), fonts.bodies.end(),
                              [&](const Renderer::Fonts::Bodies& b) { return b.s == space.s; });
    if (found == fonts.bodies.end()) {
        // As the boards: a few sizes a run, the list kept short.
        if (fonts.bodies.size() >= 16) fonts.bodies.clear();
        fonts.bodies.push_back({space.s, {}});
        found = fonts.bodies.end() - 1;
    }
    Surface& surface = found->surfaces[static_cast<std::size_t>(g)];
    if (surface) return surface.get();
    const double s = space.s, m = space.margin;
    cairo_rectangle_t extents{-2 * m, -2 * m, s + 4 * m, s + 4 * m};
    surface.reset(cairo_recording_surface_create(CAIRO_CONTENT_COLOR_ALPHA, &extents));
    cairo_t* cr = cairo_create(surface.get());
    const Glyph& glyph = fonts.glyphs[static_cast<std::size_t>(g)];
    append_glyph(cr, glyph, glyph.outer_silhouette, Cell{0, 0, s, s}, s);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_set_line_width(cr, 2 * m);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);
    cairo_fill_preserve(cr);
    cairo_stroke(cr);
    cairo_destroy(cr);
    return surface.get();
}

// Draws man p of cell c with draw(p) as its looks have it: turned about
// the square's centre by quarter turns clockwise and, when neutral, the
// white man's left half beside the black man's right half. Both are a
// transformation and a clip round the same drawing of a man, so a turned or
// neutral man is in the style of the others on every target.
template <class Draw>
void with_looks(cairo_t* cr, const Cell& c, Draw draw) {
    const double cx = (c.x0 + c.x1) / 2, cy = (c.y0 + c.y1) / 2, side = c.x1 - c.x0;
    auto turned = [&](Piece p) {
        cairo_save(cr);
        cairo_translate(cr, cx, cy);
        cairo_rotate(cr, (c.looks.turn % 4) * M_PI / 2);
        cairo_translate(cr, -cx, -cy);
        draw(p);
        cairo_restore(cr);
    };
    if (!c.looks.neutral || !is_man(c.piece)) {
        turned(c.piece);
        return;
    }
    // The halves reach past the square, as the body's margin does.
    const int kind = (static_cast<int>(c.piece) - 1) % 6;
    for (int half = 0; half < 2; ++half) {
        cairo_save(cr);
        cairo_rectangle(cr, half == 0 ? c.x0 - side : cx, c.y0 - side, side * 1.5, side * 3);
        cairo_clip(cr);
        turned(static_cast<Piece>(1 + kind + (half == 0 ? 0 : 6)));
        cairo_restore(cr);
    }
}

// Everything on the squares, in the order that decides what covers what:
// paper, hatching, highlights, the men's white bodies, the men.
// With board false the paper and the dark squares' hatching are taken as
// drawn already.
void paint_cells(cairo_t* cr, Renderer::Fonts& fonts, const std::vector<Cell>& cells, const Space& space,
                 const std::vector<SquareHighlight>& highlights, bool board = true) {
    if (board) {
        cairo_set_source_rgb(cr, 1, 1, 1);
        if (space.snap) {
            for (const Cell& c : cells) cairo_rectangle(cr, c.x0, c.y0, c.x1 - c.x0, c.y1 - c.y0);
        } else if (!cells.empty()) {
            // The squares side by side: one rectangle in a vector file.
            Cell all = cells.front();
            for (const Cell& c : cells) {
                all = {std::min(all.x0, c.x0), std::min(all.y0, c.y0), std::max(all.x1, c.x1), std::max(all.y1, c.y1)};
            }
            cairo_rectangle(cr, all.x0, all.y0, all.x1 - all.x0, all.y1 - all.y0);
        }
        cairo_fill(cr);
    }

    std::vector<bool> dark(cells.size()), green(cells.size()), body(cells.size());
    bool any_green = false;
    for (std::size_t i = 0; i < cells.size(); ++i) {
        dark[i] = cells[i].dark;
        const SquareHighlight* h = cells[i].square >= 0 ? highlight_of(highlights, cells[i].square) : nullptr;
        green[i] = h && h->colour == MarkColour::Green;
        any_green = any_green || green[i];
        body[i] = cells[i].piece != Piece::Empty && (cells[i].dark || (h && (h->colour == MarkColour::Green ||
                                                                              h->colour == MarkColour::Blue)));
    }
    if (board) fill_hatching(cr, cells, space, true, dark);
    if (any_green) fill_hatching(cr, cells, space, false, green);

    paint_highlights(cr, cells, space, highlights);

    const double s = space.s;
    if (!space.snap) {
        // Bodies in white, each recorded once, then the men in black, as
        // glyphs of the men's font.
        std::vector<cairo_glyph_t> men;
        std::vector<const Cell*> looking;  // the men drawn with their looks
        for (std::size_t i = 0; i < cells.size(); ++i) {
            const Cell& c = cells[i];
            if (c.piece == Piece::Empty) continue;
            if (body[i]) {
                with_looks(cr, c, [&](Piece p) {
                    cairo_set_source_surface(cr, body_of(fonts, glyph_index(p), space), c.x0, c.y0);
                    cairo_paint(cr);
                });
            }
            if (c.looks.plain())
                men.push_back({static_cast<unsigned long>(glyph_index(c.piece)), c.x0, c.y0});
            else
                looking.push_back(&c);
        }
        if (men.empty() && looking.empty()) return;
        cairo_save(cr);
        cairo_set_font_face(cr, fonts.men_face.get());
        cairo_set_font_size(cr, s);
        cairo_font_options_t* options = cairo_font_options_create();
        cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
        cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
        cairo_set_font_options(cr, options);
        cairo_font_options_destroy(options);
        cairo_set_source_rgb(cr, 0, 0, 0);
        if (!men.empty()) cairo_show_glyphs(cr, men.data(), static_cast<int>(men.size()));
        for (const Cell* c : looking) {
            with_looks(cr, *c, [&](Piece p) {
                cairo_glyph_t man{static_cast<unsigned long>(glyph_index(p)), c->x0, c->y0};
                cairo_show_glyphs(cr, &man, 1);
            });
        }
        cairo_restore(cr);
        return;
    }

    // Bodies: the man's silhouette, so that the holes of the outline (a
    // white man's inside, a black man's white details) are covered too,
    // grown by a margin of paper that keeps the hatching clear of the
    // outline.
    // Men with looks are drawn one by one after the others, in each pass.
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_set_line_width(cr, 2 * space.margin);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);
    auto fill_bodies = [&]() {
        cairo_fill_preserve(cr);
        cairo_stroke(cr);
    };
    cairo_new_path(cr);
    for (std::size_t i = 0; i < cells.size(); ++i) {
        if (!body[i] || !cells[i].looks.plain()) continue;
        const Glyph& g = fonts.glyphs[glyph_index(cells[i].piece)];
        append_glyph(cr, g, g.silhouette, cells[i], s);
    }
    fill_bodies();
    for (std::size_t i = 0; i < cells.size(); ++i) {
        if (!body[i] || cells[i].looks.plain()) continue;
        with_looks(cr, cells[i], [&](Piece p) {
            const Glyph& g = fonts.glyphs[glyph_index(p)];
            append_glyph(cr, g, g.silhouette, cells[i], s);
            fill_bodies();
        });
    }

    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_new_path(cr);
    for (const Cell& c : cells) {
        if (c.piece == Piece::Empty || !c.looks.plain()) continue;
        const Glyph& g = fonts.glyphs[glyph_index(c.piece)];
        append_glyph(cr, g, g.data, c, s);
    }
    cairo_fill(cr);
    for (const Cell& c : cells) {
        if (c.piece == Piece::Empty || c.looks.plain()) continue;
        with_looks(cr, c, [&](Piece p) {
            const Glyph& g = fonts.glyphs[glyph_index(p)];
            append_glyph(cr, g, g.data, c, s);
            cairo_fill(cr);
        });
    }
}

// The caption's lines at the diagram's width; past the third, cut short.
TextLines caption_lines(Renderer::Fonts& fonts, const std::string& text) {
    return break_text(fonts, caption_style, 9, caption_max_lines, text);
}

// The caption band's height, and the gap above its first line, in squares.
double caption_band(const Renderer::Fonts& fonts, std::size_t lines) {
    return std::max(0.5, static_cast<double>(lines) * fonts.caption_line);
}
double caption_gap(const Renderer::Fonts& fonts, std::size_t lines) {
    return std::min(caption_gap_share, caption_band(fonts, lines) - static_cast<double>(lines) * fonts.caption_line);
}

// Text centred on (x, y): across by its ink, down by its line's box.
void centred_text(cairo_t* cr, PangoContext* context, const char* family, double size, const std::string& text,
                  double x, double y, bool bold = false) {
    auto layout = styled_layout(cr, context, TextStyle{family, 1, bold}, size, text);
    PangoRectangle ink, logical;
    pango_layout_get_extents(layout.get(), &ink, &logical);
    double ink_x = (ink.x + ink.width / 2.0) / PANGO_SCALE;
    double box_y = (logical.y + logical.height / 2.0) / PANGO_SCALE;
    cairo_move_to(cr, x - ink_x, y - box_y);
    pango_cairo_show_layout(cr, layout.get());
}

}  // namespace

std::unique_ptr<Renderer> Renderer::create(std::string& error) {
    auto fonts = std::make_unique<Fonts>();
    if (!load_fonts(*fonts, error)) return nullptr;
    return std::unique_ptr<Renderer>(new Renderer(std::move(fonts)));
}

Renderer::Renderer(std::unique_ptr<Fonts> fonts) : fonts_(std::move(fonts)) {}
Renderer::~Renderer() = default;

Size Renderer::size(const Diagram& diagram, double s) const {
    Size size = diagram_size(diagram.options, s);
    if (diagram.problem) {
        const ProblemText text = problem_text(*fonts_, *diagram.problem, diagram.position);
        size.height += (text.heading_height + text.footer_height - 0.5) * s;
        return size;
    }
    const std::size_t lines = caption_lines(*fonts_, diagram.caption).lines.size();
    size.height += (caption_band(*fonts_, lines) - 0.5) * s;
    return size;
}

bool Renderer::caption_shortened(const std::string& caption) const {
    return caption_lines(*fonts_, caption).shortened;
}

void Renderer::draw_square(cairo_t* cr, Piece p, bool dark, double s, const SquareHighlight* highlight) const {
    if (!(s > 0) || !std::isfinite(s)) return;
    cairo_save(cr);
    Space space = enter_space(cr, s, DiagramOptions{}.raster_dpi);
    const int square = highlight ? highlight->square : -1;
    std::vector<Cell> cells = {{space.x(0), space.y(0), space.x(space.s), space.y(space.s), p, dark, square}};
    paint_cells(cr, *fonts_, cells, space, highlight ? std::vector<SquareHighlight>{*highlight} : std::vector<SquareHighlight>{});
    cairo_restore(cr);
}

void Renderer::draw_arrows(cairo_t* cr, const std::vector<Arrow>& arrows, double s, double board_x,
                           double board_y) const {
    if (!(s > 0) || !std::isfinite(s)) return;
    cairo_save(cr);
    Space space = enter_space(cr, s, DiagramOptions{}.raster_dpi);
    space.ox += board_x * (space.snap ? space.s / s : 1);
    space.oy += board_y * (space.snap ? space.s / s : 1);
    const double side = space.s;
    auto centre = [&](int square, double& x, double& y) {
        x = space.ox + file_of(square) * side + side / 2;
        y = space.oy + (7 - rank_of(square)) * side + side / 2;
    };
    for (const Arrow& arrow : arrows) {
        if (arrow.from < 0 || arrow.from > 63 || arrow.to < 0 || arrow.to > 63) continue;
        double fx, fy, tx, ty;
        centre(arrow.from, fx, fy);
        centre(arrow.to, tx, ty);
        paint_arrow(cr, arrow, fx, fy, tx, ty, side, space.device_scale);
    }
    cairo_restore(cr);
}

namespace {

void frame(cairo_t* cr, const Space& space, double board_x, double board_y, double width, double height) {
    // In drawing space, edges rounded where drawing is in pixels.
    double line = space.frame_line, side = 8 * space.s;
    double x0 = space.x(0), y0 = space.y(0), x1 = space.x(width), y1 = space.y(height);
    double bx0 = space.x(board_x), by0 = space.y(board_y), bx1 = space.x(board_x + side), by1 = space.y(board_y + side);
    cairo_set_source_rgb(cr, 0, 0, 0);
    // The outer line along the picture's edges.
    cairo_rectangle(cr, x0, y0, x1 - x0, y1 - y0);
    cairo_rectangle(cr, x1 - line, y0 + line, -(x1 - x0 - 2 * line), y1 - y0 - 2 * line);
    // The inner lines along the board, each running on to the outer line.
    cairo_rectangle(cr, x0, by0 - line, x1 - x0, line);
    cairo_rectangle(cr, x0, by1, x1 - x0, line);
    cairo_rectangle(cr, bx0 - line, y0, line, y1 - y0);
    cairo_rectangle(cr, bx1, y0, line, y1 - y0);
    cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);
    cairo_fill(cr);
}

}  // namespace

void Renderer::draw_frame(cairo_t* cr, double s, double board_x, double board_y, double width, double height) const {
    if (!(s > 0) || !std::isfinite(s)) return;
    cairo_save(cr);
    Space space = enter_space(cr, s, DiagramOptions{}.raster_dpi);
    frame(cr, space, board_x, board_y, width, height);
    cairo_restore(cr);
}

namespace {

// The empty board and the frame in vector space, at the diagram's origin:
// drawn as draw() draws them, once for each square width.
cairo_surface_t* board_of(Renderer::Fonts& fonts, const Space& space, const VectorDiagramLayout& layout) {
    for (const Renderer::Fonts::Board& b : fonts.boards) {
        if (b.s == space.s && b.device_scale == space.device_scale && b.tiled == space.tiled) return b.surface.get();
    }
    // A run draws at a few sizes; a caller who keeps changing them must
    // not make the list grow without end.
    if (fonts.boards.size() >= 16) fonts.boards.clear();
    const double s = space.s;
    cairo_rectangle_t extents{0, 0, layout.width(), layout.bottom_strip_y() + layout.half()};
    Surface surface(cairo_recording_surface_create(CAIRO_CONTENT_COLOR_ALPHA, &extents));
    cairo_t* cr = cairo_create(surface.get());
    Space at_origin = space;
    at_origin.ox = at_origin.oy = 0;
    std::vector<Cell> cells;
    cells.reserve(64);
    for (int j = 1; j <= 8; ++j) {
        for (int i = 1; i <= 8; ++i) {
            // Square colours alternate the same way seen from either side.
            const int square = square_of(i - 1, 8 - j);
            cells.push_back({layout.square_x(i), layout.square_y(j), layout.square_x(i) + s, layout.square_y(j) + s,
                             Piece::Empty, is_dark_square(square), -1});
        }
    }
    paint_cells(cr, fonts, cells, at_origin, {});
    frame(cr, at_origin, layout.board_x(), layout.board_y(), layout.width(), layout.bottom_strip_y() + layout.half());
    cairo_destroy(cr);
    fonts.boards.push_back({space.s, space.device_scale, space.tiled, std::move(surface)});
    return fonts.boards.back().surface.get();
}

}  // namespace

void Renderer::draw(cairo_t* cr, const Diagram& diagram, double user_s) const {
    if (!(user_s > 0) || !std::isfinite(user_s)) return;
    const DiagramOptions& options = diagram.options;
    cairo_save(cr);
    Space space = enter_space(cr, user_s, options.raster_dpi);
    const double s = space.s;
    VectorDiagramLayout layout{s};
    // The number's band above, and a problem's heading under it, shift
    // everything else down; a problem's footer takes the caption's place.
    const double number_band = options.number.empty() ? 0 : layout.half();
    ProblemText problem;
    if (diagram.problem) problem = problem_text(*fonts_, *diagram.problem, diagram.position);
    const double top = number_band + problem.heading_height * s;
    space.oy += top;

    const TextLines caption = diagram.problem ? TextLines{} : caption_lines(*fonts_, diagram.caption);
    const double band = (diagram.problem ? problem.footer_height : caption_band(*fonts_, caption.lines.size())) * s;
    Size size = diagram_size(options, s);
    size.height += problem.heading_height * s + band - layout.caption_band_height();
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_rectangle(cr, space.x(0), space.y(-top), space.x(size.width) - space.x(0),
                    space.y(size.height - top) - space.y(-top));
    cairo_fill(cr);

    // Column i and row j as the board is seen.
    auto square_at = [&](int i, int j) {
        int file = options.flipped ? 8 - i : i - 1, rank = options.flipped ? j - 1 : 8 - j;
        return square_of(file, rank);
    };
    auto centre_x = [&](int i) { return space.x(layout.square_x(i) + s / 2); };
    auto centre_y = [&](int j) { return space.y(layout.square_y(j) + s / 2); };
    std::vector<Cell> cells;
    cells.reserve(64);
    for (int j = 1; j <= 8; ++j) {
        for (int i = 1; i <= 8; ++i) {
            int square = square_at(i, j);
            cells.push_back({space.x(layout.square_x(i)), space.y(layout.square_y(j)), space.x(layout.square_x(i) + s),
                             space.y(layout.square_y(j) + s), diagram.position[square], is_dark_square(square),
                             square, diagram.position.looks[static_cast<std::size_t>(square)]});
        }
    }
    if (space.snap) {
        paint_cells(cr, *fonts_, cells, space, options.marks.squares);
        // The frame, measured from the diagram's origin.
        frame(cr, space, layout.board_x(), layout.board_y(), layout.width(), layout.bottom_strip_y() + layout.half());
    } else {
        cairo_save(cr);
        cairo_translate(cr, space.ox, space.oy);
        cairo_set_source_surface(cr, board_of(*fonts_, space, layout), 0, 0);
        cairo_paint(cr);
        cairo_restore(cr);
        paint_cells(cr, *fonts_, cells, space, options.marks.squares, false);
    }

    PangoContext* context = fonts_->context.get();
    cairo_set_source_rgb(cr, 0, 0, 0);
    if (options.coordinates) {
        double size = coordinate_share * s;
        // Midway between the frame's two lines.
        double rank_x = space.ox + layout.left_strip_x() + layout.half() / 2;
        double file_y = space.oy + layout.bottom_strip_y() + layout.half() / 2;
        for (int k = 1; k <= 8; ++k) {
            int file = file_of(square_at(k, 1)), rank = rank_of(square_at(1, k));
            centred_text(cr, context, text_family, size, std::string(1, static_cast<char>('a' + file)), centre_x(k),
                         file_y);
            centred_text(cr, context, text_family, size, std::string(1, static_cast<char>('1' + rank)), rank_x,
                         centre_y(k));
        }
    }
    if (options.side_to_move && diagram.position.to_move != Side::Unknown) {
        // Beside the rank of the side to move: the bottom one when that side
        // is seen from below.
        bool bottom = (diagram.position.to_move == Side::White) != options.flipped;
        double x = space.ox + layout.right_strip_x() + layout.half() / 2;
        double y = space.oy + layout.square_y(bottom ? 8 : 1) + s / 2;
        double radius = 0.13 * s;
        cairo_new_path(cr);
        cairo_arc(cr, x, y, radius, 0, 2 * M_PI);
        if (diagram.position.to_move == Side::White) {
            double line = std::max(0.03 * s, 0.5 / space.device_scale);
            cairo_set_source_rgb(cr, 1, 1, 1);
            cairo_fill_preserve(cr);
            cairo_set_source_rgb(cr, 0, 0, 0);
            cairo_set_line_width(cr, line);
            cairo_stroke(cr);
        } else {
            cairo_fill(cr);
        }
    }

    for (const Arrow& arrow : options.marks.arrows) {
        if (arrow.from < 0 || arrow.from > 63 || arrow.to < 0 || arrow.to > 63) continue;
        // The column and row of a square as seen.
        auto column = [&](int sq) { return options.flipped ? 8 - file_of(sq) : file_of(sq) + 1; };
        auto row = [&](int sq) { return options.flipped ? rank_of(sq) + 1 : 8 - rank_of(sq); };
        paint_arrow(cr, arrow, space.ox + layout.square_x(column(arrow.from)) + s / 2,
                    space.oy + layout.square_y(row(arrow.from)) + s / 2, space.ox + layout.square_x(column(arrow.to)) + s / 2,
                    space.oy + layout.square_y(row(arrow.to)) + s / 2, s, space.device_scale);
    }

    if (!options.number.empty()) {
        cairo_set_source_rgb(cr, 0, 0, 0);
        centred_text(cr, context, text_family, number_share * s, options.number, space.ox + layout.width() / 2,
                     space.oy - top + number_band / 2, true);
    }
    if (diagram.problem) {
        draw_lines(cr, context, problem.heading, space.ox, space.oy - problem.heading_height * s, s);
        draw_lines(cr, context, problem.footer, space.ox, space.oy + layout.caption_band_y(), s);
    }

    if (!caption.lines.empty()) {
        // Each line's box centred across the picture, the lines one font
        // height apart from the gap below the frame.
        const double band_y = layout.caption_band_y();
        const double line = fonts_->caption_line * s;
        const double first = band_y + caption_gap(*fonts_, caption.lines.size()) * s;
        cairo_save(cr);
        cairo_rectangle(cr, space.x(0), space.y(band_y), space.x(layout.width()) - space.x(0),
                        space.y(band_y + band) - space.y(band_y));
        cairo_clip(cr);
        cairo_set_source_rgb(cr, 0, 0, 0);
        for (std::size_t k = 0; k < caption.lines.size(); ++k) {
            auto text = styled_layout(cr, context, caption_style, s, caption.lines[k]);
            PangoRectangle logical;
            pango_layout_get_extents(text.get(), nullptr, &logical);
            double text_width = logical.width / static_cast<double>(PANGO_SCALE);
            cairo_move_to(cr, space.x(layout.caption_x(text_width)) - logical.x / static_cast<double>(PANGO_SCALE),
                          space.y(first + static_cast<double>(k) * line));
            pango_cairo_show_layout(cr, text.get());
        }
        cairo_restore(cr);
    }
    cairo_restore(cr);
}

const Renderer* process_renderer(std::string& error) {
    // Made at the first call only: the fonts are not looked for again.
    static std::string failure;
    static const std::unique_ptr<Renderer> made = Renderer::create(failure);
    if (!made) error = failure;
    return made.get();
}

}  // namespace chess::render
