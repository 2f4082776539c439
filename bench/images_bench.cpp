// The image store's JPEG load and save against bare libjpeg on the same
// files, and the sheet-sized rescale. Pictures are drawn here: a framed board
// of light and dark squares with round pieces, a text band and sensor-like
// noise, at a diagram's size (450 x 475) and a print sheet's (1180 x 1628).
#include <benchmark/benchmark.h>
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/bare_jpeg.h"
#include "toolkit/internal.h"
#include "toolkit/toolkit.h"

namespace {

struct Rgb {
    int r, g, b;
};

std::vector<std::uint8_t> draw_board(int width, int height) {
    std::vector<std::uint8_t> rgb(3 * static_cast<std::size_t>(width) * height);
    const int square = width / 9, left = square / 2, top = square / 2;
    const Rgb light{238, 218, 182}, dark{170, 128, 92}, frame{40, 32, 28}, paper{250, 250, 248};
    std::uint32_t noise = 2463534242u;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            Rgb c = paper;
            int bx = x - left, by = y - top;
            if (bx >= -4 && by >= -4 && bx < 8 * square + 4 && by < 8 * square + 4) c = frame;
            if (bx >= 0 && by >= 0 && bx < 8 * square && by < 8 * square) {
                int col = bx / square, row = by / square;
                c = (col + row) % 2 ? dark : light;
                // A piece on every third square: a disc with a lighter rim.
                int cx = col * square + square / 2, cy = row * square + square / 2;
                int d2 = (bx - cx) * (bx - cx) + (by - cy) * (by - cy), r = square * 2 / 5;
                if ((col * 3 + row * 5) % 3 == 0 && d2 < r * r) {
                    c = d2 > (r - 3) * (r - 3) ? Rgb{200, 200, 200} : (row < 4 ? Rgb{20, 20, 24} : Rgb{245, 245, 240});
                }
            } else if (by > 8 * square + square / 3 && by < 8 * square + square && (x / 7) % 3 != 2 && (y / 3) % 4 != 3) {
                c = {30, 30, 30};  // a line of task text
            }
            noise ^= noise << 13;
            noise ^= noise >> 17;
            noise ^= noise << 5;
            int n = static_cast<int>(noise % 25) - 12;
            std::uint8_t* p = &rgb[3 * (static_cast<std::size_t>(y) * width + x)];
            p[0] = static_cast<std::uint8_t>(std::clamp(c.r + n, 0, 255));
            p[1] = static_cast<std::uint8_t>(std::clamp(c.g + n, 0, 255));
            p[2] = static_cast<std::uint8_t>(std::clamp(c.b + n, 0, 255));
        }
    }
    return rgb;
}

// Bare libjpeg decoding into a packed RGB buffer, resized to fit.
void bare_decode(const std::string& path, std::vector<std::uint8_t>& pixels) {
    bare::decode(path, [&](int width, int height) {
        const std::size_t stride = 3 * static_cast<std::size_t>(width);
        pixels.resize(stride * static_cast<std::size_t>(height));
        return bare::Rows{pixels.data(), stride};
    });
}

// The test pictures, written once per run into a scratch folder.
struct Pictures {
    std::filesystem::path folder;
    Pictures() {
        std::string pattern = (std::filesystem::temp_directory_path() / "diagram-bench-XXXXXX").string();
        if (!mkdtemp(pattern.data())) std::abort();
        folder = pattern;
        for (auto [w, h] : {std::pair{450, 475}, std::pair{1180, 1628}}) {
            std::vector<std::uint8_t> rgb = draw_board(w, h);
            bare::encode(path(w), rgb.data(), w, h, 3 * static_cast<std::size_t>(w));
        }
    }
    ~Pictures() {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
    std::string path(int width) const { return (folder / (std::to_string(width) + ".jpg")).string(); }
    std::string output(const char* name) const { return (folder / name).string(); }
};

const Pictures& pictures() {
    static Pictures made;
    return made;
}

// The store as the programs set it up; no display is needed for images.
void use_store() {
    static bool started = [] {
        if (!tk::toolkit_ready()) {
            codec_init();
            register_bmp_decoder();
            image_init();
        }
        return true;
    }();
    (void)started;
    register_jpeg_decoder();
    register_jpeg_encoder();
}

int width_of(const benchmark::State& state) { return static_cast<int>(state.range(0)); }

void BM_ImageLoadJpeg(benchmark::State& state) {
    use_store();
    std::string path = pictures().path(width_of(state));
    for (auto _ : state) {
        if (!image_load(1, path)) state.SkipWithError("image_load failed");
    }
    image_free(1);
}

void BM_BareLibjpegDecode(benchmark::State& state) {
    std::string path = pictures().path(width_of(state));
    std::vector<std::uint8_t> pixels;
    for (auto _ : state) {
        bare_decode(path, pixels);
        benchmark::DoNotOptimize(pixels.data());
    }
}

void BM_ImageSaveJpeg(benchmark::State& state) {
    use_store();
    if (!image_load(1, pictures().path(width_of(state)))) state.SkipWithError("image_load failed");
    std::string out = pictures().output("store.jpg");
    for (auto _ : state) {
        if (!image_save(1, out, FormatJPEG)) state.SkipWithError("image_save failed");
    }
    image_free(1);
}

void BM_BareLibjpegEncode(benchmark::State& state) {
    std::vector<std::uint8_t> pixels;
    bare_decode(pictures().path(width_of(state)), pixels);
    int width = width_of(state), height = static_cast<int>(pixels.size() / (3 * static_cast<std::size_t>(width)));
    std::string out = pictures().output("bare.jpg");
    for (auto _ : state) bare::encode(out, pixels.data(), width, height, 3 * static_cast<std::size_t>(width));
}

// The composers' scale of a sheet to an A4 preview.
void BM_ImageResizeSheet(benchmark::State& state) {
    use_store();
    std::string path = pictures().path(1180);
    for (auto _ : state) {
        state.PauseTiming();
        if (!image_load(2, path)) state.SkipWithError("image_load failed");
        state.ResumeTiming();
        if (!image_resize(2, 595, 841)) state.SkipWithError("image_resize failed");
    }
    image_free(2);
}

BENCHMARK(BM_ImageLoadJpeg)->Arg(450)->Arg(1180)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BareLibjpegDecode)->Arg(450)->Arg(1180)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ImageSaveJpeg)->Arg(450)->Arg(1180)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BareLibjpegEncode)->Arg(450)->Arg(1180)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ImageResizeSheet)->Unit(benchmark::kMillisecond);

}  // namespace
