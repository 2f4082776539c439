// The sizes of a piece set's pictures checked before anything is drawn with
// them: the sets make_piece_set draws pass at even and odd sizes; a set with
// one picture of another size is refused, naming it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "raster/piece_set_diagram.h"
#include "tests/support/temp_dir.h"

namespace {

std::string made_set(TempDir& dir, int square) {
    const std::string command =
        std::string("env -u DISPLAY '") + MAKE_PIECE_SET + "' '" + dir.folder() + "' " + std::to_string(square);
    EXPECT_EQ(std::system(command.c_str()), 0);
    return dir.folder();
}

// Replaces picture n of the set in folder with a white picture of w x h.
void replace_picture(const std::string& folder, int n, int w, int h) {
    constexpr ObjectId scratch = 200;
    ASSERT_TRUE(image_create(scratch, w, h));
    ASSERT_TRUE(image_save(scratch, folder + std::to_string(n) + ".jpg", FormatJPEG, 10));
    image_free(scratch);
}

}  // namespace

TEST(PieceSetCheck, SetsOfOneSizePassAndAStrayPictureIsNamed) {
    pictures_init();
    register_jpeg_decoder();
    register_jpeg_encoder();
    for (int square : {50, 33}) {
        SCOPED_TRACE(square);
        TempDir dir;
        const std::string folder = made_set(dir, square);
        int failed = 0, wrong = 0;
        std::string why;
        ASSERT_TRUE(chess::raster::piece_set_load(folder, failed)) << failed;
        EXPECT_TRUE(chess::raster::piece_set_check(wrong, why)) << wrong << ": " << why;

        replace_picture(folder, 30, square, square - 1);
        ASSERT_TRUE(chess::raster::piece_set_load(folder, failed)) << failed;
        EXPECT_FALSE(chess::raster::piece_set_check(wrong, why));
        EXPECT_EQ(wrong, 30);
        EXPECT_EQ(why, std::to_string(square) + " x " + std::to_string(square - 1) + " pixels, not " +
                           std::to_string(square) + " x " + std::to_string(square) +
                           " as picture 1 sets for a set of squares of " + std::to_string(square));

        replace_picture(folder, 30, square, square);
        replace_picture(folder, 28, square / 2, 8 * square + 1);
        ASSERT_TRUE(chess::raster::piece_set_load(folder, failed)) << failed;
        EXPECT_FALSE(chess::raster::piece_set_check(wrong, why));
        EXPECT_EQ(wrong, 28);
    }
    TempDir tiny;
    const std::string folder = tiny.folder();
    for (int n = 1; n <= 32; ++n) replace_picture(folder, n, 4, 4);
    int failed = 0, wrong = 0;
    std::string why;
    ASSERT_TRUE(chess::raster::piece_set_load(folder, failed)) << failed;
    EXPECT_FALSE(chess::raster::piece_set_check(wrong, why));
    EXPECT_EQ(wrong, 1);
    EXPECT_EQ(why, "4 x 4 pixels: a square needs at least 8 pixels");
    pictures_shutdown();
}
