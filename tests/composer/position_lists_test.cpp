// Where a list's positions go, and which chosen files are lists.
#include <gtest/gtest.h>

#include <fstream>

#include "composer/composer.h"
#include "composer/position_lists.h"
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
