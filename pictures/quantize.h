// Internal to the picture store: the colour quantizer of the BMP writer.
//
// A picture with no more distinct colours than the palette holds keeps them
// exactly; otherwise median cut over a 5-5-5 histogram, every colour mapped
// to the nearest palette entry.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "pictures/codec_internal.h"

namespace tk {

using Rgb = std::array<std::uint8_t, 3>;

struct Quantized {
    std::vector<Rgb> palette;
    std::unordered_map<std::uint32_t, std::uint8_t> exact;  // when the colours fit
    std::vector<std::uint8_t> nearest;                     // per 5-5-5 cell otherwise
    std::uint8_t index(const std::uint8_t* rgb) const {
        if (nearest.empty()) return exact.at(static_cast<std::uint32_t>(rgb[0] << 16 | rgb[1] << 8 | rgb[2]));
        return nearest[cell(rgb)];
    }
    static unsigned cell(const std::uint8_t* rgb) { return (rgb[0] >> 3) << 10 | (rgb[1] >> 3) << 5 | rgb[2] >> 3; }
};

// Visits every pixel of the picture as R, G, B composited over white.
template <class F>
void for_each_rgb(const std::uint8_t* pixels, int width, int height, std::size_t stride, int channels, F f) {
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* in = pixels + static_cast<std::size_t>(y) * stride;
        for (int x = 0; x < width; ++x, in += channels) {
            if (channels == 4) {
                std::uint8_t rgb[3] = {over_white(in[0], in[3]), over_white(in[1], in[3]), over_white(in[2], in[3])};
                f(x, y, rgb);
            } else {
                f(x, y, in);
            }
        }
    }
}

// A palette of at most colours entries for the picture (channels 3 or 4),
// and the mapping of its colours onto it. Containers may throw bad_alloc.
Quantized quantize(const std::uint8_t* pixels, int width, int height, std::size_t stride, int channels,
                   std::size_t colours);

}  // namespace tk
