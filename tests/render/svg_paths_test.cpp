// SVG files written short: path data as cairo writes it turned relative and
// rounded, the same on every split of the stream, and a whole diagram under
// its bound in bytes that draws as its PDF does.
#include <gtest/gtest.h>

#include <cairo.h>

#include <cctype>
#include <cmath>
#include <cstdlib>
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

// The points a short path visits, absolute again: every end of a command.
std::vector<std::pair<double, double>> points_of(const std::string& d) {
    std::vector<std::pair<double, double>> points;
    double x = 0, y = 0, start_x = 0, start_y = 0;
    char command = 0;
    const char* p = d.c_str();
    auto number = [&] {
        char* end = nullptr;
        const double v = std::strtod(p, &end);
        p = end;
        return v;
    };
    while (*p) {
        if (*p == ' ') {
            ++p;
            continue;
        }
        if (std::isalpha(static_cast<unsigned char>(*p))) command = *p++;
        if (command == 'z') {
            x = start_x;
            y = start_y;
            continue;
        }
        if (command == 'h') {
            x += number();
        } else if (command == 'v') {
            y += number();
        } else {
            const int pairs = command == 'c' ? 3 : 1;
            double dx = 0, dy = 0;
            for (int k = 0; k < pairs; ++k) {
                dx = number();
                dy = number();
            }
            x += dx;
            y += dy;
            if (command == 'm') {
                start_x = x;
                start_y = y;
                command = 'l';
            }
        }
        points.push_back({x, y});
    }
    return points;
}

TEST(SvgPaths, CairosPathDataWrittenShort) {
    // A square and a curve as cairo writes them, closed with a move back.
    const std::string d = "M 9.449219 9.449219 L 28.347656 9.449219 L 28.347656 28.347656 L 9.449219 28.347656 Z "
                          "M 30 30.5 C 30.25 30.5 -1.004 2 31 -0.5 Z M 30 30.5 ";
    const std::string written = short_path_data(d);
    EXPECT_EQ(written, "m9.45 9.45h18.9v18.9h-18.9zm20.55 21.05c.25 0-31-28.5 1-31z");
    // Each point within half a hundredth of where it was, nothing drifting.
    const std::vector<std::pair<double, double>> expected = {{9.449219, 9.449219}, {28.347656, 9.449219},
                                                             {28.347656, 28.347656}, {9.449219, 28.347656},
                                                             {30, 30.5}, {31, -0.5}};
    const auto points = points_of(written);
    ASSERT_EQ(points.size(), expected.size()) << written;
    for (std::size_t i = 0; i < points.size(); ++i) {
        EXPECT_NEAR(points[i].first, expected[i].first, 0.005) << i;
        EXPECT_NEAR(points[i].second, expected[i].second, 0.005) << i;
    }
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
