// The dark squares' hatching: its period and width for print, and the
// bands of lines cut to the squares.
#include <algorithm>
#include <array>
#include <cmath>
#include <utility>

#include "render/diagram_internal.h"

namespace chess::render {

namespace {

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

// For an SVG file, the side of a tile of the lines that repeats across and
// down and is a whole number of units (cairo writes a tile's side rounded):
// 36 points, 25 periods, in print. 0 for none, or for another target.
double tile_of(const Space& space) {
    if (!space.tiled || !(space.hatching.period > 0)) return 0;
    for (int periods = 1; periods <= 100; ++periods) {
        const double side = periods * space.hatching.period;
        if (side >= 1 && std::fabs(side - std::round(side)) < 1e-9 * side) return std::round(side);
    }
    return 0;
}

// Fills the path with the lines as tiles of that side, laid from the
// origin (where a file's pixels start at any common resolution, so that
// the tiles' edges fall between them), the lines through (x, y) as the top
// right (rising) or top left (falling) corner of a square has them.
void paint_tiles(cairo_t* cr, double side, const Hatching& h, double x, double y, bool rising) {
    cairo_rectangle_t extents{0, 0, side, side};
    cairo_surface_t* tile = cairo_recording_surface_create(CAIRO_CONTENT_COLOR_ALPHA, &extents);
    cairo_t* t = cairo_create(tile);
    // A cell over the tile whose corner is (x, y) a whole number of
    // periods on: the side is one too.
    auto after = [&](double v) { return v - std::floor(v / h.period) * h.period; };
    const Cell cell = rising ? Cell{0, 0, side + after(x + y), side} : Cell{after(x - y) - h.period, 0, side, side};
    add_bands(t, cell, Cell{0, 0, side, side}, h, false, rising);
    cairo_set_source_rgb(t, 0, 0, 0);
    cairo_fill(t);
    cairo_destroy(t);
    cairo_pattern_t* lines = cairo_pattern_create_for_surface(tile);
    cairo_surface_destroy(tile);
    cairo_pattern_set_extend(lines, CAIRO_EXTEND_REPEAT);
    cairo_set_source(cr, lines);
    cairo_pattern_destroy(lines);
    cairo_fill(cr);
}

}  // namespace

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
        if (const double tile = tile_of(space); tile > 0) {
            paint_tiles(cr, tile, space.hatching, rising ? all.x1 : all.x0, all.y0, rising);
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

}  // namespace chess::render
