// The marks over a diagram: squares singled out and arrows, each colour a
// black-and-white style.
#include <algorithm>
#include <cmath>
#include <utility>

#include "render/diagram_internal.h"

namespace chess::render {

const SquareHighlight* highlight_of(const std::vector<SquareHighlight>& highlights, int square) {
    const SquareHighlight* found = nullptr;
    for (const SquareHighlight& h : highlights) {
        if (h.square == square) found = &h;  // the last given wins
    }
    return found;
}

void paint_highlights(cairo_t* cr, const std::vector<Cell>& cells, const Space& space,
                      const std::vector<SquareHighlight>& highlights) {
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
}

void paint_arrow(cairo_t* cr, const Arrow& arrow, double fx, double fy, double tx, double ty, double s,
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


}  // namespace chess::render
