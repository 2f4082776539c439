#include "render/diagram.h"

#include <pango/pangocairo.h>

#include <algorithm>
#include <array>
#include <cmath>

#include "core/diagram_layout.h"

namespace chess::render {

namespace {

// The men come from this font: its outline pieces have an even line weight
// that stays readable on small squares.
const char* const piece_family = "FreeSerif";
const char* const piece_package = "fonts-freefont-ttf";
// The marks, the coordinates and the caption.
const char* const mark_family = "DejaVu Sans";
const char* const mark_package = "fonts-dejavu-core";
const char* const text_family = "Sans";
// The editor's task text names no family and so is set in Pango's default,
// serif; the caption matches it, as a book's caption would be set.
const char* const caption_family = "Serif";

// White king ... pawn (U+2654 ... U+2659), then black (U+265A ... U+265F),
// in the order of Piece; then the cross (U+2716) and the dot (U+25CF).
constexpr int glyph_count = 14;
const std::array<const char*, glyph_count> glyph_texts = {"♔", "♕", "♖", "♗", "♘", "♙", "♚",
                                                          "♛", "♜", "♝", "♞", "♟", "✖", "●"};

// The men's ink fills this share of the square (the tallest man's height or
// the widest man's width, whichever is larger), the marks less.
constexpr double piece_share = 0.86;
constexpr double cross_share = 0.46;
constexpr double dot_share = 0.34;
// Paper round a man's body, in squares.
constexpr double body_margin = 1.0 / 40;

// Glyph outlines are taken at this size and scaled: no hinting, so the
// shapes scale exactly.
constexpr double reference_size = 1000;

// The caption at 15 points on a 96-dpi screen over squares of 50 pixels, as
// the editor's task text: 20 pixels, 0.4 of a square.
constexpr double caption_share = 0.4;
constexpr double coordinate_share = 0.24;
constexpr double number_share = 0.34;

// The hatching on paper. A dark square is a grey of a third made of black
// lines, not of a halftone screen: solid black is never screened, so the
// lines reach the paper as the printer's own pixels. They stay free of
// moire when their period and width are whole numbers of printer pixels at
// the common resolutions: a period of 1/50 inch along a row and lines 1/150
// inch wide are 6 and 2 pixels at 300 dpi, 12 and 4 at 600, 24 and 8 at
// 1200 (at 45 degrees each row then moves by exactly one pixel, so every
// line keeps its width). 1/50 inch (0.51 mm) also gives 12 lines to a
// 6-mm square, the look of a book diagram, and is coarse enough that toner
// does not fill the gaps.
constexpr double hatch_period_inch = 1.0 / 50;
constexpr double points_per_inch = 72;

// Frees what the Pango objects hold.
struct GObjectFree {
    void operator()(gpointer object) const { if (object) g_object_unref(object); }
};
struct DescriptionFree {
    void operator()(PangoFontDescription* d) const { pango_font_description_free(d); }
};
using Description = std::unique_ptr<PangoFontDescription, DescriptionFree>;

Description description(const char* family, double size, bool bold = false) {
    Description d(pango_font_description_from_string(family));
    pango_font_description_set_absolute_size(d.get(), size * PANGO_SCALE);
    if (bold) pango_font_description_set_weight(d.get(), PANGO_WEIGHT_BOLD);
    return d;
}

}  // namespace

bool mark_colour_of(char letter, MarkColour& colour) {
    switch (letter) {
        case 'R': colour = MarkColour::Red; return true;
        case 'G': colour = MarkColour::Green; return true;
        case 'B': colour = MarkColour::Blue; return true;
        case 'Y': colour = MarkColour::Yellow; return true;
        default: return false;
    }
}

Size diagram_size(const DiagramOptions& options, double s) {
    VectorDiagramLayout layout{s};
    return {layout.width(), layout.height() + (options.number.empty() ? 0 : layout.half())};
}

Hatching vector_hatching() {
    double period = hatch_period_inch * points_per_inch;
    return {period, period / 3};
}

Hatching raster_hatching(double dpi) {
    // Lines of 1/150 inch, at least one pixel: today's set at 50 pixels a
    // square, one pixel in three, is printed at about 150 dpi.
    double width = std::max(1.0, std::round(dpi * hatch_period_inch / 3));
    return {3 * width, width};
}

// One glyph's outline at the reference size, and where it stands on a unit
// square: scale, then the origin's offset from the square's corner.
struct Glyph {
    std::vector<cairo_path_data_t> data;
    // The same contours all turning one way, so that filled with the
    // non-zero rule they cover the holes too: the man's silhouette.
    std::vector<cairo_path_data_t> silhouette;
    double scale = 0;
    double dx = 0, dy = 0;
};

struct SurfaceFree {
    void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
using Surface = std::unique_ptr<cairo_surface_t, SurfaceFree>;

struct Renderer::Fonts {
    std::unique_ptr<PangoFontMap, GObjectFree> map;
    std::unique_ptr<PangoContext, GObjectFree> context;
    std::array<Glyph, glyph_count> glyphs;
    // For vector output, each man and mark drawn once on a unit square,
    // alone and on his body: PDF and SVG then hold every shape once and
    // place it where it stands.
    std::array<Surface, glyph_count> plain, bodied;
    // For vector output, the empty board with its hatching and the frame,
    // recorded once for each square width: a book holds it once and places
    // it under every diagram.
    struct Board {
        double s = 0, device_scale = 0;
        Surface surface;
    };
    std::vector<Board> boards;
    // The same shapes as the glyphs of one font, for vector output: glyph g
    // (0 to 13) is the man or mark, glyph 14 + g its body. A page's men are
    // then a few lines of text in one font, kept once in the file.
    struct FaceFree {
        void operator()(cairo_font_face_t* f) const { cairo_font_face_destroy(f); }
    };
    std::unique_ptr<cairo_font_face_t, FaceFree> men_face;
};

namespace {

// Does the font map give this family, with every glyph its own?
bool font_has(PangoContext* context, const char* family, const std::vector<const char*>& texts) {
    Description d = description(family, 20);
    std::unique_ptr<PangoFont, GObjectFree> font(pango_context_load_font(context, d.get()));
    if (!font) return false;
    Description loaded(pango_font_describe(font.get()));
    const char* loaded_family = pango_font_description_get_family(loaded.get());
    if (!loaded_family || g_ascii_strcasecmp(loaded_family, family) != 0) return false;
    PangoCoverage* coverage = pango_font_get_coverage(font.get(), pango_language_get_default());
    bool all = true;
    for (const char* text : texts) {
        if (pango_coverage_get(coverage, static_cast<int>(g_utf8_get_char(text))) != PANGO_COVERAGE_EXACT) all = false;
    }
    pango_coverage_unref(coverage);
    return all;
}

struct Ink {
    double left, top, right, bottom;
};

using Point = std::pair<double, double>;

// One contour: where it starts, then each segment's control points (none
// for a line) and end.
struct Contour {
    Point start;
    std::vector<std::vector<Point>> segments;  // control points..., end
};

// The path's contours each turned to run counter-clockwise on the page
// (positive area with y downwards).
std::vector<cairo_path_data_t> silhouette_of(const std::vector<cairo_path_data_t>& data) {
    std::vector<Contour> contours;
    for (std::size_t i = 0; i < data.size(); i += data[i].header.length) {
        const cairo_path_data_t* d = &data[i];
        switch (d->header.type) {
            case CAIRO_PATH_MOVE_TO:
                contours.push_back({{d[1].point.x, d[1].point.y}, {}});
                break;
            case CAIRO_PATH_LINE_TO:
                if (!contours.empty()) contours.back().segments.push_back({{d[1].point.x, d[1].point.y}});
                break;
            case CAIRO_PATH_CURVE_TO:
                if (!contours.empty())
                    contours.back().segments.push_back(
                        {{d[1].point.x, d[1].point.y}, {d[2].point.x, d[2].point.y}, {d[3].point.x, d[3].point.y}});
                break;
            case CAIRO_PATH_CLOSE_PATH:
                break;
        }
    }
    std::vector<cairo_path_data_t> out;
    auto add = [&](cairo_path_data_type_t type, std::initializer_list<Point> points) {
        cairo_path_data_t header;
        header.header.type = type;
        header.header.length = static_cast<int>(points.size()) + 1;
        out.push_back(header);
        for (const Point& p : points) {
            cairo_path_data_t point;
            point.point.x = p.first;
            point.point.y = p.second;
            out.push_back(point);
        }
    };
    for (const Contour& c : contours) {
        if (c.segments.empty()) continue;
        // The area of the polygon through all points, control points
        // included: its sign is the contour's turn.
        double area = 0;
        Point previous = c.start;
        for (const auto& segment : c.segments) {
            for (const Point& p : segment) {
                area += previous.first * p.second - p.first * previous.second;
                previous = p;
            }
        }
        area += previous.first * c.start.second - c.start.first * previous.second;
        if (area >= 0) {
            add(CAIRO_PATH_MOVE_TO, {c.start});
            for (const auto& segment : c.segments) {
                if (segment.size() == 1) add(CAIRO_PATH_LINE_TO, {segment[0]});
                else add(CAIRO_PATH_CURVE_TO, {segment[0], segment[1], segment[2]});
            }
        } else {
            // Backwards: from the last end, each segment to the end before.
            add(CAIRO_PATH_MOVE_TO, {c.segments.back().back()});
            for (std::size_t k = c.segments.size(); k-- > 0;) {
                Point before = k == 0 ? c.start : c.segments[k - 1].back();
                const auto& segment = c.segments[k];
                if (segment.size() == 1) add(CAIRO_PATH_LINE_TO, {before});
                else add(CAIRO_PATH_CURVE_TO, {segment[1], segment[0], before});
            }
        }
        add(CAIRO_PATH_CLOSE_PATH, {});
    }
    return out;
}

// The glyph's outline at the reference size, its ink's extents.
Ink outline(PangoContext* context, const char* family, const char* text, Glyph& glyph) {
    cairo_surface_t* surface = cairo_recording_surface_create(CAIRO_CONTENT_ALPHA, nullptr);
    cairo_t* cr = cairo_create(surface);
    std::unique_ptr<PangoLayout, GObjectFree> layout(pango_layout_new(context));
    Description d = description(family, reference_size);
    pango_layout_set_font_description(layout.get(), d.get());
    pango_layout_set_text(layout.get(), text, -1);
    pango_cairo_layout_path(cr, layout.get());
    Ink ink{};
    cairo_path_extents(cr, &ink.left, &ink.top, &ink.right, &ink.bottom);
    cairo_path_t* path = cairo_copy_path(cr);
    glyph.data.assign(path->data, path->data + path->num_data);
    cairo_path_destroy(path);
    cairo_destroy(cr);
    cairo_surface_destroy(surface);

    glyph.silhouette = silhouette_of(glyph.data);
    return ink;
}


// Where the drawing happens. On an image surface whose user space is only
// scaled and moved, drawing is done in device pixels and edges are rounded
// to whole pixels; elsewhere in user space, exactly.
struct Space {
    bool snap = false;
    double ox = 0, oy = 0;  // the diagram's origin
    double s = 0;           // square width
    double device_scale = 1;
    Hatching hatching;
    double frame_line = 0;
    double margin = 0;  // of white paper round a man's body

    double at(double v) const { return snap ? std::round(v) : v; }
    double x(double v) const { return at(ox + v); }
    double y(double v) const { return at(oy + v); }
};

Space enter_space(cairo_t* cr, double s, double raster_dpi) {
    Space space;
    cairo_matrix_t m;
    cairo_get_matrix(cr, &m);
    bool image = cairo_surface_get_type(cairo_get_target(cr)) == CAIRO_SURFACE_TYPE_IMAGE;
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

// A square of the board in drawing space.
struct Cell {
    double x0, y0, x1, y1;
    Piece piece = Piece::Empty;
    bool dark = false;
    int square = -1;
};

// Adds the bands {a <= x + y < a + width} (rising lines) or {a <= x - y <
// ...} (falling) within the cell, `period` apart, one of them along the
// diagonal through the cell's top-right corner (rising) or top-left corner
// (falling): the lines of dark squares that touch at a corner then run on.
// In pixels the band's edges fall between pixel centres, so that each row
// holds exactly `width` whole pixels of every line (drawn without
// antialiasing).
void add_bands(cairo_t* cr, const Cell& cell, const Cell& visible, const Hatching& h, bool snap, bool rising) {
    // Only the part that can show is filled: a huge square drawn onto a
    // small target costs no more than the target.
    Cell c{std::max(cell.x0, visible.x0), std::max(cell.y0, visible.y0), std::min(cell.x1, visible.x1),
           std::min(cell.y1, visible.y1)};
    if (!(c.x0 < c.x1 && c.y0 < c.y1) || !(h.period > 0) || !(h.width > 0)) return;
    // Work in a frame where the bands are {a <= u < a + width}, u = x + y or
    // x - y, with the cell's coordinates mapped accordingly.
    auto u_of = [&](double x, double y) { return rising ? x + y : x - y; };
    double corner = rising ? u_of(cell.x1, cell.y0) : u_of(cell.x0, cell.y0);
    double low = std::min({u_of(c.x0, c.y0), u_of(c.x1, c.y0), u_of(c.x0, c.y1), u_of(c.x1, c.y1)});
    double high = std::max({u_of(c.x0, c.y0), u_of(c.x1, c.y0), u_of(c.x0, c.y1), u_of(c.x1, c.y1)});
    double offset = snap ? -std::floor(h.width / 2) - 0.5 : -h.width / 2;
    long first = static_cast<long>(std::floor((low - corner - offset - h.width) / h.period));
    long last = static_cast<long>(std::ceil((high - corner - offset) / h.period));
    for (long k = first; k <= last; ++k) {
        double a = corner + offset + k * h.period, b = a + h.width;
        if (b <= low || a >= high) continue;
        // The cell as a polygon, clipped to a <= u <= b.
        std::array<std::pair<double, double>, 8> in{}, out{};
        int n = 4;
        in[0] = {c.x0, c.y0};
        in[1] = {c.x1, c.y0};
        in[2] = {c.x1, c.y1};
        in[3] = {c.x0, c.y1};
        for (int side = 0; side < 2; ++side) {
            auto inside = [&](std::pair<double, double> p) {
                double u = u_of(p.first, p.second);
                return side == 0 ? u >= a : u <= b;
            };
            double limit = side == 0 ? a : b;
            int m = 0;
            for (int i = 0; i < n; ++i) {
                auto p = in[i], q = in[(i + 1) % n];
                bool pin = inside(p), qin = inside(q);
                if (pin) out[m++] = p;
                if (pin != qin) {
                    double up = u_of(p.first, p.second), uq = u_of(q.first, q.second);
                    double t = (limit - up) / (uq - up);
                    out[m++] = {p.first + t * (q.first - p.first), p.second + t * (q.second - p.second)};
                }
            }
            in = out;
            n = m;
        }
        if (n < 3) continue;
        cairo_move_to(cr, in[0].first, in[0].second);
        for (int i = 1; i < n; ++i) cairo_line_to(cr, in[i].first, in[i].second);
        cairo_close_path(cr);
    }
}

void fill_hatching(cairo_t* cr, const std::vector<Cell>& cells, const Space& space, bool rising,
                   const std::vector<bool>& which) {
    cairo_save(cr);
    Cell visible{};
    cairo_clip_extents(cr, &visible.x0, &visible.y0, &visible.x1, &visible.y1);
    cairo_new_path(cr);
    if (space.snap) {
        // Each square on its own, its line through its own corner, as the
        // piece set's tiles have it.
        for (std::size_t i = 0; i < cells.size(); ++i) {
            if (which[i]) add_bands(cr, cells[i], visible, space.hatching, space.snap, rising);
        }
    } else {
        // One set of lines across the squares, cut to them: a tenth of the
        // path, and lines that run on unbroken where the squares touch.
        Cell all{0, 0, 0, 0};
        bool first = true;
        for (std::size_t i = 0; i < cells.size(); ++i) {
            if (!which[i]) continue;
            const Cell& c = cells[i];
            cairo_rectangle(cr, c.x0, c.y0, c.x1 - c.x0, c.y1 - c.y0);
            if (first) all = c;
            all = {std::min(all.x0, c.x0), std::min(all.y0, c.y0), std::max(all.x1, c.x1), std::max(all.y1, c.y1)};
            first = false;
        }
        if (first) {
            cairo_restore(cr);
            return;
        }
        cairo_clip(cr);
        add_bands(cr, all, visible, space.hatching, false, rising);
    }
    if (space.snap) cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_fill(cr);
    cairo_restore(cr);
}

// The glyph's outline or silhouette placed on the cell.
void append_glyph(cairo_t* cr, const Glyph& g, const std::vector<cairo_path_data_t>& data, const Cell& c, double s) {
    cairo_save(cr);
    cairo_translate(cr, c.x0 + g.dx * s, c.y0 + g.dy * s);
    cairo_scale(cr, g.scale * s, g.scale * s);
    cairo_path_t path{CAIRO_STATUS_SUCCESS, const_cast<cairo_path_data_t*>(data.data()), static_cast<int>(data.size())};
    cairo_append_path(cr, &path);
    cairo_restore(cr);
}

int glyph_index(Piece p) { return p == Piece::Cross ? 12 : p == Piece::Dot ? 13 : static_cast<int>(p) - 1; }

const SquareHighlight* highlight_of(const std::vector<SquareHighlight>& highlights, int square) {
    const SquareHighlight* found = nullptr;
    for (const SquareHighlight& h : highlights) {
        if (h.square == square) found = &h;  // the last given wins
    }
    return found;
}

cairo_user_data_key_t men_face_key;

// The men's font: each glyph drawn on the unit square below and right of its
// origin, as the unit squares of the recorded men are.
cairo_status_t render_man(cairo_scaled_font_t* font, unsigned long index, cairo_t* cr,
                          cairo_text_extents_t* extents) {
    const auto* fonts = static_cast<const Renderer::Fonts*>(
        cairo_font_face_get_user_data(cairo_scaled_font_get_font_face(font), &men_face_key));
    if (!fonts || index >= 2 * glyph_count) return CAIRO_STATUS_SUCCESS;
    const bool body = index >= glyph_count;
    const Glyph& glyph = fonts->glyphs[index % glyph_count];
    const Cell cell{0, 0, 1, 1};
    append_glyph(cr, glyph, body ? glyph.silhouette : glyph.data, cell, 1);
    if (body) {
        cairo_set_line_width(cr, 2 * body_margin);
        cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
        cairo_fill_preserve(cr);
        cairo_stroke(cr);
    } else {
        cairo_fill(cr);
    }
    *extents = cairo_text_extents_t{-body_margin, -body_margin, 1 + 2 * body_margin, 1 + 2 * body_margin, 1, 0};
    return CAIRO_STATUS_SUCCESS;
}

// Everything on the squares, in the order that decides what covers what:
// paper, hatching, highlights, the men's white bodies, the men.
// With board false the paper and the dark squares' hatching are taken as
// drawn already.
void paint_cells(cairo_t* cr, const Renderer::Fonts& fonts, const std::vector<Cell>& cells, const Space& space,
                 const std::vector<SquareHighlight>& highlights, bool board = true) {
    if (board) {
        cairo_set_source_rgb(cr, 1, 1, 1);
        for (const Cell& c : cells) cairo_rectangle(cr, c.x0, c.y0, c.x1 - c.x0, c.y1 - c.y0);
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

    // The other highlights.
    const double s = space.s;
    cairo_set_source_rgb(cr, 0, 0, 0);
    for (const Cell& c : cells) {
        const SquareHighlight* h = c.square >= 0 ? highlight_of(highlights, c.square) : nullptr;
        if (!h) continue;
        double w = c.x1 - c.x0;
        if (h->colour == MarkColour::Red || h->colour == MarkColour::Yellow) {
            double line = space.at(std::max(h->colour == MarkColour::Red ? 0.08 * s : 0.05 * s, 1.0));
            cairo_save(cr);
            cairo_set_line_width(cr, line);
            if (h->colour == MarkColour::Yellow) {
                double dash = w / 8;
                cairo_set_dash(cr, &dash, 1, dash / 2);
            }
            cairo_rectangle(cr, c.x0 + line / 2, c.y0 + line / 2, w - line, c.y1 - c.y0 - line);
            cairo_stroke(cr);
            cairo_restore(cr);
        } else if (h->colour == MarkColour::Blue) {
            double step = w / 8, radius = std::max(w / 40, 0.6 / space.device_scale);
            for (int i = 0; i < 8; ++i) {
                for (int j = 0; j < 8; ++j) {
                    double x = c.x0 + (i + 0.5) * step, y = c.y0 + (j + 0.5) * step;
                    cairo_new_sub_path(cr);
                    cairo_arc(cr, x, y, radius, 0, 2 * M_PI);
                }
            }
            cairo_fill(cr);
        }
    }

    if (!space.snap && fonts.men_face) {
        // Bodies in white, then the men in black, as glyphs of the men's font.
        std::vector<cairo_glyph_t> bodies, men;
        for (std::size_t i = 0; i < cells.size(); ++i) {
            const Cell& c = cells[i];
            if (c.piece == Piece::Empty) continue;
            const int g = glyph_index(c.piece);
            if (body[i]) bodies.push_back({static_cast<unsigned long>(glyph_count + g), c.x0, c.y0});
            men.push_back({static_cast<unsigned long>(g), c.x0, c.y0});
        }
        if (men.empty()) return;
        cairo_save(cr);
        cairo_set_font_face(cr, fonts.men_face.get());
        cairo_set_font_size(cr, s);
        cairo_font_options_t* options = cairo_font_options_create();
        cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
        cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
        cairo_set_font_options(cr, options);
        cairo_font_options_destroy(options);
        if (!bodies.empty()) {
            cairo_set_source_rgb(cr, 1, 1, 1);
            cairo_show_glyphs(cr, bodies.data(), static_cast<int>(bodies.size()));
        }
        cairo_set_source_rgb(cr, 0, 0, 0);
        cairo_show_glyphs(cr, men.data(), static_cast<int>(men.size()));
        cairo_restore(cr);
        return;
    }
    if (!space.snap) {
        for (std::size_t i = 0; i < cells.size(); ++i) {
            const Cell& c = cells[i];
            if (c.piece == Piece::Empty) continue;
            int g = glyph_index(c.piece);
            cairo_save(cr);
            cairo_translate(cr, c.x0, c.y0);
            cairo_scale(cr, s, s);
            // The recording is bounded by the unit square: a paint places it
            // whole, with no clip of its own in the output.
            cairo_set_source_surface(cr, (body[i] ? fonts.bodied : fonts.plain)[g].get(), 0, 0);
            cairo_paint(cr);
            cairo_restore(cr);
        }
        return;
    }

    // Bodies: the man's silhouette, so that the holes of the outline (a
    // white man's inside, a black man's white details) are covered too,
    // grown by a margin of paper that keeps the hatching clear of the
    // outline.
    cairo_new_path(cr);
    bool any_body = false;
    for (std::size_t i = 0; i < cells.size(); ++i) {
        if (!body[i]) continue;
        const Glyph& g = fonts.glyphs[glyph_index(cells[i].piece)];
        append_glyph(cr, g, g.silhouette, cells[i], s);
        any_body = true;
    }
    if (any_body) {
        cairo_set_source_rgb(cr, 1, 1, 1);
        cairo_set_line_width(cr, 2 * space.margin);
        cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
        cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);
        cairo_fill_preserve(cr);
        cairo_stroke(cr);
    }

    cairo_new_path(cr);
    for (const Cell& c : cells) {
        if (c.piece == Piece::Empty) continue;
        const Glyph& g = fonts.glyphs[glyph_index(c.piece)];
        append_glyph(cr, g, g.data, c, s);
    }
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_fill(cr);
}

// A layout of text in the renderer's fonts, for the target of cr.
std::unique_ptr<PangoLayout, GObjectFree> text_layout(cairo_t* cr, PangoContext* context, const char* family,
                                                      double size, const std::string& text, bool bold = false) {
    pango_cairo_update_context(cr, context);
    std::unique_ptr<PangoLayout, GObjectFree> layout(pango_layout_new(context));
    Description d = description(family, size, bold);
    pango_layout_set_font_description(layout.get(), d.get());
    pango_layout_set_text(layout.get(), text.c_str(), -1);
    return layout;
}

// Text centred on (x, y): across by its ink, down by its line's box.
void centred_text(cairo_t* cr, PangoContext* context, const char* family, double size, const std::string& text,
                  double x, double y, bool bold = false) {
    auto layout = text_layout(cr, context, family, size, text, bold);
    PangoRectangle ink, logical;
    pango_layout_get_extents(layout.get(), &ink, &logical);
    double ink_x = (ink.x + ink.width / 2.0) / PANGO_SCALE;
    double box_y = (logical.y + logical.height / 2.0) / PANGO_SCALE;
    cairo_move_to(cr, x - ink_x, y - box_y);
    pango_cairo_show_layout(cr, layout.get());
}

void paint_arrow(cairo_t* cr, const BoardArrow& arrow, double fx, double fy, double tx, double ty, double s,
                 double device_scale) {
    double dx = tx - fx, dy = ty - fy, length = std::hypot(dx, dy);
    if (length < s / 4) return;
    double ux = dx / length, uy = dy / length, nx = -uy, ny = ux;
    // From a little off the first square's centre to a little short of the
    // second's, so that both men stay readable.
    double start = 0.18 * s, end = length - 0.12 * s;
    // The outlined arrow is wider: its white inside must read as a shaft.
    bool outlined = arrow.colour == MarkColour::Blue;
    double head = 0.36 * s, half_head = (outlined ? 0.23 : 0.19) * s, half_shaft = (outlined ? 0.085 : 0.055) * s;
    double base = end - head;
    auto point = [&](double along, double across) { return std::pair{fx + ux * along + nx * across,
                                                                      fy + uy * along + ny * across}; };
    auto line_to = [&](std::pair<double, double> p) { cairo_line_to(cr, p.first, p.second); };
    cairo_save(cr);
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_MITER);
    if (arrow.colour == MarkColour::Red || arrow.colour == MarkColour::Blue) {
        cairo_new_path(cr);
        auto p = point(start, -half_shaft);
        cairo_move_to(cr, p.first, p.second);
        line_to(point(base, -half_shaft));
        line_to(point(base, -half_head));
        line_to(point(end, 0));
        line_to(point(base, half_head));
        line_to(point(base, half_shaft));
        line_to(point(start, half_shaft));
        cairo_close_path(cr);
        if (arrow.colour == MarkColour::Blue) {
            // White with a black edge: it stays readable across hatching and men.
            cairo_set_line_width(cr, std::max(0.03 * s, 0.5 / device_scale));
            cairo_set_source_rgb(cr, 1, 1, 1);
            cairo_fill_preserve(cr);
            cairo_set_source_rgb(cr, 0, 0, 0);
            cairo_stroke(cr);
        } else {
            cairo_fill(cr);
        }
    } else {
        // A broken shaft, then a solid head.
        cairo_set_line_width(cr, 2 * half_shaft);
        if (arrow.colour == MarkColour::Green) {
            double dash[] = {0.16 * s, 0.1 * s};
            cairo_set_dash(cr, dash, 2, 0);
            cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
        } else {
            double dash[] = {0, 0.2 * s};
            cairo_set_dash(cr, dash, 2, 0);
            cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
        }
        auto p = point(start, 0);
        cairo_move_to(cr, p.first, p.second);
        line_to(point(base, 0));
        cairo_stroke(cr);
        cairo_new_path(cr);
        p = point(base, -half_head);
        cairo_move_to(cr, p.first, p.second);
        line_to(point(end, 0));
        line_to(point(base, half_head));
        cairo_close_path(cr);
        cairo_fill(cr);
    }
    cairo_restore(cr);
}

}  // namespace

std::unique_ptr<Renderer> Renderer::create(std::string& error) {
    auto fonts = std::make_unique<Fonts>();
    fonts->map.reset(pango_cairo_font_map_new());
    fonts->context.reset(pango_font_map_create_context(fonts->map.get()));
    PangoContext* context = fonts->context.get();
    // The same shapes on every target: no hinting, so that outlines scale
    // exactly, and grey antialiasing where there is any.
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
    pango_cairo_context_set_font_options(context, options);
    cairo_font_options_destroy(options);

    std::vector<const char*> men(glyph_texts.begin(), glyph_texts.begin() + 12);
    if (!font_has(context, piece_family, men)) {
        error = std::string("the font ") + piece_family + " with the chess men's glyphs is not installed (Debian package " +
                piece_package + ")";
        return nullptr;
    }
    if (!font_has(context, mark_family, {glyph_texts[12], glyph_texts[13]})) {
        error = std::string("the font ") + mark_family + " with the marks' glyphs is not installed (Debian package " +
                mark_package + ")";
        return nullptr;
    }

    // The men share one base line: each is centred across the square, and
    // the ink of the whole set from the king's top to the lowest base is
    // centred down it. The marks are centred both ways at their own sizes.
    std::array<Ink, glyph_count> inks;
    for (int g = 0; g < glyph_count; ++g) {
        inks[g] = outline(context, g < 12 ? piece_family : mark_family, glyph_texts[g], fonts->glyphs[g]);
        if (fonts->glyphs[g].data.empty() || inks[g].right <= inks[g].left) {
            error = std::string("the font draws nothing for the glyph ") + glyph_texts[g];
            return nullptr;
        }
    }
    double extent = 0, top = inks[0].top, bottom = inks[0].bottom;
    for (int g = 0; g < 12; ++g) {
        extent = std::max({extent, inks[g].right - inks[g].left, inks[g].bottom - inks[g].top});
        top = std::min(top, inks[g].top);
        bottom = std::max(bottom, inks[g].bottom);
    }
    for (int g = 0; g < glyph_count; ++g) {
        Glyph& glyph = fonts->glyphs[g];
        const Ink& ink = inks[g];
        if (g < 12) {
            glyph.scale = piece_share / extent;
            glyph.dy = 0.5 - (top + bottom) / 2 * glyph.scale;
        } else {
            double own = std::max(ink.right - ink.left, ink.bottom - ink.top);
            glyph.scale = (g == 12 ? cross_share : dot_share) / own;
            glyph.dy = 0.5 - (ink.top + ink.bottom) / 2 * glyph.scale;
        }
        glyph.dx = 0.5 - (ink.left + ink.right) / 2 * glyph.scale;
    }
    // The unit squares for vector output, painted as the pixel path paints
    // them (body: silhouette filled and stroked by the margin on each side).
    cairo_rectangle_t unit{0, 0, 1, 1};
    Cell cell{0, 0, 1, 1};
    for (int g = 0; g < glyph_count; ++g) {
        const Glyph& glyph = fonts->glyphs[g];
        for (bool with_body : {false, true}) {
            Surface surface(cairo_recording_surface_create(CAIRO_CONTENT_COLOR_ALPHA, &unit));
            cairo_t* cr = cairo_create(surface.get());
            if (with_body) {
                append_glyph(cr, glyph, glyph.silhouette, cell, 1);
                cairo_set_source_rgb(cr, 1, 1, 1);
                cairo_set_line_width(cr, 2 * body_margin);
                cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
                cairo_fill_preserve(cr);
                cairo_stroke(cr);
            }
            append_glyph(cr, glyph, glyph.data, cell, 1);
            cairo_set_source_rgb(cr, 0, 0, 0);
            cairo_fill(cr);
            cairo_destroy(cr);
            (with_body ? fonts->bodied : fonts->plain)[g] = std::move(surface);
        }
    }
    cairo_font_face_t* face = cairo_user_font_face_create();
    cairo_user_font_face_set_render_glyph_func(face, render_man);
    cairo_font_face_set_user_data(face, &men_face_key, fonts.get(), nullptr);
    fonts->men_face.reset(face);
    return std::unique_ptr<Renderer>(new Renderer(std::move(fonts)));
}

Renderer::Renderer(std::unique_ptr<Fonts> fonts) : fonts_(std::move(fonts)) {}
Renderer::~Renderer() = default;

void Renderer::draw_square(cairo_t* cr, Piece p, bool dark, double s) const {
    if (!(s > 0) || !std::isfinite(s)) return;
    cairo_save(cr);
    Space space = enter_space(cr, s, DiagramOptions{}.raster_dpi);
    std::vector<Cell> cells = {{space.x(0), space.y(0), space.x(space.s), space.y(space.s), p, dark, -1}};
    paint_cells(cr, *fonts_, cells, space, {});
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
        if (b.s == space.s && b.device_scale == space.device_scale) return b.surface.get();
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
    fonts.boards.push_back({space.s, space.device_scale, std::move(surface)});
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
    // The number's band above shifts everything else down.
    const double top = options.number.empty() ? 0 : layout.half();
    space.oy += top;

    Size size = diagram_size(options, s);
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
                             square});
        }
    }
    if (space.snap) {
        paint_cells(cr, *fonts_, cells, space, options.highlights);
        // The frame, measured from the diagram's origin.
        frame(cr, space, layout.board_x(), layout.board_y(), layout.width(), layout.bottom_strip_y() + layout.half());
    } else {
        cairo_save(cr);
        cairo_translate(cr, space.ox, space.oy);
        cairo_set_source_surface(cr, board_of(*fonts_, space, layout), 0, 0);
        cairo_paint(cr);
        cairo_restore(cr);
        paint_cells(cr, *fonts_, cells, space, options.highlights, false);
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

    for (const BoardArrow& arrow : options.arrows) {
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
                     space.oy - top / 2, true);
    }

    if (!diagram.caption.empty()) {
        // The caption's box at the band's top, centred across the picture; a
        // wider one is cut at both edges.
        auto caption = text_layout(cr, context, caption_family, caption_share * s, diagram.caption);
        PangoRectangle logical;
        pango_layout_get_extents(caption.get(), nullptr, &logical);
        double text_width = logical.width / static_cast<double>(PANGO_SCALE);
        cairo_save(cr);
        cairo_rectangle(cr, space.x(0), space.y(layout.caption_band_y()), space.x(layout.width()) - space.x(0),
                        space.y(layout.caption_band_y() + layout.caption_band_height()) - space.y(layout.caption_band_y()));
        cairo_clip(cr);
        cairo_set_source_rgb(cr, 0, 0, 0);
        cairo_move_to(cr, space.x(layout.caption_x(text_width)) - logical.x / static_cast<double>(PANGO_SCALE),
                      space.y(layout.caption_y()));
        pango_cairo_show_layout(cr, caption.get());
        cairo_restore(cr);
    }
    cairo_restore(cr);
}

}  // namespace chess::render
