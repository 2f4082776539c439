// Captions that fit: the band as tall as the caption's lines, descenders
// inside the picture at any size, long captions on up to three lines and
// cut short after them.
#include <gtest/gtest.h>

#include <cairo.h>

#include <cmath>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "core/fen.h"
#include "render/output.h"
#include "tests/support/grey_picture.h"
#include "tests/support/render_support.h"
#include "tests/support/temp_dir.h"

using namespace chess;
using namespace chess::render;

namespace {

Diagram captioned(const std::string& caption) {
    Diagram d;
    // No men: their glyphs would be text in the PDF too.
    d.position = read_fen("8/8/8/8/8/8/8/8 w - - 0 1").position;
    d.caption = caption;
    return d;
}

// The diagram drawn on a canvas `extra` pixels taller than its picture.
GreyPicture on_canvas(const Diagram& d, double s, int extra) {
    cairo_surface_t* picture = rasterise(renderer(), d, s);
    EXPECT_TRUE(picture);
    if (!picture) return {};
    const int width = cairo_image_surface_get_width(picture), height = cairo_image_surface_get_height(picture);
    cairo_surface_destroy(picture);
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height + extra);
    cairo_t* cr = cairo_create(surface);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    renderer().draw(cr, d, s);
    cairo_destroy(cr);
    GreyPicture p = from_surface(surface);
    cairo_surface_destroy(surface);
    return p;
}

int ink_rows_from(const GreyPicture& p, int top, int bottom) {
    int rows = 0;
    for (int y = top; y < bottom; ++y) {
        bool ink = false;
        for (int x = 0; x < p.width && !ink; ++x) ink = p.at(x, y) < 192;
        rows += ink;
    }
    return rows;
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (!line.empty() && line != "\f") lines.push_back(line);
    return lines;
}

}  // namespace

// Descenders (Latin and Cyrillic) end inside the picture at the print
// sizes of a 6 cm diagram (150 and 300 dpi, and the 72 dpi of the vector
// outputs' points): a taller canvas shows no ink below the picture, while
// the picture's last rows above the edge carry some.
TEST(Caption, DescendersInsideThePicture) {
    const Diagram d = captioned("gypsy jog; дурачок у дороги");
    for (double s : {square_pixels_for(60, 72), square_pixels_for(60, 150), square_pixels_for(60, 300), 50.0}) {
        SCOPED_TRACE(s);
        cairo_surface_t* picture = rasterise(renderer(), d, s);
        ASSERT_TRUE(picture);
        const int height = cairo_image_surface_get_height(picture);
        cairo_surface_destroy(picture);
        EXPECT_EQ(height, static_cast<int>(std::ceil(renderer().size(d, s).height - 1e-6)));
        const GreyPicture tall = on_canvas(d, s, 40);
        EXPECT_EQ(ink_rows_from(tall, height, tall.height), 0);
        // The descenders reach the band's last fifth.
        EXPECT_GT(ink_rows_from(tall, height - static_cast<int>(s / 10), height), 0);
    }
    // A caption of one line keeps the editor's geometry: 9 x 9.5 squares.
    EXPECT_DOUBLE_EQ(renderer().size(d, 50).height, 475);
}

// A caption wider than the diagram is set on more lines, every word kept,
// and the diagram grows by the lines' height: in proportion at any scale.
TEST(Caption, SentenceWrapsOntoLines) {
    const std::string sentence =
        "White to play wins the black queen after a quiet king move that nobody expected";
    const Diagram d = captioned(sentence);
    EXPECT_FALSE(renderer().caption_shortened(sentence));
    const double s = 18;
    const Size one = renderer().size(captioned("Mate"), s), wrapped = renderer().size(d, s);
    EXPECT_DOUBLE_EQ(wrapped.width, one.width);
    EXPECT_GT(wrapped.height, one.height + 0.4 * s);
    EXPECT_NEAR(renderer().size(d, 3 * s).height, 3 * wrapped.height, 1e-6);

    TempDir dir;
    std::string error;
    ASSERT_TRUE(write_pdf(renderer(), d, s, dir.file("d.pdf"), error)) << error;
    const std::vector<std::string> lines = lines_of(run("pdftotext " + dir.file("d.pdf") + " -"));
    ASSERT_GE(lines.size(), 2u);
    ASSERT_LE(lines.size(), 3u);
    std::string joined;
    for (const std::string& line : lines) joined += (joined.empty() ? "" : " ") + line;
    EXPECT_EQ(joined, sentence);
    // The page is the diagram's size, caption included.
    double width = 0, height = 0;
    const std::string info = run("pdfinfo " + dir.file("d.pdf") + " | grep 'Page size'");
    ASSERT_EQ(std::sscanf(info.c_str(), "Page size: %lf x %lf", &width, &height), 2) << info;
    EXPECT_NEAR(width, wrapped.width, 0.01);
    EXPECT_NEAR(height, wrapped.height, 0.01);
}

// Past three lines the caption is cut short, ending in an ellipsis, and
// says so.
TEST(Caption, LongCaptionEndsInEllipsis) {
    std::string text;
    for (int k = 0; k < 80; ++k) text += (k ? " word" : "word") + std::to_string(k);
    const Diagram d = captioned(text);
    EXPECT_TRUE(renderer().caption_shortened(text));
    TempDir dir;
    std::string error;
    ASSERT_TRUE(write_pdf(renderer(), d, 18, dir.file("d.pdf"), error)) << error;
    const std::vector<std::string> lines = lines_of(run("pdftotext " + dir.file("d.pdf") + " -"));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].rfind("word0 word1", 0), 0u);
    EXPECT_TRUE(lines[2].ends_with("\u2026")) << lines[2];
    // The cut falls inside the text: what is kept is as written.
    const std::string kept = lines[0] + " " + lines[1] + " " + lines[2].substr(0, lines[2].size() - 3);
    EXPECT_EQ(text.rfind(kept, 0), 0u) << kept;
    EXPECT_LT(kept.size(), text.size());
}
