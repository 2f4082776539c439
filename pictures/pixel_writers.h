// Internal to the picture store: how an image target writes its pixels.
//
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
#pragma once

#include <glib.h>

#include <algorithm>
#include <cstdint>

#include "pictures/object_table.h"

namespace tk {

using PixelFunction = Colour (*)(int x, int y, Colour source, Colour target);
using GradientFunction = double (*)(int x, int y);

// The built-in gradient: always the first gradient colour.
double builtin_gradient(int x, int y);
// The built-in pixel callback: leaves the pixel as it is.
Colour builtin_callback(int x, int y, Colour source, Colour target);

struct Rgba {
    int r = 0, g = 0, b = 0, a = 0;
};

inline Rgba split(Colour c) {
    return {static_cast<int>(c & 0xFF), static_cast<int>(c >> 8 & 0xFF), static_cast<int>(c >> 16 & 0xFF),
            static_cast<int>(c >> 24 & 0xFF)};
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

// The writers of one mode on one kind of image, chosen once by set_mode.
struct Writers {
    void (*span)(const Canvas&, int y, int x0, int x1);
    void (*text)(const Canvas&, guchar* p, const std::uint32_t* mask, int x, int y, int count, bool background);
    void (*picture_rgb)(const Canvas&, guchar* p, const guchar* q, int x, int y, int count);
    void (*picture_rgba)(const Canvas&, guchar* p, const guchar* q, int x, int y, int count);
};

// The writers of mode (DrawMode bits) on an image of 3 or 4 channels.
Writers select_writers(unsigned mode, int channels);

}  // namespace tk
