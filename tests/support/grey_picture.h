// Pictures as grey levels (0 black, 255 white) for tests that need no
// display: read from a JPEG file with the toolkit's decoder, or from a cairo
// image surface.
#pragma once

#include <cairo.h>
#include <glib.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "pictures/jpeg.h"

struct GreyPicture {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> values;

    GreyPicture() = default;
    GreyPicture(int w, int h, std::uint8_t fill = 255)
        : width(w), height(h), values(static_cast<std::size_t>(w) * h, fill) {}
    bool empty() const { return values.empty(); }
    int at(int x, int y) const { return values[static_cast<std::size_t>(y) * width + x]; }
    std::uint8_t& at(int x, int y) { return values[static_cast<std::size_t>(y) * width + x]; }

    // Another picture's pixels with its top-left corner at (x, y), clipped.
    void place(const GreyPicture& p, int x, int y) {
        for (int row = 0; row < p.height; ++row)
            for (int column = 0; column < p.width; ++column)
                if (x + column >= 0 && y + row >= 0 && x + column < width && y + row < height)
                    at(x + column, y + row) = static_cast<std::uint8_t>(p.at(column, row));
    }
    GreyPicture crop(int x, int y, int w, int h) const {
        GreyPicture out(w, h);
        for (int row = 0; row < h; ++row)
            for (int column = 0; column < w; ++column) out.at(column, row) = static_cast<std::uint8_t>(at(x + column, y + row));
        return out;
    }
};

// Empty when the file is missing or not a JPEG picture.
inline GreyPicture load_jpeg(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    tk::DecodedPicture decoded;
    if (bytes.empty() || !tk::decode_picture(tk::jpeg_decoder, tk::Bytes(bytes.data(), bytes.size()), decoded))
        return {};
    GreyPicture picture(decoded.width, decoded.height);
    for (int y = 0; y < decoded.height; ++y) {
        const std::uint8_t* p = decoded.pixels + y * decoded.stride;
        for (int x = 0; x < decoded.width; ++x, p += 3) picture.at(x, y) = static_cast<std::uint8_t>((p[0] + p[1] + p[2]) / 3);
    }
    g_free(decoded.pixels);
    return picture;
}

// An RGB24 or ARGB32 surface (alpha ignored).
inline GreyPicture from_surface(cairo_surface_t* surface) {
    cairo_surface_flush(surface);
    int w = cairo_image_surface_get_width(surface), h = cairo_image_surface_get_height(surface);
    int stride = cairo_image_surface_get_stride(surface);
    const unsigned char* data = cairo_image_surface_get_data(surface);
    GreyPicture picture(w, h);
    for (int y = 0; y < h; ++y) {
        const auto* p = reinterpret_cast<const std::uint32_t*>(data + static_cast<std::ptrdiff_t>(y) * stride);
        for (int x = 0; x < w; ++x)
            picture.at(x, y) = static_cast<std::uint8_t>((((p[x] >> 16) & 255) + ((p[x] >> 8) & 255) + (p[x] & 255)) / 3);
    }
    return picture;
}
