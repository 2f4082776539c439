// Reading pictures back in tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "toolkit/toolkit.h"

struct Rgb {
    int r = 0, g = 0, b = 0;
    bool operator==(const Rgb&) const = default;
};
std::ostream& operator<<(std::ostream& out, const Rgb& c);

Rgb pixel_at(ImageHandle image, int x, int y);
int alpha_at(ImageHandle image, int x, int y);
// Largest channel difference between two pictures of the same size over a
// rectangle (whole picture by default); -1 when the sizes differ.
int max_difference(ImageHandle a, ImageHandle b);
int max_difference(ImageHandle a, int ax, int ay, ImageHandle b, int bx, int by, int width, int height);
// Every pixel of the rectangle within tolerance of c.
bool region_is(ImageHandle image, int x, int y, int width, int height, Rgb c, int tolerance = 0);
std::vector<std::uint8_t> read_file(const std::string& path);
void write_file(const std::string& path, const std::vector<std::uint8_t>& bytes);
