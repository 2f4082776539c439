// Chess diagrams drawn with cairo and Pango alone, in the look of the
// editor's piece set: white light squares, dark squares hatched with fine
// diagonal lines, the men from FreeSerif's chess glyphs standing on white
// bodies cut out of the hatching, a double frame, the caption centred in the
// band below.
//
// One drawing serves every output: vector (PDF, SVG, any cairo surface that
// is not an image) keeps exact geometry; on an image surface the squares,
// frame and hatching are snapped to whole device pixels so that small
// pictures stay crisp.
#pragma once

#include <cairo.h>

#include <memory>
#include <string>

#include "core/annotations.h"
#include "core/position.h"
#include "core/problem.h"

namespace chess::render {

struct DiagramOptions {
    // Seen from Black's side: h1 at the top left, a1 at the top right.
    bool flipped = false;
    // Files a-h in the band below the board, ranks 1-8 in the band left of
    // it, both in the order the board is seen.
    bool coordinates = false;
    // A small disc in the band right of the board, beside the rank of the
    // side to move: white (outlined) or black. Nothing when the position's
    // side to move is unknown.
    bool side_to_move = false;
    // Squares singled out and moves shown. A book prints in black and
    // white, so each colour selects a drawing style. A square: Red a heavy
    // outline inside it, Green a hatching across the board's (crossing it
    // on a dark square), Blue a grid of dots, Yellow a dashed outline; the
    // last given for a square wins. An arrow, from the centre of one square
    // to another: Red solid black, Green a dashed shaft, Blue outlined
    // (white with a black edge, readable across hatching and men), Yellow
    // a dotted shaft.
    Annotations marks;
    // A diagram number printed above the frame; it adds a band of half a
    // square above the diagram. Empty: no band.
    std::string number;
    // On an image surface: the resolution the picture will be printed at,
    // which sets the hatching's period in pixels (see hatching below).
    double raster_dpi = 150;
};

struct Diagram {
    Position position;
    std::string caption;  // UTF-8; may be empty
    DiagramOptions options;
    // Printed as problemists print a problem: its authors, source and award
    // above the board; below it the stipulation at the left, the count of
    // the men at the right, then the twins, conditions, legend and remarks,
    // each on its lines. The caption is then not printed. Null: the caption.
    std::shared_ptr<const Problem> problem = nullptr;
};

// The diagram's size for square width s, in the same unit: 9s x 9.5s, and
// half a square more in height when it carries a number. A caption that
// needs more than the band of half a square makes it taller: see
// Renderer::size.
struct Size {
    double width = 0;
    double height = 0;
};
Size diagram_size(const DiagramOptions& options, double s);

// The hatching of a dark square: straight lines rising to the right,
// `period` apart and `width` wide, both measured along a row.
struct Hatching {
    double period = 0;
    double width = 0;
};
// For vector output, in points.
Hatching vector_hatching();
// For an image printed at dpi: whole pixels, a third inked.
Hatching raster_hatching(double dpi);

// What the renderer draws with: the fonts checked and the glyph outlines of
// the men and marks taken once. Make one and draw many diagrams with it; it
// is not thread-safe.
class Renderer {
public:
    // Null, with the reason in error, when FreeSerif (Debian package
    // fonts-freefont-ttf) or DejaVu Sans (fonts-dejavu-core) is missing or
    // lacks one of the glyphs.
    static std::unique_ptr<Renderer> create(std::string& error);
    ~Renderer();
    Renderer(const Renderer&) = delete;
    Renderer& operator=(const Renderer&) = delete;

    // Draws the diagram with its top-left corner at the user-space origin of
    // cr and square width s in user units; leaves cr's state as it was. On
    // a vector surface the device unit is taken as the point (as PDF and SVG
    // surfaces have it), which sizes the hatching; on an image surface the
    // hatching follows options.raster_dpi.
    void draw(cairo_t* cr, const Diagram& diagram, double s) const;
    // The size draw() covers: diagram_size's, taller by what the caption
    // needs beyond its band (its lines at the font's height, descenders
    // included), or by a problem's heading and footer. A caption is set on
    // up to three lines at the diagram's width, centred.
    Size size(const Diagram& diagram, double s) const;
    // Whether the caption takes more than three lines and so is drawn cut
    // short, ending in an ellipsis.
    bool caption_shortened(const std::string& caption) const;

    // The parts the piece set is made of, at the user-space origin. One
    // square (an s x s tile) with piece p (Empty, a man or a mark) on a light
    // or dark square, exactly as draw() paints that square.
    // With a highlight, the square as draw() paints that square so marked
    // (the highlight's square is taken as this one).
    void draw_square(cairo_t* cr, Piece p, bool dark, double s, const SquareHighlight* highlight = nullptr) const;
    // The arrows over a board seen from White, its top-left corner at
    // (board_x, board_y), as draw() paints them.
    void draw_arrows(cairo_t* cr, const std::vector<Arrow>& arrows, double s, double board_x, double board_y) const;
    // The double frame round a board whose top-left corner is at
    // (board_x, board_y), in a picture of width x height: an outer line
    // along the picture's edges, an inner one along the board's, both
    // running on through the corners.
    void draw_frame(cairo_t* cr, double s, double board_x, double board_y, double width, double height) const;

    // What the drawing is done with (render/diagram_internal.h).
    struct Fonts;

private:
    explicit Renderer(std::unique_ptr<Fonts> fonts);
    std::unique_ptr<Fonts> fonts_;
};

// The process's renderer, made on first use. Null, with the reason in
// error, when it cannot be made; asked again, the same reason, without
// another try. Not thread-safe, as the renderer; a child forked after the
// first use draws with its copy.
const Renderer* process_renderer(std::string& error);

}  // namespace chess::render
