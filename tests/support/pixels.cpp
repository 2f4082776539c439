#include "tests/support/pixels.h"

#include <gdk-pixbuf/gdk-pixbuf.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <ostream>

std::ostream& operator<<(std::ostream& out, const Rgb& c) {
    return out << "(" << c.r << ", " << c.g << ", " << c.b << ")";
}

namespace {
const guchar* pixel_address(GdkPixbuf* pixbuf, int x, int y) {
    return gdk_pixbuf_get_pixels(pixbuf) + y * gdk_pixbuf_get_rowstride(pixbuf) +
           x * gdk_pixbuf_get_n_channels(pixbuf);
}
}  // namespace

Rgb pixel_at(ImageHandle image, int x, int y) {
    const guchar* p = pixel_address(image, x, y);
    return {p[0], p[1], p[2]};
}

int alpha_at(ImageHandle image, int x, int y) {
    if (!gdk_pixbuf_get_has_alpha(image)) return 255;
    return pixel_address(image, x, y)[3];
}

int max_difference(ImageHandle a, ImageHandle b) {
    if (gdk_pixbuf_get_width(a) != gdk_pixbuf_get_width(b) || gdk_pixbuf_get_height(a) != gdk_pixbuf_get_height(b))
        return -1;
    return max_difference(a, 0, 0, b, 0, 0, gdk_pixbuf_get_width(a), gdk_pixbuf_get_height(a));
}

int max_difference(ImageHandle a, int ax, int ay, ImageHandle b, int bx, int by, int width, int height) {
    int worst = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            Rgb p = pixel_at(a, ax + x, ay + y), q = pixel_at(b, bx + x, by + y);
            worst = std::max({worst, std::abs(p.r - q.r), std::abs(p.g - q.g), std::abs(p.b - q.b)});
        }
    }
    return worst;
}

bool region_is(ImageHandle image, int x0, int y0, int width, int height, Rgb c, int tolerance) {
    for (int y = y0; y < y0 + height; ++y) {
        for (int x = x0; x < x0 + width; ++x) {
            Rgb p = pixel_at(image, x, y);
            if (std::abs(p.r - c.r) > tolerance || std::abs(p.g - c.g) > tolerance || std::abs(p.b - c.b) > tolerance)
                return false;
        }
    }
    return true;
}

std::vector<std::uint8_t> read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void write_file(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}
