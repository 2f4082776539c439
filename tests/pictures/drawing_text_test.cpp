// Text drawn on images: its box, its strip, clipping and modes, and that
// it looks as the display draws it.
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gdk/gdk.h>
#include <gtest/gtest.h>

#include <string>

#include "tests/pictures/drawing_support.h"
#include "toolkit/toolkit.h"

namespace {

using namespace drawing_tests;

// The text's logical size measured independently with a layout of our own.
void pango_size(FontHandle font, const std::string& text, int& width, int& height) {
    PangoContext* context = gdk_pango_context_get();
    PangoLayout* layout = pango_layout_new(context);
    pango_layout_set_font_description(layout, font);
    pango_layout_set_text(layout, text.c_str(), -1);
    pango_layout_get_size(layout, &width, &height);
    width /= PANGO_SCALE, height /= PANGO_SCALE;
    g_object_unref(layout);
    g_object_unref(context);
}

TEST_F(Drawing, EmptyTextDrawsNothing) {
    ImageHandle image = make_image(1, 40, 40, red);
    begin(1);
    drawing_font(font_handle(0));
    EXPECT_EQ(draw_text(10, 10, "", 0, colour_rgb(255, 255, 255)), 10);
    EXPECT_EQ(text_width(""), 0);
    EXPECT_TRUE(region_is(image, 0, 0, 40, 40, red));
}

TEST_F(Drawing, TextPaintsItsBoxInTheBackColourWithGlyphsInTheFrontColour) {
    ImageHandle image = make_image(1, 300, 100, red);
    int w = 0, h = 0;
    pango_size(font_handle(0), "Hg Tx", w, h);
    ASSERT_GT(w, 20);

    begin(1);
    drawing_mode(Outline);
    drawing_font(font_handle(0));
    EXPECT_EQ(text_width("Hg Tx"), w);
    EXPECT_EQ(draw_text(30, 20, "Hg Tx", 0, colour_rgb(255, 255, 255)), 30 + w);
    drawing_end();

    Area area = changed_area(image, red);
    EXPECT_EQ(area.left, 30);
    EXPECT_EQ(area.top, 20);
    EXPECT_EQ(area.width(), w);
    EXPECT_EQ(area.height(), h);
    EXPECT_TRUE(region_is(image, 30, 20, w, 1, white)) << "zero coverage is the back colour";
    EXPECT_TRUE(has_pixel(image, black)) << "full coverage is the front colour";
    for (int y = 20; y < 20 + h; ++y)
        for (int x = 30; x < 30 + w; ++x) ASSERT_NE(pixel_at(image, x, y), red) << "box not covered at " << x << ", " << y;
}

TEST_F(Drawing, TextTallerThanItsStripIsCutButKeepsItsWidth) {
    const std::string lines = "W\nW\nW\nW\nW\nW";
    int w = 0, h = 0;
    pango_size(font_handle(1), lines, w, h);
    int hg_w = 0, hg_h = 0;
    pango_size(font_handle(1), "Hg", hg_w, hg_h);
    ASSERT_GT(h, std::max(50, hg_h + 20)) << "the text must be taller than the smallest strip";

    ImageHandle image = make_image(1, 100, 200, red);
    begin(1);
    drawing_font(font_handle(1));
    EXPECT_EQ(draw_text(5, 5, lines, 0, colour_rgb(255, 255, 255)), 5 + w);
    EXPECT_EQ(changed_area(image, red).height(), std::max(50, hg_h + 20));

    // A larger font grows the strip, and it does not shrink again.
    int big_w = 0, big_h = 0;
    pango_size(font_handle(2), "Hg", big_w, big_h);
    ASSERT_GT(big_h + 20, h);
    drawing_font(font_handle(2));
    drawing_font(font_handle(1));
    fill(image, red);
    EXPECT_EQ(draw_text(5, 5, lines, 0, colour_rgb(255, 255, 255)), 5 + w);
    EXPECT_EQ(changed_area(image, red).height(), h);
}

// Text in a picture is drawn on our side of the display connection; it must
// come out as the display itself draws the same layout (same hinting and
// antialiasing), or saved diagrams would not match what the windows show.
TEST_F(Drawing, TextInAPictureLooksAsTheDisplayDrawsIt) {
    font_load(3, "DejaVu Serif", 15, 2);
    const std::string text = "Мат в 2 хода — Hg 12";
    for (ObjectId font : {0, 1, 3}) {
        SCOPED_TRACE("font " + std::to_string(font));
        int w = 0, h = 0;
        pango_size(font_handle(font), text, w, h);
        ASSERT_GT(w, 0);
        ASSERT_LT(h, 50);

        // The display's own drawing: white glyphs on black in an X pixmap.
        GdkScreen* screen = gdk_screen_get_default();
        GdkPixmap* pixmap = gdk_pixmap_new(gdk_screen_get_root_window(screen), w, h,
                                           gdk_visual_get_depth(gdk_screen_get_system_visual(screen)));
        gdk_drawable_set_colormap(pixmap, gdk_screen_get_system_colormap(screen));
        GdkGC* gc = gdk_gc_new(pixmap);
        GdkColor on{0, 0xFF00, 0xFF00, 0xFF00}, off{0, 0, 0, 0};
        gdk_gc_set_rgb_fg_color(gc, &off);
        gdk_draw_rectangle(pixmap, gc, TRUE, 0, 0, w, h);
        PangoContext* context = gdk_pango_context_get_for_screen(screen);
        PangoLayout* layout = pango_layout_new(context);
        pango_layout_set_font_description(layout, font_handle(font));
        pango_layout_set_text(layout, text.c_str(), -1);
        gdk_draw_layout_with_colors(pixmap, gc, 0, 0, layout, &on, &off);
        GdkPixbuf* display = gdk_pixbuf_get_from_drawable(nullptr, pixmap, nullptr, 0, 0, 0, 0, w, h);
        g_object_unref(layout);
        g_object_unref(context);
        g_object_unref(gc);
        g_object_unref(pixmap);
        ASSERT_NE(display, nullptr);

        make_image(1, w, h, red);
        begin(1);
        drawing_font(font_handle(font));
        EXPECT_EQ(draw_text(0, 0, text, colour_rgb(255, 255, 255), 0), w);
        drawing_end();
        EXPECT_EQ(max_difference(image_handle(1), display), 0);
        g_object_unref(display);
    }
}

TEST_F(Drawing, TextLeftOfTheImageIsCutAtColumnZero) {
    ImageHandle whole = make_image(1, 200, 60, red);
    ImageHandle cut = make_image(2, 200, 60, red);
    int w = 0, h = 0;
    pango_size(font_handle(0), "Hg Tx", w, h);

    begin(1);
    drawing_font(font_handle(0));
    draw_text(20, 5, "Hg Tx", 0, colour_rgb(255, 255, 255));
    begin(2);
    drawing_font(font_handle(0));
    EXPECT_EQ(draw_text(-12, 5, "Hg Tx", 0, colour_rgb(255, 255, 255)), w - 12);
    drawing_end();
    Area area = changed_area(cut, red);
    EXPECT_EQ(area.left, 0);
    EXPECT_EQ(area.right, w - 13);
    EXPECT_EQ(max_difference(cut, 0, 0, whole, 12 + 20, 0, w - 12, 60), 0);
}

TEST_F(Drawing, TextModes) {
    const std::string text = "Hg Tx";
    int w = 0, h = 0;
    pango_size(font_handle(0), text, w, h);
    ImageHandle image = make_image(1, 200, 60, red);
    GdkPixbuf* before = gdk_pixbuf_copy(image);
    begin(1);
    drawing_font(font_handle(0));

    // Without background the red shows through wherever there is no glyph.
    drawing_mode(TextNoBackground);
    EXPECT_EQ(draw_text(10, 10, text, colour_rgb(0, 0, 0), colour_rgb(255, 255, 255)), 10 + w);
    EXPECT_TRUE(has_pixel(image, black));
    EXPECT_LE(changed_area(image, red).height(), h);
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 200; ++x) ASSERT_EQ(pixel_at(image, x, y).g, 0) << x << ", " << y;

    // XOR text, twice, restores the picture; once, it flips the whole box.
    gdk_pixbuf_copy_area(before, 0, 0, 200, 60, image, 0, 0);
    drawing_mode(XorColour);
    draw_text(10, 10, text, colour_rgb(255, 255, 255), colour_rgb(0, 255, 0));
    EXPECT_EQ(pixel_at(image, 10, 10), (Rgb{255, 255, 0}));
    EXPECT_TRUE(has_pixel(image, Rgb{0, 255, 255}));
    draw_text(10, 10, text, colour_rgb(255, 255, 255), colour_rgb(0, 255, 0));
    EXPECT_EQ(max_difference(image, before), 0);

    // The gradient gives white glyphs whatever the front colour.
    drawing_mode(GradientFill);
    draw_text(10, 10, text, colour_rgb(0, 0, 255), colour_rgb(0, 0, 0));
    EXPECT_EQ(pixel_at(image, 10, 10), black);
    EXPECT_TRUE(has_pixel(image, white));
    EXPECT_FALSE(has_pixel(image, Rgb{0, 0, 255}));

    // Blending at alpha 0 and the built-in callback change nothing.
    gdk_pixbuf_copy_area(before, 0, 0, 200, 60, image, 0, 0);
    for (unsigned mode : std::vector<unsigned>{BlendColour, BlendKeepAlpha | TextNoBackground, PixelCallback, AlphaOnly}) {
        drawing_mode(mode);
        EXPECT_EQ(draw_text(10, 10, text, colour_rgb(0, 0, 0), colour_rgb(255, 255, 255)), 10 + w);
        EXPECT_EQ(max_difference(image, before), 0) << mode;
    }
    // Blending at full alpha is the plain drawing.
    drawing_mode(BlendColour);
    draw_text(10, 10, text, with_alpha(black, 255), with_alpha(white, 255));
    GdkPixbuf* blended = gdk_pixbuf_copy(image);
    gdk_pixbuf_copy_area(before, 0, 0, 200, 60, image, 0, 0);
    drawing_mode(0);
    draw_text(10, 10, text, with_alpha(black, 255), with_alpha(white, 255));
    EXPECT_EQ(max_difference(image, blended), 0);
    g_object_unref(blended);
    g_object_unref(before);
}

TEST_F(Drawing, TextOnRgbaImagesKeepsTheirAlpha) {
    ImageHandle image = make_image(1, 120, 40, black, 32 + ImageTransparent, 0);
    begin(1);
    drawing_font(font_handle(0));
    int end = draw_text(0, 0, "Hg", 0, colour_rgb(255, 255, 255));
    EXPECT_GT(end, 0);
    EXPECT_EQ(pixel_at(image, 0, 0), white);
    EXPECT_EQ(alpha_at(image, 0, 0), 0);
    drawing_mode(WriteAlpha);
    draw_text(0, 0, "Hg", with_alpha(black, 255), with_alpha(white, 255));
    EXPECT_EQ(alpha_at(image, 0, 0), 255);
}

}  // namespace
