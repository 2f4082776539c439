// Problems as problem columns print them: turned and neutral men drawn from
// the same glyphs as the others, in pixels and in vector files read back;
// the heading, stipulation and count read back as a PDF's text.
#include <gtest/gtest.h>

#include <cairo.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>

#include "core/diagram_layout.h"
#include "core/fen.h"
#include "render/output.h"
#include "tests/support/grey_picture.h"
#include "tests/support/render_support.h"
#include "tests/support/temp_dir.h"

using namespace chess;
using namespace chess::render;

namespace {

// d5 and e5 are light: no hatching under the men compared.
const int d5 = parse_square("d5"), e5 = parse_square("e5");

Diagram diagram_of(const std::string& fen) {
    Diagram d;
    d.position = read_fen(fen).position;
    return d;
}

GreyPicture raster(const Diagram& d, double s) {
    cairo_surface_t* surface = rasterise(renderer(), d, s);
    EXPECT_TRUE(surface);
    if (!surface) return {};
    GreyPicture picture = from_surface(surface);
    cairo_surface_destroy(surface);
    return picture;
}

// A PDF page as poppler rasterises it, read from its PGM file.
GreyPicture poppler_page(const std::string& pdf, int dpi) {
    const std::string base = pdf + "-page";
    run("pdftoppm -gray -singlefile -r " + std::to_string(dpi) + " '" + pdf + "' '" + base + "'");
    std::ifstream in(base + ".pgm", std::ios::binary);
    std::string magic;
    int width = 0, height = 0, top = 0;
    in >> magic >> width >> height >> top;
    in.get();
    if (magic != "P5" || width <= 0 || height <= 0) return {};
    GreyPicture p(width, height);
    in.read(reinterpret_cast<char*>(p.values.data()), static_cast<std::streamsize>(p.values.size()));
    return p;
}

// The largest difference between square a and square b turned by quarter
// turns clockwise, both of side n with their top-left corners given; and how
// many pixels differ by more than `slack`.
struct Difference {
    int largest = 0;
    int over = 0;
};
Difference turned_difference(const GreyPicture& p, int ax, int ay, const GreyPicture& q, int bx, int by, int n,
                             int turns, int slack) {
    Difference d;
    for (int y = 0; y < n; ++y) {
        for (int x = 0; x < n; ++x) {
            // The pixel of a that lands on (x, y) once a is turned.
            int sx = x, sy = y;
            for (int k = 0; k < turns; ++k) {
                const int t = sx;
                sx = sy;
                sy = n - 1 - t;
            }
            const int diff = std::abs(p.at(ax + sx, ay + sy) - q.at(bx + x, by + y));
            d.largest = std::max(d.largest, diff);
            d.over += diff > slack;
        }
    }
    return d;
}

int ink(const GreyPicture& p, int x0, int y0, int w, int h) {
    int n = 0;
    for (int y = y0; y < y0 + h; ++y)
        for (int x = x0; x < x0 + w; ++x) n += p.at(x, y) < 128;
    return n;
}

}  // namespace

// A grasshopper is a queen upside down, a quarter-turned man is turned
// clockwise: in pixels the turned man's square is the plain man's square
// turned, on the snapped raster and on a PDF read back by poppler.
TEST(ProblemMen, TurnedManIsThePlainManTurned) {
    Diagram plain = diagram_of("8/8/8/3Q4/8/8/8/8 w - - 0 1");
    for (int turns : {1, 2, 3}) {
        Diagram turned = plain;
        turned.position.looks[d5].turn = static_cast<std::uint8_t>(turns);
        const int s = 40;
        DiagramLayout layout{s};
        const int x = layout.square_x(4), y = layout.square_y(4);
        const GreyPicture a = raster(plain, s), b = raster(turned, s);
        const Difference d = turned_difference(a, x, y, b, x, y, s, turns, 8);
        EXPECT_LE(d.over, 4) << turns << " quarter turns, largest " << d.largest;
        // Turned, not the same picture.
        EXPECT_GT(turned_difference(a, x, y, b, x, y, s, 0, 8).over, 50) << turns;
    }

    TempDir dir;
    Diagram turned = plain;
    turned.position.looks[d5].turn = 2;
    std::string error;
    ASSERT_TRUE(write_pdf(renderer(), plain, 20, dir.file("plain.pdf"), error)) << error;
    ASSERT_TRUE(write_pdf(renderer(), turned, 20, dir.file("turned.pdf"), error)) << error;
    // 20 points at 144 dpi: 40 pixels a square.
    const GreyPicture a = poppler_page(dir.file("plain.pdf"), 144), b = poppler_page(dir.file("turned.pdf"), 144);
    ASSERT_GT(a.width, 0);
    DiagramLayout layout{40};
    const int x = layout.square_x(4), y = layout.square_y(4);
    EXPECT_LE(turned_difference(a, x + 1, y + 1, b, x + 1, y + 1, 38, 2, 64).over, 12);
    EXPECT_GT(turned_difference(a, x, y, b, x, y, 40, 0, 64).over, 50);
}

// A neutral man: the white man's left half beside the black man's right
// half, on light and dark squares, in pixels and in a PDF.
TEST(ProblemMen, NeutralManIsHalfWhiteHalfBlack) {
    const Diagram white = diagram_of("8/8/8/3N4/8/8/8/8 w - - 0 1"), black = diagram_of("8/8/8/3n4/8/8/8/8 w - - 0 1");
    Diagram neutral = white;
    neutral.position.looks[d5].neutral = true;
    const int s = 40;
    DiagramLayout layout{s};
    const int x = layout.square_x(4), y = layout.square_y(4);
    auto halves = [&](const GreyPicture& w, const GreyPicture& b, const GreyPicture& n, int dx, int slack) {
        int left = 0, right = 0;
        for (int row = y + dx; row < y + s - dx; ++row) {
            for (int column = x + dx; column < x + s - dx; ++column) {
                const bool on_left = column < x + s / 2 - 1, on_right = column > x + s / 2;
                left += on_left && std::abs(n.at(column, row) - w.at(column, row)) > slack;
                right += on_right && std::abs(n.at(column, row) - b.at(column, row)) > slack;
            }
        }
        EXPECT_LE(left, 4);
        EXPECT_LE(right, 4);
        // The black half is the darker.
        EXPECT_GT(ink(n, x + s / 2, y, s / 2, s), ink(n, x, y, s / 2, s) + 40);
    };
    halves(raster(white, s), raster(black, s), raster(neutral, s), 0, 8);

    TempDir dir;
    std::string error;
    ASSERT_TRUE(write_pdf(renderer(), white, 20, dir.file("white.pdf"), error)) << error;
    ASSERT_TRUE(write_pdf(renderer(), black, 20, dir.file("black.pdf"), error)) << error;
    ASSERT_TRUE(write_pdf(renderer(), neutral, 20, dir.file("neutral.pdf"), error)) << error;
    halves(poppler_page(dir.file("white.pdf"), 144), poppler_page(dir.file("black.pdf"), 144),
           poppler_page(dir.file("neutral.pdf"), 144), 1, 64);

    // On a dark square the halves stand on one white body.
    Diagram on_dark = diagram_of("8/8/8/4N3/8/8/8/8 w - - 0 1");
    on_dark.position.looks[e5].neutral = true;
    const GreyPicture p = raster(on_dark, s);
    const int ex = layout.square_x(5);
    EXPECT_LT(ink(p, ex, y, s, s), ink(raster(diagram_of("8/8/8/4n3/8/8/8/8 w - - 0 1"), s), ex, y, s, s) + s * s / 4);
}
