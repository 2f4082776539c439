// Drawing sessions on images of the programs' sizes: the sheet's white fill,
// pictures placed on the sheet, and the diagram's task text.
#include <benchmark/benchmark.h>

#include "toolkit/internal.h"
#include "toolkit/toolkit.h"

namespace {

constexpr int sheet_width = 1180, sheet_height = 1628;

// The toolkit, started again if another benchmark shut it down; a benchmark
// without a display is skipped.
bool toolkit_up() { return tk::toolkit_ready() || toolkit_init() == 1; }

void sheet_fill(benchmark::State& state) {
    if (!toolkit_up()) return state.SkipWithError("no display");
    image_create(101, sheet_width, sheet_height);
    drawing_begin(image_target(101));
    drawing_mode(static_cast<unsigned>(state.range(0)));
    for (auto _ : state) draw_box(0, 0, sheet_width + 10, sheet_height + 10, colour_rgb(255, 255, 255));
    drawing_end();
    state.SetItemsProcessed(state.iterations() * sheet_width * sheet_height);
}
// 64: the programs' white fill; 0, 2, 16: the plain, XOR and blending writers.
BENCHMARK(sheet_fill)->Arg(GradientFill)->Arg(0)->Arg(XorColour)->Arg(BlendColour)->Unit(benchmark::kMillisecond);

void picture_onto_sheet(benchmark::State& state) {
    if (!toolkit_up()) return state.SkipWithError("no display");
    bool alpha = state.range(0) != 0;
    image_create(101, sheet_width, sheet_height);
    image_create(99, 540, 502, alpha ? 32 : 24);
    drawing_begin(image_target(101));
    drawing_mode(alpha ? BlendColour : Outline);
    for (auto _ : state) draw_image(image_handle(99), 40, 40);
    drawing_end();
    state.SetItemsProcessed(state.iterations() * 540 * 502);
}
// 0: an RGB diagram copied row by row; 1: an RGBA picture blended.
BENCHMARK(picture_onto_sheet)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

void task_text(benchmark::State& state) {
    if (!toolkit_up()) return state.SkipWithError("no display");
    font_load(0, "DejaVu Sans", 14);
    image_create(100, 540, 570);
    drawing_begin(image_target(100));
    drawing_font(font_handle(0));
    const std::string text = "Мат в два хода. Белые начинают и выигрывают";
    for (auto _ : state) {
        int width = text_width(text);
        benchmark::DoNotOptimize(draw_text((540 - width) / 2, 542, text, 0, colour_rgb(255, 255, 255)));
    }
    drawing_end();
}
BENCHMARK(task_text)->Unit(benchmark::kMicrosecond);

// A whole session: target, layout, text pixmap, release.
void session(benchmark::State& state) {
    if (!toolkit_up()) return state.SkipWithError("no display");
    image_create(100, 540, 570);
    for (auto _ : state) {
        drawing_begin(image_target(100));
        drawing_end();
    }
}
BENCHMARK(session)->Unit(benchmark::kMicrosecond);

}  // namespace
