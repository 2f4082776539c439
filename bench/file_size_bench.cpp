// The single-diagram files diagram_batch writes with the vector pieces, a
// 6 cm diagram (300 dpi for PNG and JPEG) of the renderer benchmark's
// position: the file's bytes and the diagrams written a second, as
// counters, and the SVG's bytes against their bound. No display is needed.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "core/fen.h"
#include "render/output.h"
#include "render/output_format.h"

namespace {

enum FileKind { Pdf, Svg, Png, Jpeg };

// The most an SVG diagram of 6 cm should take.
constexpr double svg_bound_bytes = 40000;

void BM_DiagramFile(benchmark::State& state) {
    const auto kind = static_cast<FileKind>(state.range(0));
    static const char* const names[] = {"pdf", "svg", "png", "jpg"};
    chess::render::Diagram d;
    d.position = chess::read_fen("r1bqkb1r/pppp1ppp/2n2n2/4p2Q/2B1P3/8/PPPP1PPP/RNB1K1NR w KQkq - 4 4").position;
    d.caption = "Мат в один ход";
    d.options.raster_dpi = 300;
    const double points = 60 / 25.4 * 72 / 9, pixels = chess::render::square_pixels_for(60, 300);
    const std::string path =
        (std::filesystem::temp_directory_path() / (std::string("file-size-bench.") + names[kind])).string();
    std::string error;
    const chess::render::Renderer* renderer = chess::render::process_renderer(error);
    if (!renderer) {
        state.SkipWithError(error.c_str());
        return;
    }
    bool ok = true;
    for (auto _ : state) {
        switch (kind) {
            case Pdf: ok = chess::render::write_pdf(*renderer, d, points, path, error); break;
            case Svg: ok = chess::render::write_svg(*renderer, d, points, path, error); break;
            case Png: ok = chess::render::write_png(*renderer, d, pixels, path, error); break;
            case Jpeg: ok = chess::render::write_jpeg(*renderer, d, pixels, chess::render::jpeg_quality, path, error); break;
        }
        if (!ok) break;
    }
    if (!ok) {
        state.SkipWithError(error.c_str());
        return;
    }
    state.SetLabel(names[kind]);
    const double bytes = static_cast<double>(std::filesystem::file_size(path));
    state.counters["bytes"] = bytes;
    // The SVG's target: at most 1.
    if (kind == Svg) state.counters["bytes_of_svg_bound"] = bytes / svg_bound_bytes;
    state.counters["diagrams_per_second"] = benchmark::Counter(1, benchmark::Counter::kIsIterationInvariantRate);
    std::filesystem::remove(path);
}
BENCHMARK(BM_DiagramFile)->DenseRange(Pdf, Jpeg)->Unit(benchmark::kMillisecond);

}  // namespace
