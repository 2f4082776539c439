// The diagram renderer against bare cairo drawing the same board: 64
// squares, the dark ones hatched with diagonal lines, the men as text in
// FreeSerif. Both sides write the same kind of file in the same iterations
// (bench/pair.h). No display is needed.
#include <benchmark/benchmark.h>
#include <cairo-pdf.h>
#include <cairo.h>

#include <cmath>
#include <filesystem>
#include <string>

#include "bench/pair.h"
#include "core/fen.h"
#include "render/output.h"

namespace {

using bench::Pair;

const char* const fen = "r1bqkb1r/pppp1ppp/2n2n2/4p2Q/2B1P3/8/PPPP1PPP/RNB1K1NR w KQkq - 4 4";

chess::render::Diagram bench_diagram() {
    chess::render::Diagram d;
    d.position = chess::read_fen(fen).position;
    d.caption = "Мат в один ход";
    return d;
}

std::string scratch(const std::string& name) {
    return (std::filesystem::temp_directory_path() / ("render-bench-" + name)).string();
}

// The board as plain cairo draws it: paper, 32 hatched squares, the men as
// text, all in user units of square s with hatching of the given period.
void bare_board(cairo_t* cr, const chess::Position& position, double s, double period) {
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_select_font_face(cr, "FreeSerif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, 0.9 * s);
    static const char* const glyphs[] = {"", "♔", "♕", "♖", "♗", "♘", "♙", "♚", "♛", "♜", "♝", "♞", "♟", "", ""};
    for (int square = 0; square < 64; ++square) {
        double x = s / 2 + chess::file_of(square) * s, y = s / 2 + (7 - chess::rank_of(square)) * s;
        cairo_rectangle(cr, x, y, s, s);
        cairo_stroke(cr);
        if (chess::is_dark_square(square)) {
            cairo_save(cr);
            cairo_rectangle(cr, x, y, s, s);
            cairo_clip(cr);
            cairo_set_line_width(cr, period / 3 / std::sqrt(2.0));
            for (double u = -s; u <= s; u += period) {
                cairo_move_to(cr, x + u, y + s);
                cairo_line_to(cr, x + u + s, y);
            }
            cairo_stroke(cr);
            cairo_restore(cr);
        }
        const char* glyph = glyphs[static_cast<int>(position[square])];
        if (*glyph) {
            cairo_move_to(cr, x + 0.08 * s, y + 0.85 * s);
            cairo_show_text(cr, glyph);
        }
    }
}

const chess::render::Renderer& renderer() {
    std::string error;
    return *chess::render::process_renderer(error);
}

// A diagram of 18-point squares (6.35 mm) as a one-page PDF file.
void BM_DiagramPdf_vs_BareCairo(benchmark::State& state) {
    const double s = 18;
    chess::render::Diagram d = bench_diagram();
    std::string ours_path = scratch("ours.pdf"), base_path = scratch("base.pdf");
    std::string error;
    Pair pair(state);
    for (auto _ : state) {
        pair.run([&] { benchmark::DoNotOptimize(chess::render::write_pdf(renderer(), d, s, ours_path, error)); },
                 [&] {
                     cairo_surface_t* surface = cairo_pdf_surface_create(base_path.c_str(), 9 * s, 9.5 * s);
                     cairo_t* cr = cairo_create(surface);
                     bare_board(cr, d.position, s, 72.0 / 50);
                     cairo_show_page(cr);
                     cairo_destroy(cr);
                     cairo_surface_destroy(surface);
                 });
    }
    pair.report();
    std::filesystem::remove(ours_path);
    std::filesystem::remove(base_path);
}
BENCHMARK(BM_DiagramPdf_vs_BareCairo)->UseManualTime()->Unit(benchmark::kMillisecond);

// The same diagram 6 cm wide at 300 dpi (709 x 748 pixels) as a PNG file.
void BM_DiagramPng300dpi_vs_BareCairo(benchmark::State& state) {
    const double s = chess::render::square_pixels_for(60, 300);
    chess::render::Diagram d = bench_diagram();
    d.options.raster_dpi = 300;
    std::string ours_path = scratch("ours.png"), base_path = scratch("base.png");
    std::string error;
    Pair pair(state);
    for (auto _ : state) {
        pair.run([&] { benchmark::DoNotOptimize(chess::render::write_png(renderer(), d, s, ours_path, error)); },
                 [&] {
                     cairo_surface_t* surface = cairo_image_surface_create(
                         CAIRO_FORMAT_RGB24, static_cast<int>(std::ceil(9 * s)), static_cast<int>(std::ceil(9.5 * s)));
                     cairo_t* cr = cairo_create(surface);
                     bare_board(cr, d.position, s, 6);
                     cairo_destroy(cr);
                     cairo_surface_write_to_png(surface, base_path.c_str());
                     cairo_surface_destroy(surface);
                 });
    }
    pair.report();
    std::filesystem::remove(ours_path);
    std::filesystem::remove(base_path);
}
BENCHMARK(BM_DiagramPng300dpi_vs_BareCairo)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
