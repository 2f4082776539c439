// Where a list's positions go, which chosen files are lists, and what a
// cell shows: the renderer's own drawing of the position, its marks and its
// caption, the composer run in process.
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <cairo.h>
#include <gdk-pixbuf/gdk-pixbuf.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>

#include "composer/composer.h"
#include "composer/position_lists.h"
#include "core/fen.h"
#include "render/book.h"
#include "render/output.h"
#include "tests/support/gtk_input.h"
#include "tests/support/temp_dir.h"

using composer::diagram_place;

TEST(PositionLists, APositionTakesTheCellsPlaceOfADiagramPicture) {
    // A 9 x 9.5 diagram fills its cell's height: 357 x 377 in 360 x 377
    // cells, 476 x 502 in 540 x 502 ones, as the editor's 450 x 475 do.
    const int width = EXPECTED_CELLS == 12 ? 357 : 476, height = EXPECTED_CELLS == 12 ? 377 : 502;
    const int margin = EXPECTED_CELLS == 12 ? 30 : 40, gap = 20;
    for (int n = 1; n <= composer::capacity; ++n) {
        const composer::DiagramPlace p = diagram_place(n);
        EXPECT_EQ(p.width, width);
        EXPECT_EQ(p.height, height);
        EXPECT_EQ(p.x, margin + (n - 1) % composer::columns * (width + gap)) << n;
        EXPECT_EQ(p.y, margin + (n - 1) / composer::columns * (height + gap)) << n;
        EXPECT_DOUBLE_EQ(p.square, width / 9.0);
        EXPECT_LE(p.x + p.width, composer::layout.width);
        EXPECT_LE(p.y + p.height, composer::layout.height);
    }
}

// A problem, taller for its heading and footer, keeps the place's height
// and is drawn smaller, centred across it.
TEST(PositionLists, AProblemFitsThePlaceOfADiagramPicture) {
    for (int n = 1; n <= composer::capacity; ++n) {
        const composer::DiagramPlace usual = diagram_place(n), same = diagram_place(n, 9.5);
        EXPECT_EQ(same.width, usual.width);
        EXPECT_DOUBLE_EQ(same.square, usual.square);
        const composer::DiagramPlace taller = diagram_place(n, 11.4);
        EXPECT_EQ(taller.height, usual.height);
        EXPECT_NEAR(taller.square, usual.height / 11.4, 1e-9);
        EXPECT_LE(11.4 * taller.square, usual.height + 1e-9);
        EXPECT_LE(taller.width, usual.width);
        EXPECT_NEAR(taller.x - usual.x, (usual.x + usual.width) - (taller.x + taller.width), 1) << n;
    }
}

TEST(PositionLists, PicturesAreTakenByNameOrContentAndEverythingElseIsAList) {
    TempDir dir;
    auto write = [&](const std::string& name, const std::string& bytes) {
        std::ofstream(dir.file(name), std::ios::binary) << bytes;
        return dir.file(name);
    };
    EXPECT_FALSE(composer::is_position_list(write("a.jpg", "\xFF\xD8\xFF\xE0")));
    EXPECT_FALSE(composer::is_position_list(write("named.fen", "\xFF\xD8\xFF\xE0")));
    EXPECT_FALSE(composer::is_position_list(write("b.jpg", "BM\x10\x00")));
    // A picture's name is a picture's, whatever it holds: its load says why not.
    EXPECT_FALSE(composer::is_position_list(write("list.JPEG", "8/8/8/8/8/8/8/K6k w - - 0 1\n")));
    EXPECT_TRUE(composer::is_position_list(write("list.txt", "8/8/8/8/8/8/8/K6k w - - 0 1\n")));
    EXPECT_TRUE(composer::is_position_list(write("games.pgn", "[Event \"x\"]\n")));
    EXPECT_TRUE(composer::is_position_list(write("one", "8")));
    // An empty or unreadable file goes the picture's way, whose load tells why.
    EXPECT_FALSE(composer::is_position_list(write("empty.fen", "")));
    EXPECT_FALSE(composer::is_position_list(dir.file("missing.fen")));
}

namespace {

class ListCells : public testing::Test {
protected:
    void SetUp() override {
        std::filesystem::current_path(dir.path());
        std::filesystem::create_directory(dir.path() / "SAVE");
        ASSERT_TRUE(composer::start_up(0, nullptr));
        ASSERT_TRUE(wait_mapped(GTK_WIDGET(tk::window_gtk(composer::composer_window))));
        std::string error;
        renderer = chess::render::Renderer::create(error);
        ASSERT_TRUE(renderer) << error;
    }
    void TearDown() override { composer::finish(); }

    std::string write(const std::string& name, const std::string& text) {
        std::ofstream(dir.file(name), std::ios::binary) << text;
        return dir.file(name);
    }

    // The largest channel difference between the cell's pixels and the
    // renderer's drawing of the position with these marks and caption.
    int difference(int cell, const char* fen, const std::string& caption, const chess::Annotations& marks) const {
        const composer::DiagramPlace place = composer::diagram_place(cell);
        const chess::render::Diagram diagram =
            chess::render::book_diagram(chess::read_fen(fen).position, caption, marks, cell, {});
        cairo_surface_t* drawn = chess::render::rasterise(*renderer, diagram, place.square);
        cairo_surface_flush(drawn);
        GdkPixbuf* sheet = image_handle(composer::sheet_image);
        const guchar* pixels = gdk_pixbuf_get_pixels(sheet);
        const int stride = gdk_pixbuf_get_rowstride(sheet), channels = gdk_pixbuf_get_n_channels(sheet);
        const unsigned char* from = cairo_image_surface_get_data(drawn);
        const int from_stride = cairo_image_surface_get_stride(drawn);
        int worst = 0;
        for (int y = 0; y < place.height; ++y) {
            for (int x = 0; x < place.width; ++x) {
                const guchar* p = pixels + (place.y + y) * stride + (place.x + x) * channels;
                const auto q = *reinterpret_cast<const std::uint32_t*>(from + y * from_stride + x * 4);
                for (int c = 0; c < 3; ++c)
                    worst = std::max(worst, std::abs(p[c] - static_cast<int>((q >> (16 - 8 * c)) & 255)));
            }
        }
        cairo_surface_destroy(drawn);
        return worst;
    }

    TempDir dir;
    std::unique_ptr<chess::render::Renderer> renderer;
};

const char* const lone_kings = "4k3/8/8/8/8/8/8/4K3 w - - 0 1";
const char* const after_mate = "r1bqkb1r/pppp1Qpp/2n2n2/4p3/2B1P3/8/PPPP1PPP/RNB1K1NR b KQkq - 0 4";

// An EPD record's c1 marks its cell as diagram_batch marks its diagram.
TEST_F(ListCells, AnEpdRecordsMarksAreDrawn) {
    composer::add_position_list(write("marks.epd", "4k3/8/8/8/8/8/8/4K3 w - - c0 \"Marked\"; c1 \"Rd4 Ge2e4\";\n"));
    ASSERT_EQ(composer::diagram_count, 1);
    chess::Annotations marks;
    marks.squares.push_back({chess::parse_square("d4"), chess::MarkColour::Red});
    marks.arrows.push_back({chess::parse_square("e2"), chess::parse_square("e4"), chess::MarkColour::Green});
    EXPECT_LE(difference(1, lone_kings, "Marked", marks), 2);
    EXPECT_GT(difference(1, lone_kings, "Marked", {}), 40) << "the cell would pass without its marks";
}

// A played game is captioned by its players, as diagram_batch captions it.
TEST_F(ListCells, APlayedGameIsCaptionedByItsPlayers) {
    composer::add_position_list(write("game.pgn", "[White \"Anna\"]\n[Black \"Boris\"]\n\n"
                                                  "1. e4 e5 2. Qh5 Nc6 3. Bc4 Nf6 4. Qxf7# 1-0\n"));
    ASSERT_EQ(composer::diagram_count, 1);
    EXPECT_LE(difference(1, after_mate, "Anna \u2013 Boris", {}), 2);
    EXPECT_GT(difference(1, after_mate, "", {}), 40) << "the cell would pass without its caption";
}

}  // namespace
