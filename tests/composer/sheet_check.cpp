// Checks a saved sheet against the diagrams that should be on it, for the
// end-to-end tests:
//
//   composer_sheet_check SHEET WIDTH HEIGHT X,Y,DIAGRAM...
//   composer_sheet_check --size PICTURE     (prints "WIDTH HEIGHT")
//
// The sheet must be 1180 x 1628. Each diagram, scaled to WIDTH x HEIGHT,
// must be found with its top-left corner at X, Y: compared in 8 x 8 blocks
// (so that the JPEG noise of two saves averages out), it matches there
// better than any of the other diagrams does, and within a bound. Away from
// the diagrams the sheet must be white. Prints what it measured; exit
// status 0 when everything holds.
#include <gdk-pixbuf/gdk-pixbuf.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "toolkit/toolkit.h"

namespace {

constexpr int block = 8;
// Largest mean channel difference of one block against the right diagram.
constexpr double match_bound = 16.0;
// Smallest mean channel value of a block of the white sheet.
constexpr double white_bound = 250.0;

struct Cell {
    int x = 0, y = 0;
    std::string path;
    ObjectId image = 0;
};

double block_mean_difference(GdkPixbuf* sheet, int sx, int sy, GdkPixbuf* picture, int px, int py) {
    const guchar* a = gdk_pixbuf_get_pixels(sheet);
    const guchar* b = gdk_pixbuf_get_pixels(picture);
    const int as = gdk_pixbuf_get_rowstride(sheet), an = gdk_pixbuf_get_n_channels(sheet);
    const int bs = gdk_pixbuf_get_rowstride(picture), bn = gdk_pixbuf_get_n_channels(picture);
    long sum = 0;
    for (int y = 0; y < block; ++y) {
        for (int x = 0; x < block; ++x) {
            const guchar* p = a + (sy + y) * as + (sx + x) * an;
            const guchar* q = b + (py + y) * bs + (px + x) * bn;
            for (int c = 0; c < 3; ++c) sum += std::abs(p[c] - q[c]);
        }
    }
    return static_cast<double>(sum) / (3 * block * block);
}

// The worst block of the picture against the sheet at (x, y).
double worst_block(GdkPixbuf* sheet, int x, int y, GdkPixbuf* picture) {
    const int width = gdk_pixbuf_get_width(picture), height = gdk_pixbuf_get_height(picture);
    double worst = 0;
    for (int by = 0; by + block <= height; by += block) {
        for (int bx = 0; bx + block <= width; bx += block)
            worst = std::max(worst, block_mean_difference(sheet, x + bx, y + by, picture, bx, by));
    }
    return worst;
}

double block_mean(GdkPixbuf* sheet, int x0, int y0) {
    const guchar* a = gdk_pixbuf_get_pixels(sheet);
    const int stride = gdk_pixbuf_get_rowstride(sheet), n = gdk_pixbuf_get_n_channels(sheet);
    long sum = 0;
    for (int y = 0; y < block; ++y) {
        for (int x = 0; x < block; ++x) {
            const guchar* p = a + (y0 + y) * stride + (x0 + x) * n;
            sum += p[0] + p[1] + p[2];
        }
    }
    return static_cast<double>(sum) / (3 * block * block);
}

bool parse_cell(const char* text, Cell& cell) {
    int consumed = 0;
    if (std::sscanf(text, "%d,%d,%n", &cell.x, &cell.y, &consumed) != 2 || consumed == 0) return false;
    cell.path = text + consumed;
    return !cell.path.empty();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--size") {
        if (!toolkit_init()) return 2;
        register_jpeg_decoder();
        if (!image_load(1, argv[2])) {
            std::fprintf(stderr, "cannot load %s\n", argv[2]);
            return 1;
        }
        std::printf("%d %d\n", image_width(1), image_height(1));
        toolkit_shutdown();
        return 0;
    }
    if (argc < 5) {
        std::fprintf(stderr, "usage: %s SHEET WIDTH HEIGHT X,Y,DIAGRAM...\n", argv[0]);
        return 2;
    }
    const int width = std::atoi(argv[2]), height = std::atoi(argv[3]);
    std::vector<Cell> cells;
    for (int i = 4; i < argc; ++i) {
        Cell cell;
        if (!parse_cell(argv[i], cell)) {
            std::fprintf(stderr, "not X,Y,DIAGRAM: %s\n", argv[i]);
            return 2;
        }
        cell.image = 10 + (i - 4);
        cells.push_back(cell);
    }
    if (!toolkit_init()) {
        std::fprintf(stderr, "no display\n");
        return 2;
    }
    register_jpeg_decoder();

    bool good = true;
    if (!image_load(1, argv[1])) {
        std::fprintf(stderr, "cannot load the sheet %s\n", argv[1]);
        return 1;
    }
    std::printf("sheet %s: %d x %d\n", argv[1], image_width(1), image_height(1));
    if (image_width(1) != 1180 || image_height(1) != 1628) {
        std::printf("  not 1180 x 1628\n");
        good = false;
    }
    for (Cell& cell : cells) {
        if (!image_load(cell.image, cell.path)) {
            std::fprintf(stderr, "cannot load the diagram %s\n", cell.path.c_str());
            return 1;
        }
        image_resize(cell.image, width, height);
        if (cell.x < 0 || cell.y < 0 || cell.x + width > image_width(1) || cell.y + height > image_height(1)) {
            std::printf("  %d, %d lies outside the sheet\n", cell.x, cell.y);
            return 1;
        }
    }

    GdkPixbuf* sheet = image_handle(1);
    for (std::size_t i = 0; i < cells.size(); ++i) {
        const Cell& cell = cells[i];
        const double own = worst_block(sheet, cell.x, cell.y, image_handle(cell.image));
        double nearest_other = 1e9;
        for (std::size_t j = 0; j < cells.size(); ++j) {
            if (j != i)
                nearest_other = std::min(nearest_other, worst_block(sheet, cell.x, cell.y, image_handle(cells[j].image)));
        }
        const bool matched = own <= match_bound && own < nearest_other;
        std::printf("  at %d, %d: %s worst block %.1f, best other diagram %.1f%s\n", cell.x, cell.y,
                    cell.path.c_str(), own, nearest_other, matched ? "" : "  <- WRONG");
        good = good && matched;
    }

    // Blocks clear of every diagram by a block's width are white.
    auto near_a_diagram = [&](int x, int y) {
        for (const Cell& cell : cells) {
            if (x + 2 * block > cell.x && x < cell.x + width + block && y + 2 * block > cell.y &&
                y < cell.y + height + block)
                return true;
        }
        return false;
    };
    double darkest = 255;
    for (int y = 0; y + block <= gdk_pixbuf_get_height(sheet); y += block) {
        for (int x = 0; x + block <= gdk_pixbuf_get_width(sheet); x += block) {
            if (!near_a_diagram(x, y)) darkest = std::min(darkest, block_mean(sheet, x, y));
        }
    }
    std::printf("  darkest block away from the diagrams: %.1f\n", darkest);
    if (darkest < white_bound) good = false;

    toolkit_shutdown();
    std::printf(good ? "sheet matches\n" : "sheet does NOT match\n");
    return good ? 0 : 1;
}
