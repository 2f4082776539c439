// SVG files written short: path data as cairo writes it turned relative and
// rounded, the same on every split of the stream, and a whole diagram under
// its bound in bytes that draws as its PNG does.
#include <gtest/gtest.h>

#include <cairo.h>

#include <cmath>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/annotations.h"
#include "core/diagram_layout.h"
#include "core/fen.h"
#include "pictures/files.h"
#include "render/output.h"
#include "render/svg_paths.h"
#include "tests/support/grey_picture.h"
#include "tests/support/render_support.h"
#include "tests/support/temp_dir.h"

using namespace chess;
using namespace chess::render;

namespace {

std::string contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

TEST(SvgPaths, CairosPathDataWrittenShort) {
    // A square and a curve as cairo writes them, closed with a move back.
    const std::string d = "M 9.449219 9.449219 L 28.347656 9.449219 L 28.347656 28.347656 L 9.449219 28.347656 Z "
                          "M 30 30.5 C 30.25 30.5 -1.004 2 31 -0.5 Z M 30 30.5 ";
    // Each point to a hundredth, relative to the point before as rounded;
    // lines along an axis as h and v; the last move, which draws nothing,
    // left out.
    EXPECT_EQ(short_path_data(d), "m9.45 9.45h18.9v18.9h-18.9zm20.55 21.05c.25 0-31-28.5 1-31z");
    // Data of another form passes as it is.
    EXPECT_EQ(short_path_data("M 1 2 Q 3 4 5 6"), "M 1 2 Q 3 4 5 6");
    EXPECT_EQ(short_path_data("M 1 x"), "M 1 x");
    EXPECT_EQ(short_path_data(""), "");
}

// The same file whichever way cairo splits its text, down to a byte at a time.
TEST(SvgPaths, StreamSplitAnywhere) {
    TempDir dir;
    const std::string text =
        "<svg width=\"10pt\"><use xlink:href=\"#glyph0-1\" x=\"9.448819\" y=\"28.346457\"/>\n"
        "<use xlink:href=\"#surface2\" transform=\"matrix(0.5,0,0,0.5,66.141732,9.448819)\"/>\n"
        "<path id=\"p\" style=\"stroke-width:0.944882;\" d=\"M 0.5 0.5 L 3.333333 0.5 Z M 0.5 0.5 \"/></svg>\n";
    const std::string expected =
        "<svg width=\"10pt\"><use xlink:href=\"#glyph0-1\" x=\"9.45\" y=\"28.35\"/>\n"
        "<use xlink:href=\"#surface2\" transform=\"matrix(0.5,0,0,0.5,66.14,9.45)\"/>\n"
        "<path id=\"p\" style=\"stroke-width:0.944882;\" d=\"m.5.5h2.83z\"/></svg>\n";
    for (std::size_t chunk : {text.size(), std::size_t{7}, std::size_t{1}}) {
        SCOPED_TRACE(chunk);
        const std::string path = dir.file("split.svg");
        {
            ReplacingFile file(path);
            ShortSvgPaths stream(file);
            for (std::size_t at = 0; at < text.size(); at += chunk) {
                const std::string part = text.substr(at, chunk);
                ASSERT_EQ(ShortSvgPaths::write(&stream, reinterpret_cast<const unsigned char*>(part.data()),
                                               static_cast<unsigned int>(part.size())),
                          CAIRO_STATUS_SUCCESS);
            }
            ASSERT_TRUE(file.commit());
        }
        EXPECT_EQ(contents(path), expected);
    }
}

// A 6 cm diagram of a full opening position with its caption: at most
// 40 KB; and, a square marked green too, drawn by another program as our
// PNG of it is, square by square.
TEST(SvgPaths, DiagramSmallAndDrawnAsThePng) {
    TempDir dir;
    Diagram d;
    d.position = read_fen("r1bqkb1r/pppp1ppp/2n2n2/4p2Q/2B1P3/8/PPPP1PPP/RNB1K1NR w KQkq - 4 4").position;
    d.caption = "Мат в один ход";
    const double points = 60 / 25.4 * 72 / 9;
    std::string error;
    ASSERT_TRUE(write_svg(renderer(), d, points, dir.file("plain.svg"), error)) << error;
    EXPECT_LE(contents(dir.file("plain.svg")).size(), 40000u);

    d.options.marks.squares = {{parse_square("f7"), MarkColour::Green}};
    d.options.raster_dpi = 150;
    ASSERT_TRUE(write_svg(renderer(), d, points, dir.file("d.svg"), error)) << error;
    EXPECT_NE(contents(dir.file("d.svg")).find("<pattern"), std::string::npos) << "the hatching is no tile";
    ASSERT_TRUE(write_png(renderer(), d, square_pixels_for(60, 150), dir.file("png.png"), error)) << error;
    run("rsvg-convert -d 150 -p 150 -b white -o " + dir.file("svg.png") + " " + dir.file("d.svg"));
    std::vector<GreyPicture> drawn;
    for (const char* name : {"png.png", "svg.png"}) {
        cairo_surface_t* surface = cairo_image_surface_create_from_png(dir.file(name).c_str());
        ASSERT_EQ(cairo_surface_status(surface), CAIRO_STATUS_SUCCESS) << name;
        drawn.push_back(from_surface(surface));
        cairo_surface_destroy(surface);
    }
    ASSERT_EQ(drawn[0].width, drawn[1].width);
    ASSERT_EQ(drawn[0].height, drawn[1].height);
    // Each square's grey (its hatching, its man and his body) within a few
    // levels: the lines may lie elsewhere, as pixels have them.
    const VectorDiagramLayout layout{square_pixels_for(60, 150)};
    const int side = static_cast<int>(layout.s) - 2;
    for (int j = 1; j <= 8; ++j) {
        for (int i = 1; i <= 8; ++i) {
            const int x = static_cast<int>(std::ceil(layout.square_x(i))) + 1;
            const int y = static_cast<int>(std::ceil(layout.square_y(j))) + 1;
            double mean[2] = {0, 0};
            for (int k = 0; k < 2; ++k) {
                for (int row = y; row < y + side; ++row)
                    for (int column = x; column < x + side; ++column) mean[k] += drawn[k].at(column, row);
                mean[k] /= side * side;
            }
            EXPECT_NEAR(mean[0], mean[1], 4) << "square " << i << "," << j;
        }
    }
}

}  // namespace
