// Pictures, text on them and JPEG files without any display: what a program
// that opens no window relies on.
#include <gtest/gtest.h>

#include <gdk-pixbuf/gdk-pixbuf.h>

#include <cstdlib>

#include "tests/support/temp_dir.h"
#include "pictures/pictures.h"

namespace {

class Pictures : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(std::getenv("DISPLAY"), nullptr) << "must run without a display";
        pictures_init();
        register_jpeg_decoder();
        register_jpeg_encoder();
    }
    void TearDown() override { pictures_shutdown(); }

    // Pixels darker than mid-grey in a rectangle.
    static int dark_pixels(ObjectId id, int x0, int y0, int width, int height) {
        GdkPixbuf* p = image_handle(id);
        const guchar* pixels = gdk_pixbuf_get_pixels(p);
        const int stride = gdk_pixbuf_get_rowstride(p), n = gdk_pixbuf_get_n_channels(p);
        int dark = 0;
        for (int y = y0; y < y0 + height; ++y)
            for (int x = x0; x < x0 + width; ++x) dark += pixels[y * stride + x * n] < 128;
        return dark;
    }

    static void draw_caption(ObjectId id, const std::string& text) {
        ASSERT_TRUE(image_create(id, 300, 40));
        ASSERT_TRUE(drawing_begin(image_target(id)));
        drawing_mode(GradientFill);
        draw_box(0, 0, 400, 50, 0xFFFFFF);
        drawing_mode(0);
        drawing_font(font_handle(0));
        draw_text(10, 2, text, 0, 0xFFFFFF);
        drawing_end();
    }
};

TEST_F(Pictures, TextIsDrawnWithoutADisplay) {
    ASSERT_TRUE(font_load(0, "", 15));
    draw_caption(1, "Мат в 2 хода");
    ASSERT_TRUE(drawing_begin(image_target(1)));
    drawing_font(font_handle(0));
    const int width = text_width("Мат в 2 хода");
    drawing_end();
    EXPECT_GT(width, 60);
    EXPECT_LT(width, 200);
    // Ink inside the text box, none beyond it.
    EXPECT_GT(dark_pixels(1, 10, 2, width, 30), 40);
    EXPECT_EQ(dark_pixels(1, 10 + width + 2, 0, 300 - width - 12, 40), 0);
    // The same text twice gives the same pixels.
    draw_caption(2, "Мат в 2 хода");
    GdkPixbuf *a = image_handle(1), *b = image_handle(2);
    EXPECT_EQ(0, memcmp(gdk_pixbuf_get_pixels(a), gdk_pixbuf_get_pixels(b),
                        static_cast<std::size_t>(gdk_pixbuf_get_rowstride(a)) * 40));
}

TEST_F(Pictures, JpegRoundTripWithoutADisplay) {
    TempDir dir;
    ASSERT_TRUE(font_load(0, "", 15));
    draw_caption(1, "Этюд");
    const std::string path = dir.file("caption.jpg");
    ASSERT_EQ(image_save(1, path, FormatJPEG), 1);
    ASSERT_TRUE(image_load(3, path));
    EXPECT_EQ(image_width(3), 300);
    EXPECT_EQ(image_height(3), 40);
    EXPECT_GT(dark_pixels(3, 0, 0, 300, 40), 20);
}

}  // namespace
