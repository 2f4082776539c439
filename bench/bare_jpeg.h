// Bare libjpeg, the baselines the benchmarks measure the store against:
// quality 70 (the store's default, 7 x 10), every other setting the
// library's own, files through stdio. Any failure aborts the benchmark.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace bare {

constexpr int jpeg_quality = 70;

// Rows of 3 (RGB) or 4 (RGBX, the fourth byte ignored) bytes per pixel.
void encode(const std::string& path, const std::uint8_t* pixels, int width, int height, std::size_t stride,
            int channels = 3);

// Where decoded RGB rows go: height rows of stride bytes from pixels on.
struct Rows {
    std::uint8_t* pixels;
    std::size_t stride;
};

// The file decoded straight into the rows that rows_for(width, height) gives.
void decode(const std::string& path, const std::function<Rows(int width, int height)>& rows_for);

}  // namespace bare
