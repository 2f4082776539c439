// The editor's diagram picture, drawn from the shipped piece set by the
// editor's own routine, against the renderer's picture of the same
// position at 50 pixels a square: the set is the renderer rasterised, so the
// two differ by no more than the set's JPEG noise.
#include <gtest/gtest.h>

#include <cairo.h>
#include <gdk-pixbuf/gdk-pixbuf.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "core/diagram_layout.h"
#include "core/fen.h"
#include "core/piece_roles.h"
#include "render/output.h"
#include "raster/piece_set_diagram.h"
#include "tests/support/grey_picture.h"
#include "tests/support/temp_dir.h"

using namespace chess;

namespace {

constexpr int s = 50;

// The shipped set, drawn once by the real program.
std::string piece_set() {
    static TempDir dir;
    static bool made = false;
    if (!made) {
        std::string command = std::string("env -u DISPLAY '") + MAKE_PIECE_SET + "' '" + dir.folder() + "' 50";
        EXPECT_EQ(std::system(command.c_str()), 0);
        made = true;
    }
    return dir.folder();
}

// The editor's own routine, on the display-free half of the toolkit, with
// the editor's caption font.
GreyPicture editor_picture(const Position& position, const std::string& text) {
    constexpr ObjectId diagram = 100, caption_font = 0;
    int failed = 0;
    EXPECT_TRUE(chess::raster::piece_set_load(piece_set(), failed)) << "picture " << failed;
    EXPECT_TRUE(font_load(caption_font, chess::raster::caption_font_family, chess::raster::caption_font_size));
    EXPECT_TRUE(chess::raster::piece_set_diagram(diagram, position, text, font_handle(caption_font)));
    GdkPixbuf* picture = image_handle(diagram);
    if (!picture) return {};
    const int width = gdk_pixbuf_get_width(picture), height = gdk_pixbuf_get_height(picture);
    const int stride = gdk_pixbuf_get_rowstride(picture), channels = gdk_pixbuf_get_n_channels(picture);
    const guchar* pixels = gdk_pixbuf_get_pixels(picture);
    GreyPicture grey(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const guchar* p = pixels + y * stride + x * channels;
            grey.at(x, y) = static_cast<std::uint8_t>((p[0] + p[1] + p[2]) / 3);
        }
    return grey;
}

struct Difference {
    double mean = 0;
    int max = 0;
};

Difference compare(const GreyPicture& a, const GreyPicture& b, int top, int bottom) {
    Difference d;
    long long sum = 0, count = 0;
    for (int y = top; y < bottom; ++y)
        for (int x = 0; x < a.width; ++x) {
            int diff = std::abs(a.at(x, y) - b.at(x, y));
            sum += diff;
            ++count;
            d.max = std::max(d.max, diff);
        }
    d.mean = static_cast<double>(sum) / count;
    return d;
}

// The darkness of rows [top, bottom): its sum (255 a black pixel), its
// centre, and the columns it spans.
struct Ink {
    double amount = 0, centre_x = 0, centre_y = 0;
    int left = 1 << 20, right = -1;
};

Ink ink_of(const GreyPicture& p, int top, int bottom) {
    Ink ink;
    for (int y = top; y < bottom; ++y)
        for (int x = 0; x < p.width; ++x) {
            double dark = 255 - p.at(x, y);
            ink.amount += dark;
            ink.centre_x += dark * x;
            ink.centre_y += dark * y;
            if (dark > 128) {
                ink.left = std::min(ink.left, x);
                ink.right = std::max(ink.right, x);
            }
        }
    if (ink.amount > 0) {
        ink.centre_x /= ink.amount;
        ink.centre_y /= ink.amount;
    }
    return ink;
}

// Both pictures of the same positions with captions: the editor's from
// the shipped set, the renderer's at 50 pixels a square.
struct Pair {
    std::string caption;
    GreyPicture editor, rendered;
};

const std::vector<Pair>& pictures() {
    static std::vector<Pair> made = [] {
        std::vector<Pair> pairs;
        pictures_init();
        register_jpeg_decoder();
        std::string error;
        const chess::render::Renderer* renderer = chess::render::process_renderer(error);
        EXPECT_TRUE(renderer) << error;
        if (!renderer) return pairs;
        Position marks = read_fen("8/8/8/8/8/8/8/8 w - - 0 1").position;
        marks[parse_square("c3")] = Piece::Cross;
        marks[parse_square("f6")] = Piece::Dot;
        marks[parse_square("d4")] = Piece::Cross;
        marks[parse_square("e4")] = Piece::Dot;
        marks[parse_square("a1")] = Piece::BlackQueen;
        for (auto [position, caption] :
             {std::pair{Position::initial(), std::string("Начальная позиция")},
              std::pair{read_fen("r1bqkb1r/pppp1ppp/2n2n2/4p2Q/2B1P3/8/PPPP1PPP/RNB1K1NR w KQkq - 4 4").position,
                        std::string("Мат в один ход")},
              std::pair{marks, std::string("Поля c3, d4 и f6")}}) {
            Pair pair{caption, editor_picture(position, caption), {}};
            chess::render::Diagram diagram{position, caption, {}};
            cairo_surface_t* surface = chess::render::rasterise(*renderer, diagram, s);
            EXPECT_TRUE(surface);
            if (!surface) continue;
            pair.rendered = from_surface(surface);
            cairo_surface_destroy(surface);
            pairs.push_back(std::move(pair));
        }
        pictures_shutdown();
        return pairs;
    }();
    return made;
}

}  // namespace

TEST(EditorMatch, BoardDiffersByJpegNoiseOnly) {
    ASSERT_EQ(pictures().size(), 3u);
    for (const Pair& pair : pictures()) {
        SCOPED_TRACE(pair.caption);
        ASSERT_EQ(pair.rendered.width, pair.editor.width);
        ASSERT_EQ(pair.rendered.height, pair.editor.height);
        DiagramLayout g{s};
        Difference board = compare(pair.editor, pair.rendered, 0, g.caption_band_y());
        std::printf("%s: board mean %.3f max %d\n", pair.caption.c_str(), board.mean, board.max);
        // At quality 100 every quantisation step is 1: a coefficient is off
        // by half a step at most, which with the basis functions' weights
        // (at most 1/4) and the colour conversion's rounding stays within a
        // few grey levels on the whole and under 16 where one-pixel black
        // lines meet white paper (measured: mean 0.013, max 15). A wrong
        // line, a shifted man or a missing body would show as 255 on a
        // pixel and raise the mean by tenths.
        EXPECT_LT(board.mean, 0.1);
        EXPECT_LE(board.max, 24);
    }
}

// The caption: the same text in the same font at the same size and place.
// The glyphs' edges fall a pixel apart where the hinting differs, so the
// ink is compared as a whole: its amount, its extent and its centre.
TEST(EditorMatch, CaptionInTheSameFontAndPlace) {
    ASSERT_EQ(pictures().size(), 3u);
    for (const Pair& pair : pictures()) {
        SCOPED_TRACE(pair.caption);
        DiagramLayout g{s};
        Ink a = ink_of(pair.editor, g.caption_band_y(), g.height());
        Ink b = ink_of(pair.rendered, g.caption_band_y(), g.height());
        std::printf("%s: caption ink %.0f / %.0f, x %.1f / %.1f, y %.1f / %.1f, width %d / %d\n", pair.caption.c_str(),
                    a.amount, b.amount, a.centre_x, b.centre_x, a.centre_y, b.centre_y, a.right - a.left,
                    b.right - b.left);
        EXPECT_NEAR(a.amount, b.amount, 0.08 * a.amount);
        EXPECT_NEAR(a.centre_x, b.centre_x, 1.5);
        EXPECT_NEAR(a.centre_y, b.centre_y, 1.5);
        EXPECT_NEAR(a.left, b.left, 2);
        EXPECT_NEAR(a.right, b.right, 2);
    }
}
