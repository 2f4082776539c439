#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gdk/gdk.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/support/pixels.h"
#include "pictures/internal.h"
#include "toolkit/toolkit.h"

namespace {

const Rgb white{255, 255, 255}, black{0, 0, 0}, red{255, 0, 0};

// Refills an image in place: a session keeps drawing into the buffer it began on.
void fill(ImageHandle image, Rgb c, int alpha = 255) {
    gdk_pixbuf_fill(image, static_cast<guint32>(c.r) << 24 | c.g << 16 | c.b << 8 | alpha);
}

// A pixel buffer filled directly, not through the code under test.
ImageHandle make_image(ObjectId id, int width, int height, Rgb colour, int depth = 24, int alpha = 255) {
    image_create(id, width, height, depth);
    ImageHandle image = image_handle(id);
    fill(image, colour, alpha);
    return image;
}

void set_pixel(ImageHandle image, int x, int y, Rgb c, int alpha = 255) {
    guchar* p = gdk_pixbuf_get_pixels(image) + y * gdk_pixbuf_get_rowstride(image) +
                x * gdk_pixbuf_get_n_channels(image);
    p[0] = c.r, p[1] = c.g, p[2] = c.b;
    if (gdk_pixbuf_get_has_alpha(image)) p[3] = alpha;
}

Colour with_alpha(Rgb c, int alpha) {
    return colour_rgb(c.r, c.g, c.b) | static_cast<Colour>(alpha) << 24;
}

// The smallest rectangle holding every pixel that is not the background.
struct Area {
    int left = 0, top = 0, right = -1, bottom = -1;  // inclusive; empty when right < left
    int width() const { return right - left + 1; }
    int height() const { return bottom - top + 1; }
};
Area changed_area(ImageHandle image, Rgb background) {
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

bool has_pixel(ImageHandle image, Rgb c) {
    for (int y = 0; y < gdk_pixbuf_get_height(image); ++y)
        for (int x = 0; x < gdk_pixbuf_get_width(image); ++x)
            if (pixel_at(image, x, y) == c) return true;
    return false;
}

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

// --- text ---

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
