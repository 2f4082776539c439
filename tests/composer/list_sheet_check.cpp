// Checks a saved sheet against the positions that a list put on it, for the
// end-to-end tests:
//
//   list_sheet_check SHEET WIDTH HEIGHT X,Y,FEN[,CAPTION]...
//
// Each position is drawn by the diagram renderer at WIDTH / 9 a square and
// must be found with its top-left corner at X, Y: compared in 8 x 8 blocks
// (JPEG noise averages out), it matches there within a bound and better than
// any other listed position does. Away from the diagrams the sheet must be
// white. Prints what it measured; exit status 0 when everything holds.
#include <cairo.h>
#include <gdk-pixbuf/gdk-pixbuf.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "core/fen.h"
#include "render/diagram.h"
#include "render/output.h"
#include "pictures/pictures.h"

namespace {

constexpr int block = 8;
constexpr double match_bound = 16.0;
constexpr double white_bound = 250.0;

struct Cell {
    int x = 0, y = 0;
    std::string fen, caption;
    cairo_surface_t* picture = nullptr;
};

// Mean channel difference of the 8 x 8 block of the sheet at (sx, sy) and
// of the picture at (px, py).
double block_difference(GdkPixbuf* sheet, int sx, int sy, cairo_surface_t* picture, int px, int py) {
    const guchar* a = gdk_pixbuf_get_pixels(sheet);
    const int as = gdk_pixbuf_get_rowstride(sheet), an = gdk_pixbuf_get_n_channels(sheet);
    const unsigned char* b = cairo_image_surface_get_data(picture);
    const int bs = cairo_image_surface_get_stride(picture);
    long sum = 0;
    for (int y = 0; y < block; ++y) {
        for (int x = 0; x < block; ++x) {
            const guchar* p = a + (sy + y) * as + (sx + x) * an;
            const auto q = *reinterpret_cast<const std::uint32_t*>(b + (py + y) * bs + (px + x) * 4);
            sum += std::abs(p[0] - static_cast<int>((q >> 16) & 255)) + std::abs(p[1] - static_cast<int>((q >> 8) & 255)) +
                   std::abs(p[2] - static_cast<int>(q & 255));
        }
    }
    return static_cast<double>(sum) / (3 * block * block);
}

double worst_block(GdkPixbuf* sheet, int x, int y, cairo_surface_t* picture, int width, int height) {
    double worst = 0;
    for (int by = 0; by + block <= height; by += block)
        for (int bx = 0; bx + block <= width; bx += block)
            worst = std::max(worst, block_difference(sheet, x + bx, y + by, picture, bx, by));
    return worst;
}

bool is_white_block(GdkPixbuf* sheet, int x, int y) {
    const guchar* a = gdk_pixbuf_get_pixels(sheet);
    const int as = gdk_pixbuf_get_rowstride(sheet), an = gdk_pixbuf_get_n_channels(sheet);
    long sum = 0;
    for (int dy = 0; dy < block; ++dy)
        for (int dx = 0; dx < block; ++dx)
            for (int c = 0; c < 3; ++c) sum += a[(y + dy) * as + (x + dx) * an + c];
    return static_cast<double>(sum) / (3 * block * block) >= white_bound;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 5) {
        std::fprintf(stderr, "usage: %s SHEET WIDTH HEIGHT X,Y,FEN[,CAPTION]...\n", argv[0]);
        return 2;
    }
    pictures_init();
    register_jpeg_decoder();
    if (!image_load(1, argv[1])) {
        std::fprintf(stderr, "cannot load %s\n", argv[1]);
        return 1;
    }
    GdkPixbuf* sheet = image_handle(1);
    const int width = std::atoi(argv[2]), height = std::atoi(argv[3]);
    std::string error;
    std::unique_ptr<chess::render::Renderer> renderer = chess::render::Renderer::create(error);
    if (!renderer) {
        std::fprintf(stderr, "no renderer: %s\n", error.c_str());
        return 1;
    }
    std::vector<Cell> cells;
    for (int i = 4; i < argc; ++i) {
        std::string arg = argv[i];
        Cell cell;
        const std::size_t a = arg.find(','), b = arg.find(',', a + 1), c = arg.find(',', b + 1);
        cell.x = std::atoi(arg.substr(0, a).c_str());
        cell.y = std::atoi(arg.substr(a + 1, b - a - 1).c_str());
        cell.fen = arg.substr(b + 1, c == std::string::npos ? std::string::npos : c - b - 1);
        if (c != std::string::npos) cell.caption = arg.substr(c + 1);
        chess::FenResult fen = chess::read_fen(cell.fen);
        if (!fen.ok) {
            std::fprintf(stderr, "bad FEN %s: %s\n", cell.fen.c_str(), fen.error.c_str());
            return 2;
        }
        chess::render::Diagram diagram{fen.position, cell.caption, {}};
        cell.picture = chess::render::rasterise(*renderer, diagram, width / 9.0);
        cells.push_back(cell);
    }

    bool good = true;
    for (std::size_t i = 0; i < cells.size(); ++i) {
        const double own = worst_block(sheet, cells[i].x, cells[i].y, cells[i].picture, width, height);
        std::printf("cell %zu at %d,%d: worst block %.1f\n", i + 1, cells[i].x, cells[i].y, own);
        if (own > match_bound) good = false;
        for (std::size_t j = 0; j < cells.size(); ++j) {
            if (j == i || cells[j].fen == cells[i].fen) continue;
            const double other = worst_block(sheet, cells[i].x, cells[i].y, cells[j].picture, width, height);
            if (other <= own) {
                std::printf("  position %zu matches there as well (%.1f)\n", j + 1, other);
                good = false;
            }
        }
    }
    int dark_blocks = 0;
    for (int y = 0; y + block <= gdk_pixbuf_get_height(sheet); y += block) {
        for (int x = 0; x + block <= gdk_pixbuf_get_width(sheet); x += block) {
            bool inside = false;
            for (const Cell& c : cells)
                inside = inside || (x + block > c.x && x < c.x + width && y + block > c.y && y < c.y + height);
            if (!inside && !is_white_block(sheet, x, y)) ++dark_blocks;
        }
    }
    std::printf("blocks not white outside the diagrams: %d\n", dark_blocks);
    if (dark_blocks > 0) good = false;
    for (Cell& c : cells) cairo_surface_destroy(c.picture);
    pictures_shutdown();
    return good ? 0 : 1;
}
