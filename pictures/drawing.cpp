#include "pictures/drawing.h"

#include <gdk-pixbuf/gdk-pixbuf.h>
#include <pango/pango.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "pictures/images.h"
#include "pictures/internal.h"

// Pixels of an image target are written through one "rule" (how a source
// colour combines with a pixel) picked from the mode when the mode is set;
// boxes, pictures and text all go through the same per-pixel rule, so every
// mode bit means the same thing for each of them.
//
// On an image with alpha: the default and XorColour rules touch R, G and B
// only, WriteAlpha writes all four bytes, AlphaOnly the alpha byte alone,
// BlendColour composites over the pixel's own alpha and updates it,
// BlendKeepAlpha keeps it. That holds for pictures too (an RGB picture counts
// as opaque), and for text, whose coverage scales what is written.

namespace {

using PixelFunction = Colour (*)(int x, int y, Colour source, Colour target);
using GradientFunction = double (*)(int x, int y);

// The built-in gradient: always the first gradient colour.
double builtin_gradient(int, int) { return 1.0; }
// The built-in pixel callback: leaves the pixel as it is.
Colour builtin_callback(int, int, Colour, Colour target) { return target; }

struct Rgba {
    int r = 0, g = 0, b = 0, a = 0;
};

Rgba split(Colour c) {
    return {static_cast<int>(c & 0xFF), static_cast<int>(c >> 8 & 0xFF), static_cast<int>(c >> 16 & 0xFF),
            static_cast<int>(c >> 24 & 0xFF)};
}

Colour join(const Rgba& c) {
    return static_cast<Colour>(c.r) | static_cast<Colour>(c.g) << 8 | static_cast<Colour>(c.b) << 16 |
           static_cast<Colour>(c.a) << 24;
}

// How much of a pixel is covered, per colour channel (0..255), and the sum
// of the three (0..765) that stands for the pixel as a whole.
struct Coverage {
    int r, g, b, sum;
};
constexpr Coverage full_coverage{255, 255, 255, 765};

enum class Rule { Nothing, Copy, Xor, AlphaOnly, WriteAll, Blend, BlendKeepAlpha, Callback };

// XorColour outranks everything; PixelCallback and WriteAlpha switch the
// blending off; WriteAlpha also cancels AlphaOnly.
Rule rule_for(unsigned mode, bool has_alpha) {
    if (mode & XorColour) return Rule::Xor;
    if (mode & PixelCallback) return Rule::Callback;
    if (mode & WriteAlpha) return has_alpha ? Rule::WriteAll : Rule::Copy;
    if (mode & AlphaOnly) return has_alpha ? Rule::AlphaOnly : Rule::Nothing;
    if (mode & BlendColour) return Rule::Blend;
    if (mode & BlendKeepAlpha) return has_alpha ? Rule::BlendKeepAlpha : Rule::Blend;
    return Rule::Copy;
}

// What every writer needs to know about the image and the session.
struct Canvas {
    guchar* pixels = nullptr;
    int stride = 0;
    Rgba front, back;
    Rgba gradient_from = split(0xFFFFFFFF);
    Rgba gradient_to = split(0xFF000000);
    GradientFunction gradient = builtin_gradient;
    PixelFunction callback = builtin_callback;

    Rgba gradient_colour(int x, int y) const {
        double t = std::clamp(gradient(x, y), 0.0, 1.0);
        auto between = [t](int from, int to) { return static_cast<int>(t * from + (1 - t) * to); };
        return {between(gradient_from.r, gradient_to.r), between(gradient_from.g, gradient_to.g),
                between(gradient_from.b, gradient_to.b), between(gradient_from.a, gradient_to.a)};
    }
};

guchar byte(int value) { return static_cast<guchar>(value); }

// source over target by k of 255.
int mix(int source, int target, int k) { return (source * k + target * (255 - k)) / 255; }

// RGB blend: c = (c * (255 - A) + K * A) / 255.
void blend_opaque(guchar& c, int k, int alpha) { c = byte((c * (255 - alpha) + k * alpha) / 255); }

// Blend over a pixel with alpha a (A = 0 leaves it alone; a = 0 takes K).
void blend_over(guchar& c, int k, int alpha, int a) {
    if (alpha == 0) return;
    c = byte((k * alpha * 255 + c * a * (255 - alpha)) / (alpha * 255 + a * (255 - alpha)));
}

// One pixel p of an image with n channels at (x, y) takes the source colour s
// by the rule, weighed by the coverage k.
template <Rule rule, int n>
inline void put(guchar* p, int x, int y, const Rgba& s, const Coverage& k, PixelFunction callback) {
    if constexpr (rule == Rule::Copy || rule == Rule::WriteAll) {
        p[0] = byte(mix(s.r, p[0], k.r));
        p[1] = byte(mix(s.g, p[1], k.g));
        p[2] = byte(mix(s.b, p[2], k.b));
        if constexpr (rule == Rule::WriteAll && n == 4) p[3] = byte(mix(s.a, p[3], k.sum / 3));
    } else if constexpr (rule == Rule::AlphaOnly) {
        if constexpr (n == 4) p[3] = byte(mix(s.a, p[3], k.sum / 3));
    } else if constexpr (rule == Rule::Xor) {
        p[0] ^= byte(s.r);
        p[1] ^= byte(s.g);
        p[2] ^= byte(s.b);
    } else if constexpr (rule == Rule::Blend || rule == Rule::BlendKeepAlpha) {
        if constexpr (n == 3) {
            blend_opaque(p[0], s.r, s.a * k.r / 255);
            blend_opaque(p[1], s.g, s.a * k.g / 255);
            blend_opaque(p[2], s.b, s.a * k.b / 255);
        } else {
            int a = p[3];
            blend_over(p[0], s.r, s.a * k.r / 255, a);
            blend_over(p[1], s.g, s.a * k.g / 255, a);
            blend_over(p[2], s.b, s.a * k.b / 255, a);
            if constexpr (rule == Rule::Blend) {
                int alpha = s.a * k.sum / 765;
                p[3] = byte((alpha * 255 + a * (255 - alpha)) / 255);
            }
        }
    } else if constexpr (rule == Rule::Callback) {
        Rgba source{s.r, s.g, s.b, s.a * k.sum / 765};
        Rgba target{p[0], p[1], p[2], n == 4 ? p[3] : 255};
        Rgba out = split(callback(x, y, join(source), join(target)));
        p[0] = byte(out.r);
        p[1] = byte(out.g);
        p[2] = byte(out.b);
        if constexpr (n == 4) p[3] = byte(out.a);
    }
}

// count pixels of n bytes from p on, all the bytes of pixel.
template <int n>
void repeat_pixel(guchar* p, int count, const guchar (&pixel)[n]) {
    if (count <= 0) return;
    const std::size_t total = static_cast<std::size_t>(count) * n;
    bool uniform = true;
    for (int i = 1; i < n; ++i) uniform = uniform && pixel[i] == pixel[0];
    if (uniform) {
        std::memset(p, pixel[0], total);
        return;
    }
    std::memcpy(p, pixel, n);
    // Doubling the part already written keeps this at memcpy speed.
    for (std::size_t done = n; done < total;) {
        std::size_t chunk = std::min(done, total - done);
        std::memcpy(p + done, p, chunk);
        done += chunk;
    }
}

// A span of one colour at full coverage where the rule just stores it (mix
// by 255 is the source itself): whole rows at memory speed, as the editor's
// white diagram background needs. False when the rule reads the pixels.
template <Rule rule, int n>
bool store_span([[maybe_unused]] guchar* p, [[maybe_unused]] int count, [[maybe_unused]] const Rgba& s) {
    if constexpr (rule == Rule::Copy && n == 3) {
        const guchar pixel[3] = {byte(s.r), byte(s.g), byte(s.b)};
        repeat_pixel(p, count, pixel);
        return true;
    } else if constexpr (rule == Rule::WriteAll && n == 4) {
        const guchar pixel[4] = {byte(s.r), byte(s.g), byte(s.b), byte(s.a)};
        repeat_pixel(p, count, pixel);
        return true;
    } else {
        return false;
    }
}

// Columns x0 to x1 - 1 of row y in the front colour (or the gradient's).
template <Rule rule, int n, bool gradient>
void fill_span(const Canvas& canvas, int y, int x0, int x1) {
    if constexpr (rule == Rule::Nothing) return;
    guchar* p = canvas.pixels + static_cast<std::ptrdiff_t>(y) * canvas.stride + x0 * n;
    // The built-in gradient is one colour everywhere: worked out once, and a
    // plain copy then just stores it (mix by 255 is the source itself). The
    // editor paints every diagram white this way.
    if constexpr (gradient && rule != Rule::Callback) {
        if (canvas.gradient == builtin_gradient) {
            const Rgba s = canvas.gradient_colour(x0, y);
            if (store_span<rule, n>(p, x1 - x0, s)) return;
            for (int x = x0; x < x1; ++x, p += n) put<rule, n>(p, x, y, s, full_coverage, canvas.callback);
            return;
        }
    }
    if constexpr (!gradient) {
        if (store_span<rule, n>(p, x1 - x0, canvas.front)) return;
    }
    for (int x = x0; x < x1; ++x, p += n) {
        if constexpr (gradient) {
            put<rule, n>(p, x, y, canvas.gradient_colour(x, y), full_coverage, canvas.callback);
        } else {
            put<rule, n>(p, x, y, canvas.front, full_coverage, canvas.callback);
        }
    }
}

// count pixels of a picture row q (m channels) onto p from (x, y) on.
template <Rule rule, int n, int m>
void picture_row(const Canvas& canvas, guchar* p, const guchar* q, int x, int y, int count) {
    if constexpr (rule == Rule::Nothing) return;
    if constexpr (rule == Rule::Copy && n == 3 && m == 3) {
        std::memcpy(p, q, static_cast<std::size_t>(count) * 3);
    } else {
        for (int i = 0; i < count; ++i, p += n, q += m) {
            Rgba s{q[0], q[1], q[2], m == 4 ? q[3] : 255};
            put<rule, n>(p, x + i, y, s, full_coverage, canvas.callback);
        }
    }
}

// count pixels of a text coverage mask row (xRGB words, as cairo keeps
// them) onto p from (x, y) on: the back colour first (unless background is
// false), then the front colour weighed by the mask, channel by channel.
template <Rule rule, int n, bool gradient>
void text_row(const Canvas& canvas, guchar* p, const std::uint32_t* mask, int x, int y, int count, bool background) {
    if constexpr (rule == Rule::Nothing) return;
    for (int i = 0; i < count; ++i, p += n, ++mask) {
        const int r = static_cast<int>(*mask >> 16 & 0xFF), g = static_cast<int>(*mask >> 8 & 0xFF),
                  b = static_cast<int>(*mask & 0xFF);
        Coverage k{r, g, b, r + g + b};
        Rgba front = gradient ? canvas.gradient_colour(x + i, y) : canvas.front;
        if constexpr (rule == Rule::Xor) {
            // XOR cannot be weighed: a pixel more than half covered is glyph.
            if (2 * k.sum > 765) {
                put<rule, n>(p, x + i, y, front, full_coverage, canvas.callback);
            } else if (background) {
                put<rule, n>(p, x + i, y, canvas.back, full_coverage, canvas.callback);
            }
        } else if constexpr (rule == Rule::Callback) {
            // The callback makes the whole pixel from the covered front colour.
            put<rule, n>(p, x + i, y, front, k, canvas.callback);
        } else {
            if (background) put<rule, n>(p, x + i, y, canvas.back, full_coverage, canvas.callback);
            // Most of a text box is bare: nothing of the glyphs to weigh in.
            if (k.sum != 0) put<rule, n>(p, x + i, y, front, k, canvas.callback);
        }
    }
}

// The writers of one mode on one kind of image, chosen once by set_mode.
struct Writers {
    void (*span)(const Canvas&, int y, int x0, int x1);
    void (*text)(const Canvas&, guchar* p, const std::uint32_t* mask, int x, int y, int count, bool background);
    void (*picture_rgb)(const Canvas&, guchar* p, const guchar* q, int x, int y, int count);
    void (*picture_rgba)(const Canvas&, guchar* p, const guchar* q, int x, int y, int count);
};

template <Rule rule, int n, bool gradient>
Writers writers_of() {
    return {fill_span<rule, n, gradient>, text_row<rule, n, gradient>, picture_row<rule, n, 3>,
            picture_row<rule, n, 4>};
}

template <Rule rule>
Writers writers_of(int channels, bool gradient) {
    if (channels == 4) return gradient ? writers_of<rule, 4, true>() : writers_of<rule, 4, false>();
    return gradient ? writers_of<rule, 3, true>() : writers_of<rule, 3, false>();
}

Writers select_writers(unsigned mode, int channels) {
    bool gradient = mode & GradientFill;
    switch (rule_for(mode, channels == 4)) {
    case Rule::Nothing: return writers_of<Rule::Nothing>(channels, gradient);
    case Rule::Copy: return writers_of<Rule::Copy>(channels, gradient);
    case Rule::Xor: return writers_of<Rule::Xor>(channels, gradient);
    case Rule::AlphaOnly: return writers_of<Rule::AlphaOnly>(channels, gradient);
    case Rule::WriteAll: return writers_of<Rule::WriteAll>(channels, gradient);
    case Rule::Blend: return writers_of<Rule::Blend>(channels, gradient);
    case Rule::BlendKeepAlpha: return writers_of<Rule::BlendKeepAlpha>(channels, gradient);
    case Rule::Callback: return writers_of<Rule::Callback>(channels, gradient);
    }
    return writers_of<Rule::Copy>(channels, gradient);
}

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

DrawTarget current = nullptr;
bool begun = false;

// The current target once begun: what the drawing operations act on.
DrawTarget session() { return begun ? current : nullptr; }

void use_front_colour(DrawTarget target, Colour colour) {
    if (colour == target->front_colour) return;
    target->front_colour = colour;
    target->set_front_colour(colour);
}

void use_back_colour(DrawTarget target, Colour colour) {
    if (colour == target->back_colour) return;
    target->back_colour = colour;
    target->set_back_colour(colour);
}

}  // namespace

void set_text_settings_source(TextSettingsSource source) { text_settings_source = source; }

namespace tk {

void drawing_set_current(DrawTarget target) {
    if (target == current) return;
    DrawTarget old = current;
    bool was_begun = begun;
    current = nullptr;
    begun = false;
    if (old) {
        if (was_begun) old->end();
        delete old;
    }
    current = target;
}

DrawTarget drawing_current() { return current; }

Box normalised_box(int x, int y, int width, int height) {
    Box box{x, y, width, height};
    if (box.width < 0) {
        box.x += box.width;
        box.width = -box.width;
    }
    if (box.height < 0) {
        box.y += box.height;
        box.height = -box.height;
    }
    return box;
}

std::string valid_utf8(const std::string& text) {
    std::string cut(text.c_str());
    if (g_utf8_validate(cut.data(), static_cast<gssize>(cut.size()), nullptr)) return cut;
    gchar* valid = g_utf8_make_valid(cut.data(), static_cast<gssize>(cut.size()));
    std::string result(valid);
    g_free(valid);
    return result;
}

void layout_text_size(PangoLayout* layout, const std::string& text, int& width, int& height) {
    std::string utf8 = valid_utf8(text);
    // Setting the same text again would throw away the layout's shaping.
    const char* current_text = pango_layout_get_text(layout);
    if (!current_text || utf8 != current_text) pango_layout_set_text(layout, utf8.data(), static_cast<int>(utf8.size()));
    int w = 0, h = 0;
    pango_layout_get_size(layout, &w, &h);
    width = w / PANGO_SCALE;
    height = h / PANGO_SCALE;
}

}  // namespace tk

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

// Only the current target can begin: any other (null, or one already
// replaced and freed) gives 0 and leaves no session.
int drawing_begin(DrawTarget target) {
    if (!target || target != current) {
        tk::drawing_set_current(nullptr);
        return 0;
    }
    if (begun) return 1;
    if (!target->begin()) {
        tk::drawing_set_current(nullptr);
        return 0;
    }
    begun = true;
    return 1;
}

void drawing_end() { tk::drawing_set_current(nullptr); }

void drawing_mode(unsigned mode) {
    if (DrawTarget target = session()) {
        target->mode = mode;
        target->set_mode(mode);
    }
}

void draw_box(int x, int y, int width, int height, Colour colour) {
    if (DrawTarget target = session()) {
        use_front_colour(target, colour);
        target->box(x, y, width, height);
    }
}

void draw_image(ImageHandle image, int x, int y) {
    if (DrawTarget target = session()) target->draw_image(image, x, y);
}

void drawing_font(FontHandle font) {
    if (DrawTarget target = session()) target->set_font(font);
}

int draw_text(int x, int y, const std::string& text, Colour front, Colour back) {
    DrawTarget target = session();
    if (!target) return 0;
    use_front_colour(target, front);
    use_back_colour(target, back);
    return target->draw_text(x, y, text);
}

int text_width(const std::string& text) {
    DrawTarget target = session();
    return target ? target->text_width(text) : 0;
}

Colour colour_rgb(int red, int green, int blue) {
    return static_cast<Colour>(red) + static_cast<Colour>(green) * 256u + static_cast<Colour>(blue) * 65536u;
}
