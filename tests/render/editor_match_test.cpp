// The editor's diagram picture, put together from the shipped piece set the
// way the editor does it, against the renderer's picture of the same
// position at 50 pixels a square: the set is the renderer rasterised, so the
// two differ by no more than the set's JPEG noise.
#include <gtest/gtest.h>

#include <cairo.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>

#include "core/diagram_layout.h"
#include "core/fen.h"
#include "core/piece_roles.h"
#include "render/output.h"
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

// The task text as the editor draws it: the default family at 15 points on
// a 96-dpi screen (20 pixels), its box's top at 9s + 2, centred.
void draw_task_text(GreyPicture& picture, const std::string& text) {
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, picture.width, s / 2);
    cairo_t* cr = cairo_create(surface);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    PangoLayout* layout = pango_cairo_create_layout(cr);
    pango_cairo_context_set_resolution(pango_layout_get_context(layout), 96);
    // Font 0 names no family; the editor's layouts take GTK's default, Sans.
    PangoFontDescription* font = pango_font_description_from_string("Sans");
    pango_font_description_set_size(font, 15 * PANGO_SCALE);
    pango_layout_set_font_description(layout, font);
    pango_font_description_free(font);
    pango_layout_set_text(layout, text.c_str(), -1);
    int width = 0, height = 0;
    pango_layout_get_pixel_size(layout, &width, &height);
    DiagramLayout geometry{s};
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_move_to(cr, geometry.caption_x(width), 2);
    pango_cairo_show_layout(cr, layout);
    g_object_unref(layout);
    cairo_destroy(cr);
    picture.place(from_surface(surface), 0, geometry.caption_band_y());
    cairo_surface_destroy(surface);
}

// editor/diagram.cpp's order: white, the task text, the frame strips, the
// 64 squares (editor column i, row j from the top; a8 light).
GreyPicture editor_picture(const Position& position, const std::string& text) {
    DiagramLayout g{s};
    GreyPicture picture(g.width(), g.height());
    draw_task_text(picture, text);
    auto set_picture = [](int n) { return load_jpeg(piece_set() + std::to_string(n) + ".jpg"); };
    GreyPicture across = set_picture(horizontal_frame_picture), down = set_picture(vertical_frame_picture);
    picture.place(across, 0, g.top_strip_y());
    picture.place(across, 0, g.bottom_strip_y());
    picture.place(down, g.left_strip_x(), g.vertical_strip_y());
    picture.place(down, g.right_strip_x(), g.vertical_strip_y());
    for (int i = 1; i <= 8; ++i) {
        for (int j = 1; j <= 8; ++j) {
            int square = square_of(i - 1, 8 - j);
            picture.place(set_picture(picture_of(position[square], is_dark_square(square))), g.square_x(i), g.square_y(j));
        }
    }
    return picture;
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

}  // namespace

TEST(EditorMatch, RendererAtFiftyPixelsIsTheEditorsPicture) {
    std::string error;
    auto renderer = render::Renderer::create(error);
    ASSERT_TRUE(renderer) << error;
    struct Case {
        const char* fen;
        const char* caption;
    };
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
        SCOPED_TRACE(caption);
        GreyPicture editor = editor_picture(position, caption);
        render::Diagram diagram{position, caption, {}};
        cairo_surface_t* surface = render::rasterise(*renderer, diagram, s);
        ASSERT_TRUE(surface);
        GreyPicture rendered = from_surface(surface);
        cairo_surface_destroy(surface);
        ASSERT_EQ(rendered.width, editor.width);
        ASSERT_EQ(rendered.height, editor.height);

        DiagramLayout g{s};
        Difference board = compare(editor, rendered, 0, g.caption_band_y());
        std::printf("%s: board mean %.3f max %d\n", caption.c_str(), board.mean, board.max);
        // At quality 100 every quantisation step is 1: a coefficient is off
        // by half a step at most, which with the basis functions' weights
        // (at most 1/4) and the colour conversion's rounding stays within a
        // few grey levels on the whole and under 16 where one-pixel black
        // lines meet white paper (measured: mean 0.013, max 15). A wrong
        // line, a shifted man or a missing body would show as 255 on a
        // pixel and raise the mean by tenths.
        EXPECT_LT(board.mean, 0.1);
        EXPECT_LE(board.max, 24);

        // The caption: the same text at the same size and place. The glyphs'
        // edges fall a pixel apart where the hinting differs, so the ink is
        // compared as a whole: its amount, its extent and its centre.
        Ink a = ink_of(editor, g.caption_band_y(), g.height()), b = ink_of(rendered, g.caption_band_y(), g.height());
        std::printf("  caption ink %.0f / %.0f, x %.1f / %.1f, y %.1f / %.1f, width %d / %d\n", a.amount, b.amount,
                    a.centre_x, b.centre_x, a.centre_y, b.centre_y, a.right - a.left, b.right - b.left);
        EXPECT_NEAR(a.amount, b.amount, 0.08 * a.amount);
        EXPECT_NEAR(a.centre_x, b.centre_x, 1.5);
        EXPECT_NEAR(a.centre_y, b.centre_y, 1.5);
        EXPECT_NEAR(a.left, b.left, 2);
        EXPECT_NEAR(a.right, b.right, 2);
    }
}
