// A comment kept with an image goes into its JPEG file as a COM segment and
// changes nothing else: the same pixels, the same size.
#include <gtest/gtest.h>

#include <gdk-pixbuf/gdk-pixbuf.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "core/jpeg_comments.h"
#include "tests/support/temp_dir.h"
#include "pictures/pictures.h"

namespace {

class ImageComment : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(std::getenv("DISPLAY"), nullptr) << "must run without a display";
        pictures_init();
        register_jpeg_decoder();
        register_jpeg_encoder();
        // Something worth encoding: a box and its edges.
        ASSERT_TRUE(image_create(1, 123, 77));
        ASSERT_TRUE(drawing_begin(image_target(1)));
        drawing_mode(GradientFill);
        draw_box(0, 0, 200, 200, 0xFFFFFF);
        drawing_mode(0);
        draw_box(10, 10, 50, 40, 0x2040C0);
        drawing_end();
    }
    void TearDown() override { pictures_shutdown(); }

    static std::vector<unsigned char> pixels_of(ObjectId id) {
        GdkPixbuf* p = image_handle(id);
        std::vector<unsigned char> out;
        const guchar* data = gdk_pixbuf_get_pixels(p);
        const int stride = gdk_pixbuf_get_rowstride(p), row = gdk_pixbuf_get_width(p) * gdk_pixbuf_get_n_channels(p);
        for (int y = 0; y < gdk_pixbuf_get_height(p); ++y) out.insert(out.end(), data + y * stride, data + y * stride + row);
        return out;
    }

    static std::vector<unsigned char> bytes_of(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }

    TempDir dir;
};

}  // namespace

TEST_F(ImageComment, WrittenAsACommentSegmentWithIdenticalPixels) {
    const std::string plain = dir.file("plain.jpg"), noted = dir.file("noted.jpg");
    ASSERT_TRUE(image_save(1, plain, FormatJPEG));
    const std::string text = "chess-diagram/1\ncaption=Мат в 2 хода\n";
    ASSERT_TRUE(image_set_comment(1, text));
    EXPECT_EQ(image_comment(1), text);
    ASSERT_TRUE(image_save(1, noted, FormatJPEG));

    chess::JpegComments none = chess::jpeg_file_comments(plain);
    ASSERT_TRUE(none.ok) << none.error;
    EXPECT_TRUE(none.comments.empty());
    chess::JpegComments found = chess::jpeg_file_comments(noted);
    ASSERT_TRUE(found.ok) << found.error;
    ASSERT_EQ(found.comments, std::vector<std::string>{text});

    // The files differ by the segment alone: 4 bytes of marker and length.
    EXPECT_EQ(bytes_of(noted).size(), bytes_of(plain).size() + text.size() + 4);
    ASSERT_TRUE(image_load(2, plain));
    ASSERT_TRUE(image_load(3, noted));
    EXPECT_EQ(image_width(3), 123);
    EXPECT_EQ(image_height(3), 77);
    EXPECT_EQ(pixels_of(2), pixels_of(3));
}

TEST_F(ImageComment, DroppedWhenTheIdIsMadeAnewAndRefusedWhenTooLong) {
    ASSERT_TRUE(image_set_comment(1, "one"));
    EXPECT_FALSE(image_set_comment(1, std::string(65534, 'a')));
    EXPECT_EQ(image_comment(1), "one");
    EXPECT_TRUE(image_set_comment(1, std::string(65533, 'a')));
    const std::string path = dir.file("long.jpg");
    ASSERT_TRUE(image_save(1, path, FormatJPEG));
    chess::JpegComments found = chess::jpeg_file_comments(path);
    ASSERT_EQ(found.comments.size(), 1u);
    EXPECT_EQ(found.comments[0].size(), 65533u);

    ASSERT_TRUE(image_create(1, 10, 10));
    EXPECT_EQ(image_comment(1), "");
    ASSERT_TRUE(image_save(1, path, FormatJPEG));
    EXPECT_TRUE(chess::jpeg_file_comments(path).comments.empty());
    EXPECT_FALSE(image_set_comment(42, "no image"));
}

TEST_F(ImageComment, SeveralSegmentsInOrderAndASetReplacesThemAll) {
    ASSERT_TRUE(image_set_comment(1, "first"));
    ASSERT_TRUE(image_add_comment(1, "second"));
    EXPECT_FALSE(image_add_comment(1, ""));
    EXPECT_FALSE(image_add_comment(1, std::string(65534, 'a')));
    EXPECT_EQ(image_comment(1), "first");
    const std::string path = dir.file("page.jpg");
    ASSERT_TRUE(image_save(1, path, FormatJPEG));
    EXPECT_EQ(chess::jpeg_file_comments(path).comments, (std::vector<std::string>{"first", "second"}));

    ASSERT_TRUE(image_set_comment(1, std::string()));
    ASSERT_TRUE(image_add_comment(1, "alone"));
    ASSERT_TRUE(image_save(1, path, FormatJPEG));
    EXPECT_EQ(chess::jpeg_file_comments(path).comments, std::vector<std::string>{"alone"});
}
