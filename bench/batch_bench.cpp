// diagram_batch against floors measured in the same run (see pair.h for the
// counters):
//
// - one diagram drawn with the raster piece set and written as JPEG, as each
//   worker does it, against bare libjpeg encoding the same picture;
// - 1000 positions to single JPEG files by the program itself, two worker
//   processes against one, and against bare libjpeg encoding the 1000
//   pictures one after the other on one core.
//
// The piece set is the one the package ships (drawn at build time); no
// display is needed.
#include <benchmark/benchmark.h>
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "batch/diagram_output.h"
#include "bench/bare_jpeg.h"
#include "bench/pair.h"
#include "core/fen.h"
#include "pictures/pictures.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

constexpr int list_positions = 1000;

struct Scratch {
    fs::path folder;
    Scratch() {
        std::string pattern = (fs::temp_directory_path() / "diagram-bench-batch-XXXXXX").string();
        if (!mkdtemp(pattern.data())) std::abort();
        folder = pattern;
    }
    ~Scratch() {
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }
    std::string path(const std::string& name) const { return (folder / name).string(); }
};

const Scratch& scratch() {
    static Scratch made;
    return made;
}

// A different scatter of men on every line, with a Russian caption.
chess::Position scattered(int n) {
    chess::Position position;
    for (int k = 0; k < 6 + n % 20; ++k) {
        position[(13 * k + 7 * n) % 64] = static_cast<chess::Piece>(1 + (5 * k + n) % 12);
    }
    return position;
}

std::string caption(int n) { return "Задача " + std::to_string(n) + ": мат в два хода"; }

const std::string& position_list() {
    static const std::string path = [] {
        const std::string list = scratch().path("positions.txt");
        std::ofstream out(list);
        for (int n = 1; n <= list_positions; ++n) out << chess::write_fen(scattered(n)) << " " << caption(n) << "\n";
        return list;
    }();
    return path;
}

bool run_program(const std::vector<std::string>& arguments) {
    std::vector<char*> argv;
    for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid;
    if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return false;
    int status = 0;
    if (waitpid(pid, &status, 0) < 0) return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void BM_BatchPiecesDiagram_vs_BareEncode(benchmark::State& state) {
    batch::DrawSettings settings;
    settings.pieces = PIECE_SET_DIR;
    std::string error;
    if (!batch::prepare_drawing(settings, error)) return state.SkipWithError(error.c_str());
    const chess::Position position = scattered(7);
    const std::string text = caption(7);
    const std::string ours_path = scratch().path("ours.jpg"), bare_path = scratch().path("bare.jpg");
    // The baseline encodes the same picture: the diagram as drawn.
    if (!batch::write_diagram(position, text, {}, settings, ours_path, error)) return state.SkipWithError(error.c_str());
    GdkPixbuf* drawn = gdk_pixbuf_copy(image_handle(100));
    if (!drawn) return state.SkipWithError("no diagram picture");

    bench::Pair pair(state);
    for (auto _ : state) {
        pair.run(
            [&] {
                if (!batch::write_diagram(position, text, {}, settings, ours_path, error)) std::abort();
            },
            [&] {
                bare::encode(bare_path, gdk_pixbuf_get_pixels(drawn), gdk_pixbuf_get_width(drawn),
                             gdk_pixbuf_get_height(drawn), static_cast<std::size_t>(gdk_pixbuf_get_rowstride(drawn)),
                             gdk_pixbuf_get_n_channels(drawn));
            });
    }
    pair.report();
    g_object_unref(drawn);
    pictures_shutdown();
}
BENCHMARK(BM_BatchPiecesDiagram_vs_BareEncode)->UseManualTime()->Unit(benchmark::kMillisecond);

std::vector<std::string> batch_command(int jobs, const std::string& out) {
    return {DIAGRAM_BATCH, "--pieces", PIECE_SET_DIR, "-j", std::to_string(jobs), "-o", out, position_list()};
}

// Two workers against one: about 0.5 when both cores do their share.
void BM_Batch1000_TwoWorkers_vs_One(benchmark::State& state) {
    const auto two = batch_command(2, scratch().path("two/")), one = batch_command(1, scratch().path("one/"));
    bench::Pair pair(state);
    for (auto _ : state) {
        pair.run([&] { if (!run_program(two)) std::abort(); }, [&] { if (!run_program(one)) std::abort(); });
    }
    pair.report();
}
BENCHMARK(BM_Batch1000_TwoWorkers_vs_One)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

// The whole program with two workers against bare libjpeg encoding the
// 1000 pictures (already drawn) on one core.
void BM_Batch1000_TwoWorkers_vs_BareEncodes(benchmark::State& state) {
    batch::DrawSettings settings;
    settings.pieces = PIECE_SET_DIR;
    std::string error;
    if (!batch::prepare_drawing(settings, error)) return state.SkipWithError(error.c_str());
    std::vector<GdkPixbuf*> pictures;
    for (int n = 1; n <= list_positions; ++n) {
        if (!batch::write_diagram(scattered(n), caption(n), {}, settings, scratch().path("x.jpg"), error)) std::abort();
        pictures.push_back(gdk_pixbuf_copy(image_handle(100)));
    }
    pictures_shutdown();
    const auto two = batch_command(2, scratch().path("two/"));
    const std::string bare_path = scratch().path("bare-many.jpg");
    bench::Pair pair(state);
    for (auto _ : state) {
        pair.run([&] { if (!run_program(two)) std::abort(); },
                 [&] {
                     for (GdkPixbuf* p : pictures) {
                         bare::encode(bare_path, gdk_pixbuf_get_pixels(p), gdk_pixbuf_get_width(p),
                                      gdk_pixbuf_get_height(p), static_cast<std::size_t>(gdk_pixbuf_get_rowstride(p)),
                                      gdk_pixbuf_get_n_channels(p));
                     }
                 });
    }
    pair.report();
    for (GdkPixbuf* p : pictures) g_object_unref(p);
}
BENCHMARK(BM_Batch1000_TwoWorkers_vs_BareEncodes)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
