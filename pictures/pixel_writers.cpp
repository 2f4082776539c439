#include "pictures/pixel_writers.h"

#include <cstring>

#include "pictures/drawing.h"

namespace tk {

double builtin_gradient(int, int) { return 1.0; }
Colour builtin_callback(int, int, Colour, Colour target) { return target; }

namespace {

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

}  // namespace

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

}  // namespace tk
