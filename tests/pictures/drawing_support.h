// What the drawing tests share: a few colours, images filled directly (not
// through the code under test), what changed on them, and the fixture.
#pragma once

#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/support/pixels.h"
#include "toolkit/toolkit.h"

namespace drawing_tests {

inline const Rgb white{255, 255, 255}, black{0, 0, 0}, red{255, 0, 0};

// Refills an image in place: a session keeps drawing into the buffer it began on.
inline void fill(ImageHandle image, Rgb c, int alpha = 255) {
    gdk_pixbuf_fill(image, static_cast<guint32>(c.r) << 24 | c.g << 16 | c.b << 8 | alpha);
}

// A pixel buffer filled directly, not through the code under test.
inline ImageHandle make_image(ObjectId id, int width, int height, Rgb colour, int depth = 24, int alpha = 255) {
    image_create(id, width, height, depth);
    ImageHandle image = image_handle(id);
    fill(image, colour, alpha);
    return image;
}

inline void set_pixel(ImageHandle image, int x, int y, Rgb c, int alpha = 255) {
    guchar* p = gdk_pixbuf_get_pixels(image) + y * gdk_pixbuf_get_rowstride(image) +
                x * gdk_pixbuf_get_n_channels(image);
    p[0] = c.r, p[1] = c.g, p[2] = c.b;
    if (gdk_pixbuf_get_has_alpha(image)) p[3] = alpha;
}

inline Colour with_alpha(Rgb c, int alpha) {
    return colour_rgb(c.r, c.g, c.b) | static_cast<Colour>(alpha) << 24;
}

// The smallest rectangle holding every pixel that is not the background.
struct Area {
    int left = 0, top = 0, right = -1, bottom = -1;  // inclusive; empty when right < left
    int width() const { return right - left + 1; }
    int height() const { return bottom - top + 1; }
};
inline Area changed_area(ImageHandle image, Rgb background) {
    Area area{gdk_pixbuf_get_width(image), gdk_pixbuf_get_height(image), -1, -1};
    for (int y = 0; y < gdk_pixbuf_get_height(image); ++y) {
        for (int x = 0; x < gdk_pixbuf_get_width(image); ++x) {
            if (pixel_at(image, x, y) == background) continue;
            area.left = std::min(area.left, x), area.right = std::max(area.right, x);
            area.top = std::min(area.top, y), area.bottom = std::max(area.bottom, y);
        }
    }
    return area;
}

inline bool has_pixel(ImageHandle image, Rgb c) {
    for (int y = 0; y < gdk_pixbuf_get_height(image); ++y)
        for (int x = 0; x < gdk_pixbuf_get_width(image); ++x)
            if (pixel_at(image, x, y) == c) return true;
    return false;
}

class Drawing : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(toolkit_init(), 1);
        font_load(0, "DejaVu Sans", 18, 1);
        font_load(1, "DejaVu Sans", 8);
        font_load(2, "DejaVu Sans", 60);
    }
    void TearDown() override { toolkit_shutdown(); }

    // Starts a session on image id; every test ends it or lets shutdown do so.
    static void begin(ObjectId id) { ASSERT_NE(drawing_begin(image_target(id)), 0); }
};

}  // namespace drawing_tests
