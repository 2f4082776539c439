// Drawing sessions and what they forward to their target, boxes in every
// mode, pictures drawn on images.
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pictures/internal.h"
#include "tests/pictures/drawing_support.h"
#include "toolkit/toolkit.h"

namespace {

using namespace drawing_tests;

// --- the session layer, seen through a target that records its calls ---

struct Recorder : DrawingTarget {
    Recorder(std::vector<std::string>& log, bool begins) : log(log), begins(begins) {}
    ~Recorder() override { log.push_back("deleted"); }
    void set_back_colour(Colour c) override { log.push_back("back " + std::to_string(c)); }
    void box(int, int, int, int) override { log.push_back("box"); }
    void set_font(FontHandle) override { log.push_back("font"); }
    void set_mode(unsigned m) override { log.push_back("mode " + std::to_string(m) + " " + std::to_string(mode)); }
    void draw_image(ImageHandle, int, int) override { log.push_back("image"); }
    int draw_text(int x, int, const std::string& text) override {
        log.push_back("text");
        return x + static_cast<int>(text.size());
    }
    void set_front_colour(Colour c) override { log.push_back("front " + std::to_string(c)); }
    bool begin() override {
        log.push_back("begin");
        return begins;
    }
    void end() override { log.push_back("end"); }
    int text_width(const std::string& text) override { return static_cast<int>(text.size()); }

    std::vector<std::string>& log;
    bool begins;
};

using Log = std::vector<std::string>;

TEST_F(Drawing, OperationsReachTheTargetOnlyInsideABegunSessionAndSkipUnchangedColours) {
    Log log;
    auto* target = new Recorder(log, true);
    tk::drawing_set_current(target);
    draw_box(0, 0, 1, 1, 5);
    EXPECT_EQ(draw_text(3, 0, "ab", 1, 2), 0) << "not begun yet";
    EXPECT_TRUE(log.empty());

    EXPECT_EQ(drawing_begin(target), 1);
    draw_box(0, 0, 1, 1, 0);  // the cache starts at 0
    draw_box(0, 0, 1, 1, 5);
    draw_box(0, 0, 1, 1, 5);
    EXPECT_EQ(draw_text(3, 0, "ab", 5, 7), 5);
    EXPECT_EQ(draw_text(3, 0, "ab", 6, 7), 5);
    drawing_mode(4);
    EXPECT_EQ(text_width("abc"), 3);
    drawing_end();
    EXPECT_EQ(log, (Log{"begin", "box", "front 5", "box", "box", "back 7", "text", "front 6", "text", "mode 4 4",
                        "end", "deleted"}));
    EXPECT_EQ(tk::drawing_current(), nullptr);

    log.clear();
    draw_box(0, 0, 1, 1, 9);
    drawing_end();
    EXPECT_EQ(text_width("abc"), 0);
    EXPECT_TRUE(log.empty()) << "nothing without a session";
}

TEST_F(Drawing, FailedBeginsAndReplacedTargetsAreFreed) {
    Log log;
    auto* failing = new Recorder(log, false);
    tk::drawing_set_current(failing);
    EXPECT_EQ(drawing_begin(failing), 0);
    EXPECT_EQ(log, (Log{"begin", "deleted"})) << "no end after a failed begin";
    EXPECT_EQ(tk::drawing_current(), nullptr);

    log.clear();
    auto* first = new Recorder(log, true);
    tk::drawing_set_current(first);
    ASSERT_EQ(drawing_begin(first), 1);
    auto* unbegun = new Recorder(log, true);
    tk::drawing_set_current(unbegun);
    EXPECT_EQ(log, (Log{"begin", "end", "deleted"})) << "a session still current is ended first";
    EXPECT_EQ(drawing_begin(first), 0) << "a replaced target cannot begin";
    EXPECT_EQ(log.back(), "deleted") << "nor does the current one survive that";
    EXPECT_EQ(tk::drawing_current(), nullptr);
    EXPECT_EQ(drawing_begin(nullptr), 0);
}

TEST_F(Drawing, ImageTargetOfAMissingImageEndsTheSessionAndGivesZero) {
    ImageHandle image = make_image(1, 4, 4, black);
    begin(1);
    EXPECT_EQ(image_target(7), nullptr);
    EXPECT_EQ(drawing_begin(nullptr), 0);
    draw_box(0, 0, 4, 4, colour_rgb(255, 255, 255));
    EXPECT_TRUE(region_is(image, 0, 0, 4, 4, black)) << "the earlier session must not draw any more";
}

TEST_F(Drawing, ColourRgbDoesNotMaskItsComponents) {
    EXPECT_EQ(colour_rgb(255, 255, 255), 0xFFFFFFu);
    EXPECT_EQ(colour_rgb(0, 0, 0), 0u);
    EXPECT_EQ(colour_rgb(1, 2, 3), 0x030201u);
    EXPECT_EQ(colour_rgb(256, 0, 0), 0x100u);
}

// --- boxes ---

TEST_F(Drawing, GradientFillPaintsEveryPixelWhiteWhateverTheColour) {
    ImageHandle image = make_image(1, 20, 15, black);
    begin(1);
    drawing_mode(GradientFill);
    draw_box(0, 0, 30, 25, colour_rgb(0, 0, 0));
    EXPECT_TRUE(region_is(image, 0, 0, 20, 15, white));

    // With alpha: the default rule leaves alpha alone, WriteAlpha writes the gradient's opaque alpha.
    ImageHandle rgba = make_image(2, 6, 6, black, 32 + ImageTransparent, 0);
    begin(2);
    drawing_mode(GradientFill);
    draw_box(0, 0, 3, 6, 0);
    drawing_mode(GradientFill | WriteAlpha);
    draw_box(3, 0, 3, 6, 0);
    drawing_end();
    EXPECT_TRUE(region_is(rgba, 0, 0, 6, 6, white));
    EXPECT_EQ(alpha_at(rgba, 0, 0), 0);
    EXPECT_EQ(alpha_at(rgba, 5, 5), 255);
}

// Runs of one colour are stored whole rows at a time: every width must come
// out exact and end where it should, with RGB and with RGBA and its alpha.
TEST_F(Drawing, BoxesOfEveryWidthStoreTheirColourExactly) {
    const Rgb grey{90, 90, 90}, colour{1, 2, 3};
    constexpr int widths = 70;
    ImageHandle rgb = make_image(1, widths + 6, widths, grey);
    ImageHandle rgba = make_image(2, widths + 6, widths, grey, 32, 40);
    begin(1);
    for (int w = 1; w <= widths; ++w) draw_box(3, w - 1, w, 1, colour_rgb(1, 2, 3));
    begin(2);
    drawing_mode(WriteAlpha);
    for (int w = 1; w <= widths; ++w) draw_box(3, w - 1, w, 1, with_alpha(colour, 200));
    drawing_end();
    for (int w = 1; w <= widths; ++w) {
        const int y = w - 1;
        EXPECT_TRUE(region_is(rgb, 3, y, w, 1, colour)) << "width " << w;
        EXPECT_TRUE(region_is(rgba, 3, y, w, 1, colour)) << "width " << w;
        for (ImageHandle image : {rgb, rgba}) {
            EXPECT_EQ(pixel_at(image, 2, y), grey) << "width " << w;
            EXPECT_EQ(pixel_at(image, 3 + w, y), grey) << "width " << w;
        }
        EXPECT_EQ(alpha_at(rgba, 3, y), 200);
        EXPECT_EQ(alpha_at(rgba, 2 + w, y), 200);
        EXPECT_EQ(alpha_at(rgba, 3 + w, y), 40);
    }
}

TEST_F(Drawing, OutlineDrawsOnlyTheBorder) {
    ImageHandle image = make_image(1, 12, 6, white);
    begin(1);
    drawing_mode(Outline);
    draw_box(0, 0, 9, 3, 0);
    for (int y = 0; y < 6; ++y) {
        for (int x = 0; x < 12; ++x) {
            bool border = x <= 8 && y <= 2 && (y == 0 || y == 2 || x == 0 || x == 8);
            EXPECT_EQ(pixel_at(image, x, y), border ? black : white) << x << ", " << y;
        }
    }
}

TEST_F(Drawing, NegativeSizesTurnTheBoxRoundAndClippedBoxesStayInside) {
    ImageHandle image = make_image(1, 8, 8, white);
    begin(1);
    draw_box(5, 5, -3, -2, 0);
    Area area = changed_area(image, white);
    EXPECT_EQ((std::vector{area.left, area.top, area.right, area.bottom}), (std::vector{2, 3, 4, 4}));
    EXPECT_TRUE(region_is(image, 2, 3, 3, 2, black));

    fill(image, white);
    draw_box(-10, -10, 10, 10, 0);
    draw_box(8, 0, 5, 5, 0);
    draw_box(0, 8, 5, 5, 0);
    draw_box(2, 2, 0, 4, 0);
    draw_box(2, 2, 4, 0, 0);
    draw_box(-2147483647, -2147483647, -5, -5, 0);
    drawing_mode(Outline);
    draw_box(-20, -20, 10, 10, 0);
    draw_box(2, 2, 0, 4, 0);
    EXPECT_TRUE(region_is(image, 0, 0, 8, 8, white)) << "boxes outside, or empty, change nothing";

    // An outline larger than the image shows only the sides that fall inside it.
    draw_box(-1, 1, 20, 4, 0);
    EXPECT_TRUE(region_is(image, 0, 1, 8, 1, black));
    EXPECT_TRUE(region_is(image, 0, 4, 8, 1, black));
    EXPECT_TRUE(region_is(image, 0, 2, 8, 2, white));
}

TEST_F(Drawing, XorTwiceRestoresAndAOnePixelHighOutlineCancelsItself) {
    ImageHandle image = make_image(1, 10, 10, Rgb{10, 200, 77});
    set_pixel(image, 3, 3, Rgb{1, 2, 3});
    GdkPixbuf* before = gdk_pixbuf_copy(image);
    begin(1);
    drawing_mode(XorColour);
    draw_box(1, 1, 6, 6, colour_rgb(255, 15, 128));
    EXPECT_EQ(pixel_at(image, 3, 3), (Rgb{254, 13, 131}));
    EXPECT_EQ(pixel_at(image, 0, 0), (Rgb{10, 200, 77}));
    draw_box(1, 1, 6, 6, colour_rgb(255, 15, 128));
    EXPECT_EQ(max_difference(image, before), 0);

    drawing_mode(XorColour | Outline);
    draw_box(0, 5, 10, 1, colour_rgb(255, 255, 255));
    EXPECT_EQ(max_difference(image, before), 0) << "the single row is drawn twice";
    g_object_unref(before);
}

TEST_F(Drawing, BlendingOnRgbImages) {
    ImageHandle image = make_image(1, 3, 1, Rgb{100, 150, 200});
    const Rgb k{255, 0, 50};
    auto blended = [](int c, int kc, int a) { return (c * (255 - a) + kc * a) / 255; };
    begin(1);
    for (unsigned mode : {BlendColour, BlendKeepAlpha}) {
        fill(image, Rgb{100, 150, 200});
        drawing_mode(mode);
        draw_box(0, 0, 1, 1, with_alpha(k, 0));
        draw_box(1, 0, 1, 1, with_alpha(k, 128));
        draw_box(2, 0, 1, 1, with_alpha(k, 255));
        EXPECT_EQ(pixel_at(image, 0, 0), (Rgb{100, 150, 200}));
        EXPECT_EQ(pixel_at(image, 1, 0), (Rgb{blended(100, 255, 128), blended(150, 0, 128), blended(200, 50, 128)}));
        EXPECT_EQ(pixel_at(image, 2, 0), k);
    }
    // XorColour, PixelCallback and WriteAlpha each switch blending off.
    fill(image, Rgb{100, 150, 200});
    drawing_mode(BlendColour | WriteAlpha);
    draw_box(0, 0, 1, 1, with_alpha(k, 0));
    drawing_mode(BlendColour | PixelCallback);
    draw_box(1, 0, 1, 1, with_alpha(k, 128));
    drawing_mode(BlendColour | XorColour);
    draw_box(2, 0, 1, 1, with_alpha(Rgb{255, 255, 255}, 128));
    EXPECT_EQ(pixel_at(image, 0, 0), k);
    EXPECT_EQ(pixel_at(image, 1, 0), (Rgb{100, 150, 200}));
    EXPECT_EQ(pixel_at(image, 2, 0), (Rgb{155, 105, 55}));
}

TEST_F(Drawing, BlendingOverTheAlphaOfRgbaImages) {
    const Rgb k{200, 100, 0};
    const Rgb c{50, 150, 250};
    ImageHandle image = make_image(1, 4, 1, c, 32, 128);
    set_pixel(image, 3, 0, c, 0);
    begin(1);
    drawing_mode(BlendColour);
    draw_box(0, 0, 1, 1, with_alpha(k, 0));
    draw_box(1, 0, 1, 1, with_alpha(k, 128));
    draw_box(2, 0, 1, 1, with_alpha(k, 255));
    draw_box(3, 0, 1, 1, with_alpha(k, 128));
    auto over = [](int cc, int kc, int A, int a) { return (kc * A * 255 + cc * a * (255 - A)) / (A * 255 + a * (255 - A)); };
    EXPECT_EQ(pixel_at(image, 0, 0), c);
    EXPECT_EQ(alpha_at(image, 0, 0), 128);
    EXPECT_EQ(pixel_at(image, 1, 0), (Rgb{over(50, 200, 128, 128), over(150, 100, 128, 128), over(250, 0, 128, 128)}));
    EXPECT_EQ(alpha_at(image, 1, 0), (128 * 255 + 128 * 127) / 255);
    EXPECT_EQ(pixel_at(image, 2, 0), k);
    EXPECT_EQ(alpha_at(image, 2, 0), 255);
    EXPECT_EQ(pixel_at(image, 3, 0), k) << "a transparent pixel takes the colour";
    EXPECT_EQ(alpha_at(image, 3, 0), 128);

    image = make_image(2, 2, 1, c, 32, 128);
    begin(2);
    drawing_mode(BlendKeepAlpha);
    draw_box(0, 0, 1, 1, with_alpha(k, 128));
    draw_box(1, 0, 1, 1, with_alpha(k, 255));
    EXPECT_EQ(pixel_at(image, 0, 0), (Rgb{over(50, 200, 128, 128), over(150, 100, 128, 128), over(250, 0, 128, 128)}));
    EXPECT_EQ(alpha_at(image, 0, 0), 128);
    EXPECT_EQ(pixel_at(image, 1, 0), k);
    EXPECT_EQ(alpha_at(image, 1, 0), 128);
}

TEST_F(Drawing, AlphaBitsAndTheBuiltInCallback) {
    ImageHandle rgb = make_image(1, 2, 2, Rgb{9, 8, 7});
    ImageHandle rgba = make_image(2, 4, 1, Rgb{9, 8, 7}, 32, 40);
    const Colour colour = with_alpha(Rgb{1, 2, 3}, 200);

    begin(1);
    for (unsigned mode : std::vector<unsigned>{AlphaOnly, PixelCallback, PixelCallback | GradientFill}) {
        drawing_mode(mode);
        draw_box(0, 0, 2, 2, colour);
        EXPECT_TRUE(region_is(rgb, 0, 0, 2, 2, Rgb{9, 8, 7})) << mode;
    }
    drawing_mode(WriteAlpha);
    draw_box(0, 0, 1, 1, colour);
    EXPECT_EQ(pixel_at(rgb, 0, 0), (Rgb{1, 2, 3})) << "on RGB WriteAlpha writes as the default";

    begin(2);
    drawing_mode(AlphaOnly);
    draw_box(0, 0, 1, 1, colour);
    drawing_mode(WriteAlpha | AlphaOnly | BlendColour);
    draw_box(1, 0, 1, 1, colour);
    drawing_mode(0);
    draw_box(2, 0, 1, 1, colour);
    drawing_mode(PixelCallback);
    draw_box(3, 0, 1, 1, colour);
    EXPECT_EQ(pixel_at(rgba, 0, 0), (Rgb{9, 8, 7}));
    EXPECT_EQ(alpha_at(rgba, 0, 0), 200);
    EXPECT_EQ(pixel_at(rgba, 1, 0), (Rgb{1, 2, 3}));
    EXPECT_EQ(alpha_at(rgba, 1, 0), 200);
    EXPECT_EQ(pixel_at(rgba, 2, 0), (Rgb{1, 2, 3}));
    EXPECT_EQ(alpha_at(rgba, 2, 0), 40) << "the default leaves alpha alone";
    EXPECT_EQ(pixel_at(rgba, 3, 0), (Rgb{9, 8, 7}));
    EXPECT_EQ(alpha_at(rgba, 3, 0), 40);
}

// --- pictures ---

TEST_F(Drawing, PicturesAreClippedOnEverySide) {
    ImageHandle target = make_image(1, 10, 8, white);
    ImageHandle picture = make_image(2, 12, 12, black);
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 12; ++x) set_pixel(picture, x, y, Rgb{x * 20, y * 20, 7});

    begin(1);
    draw_image(nullptr, 0, 0);
    EXPECT_TRUE(region_is(target, 0, 0, 10, 8, white));

    draw_image(picture, 3, 2);
    EXPECT_TRUE(region_is(target, 0, 0, 10, 2, white));
    EXPECT_TRUE(region_is(target, 0, 0, 3, 8, white));
    EXPECT_EQ(max_difference(target, 3, 2, picture, 0, 0, 7, 6), 0) << "cut at the right and bottom";

    draw_image(picture, -4, -5);
    EXPECT_EQ(max_difference(target, 0, 0, picture, 4, 5, 8, 7), 0) << "left and top cut off";
    EXPECT_EQ(pixel_at(target, 0, 6), (Rgb{80, 220, 7}));
    EXPECT_EQ(pixel_at(target, 0, 7), white);

    fill(target, white);
    draw_image(picture, 10, 0);
    draw_image(picture, 0, -12);
    draw_image(picture, 2147483647, 2147483647);
    EXPECT_TRUE(region_is(target, 0, 0, 10, 8, white));
}

TEST_F(Drawing, PictureModes) {
    ImageHandle target = make_image(1, 4, 1, Rgb{100, 100, 100});
    ImageHandle rgb = make_image(2, 4, 1, Rgb{255, 15, 0});
    ImageHandle rgba = make_image(3, 4, 1, Rgb{200, 0, 50}, 32, 128);
    GdkPixbuf* before = gdk_pixbuf_copy(target);
    begin(1);

    drawing_mode(XorColour);
    draw_image(rgb, 0, 0);
    EXPECT_EQ(pixel_at(target, 0, 0), (Rgb{155, 107, 100}));
    draw_image(rgb, 0, 0);
    EXPECT_EQ(max_difference(target, before), 0);

    for (unsigned mode : {AlphaOnly, PixelCallback}) {
        drawing_mode(mode);
        draw_image(rgb, 0, 0);
        EXPECT_EQ(max_difference(target, before), 0) << mode;
    }
    drawing_mode(Outline | BlendColour | GradientFill);
    draw_image(rgb, 0, 0);
    EXPECT_EQ(pixel_at(target, 0, 0), (Rgb{255, 15, 0})) << "an RGB picture is always opaque";

    drawing_mode(0);
    draw_image(rgba, 0, 0);
    EXPECT_EQ(pixel_at(target, 0, 0), (Rgb{200, 0, 50})) << "alpha ignored by the default";
    fill(target, Rgb{100, 100, 100});
    drawing_mode(BlendKeepAlpha);
    draw_image(rgba, 0, 0);
    EXPECT_EQ(pixel_at(target, 0, 0), (Rgb{(200 * 128 + 100 * 127) / 255, 100 * 127 / 255, (50 * 128 + 100 * 127) / 255}));

    // Onto an RGBA target the picture follows the box rules.
    ImageHandle transparent = make_image(4, 2, 1, black, 32 + ImageTransparent, 0);
    begin(4);
    draw_image(rgb, 0, 0);
    EXPECT_EQ(pixel_at(transparent, 0, 0), (Rgb{255, 15, 0}));
    EXPECT_EQ(alpha_at(transparent, 0, 0), 0);
    drawing_mode(WriteAlpha);
    draw_image(rgba, 0, 0);
    EXPECT_EQ(pixel_at(transparent, 1, 0), (Rgb{200, 0, 50}));
    EXPECT_EQ(alpha_at(transparent, 1, 0), 128);
    g_object_unref(before);
}

TEST_F(Drawing, PictureDrawnOntoItselfShiftsCleanly) {
    ImageHandle image = make_image(1, 6, 1, black);
    for (int x = 0; x < 6; ++x) set_pixel(image, x, 0, Rgb{x, 0, 0});
    begin(1);
    draw_image(image, 2, 0);
    for (int x = 0; x < 6; ++x) EXPECT_EQ(pixel_at(image, x, 0).r, x < 2 ? x : x - 2);
}

TEST_F(Drawing, ASessionOutlivesItsImageSafely) {
    make_image(1, 50, 50, black);
    begin(1);
    image_free(1);
    draw_box(0, 0, 50, 50, colour_rgb(255, 255, 255));
    EXPECT_EQ(image_handle(1), nullptr);
    drawing_end();
}

}  // namespace
