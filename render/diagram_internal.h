// What the renderer's files share: the fonts and glyph outlines a Renderer
// holds, the space a drawing is done in, the board's squares in that space,
// and the parts each file draws. Only render/ includes it.
#pragma once

#include <cairo.h>
#include <pango/pangocairo.h>

#include <array>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "core/annotations.h"
#include "core/position.h"
#include "render/diagram.h"

namespace chess::render {

// The twelve men in the order of Piece, then the cross and the dot.
constexpr int glyph_count = 14;
// Paper round a man's body, in squares.
constexpr double body_margin = 1.0 / 40;

// Frees what the Pango objects hold.
struct GObjectFree {
    void operator()(gpointer object) const { if (object) g_object_unref(object); }
};
struct DescriptionFree {
    void operator()(PangoFontDescription* d) const { pango_font_description_free(d); }
};
using Description = std::unique_ptr<PangoFontDescription, DescriptionFree>;

// A family at an absolute size in user units.
Description description(const char* family, double size, bool bold = false, bool italic = false);

// One glyph's outline at the reference size, and where it stands on a unit
// square: scale, then the origin's offset from the square's corner.
struct Glyph {
    std::vector<cairo_path_data_t> data;
    // The same contours all turning one way, so that filled with the
    // non-zero rule they cover the holes too: the man's silhouette.
    std::vector<cairo_path_data_t> silhouette;
    // Its outer contours alone: the same silhouette, filled and stroked
    // round, in fewer bytes of a vector file (the contours within add
    // nothing: the fill covers them, and their stroke reaches no further
    // than the outer ones' does).
    std::vector<cairo_path_data_t> outer_silhouette;
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
    // For vector output, the empty board with its hatching and the frame,
    // recorded once for each square width: a book holds it once and places
    // it under every diagram.
    struct Board {
        double s = 0, device_scale = 0;
        bool tiled = false;
        Surface surface;
    };
    std::vector<Board> boards;
    // The men and marks as the glyphs of one font, for vector output: a
    // page's men are then a few lines of text in one font, kept once in the
    // file.
    struct FaceFree {
        void operator()(cairo_font_face_t* f) const { cairo_font_face_destroy(f); }
    };
    std::unique_ptr<cairo_font_face_t, FaceFree> men_face;
    // For vector output, each man's white body (its silhouette filled and
    // stroked round with the margin) recorded once for each square width:
    // a file holds each body once and places it wherever that man stands.
    // As a glyph its stroke would be written out as a long outline.
    struct Bodies {
        double s = 0;
        std::array<Surface, glyph_count> surfaces;
    };
    std::vector<Bodies> bodies;
    // Captions are broken into lines here, in proportion to the square and
    // free of any surface's hinting, so that a diagram's size and its
    // drawing agree at every scale; made on first use.
    std::unique_ptr<PangoContext, GObjectFree> caption_context;
    double caption_line = 0;  // a caption line's height, in squares
};

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
    // Drawing for an SVG file: the hatching is a tile repeated, which the
    // file holds once (PDF viewers draw such tiles a pixel off).
    bool tiled = false;

    double at(double v) const { return snap ? std::round(v) : v; }
    double x(double v) const { return at(ox + v); }
    double y(double v) const { return at(oy + v); }
};

// A square of the board in drawing space.
struct Cell {
    double x0, y0, x1, y1;
    Piece piece = Piece::Empty;
    bool dark = false;
    int square = -1;
    Looks looks{};  // how the man is printed: turned, neutral
};

// ---- Glyphs (render/glyphs.cpp) ---------------------------------------------

// The font map and context, the fonts checked, the glyph outlines taken and
// placed on the unit square, and the men's font made. False, with the
// reason in error, when a font or a glyph is missing.
bool load_fonts(Renderer::Fonts& fonts, std::string& error);
// The glyph of a man or mark (not Empty) in Fonts::glyphs.
int glyph_index(Piece p);
// The glyph's outline or silhouette placed on the cell of square width s.
void append_glyph(cairo_t* cr, const Glyph& g, const std::vector<cairo_path_data_t>& data, const Cell& c, double s);

// ---- Text (render/text.cpp) -------------------------------------------------

// The look of a run of text beside a diagram, its size a share of the square.
struct TextStyle {
    const char* family;
    double share;
    bool bold = false;
    bool italic = false;
};
// The editor's task text names no family and so is set in Pango's default,
// serif; the caption matches it, as a book's caption would be set. 15
// points on a 96-dpi screen over squares of 50 pixels: 0.4 of a square.
inline constexpr TextStyle caption_style{"Serif", 0.4};

// Text broken into lines at `width` squares, in proportion to the square
// and free of any surface's hinting, so that a diagram's size and its
// drawing agree at every scale; past max_lines, the last line is as much of
// the rest as fits before an ellipsis.
struct TextLines {
    std::vector<std::string> lines;
    bool shortened = false;
};
TextLines break_text(Renderer::Fonts& fonts, const TextStyle& style, double width, int max_lines,
                     const std::string& text);
// A line's height in squares: the font's ascent and descent, so that the
// descenders of a last line stay inside its band.
double line_height(Renderer::Fonts& fonts, const TextStyle& style);
// A layout of a line in the style at square width s, for the target of cr.
std::unique_ptr<PangoLayout, GObjectFree> styled_layout(cairo_t* cr, PangoContext* context, const TextStyle& style,
                                                        double s, const std::string& text);

// ---- Hatching (render/hatching.cpp) -----------------------------------------

// Fills in black the hatching of the cells marked in `which`, rising lines
// (the dark squares) or falling ones (the Green highlight), in the space's
// hatching, cut to what the clip lets show.
void fill_hatching(cairo_t* cr, const std::vector<Cell>& cells, const Space& space, bool rising,
                   const std::vector<bool>& which);

// ---- Marks (render/marks.cpp) -----------------------------------------------

// The highlight of a square, the last given for it; null when none.
const SquareHighlight* highlight_of(const std::vector<SquareHighlight>& highlights, int square);
// The Red, Yellow and Blue highlights of the cells; Green is a hatching.
void paint_highlights(cairo_t* cr, const std::vector<Cell>& cells, const Space& space,
                      const std::vector<SquareHighlight>& highlights);
// An arrow from (fx, fy) to (tx, ty), centres of squares of width s in
// drawing space; none between squares less than a quarter square apart.
void paint_arrow(cairo_t* cr, const Arrow& arrow, double fx, double fy, double tx, double ty, double s,
                 double device_scale);

}  // namespace chess::render
