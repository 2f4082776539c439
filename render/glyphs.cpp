// The men's and marks' shapes: the fonts checked, each glyph's outline taken
// once at a reference size and placed on the unit square, its silhouette
// (the body cut out of the hatching), and the men's font that vector output
// sets them in.
#include <algorithm>
#include <array>
#include <utility>

#include "render/diagram_internal.h"

namespace chess::render {

namespace {

// The men come from this font: its outline pieces have an even line weight
// that stays readable on small squares.
const char* const piece_family = "FreeSerif";
const char* const piece_package = "fonts-freefont-ttf";
// The marks, the coordinates and the caption.
const char* const mark_family = "DejaVu Sans";
const char* const mark_package = "fonts-dejavu-core";

// White king ... pawn (U+2654 ... U+2659), then black (U+265A ... U+265F),
// in the order of Piece; then the cross (U+2716) and the dot (U+25CF).
const std::array<const char*, glyph_count> glyph_texts = {"♔", "♕", "♖", "♗", "♘", "♙", "♚",
                                                          "♛", "♜", "♝", "♞", "♟", "✖", "●"};

// The men's ink fills this share of the square (the tallest man's height or
// the widest man's width, whichever is larger), the marks less.
constexpr double piece_share = 0.86;
constexpr double cross_share = 0.46;
constexpr double dot_share = 0.34;

// Glyph outlines are taken at this size and scaled: no hinting, so the
// shapes scale exactly.
constexpr double reference_size = 1000;

}  // namespace

Description description(const char* family, double size, bool bold, bool italic) {
    Description d(pango_font_description_from_string(family));
    pango_font_description_set_absolute_size(d.get(), size * PANGO_SCALE);
    if (bold) pango_font_description_set_weight(d.get(), PANGO_WEIGHT_BOLD);
    if (italic) pango_font_description_set_style(d.get(), PANGO_STYLE_ITALIC);
    return d;
}

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

// Whether the point lies inside the contour (its own, alone).
bool inside(const Contour& c, const Point& p) {
    cairo_surface_t* surface = cairo_recording_surface_create(CAIRO_CONTENT_ALPHA, nullptr);
    cairo_t* cr = cairo_create(surface);
    cairo_move_to(cr, c.start.first, c.start.second);
    for (const auto& segment : c.segments) {
        if (segment.size() == 1) cairo_line_to(cr, segment[0].first, segment[0].second);
        else cairo_curve_to(cr, segment[0].first, segment[0].second, segment[1].first, segment[1].second,
                            segment[2].first, segment[2].second);
    }
    cairo_close_path(cr);
    const bool in = cairo_in_fill(cr, p.first, p.second);
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
    return in;
}

// The path's contours (or only the outer ones, those inside no other) each
// turned to run counter-clockwise on the page (positive area with y
// downwards).
std::vector<cairo_path_data_t> silhouette_of(const std::vector<cairo_path_data_t>& data, bool outer_only) {
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
    std::vector<Contour> kept;
    for (const Contour& c : contours) {
        if (c.segments.empty()) continue;
        const bool within = outer_only && std::any_of(contours.begin(), contours.end(), [&](const Contour& other) {
            return &other != &c && !other.segments.empty() && inside(other, c.start);
        });
        if (!within) kept.push_back(c);
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
    for (const Contour& c : kept) {
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

    glyph.silhouette = silhouette_of(glyph.data, false);
    glyph.outer_silhouette = silhouette_of(glyph.data, true);
    return ink;
}

cairo_user_data_key_t men_face_key;

// The men's font: each glyph drawn on the unit square below and right of its
// origin.
cairo_status_t render_man(cairo_scaled_font_t* font, unsigned long index, cairo_t* cr,
                          cairo_text_extents_t* extents) {
    const auto* fonts = static_cast<const Renderer::Fonts*>(
        cairo_font_face_get_user_data(cairo_scaled_font_get_font_face(font), &men_face_key));
    if (!fonts || index >= glyph_count) return CAIRO_STATUS_SUCCESS;
    const Glyph& glyph = fonts->glyphs[index];
    append_glyph(cr, glyph, glyph.data, Cell{0, 0, 1, 1}, 1);
    cairo_fill(cr);
    *extents = cairo_text_extents_t{-body_margin, -body_margin, 1 + 2 * body_margin, 1 + 2 * body_margin, 1, 0};
    return CAIRO_STATUS_SUCCESS;
}

}  // namespace

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

bool load_fonts(Renderer::Fonts& fonts, std::string& error) {
    fonts.map.reset(pango_cairo_font_map_new());
    fonts.context.reset(pango_font_map_create_context(fonts.map.get()));
    PangoContext* context = fonts.context.get();
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
        return false;
    }
    if (!font_has(context, mark_family, {glyph_texts[12], glyph_texts[13]})) {
        error = std::string("the font ") + mark_family + " with the marks' glyphs is not installed (Debian package " +
                mark_package + ")";
        return false;
    }

    // The men share one base line: each is centred across the square, and
    // the ink of the whole set from the king's top to the lowest base is
    // centred down it. The marks are centred both ways at their own sizes.
    std::array<Ink, glyph_count> inks;
    for (int g = 0; g < glyph_count; ++g) {
        inks[g] = outline(context, g < 12 ? piece_family : mark_family, glyph_texts[g], fonts.glyphs[g]);
        if (fonts.glyphs[g].data.empty() || inks[g].right <= inks[g].left) {
            error = std::string("the font draws nothing for the glyph ") + glyph_texts[g];
            return false;
        }
    }
    double extent = 0, top = inks[0].top, bottom = inks[0].bottom;
    for (int g = 0; g < 12; ++g) {
        extent = std::max({extent, inks[g].right - inks[g].left, inks[g].bottom - inks[g].top});
        top = std::min(top, inks[g].top);
        bottom = std::max(bottom, inks[g].bottom);
    }
    for (int g = 0; g < glyph_count; ++g) {
        Glyph& glyph = fonts.glyphs[g];
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
    cairo_font_face_t* face = cairo_user_font_face_create();
    cairo_user_font_face_set_render_glyph_func(face, render_man);
    cairo_font_face_set_user_data(face, &men_face_key, &fonts, nullptr);
    fonts.men_face.reset(face);
    return true;
}

}  // namespace chess::render
