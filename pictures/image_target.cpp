// The drawing target of a stored image: boxes and pictures through the pixel
// writers, text rasterised by Pango into a coverage mask first.
#include "pictures/drawing.h"

#include <gdk-pixbuf/gdk-pixbuf.h>
#include <pango/pango.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <memory>
#include <vector>

#include "pictures/images.h"
#include "pictures/internal.h"
#include "pictures/pixel_writers.h"

using tk::Canvas;
using tk::Writers;
using tk::select_writers;
using tk::split;

namespace {

// An 8-bit RGB pixbuf with 3 channels, or 4 with alpha: what the writers read and write.
bool drawable_pixbuf(GdkPixbuf* pixbuf) {
    return gdk_pixbuf_get_colorspace(pixbuf) == GDK_COLORSPACE_RGB && gdk_pixbuf_get_bits_per_sample(pixbuf) == 8 &&
           gdk_pixbuf_get_n_channels(pixbuf) == (gdk_pixbuf_get_has_alpha(pixbuf) ? 4 : 3);
}

// The text settings of a display (resolution, antialiasing, hinting), when a
// display hands them in; without one, fontconfig's own apply.
TextSettingsSource text_settings_source = nullptr;

// A context on the process's cairo font map, set as the display would set
// the contexts of its widgets, so that text in a picture looks as it does in
// the windows.
PangoContext* new_text_context() {
    PangoContext* context = pango_font_map_create_context(pango_cairo_font_map_get_default());
    if (!context) return nullptr;
    if (text_settings_source) {
        TextSettings settings;
        if (text_settings_source(settings)) {
            if (settings.options) pango_cairo_context_set_font_options(context, settings.options);
            pango_cairo_context_set_resolution(context, settings.resolution);
        }
    }
    return context;
}

// The height of "Hg" in the layout's font decides the strip's height. Every
// session measures it for each font it uses, a Pango shaping each time, so
// the heights are kept per font and display setting.
struct FontDescriptionFree {
    void operator()(PangoFontDescription* font) const { pango_font_description_free(font); }
};
struct HgHeight {
    std::unique_ptr<PangoFontDescription, FontDescriptionFree> font;
    double resolution;
    unsigned long options;
    int height;
};
constexpr std::size_t hg_heights_kept = 16;
std::vector<HgHeight> hg_heights;

int hg_height(PangoLayout* layout) {
    PangoContext* context = pango_layout_get_context(layout);
    std::unique_ptr<PangoFontDescription, FontDescriptionFree> font(
        pango_font_description_copy(pango_context_get_font_description(context)));
    if (!font) font.reset(pango_font_description_new());
    if (const PangoFontDescription* own = pango_layout_get_font_description(layout))
        pango_font_description_merge(font.get(), own, TRUE);
    const double resolution = pango_cairo_context_get_resolution(context);
    const cairo_font_options_t* options = pango_cairo_context_get_font_options(context);
    const unsigned long options_hash = options ? cairo_font_options_hash(options) : 0;
    for (const HgHeight& known : hg_heights) {
        if (known.resolution == resolution && known.options == options_hash &&
            pango_font_description_equal(known.font.get(), font.get()))
            return known.height;
    }
    int ignored = 0, height = 0;
    tk::layout_text_size(layout, "Hg", ignored, height);
    if (hg_heights.size() == hg_heights_kept) hg_heights.erase(hg_heights.begin());
    hg_heights.push_back({std::move(font), resolution, options_hash, height});
    return height;
}

// Text is drawn into a strip of the target's width at least this high.
constexpr int min_text_height = 50;
// Neither side of the strip may exceed this (cairo's limit for an image).
constexpr int max_strip_side = 32767;

// Draws into the pixels of a stored image. It holds its own reference to the
// pixel buffer, so a session whose image is replaced meanwhile writes into
// memory that is still its own rather than freed memory.
class ImageTarget final : public DrawingTarget {
public:
    explicit ImageTarget(GdkPixbuf* image)
        : image_(GDK_PIXBUF(g_object_ref(image))), channels_(gdk_pixbuf_get_has_alpha(image) ? 4 : 3) {
        width = gdk_pixbuf_get_width(image);
        height = gdk_pixbuf_get_height(image);
        writers_ = select_writers(0, channels_);
    }
    ~ImageTarget() override {
        release();
        g_object_unref(image_);
    }
    ImageTarget(const ImageTarget&) = delete;
    ImageTarget& operator=(const ImageTarget&) = delete;

    void set_back_colour(Colour colour) override { canvas_.back = split(colour); }
    void set_front_colour(Colour colour) override { canvas_.front = split(colour); }
    void set_mode(unsigned new_mode) override { writers_ = select_writers(new_mode, channels_); }

    bool begin() override {
        canvas_.pixels = gdk_pixbuf_get_pixels(image_);
        canvas_.stride = gdk_pixbuf_get_rowstride(image_);
        if (!canvas_.pixels || !drawable_pixbuf(image_)) return false;
        // Without a font map there is no text; boxes and pictures still work.
        if ((context_ = new_text_context())) {
            layout_ = pango_layout_new(context_);
            if (const PangoFontDescription* font = pango_layout_get_font_description(layout_)) {
                default_font_ = pango_font_description_copy(font);
            }
        }
        set_font(default_font());
        return true;
    }

    void end() override { release(); }

    void box(int x, int y, int box_width, int box_height) override {
        tk::Box b = tk::normalised_box(x, y, box_width, box_height);
        if (b.width == 0 || b.height == 0) return;
        long long right = b.x + b.width - 1, bottom = b.y + b.height - 1;
        if (mode & Outline) {
            span(b.y, b.x, right);
            span(bottom, b.x, right);
            for (long long row = std::max(b.y + 1, 0LL); row <= std::min(bottom - 1, height - 1LL); ++row)
                span(row, b.x, b.x);
            for (long long row = std::max(b.y + 1, 0LL); row <= std::min(bottom - 1, height - 1LL); ++row)
                span(row, right, right);
        } else {
            for (long long row = std::max(b.y, 0LL); row <= std::min(bottom, height - 1LL); ++row)
                span(row, b.x, right);
        }
    }

    void draw_image(ImageHandle image, int x, int y) override {
        if (!image || !drawable_pixbuf(image)) return;
        long long x0 = std::max(x, 0), x1 = std::min<long long>(x + 0LL + gdk_pixbuf_get_width(image), width);
        long long y0 = std::max(y, 0), y1 = std::min<long long>(y + 0LL + gdk_pixbuf_get_height(image), height);
        if (x0 >= x1 || y0 >= y1) return;
        // Drawn onto itself, the rows would be read after being written.
        GdkPixbuf* copy = nullptr;
        if (gdk_pixbuf_get_pixels(image) == canvas_.pixels) {
            copy = gdk_pixbuf_copy(image);
            if (!copy) return;
            image = copy;
        }
        int m = gdk_pixbuf_get_n_channels(image), stride = gdk_pixbuf_get_rowstride(image);
        const guchar* source = gdk_pixbuf_get_pixels(image);
        auto row_writer = m == 4 ? writers_.picture_rgba : writers_.picture_rgb;
        for (long long row = y0; row < y1; ++row) {
            const guchar* q = source + (row - y) * stride + (x0 - x) * m;
            row_writer(canvas_, pixel(x0, row), q, static_cast<int>(x0), static_cast<int>(row),
                       static_cast<int>(x1 - x0));
        }
        if (copy) g_object_unref(copy);
    }

    void set_font(FontHandle font) override {
        if (!layout_) return;
        pango_layout_set_font_description(layout_, font == default_font() ? default_font_ : font);
        int needed = std::min(std::max(min_text_height, hg_height(layout_) + 20), max_strip_side);
        if (!strip_ || strip_height_ < needed) grow_strip(needed);
    }

    int draw_text(int x, int y, const std::string& text) override {
        if (text.empty() || !layout_ || !strip_) return x;
        int w = 0, h = 0;
        tk::layout_text_size(layout_, text, w, h);
        h = std::min(h, strip_height_);
        int after = static_cast<int>(std::clamp<long long>(x + 0LL + w, INT_MIN, INT_MAX));
        // The visible part of the box: the strip's column 0 is column x0.
        long long x0 = std::max(x, 0), x1 = std::min<long long>(x + 0LL + w, width);
        long long y0 = std::max(y, 0), y1 = std::min<long long>(y + 0LL + h, height);
        if (x0 >= x1 || y0 >= y1) return after;
        int columns = static_cast<int>(x1 - x0), top = static_cast<int>(y0 - y), rows = static_cast<int>(y1 - y0);

        // A coverage mask: the visible part cleared to black, then the
        // glyphs in white, drawn on our side of the display connection so
        // that no drawing waits on the X server.
        cairo_t* cr = cairo_create(strip_);
        cairo_rectangle(cr, 0, top, columns, rows);
        cairo_clip(cr);
        cairo_set_source_rgb(cr, 0, 0, 0);
        cairo_paint(cr);
        cairo_set_source_rgb(cr, 1, 1, 1);
        cairo_move_to(cr, std::min(x, 0), 0);
        pango_cairo_show_layout(cr, layout_);
        bool drawn = cairo_status(cr) == CAIRO_STATUS_SUCCESS;
        cairo_destroy(cr);
        if (!drawn) return x;
        cairo_surface_flush(strip_);

        const guchar* mask = cairo_image_surface_get_data(strip_);
        const int mask_stride = cairo_image_surface_get_stride(strip_);
        bool background = !(mode & TextNoBackground);
        for (long long row = y0; row < y1; ++row) {
            writers_.text(canvas_, pixel(x0, row),
                          reinterpret_cast<const std::uint32_t*>(mask + (row - y) * mask_stride),
                          static_cast<int>(x0), static_cast<int>(row), columns, background);
        }
        return after;
    }

    int text_width(const std::string& text) override {
        if (text.empty() || !layout_) return 0;
        int w = 0, h = 0;
        tk::layout_text_size(layout_, text, w, h);
        return w;
    }

private:
    guchar* pixel(long long x, long long y) const { return canvas_.pixels + y * canvas_.stride + x * channels_; }

    // Columns x0 to x1 of row y, clipped.
    void span(long long y, long long x0, long long x1) {
        if (y < 0 || y >= height) return;
        x0 = std::max(x0, 0LL);
        x1 = std::min(x1, width - 1LL);
        if (x0 > x1) return;
        writers_.span(canvas_, static_cast<int>(y), static_cast<int>(x0), static_cast<int>(x1 + 1));
    }

    // A text strip of the target's width and the given height. On failure
    // the old one stays.
    void grow_strip(int strip_height) {
        if (width <= 0 || width > max_strip_side) return;
        cairo_surface_t* made = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, strip_height);
        if (cairo_surface_status(made) != CAIRO_STATUS_SUCCESS) {
            cairo_surface_destroy(made);
            return;
        }
        release_strip();
        strip_ = made;
        strip_height_ = strip_height;
    }

    void release_strip() {
        if (strip_) cairo_surface_destroy(strip_);
        strip_ = nullptr;
        strip_height_ = 0;
    }

    void release() {
        release_strip();
        if (layout_) g_object_unref(layout_);
        if (context_) g_object_unref(context_);
        if (default_font_) pango_font_description_free(default_font_);
        layout_ = nullptr;
        context_ = nullptr;
        default_font_ = nullptr;
    }

    GdkPixbuf* image_;
    int channels_;
    Canvas canvas_;
    Writers writers_{};
    PangoContext* context_ = nullptr;
    PangoLayout* layout_ = nullptr;
    PangoFontDescription* default_font_ = nullptr;
    // The coverage mask text is drawn into: xRGB words, the target's width.
    cairo_surface_t* strip_ = nullptr;
    int strip_height_ = 0;
};

}  // namespace

void set_text_settings_source(TextSettingsSource source) { text_settings_source = source; }

// A new target ends the session still current, even when the id names no
// image: what follows must not draw into the previous target.
DrawTarget image_target(ObjectId id) {
    tk::drawing_set_current(nullptr);
    ImageHandle image = image_handle(id);
    if (!image) return nullptr;
    DrawTarget target = new ImageTarget(image);
    tk::drawing_set_current(target);
    return target;
}
