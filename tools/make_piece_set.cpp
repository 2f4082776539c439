// make_piece_set FOLDER [SQUARE_SIZE]
//
// Draws the editor's piece set: the 32 JPEG pictures "1.jpg" ... "32.jpg"
// for squares of SQUARE_SIZE pixels (16 to 60, default 50), in the style of
// a printed book diagram. The pictures are the diagram renderer's own
// squares and frame, rasterised: white light squares, dark squares hatched
// with fine diagonal lines, the men from FreeSerif's chess glyphs standing
// on white bodies cut out of the hatching. Roles of the 32 pictures in
// core/piece_roles.h.
//
// The editor's board window (800 x 620) holds a board and palette of squares
// up to 60 pixels; below 16 the men are no longer told apart.
//
// Every picture carries the piece-set mark (core/piece_set_mark.h) naming
// the suite's own set and its square size: the editor then records the set
// in its diagrams, and the desktop programs print those as vectors.
//
// Exit status 0 when all 32 pictures are written, else 1 with one line on
// standard error. No display is needed.

#include <cairo.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>

#include "core/diagram_layout.h"
#include "core/piece_roles.h"
#include "core/piece_set_mark.h"
#include "render/diagram.h"
#include "render/output.h"

namespace {

constexpr int default_square = 50;
constexpr int min_square = 16;
// The board window is 800 pixels wide, and its third palette column ends at
// 13s + 10: 60 is the largest square that keeps it inside (the window's
// height, 620, would allow 62).
constexpr int max_square = 60;

// Highest quality, above the diagram files' render::jpeg_quality: the tiles
// are encoded once more in every picture the editor saves, and the
// hatching's one-pixel lines blur at less.
constexpr int jpeg_quality = 10;

[[noreturn]] void fail(const std::string& message) {
    std::fprintf(stderr, "make_piece_set: %s\n", message.c_str());
    std::exit(1);
}

// A whole number, or -1; nine digits cannot overflow an int.
int parse_number(const std::string& text) {
    if (text.empty() || text.size() > 9) return -1;
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return -1;
        value = value * 10 + (c - '0');
    }
    return value;
}

struct SurfaceFree {
    void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
using Surface = std::unique_ptr<cairo_surface_t, SurfaceFree>;

Surface white_surface(int width, int height) {
    Surface surface(cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height));
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) fail("out of memory for a picture");
    cairo_t* cr = cairo_create(surface.get());
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    cairo_destroy(cr);
    return surface;
}

void save(cairo_surface_t* surface, int x, int y, int width, int height, const std::string& path,
          const std::string& mark) {
    if (!chess::render::write_jpeg_part(surface, x, y, width, height, jpeg_quality, path, mark))
        fail("cannot write " + path);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3 || argv[1][0] == '\0') {
        std::fprintf(stderr, "usage: make_piece_set FOLDER [SQUARE_SIZE]\n");
        return 1;
    }
    std::string folder = argv[1];
    int s = default_square;
    if (argc == 3) {
        s = parse_number(argv[2]);
        if (s > max_square) {
            std::fprintf(stderr,
                         "make_piece_set: the editor's 800 x 620 board window holds squares of at most %d pixels, "
                         "not %s\n",
                         max_square, argv[2]);
            return 1;
        }
        if (s < min_square) {
            std::fprintf(stderr, "make_piece_set: the square size must be a whole number from %d to %d, not \"%s\"\n",
                         min_square, max_square, argv[2]);
            return 1;
        }
    }

    // The fonts are checked before anything is written.
    std::string error;
    const chess::render::Renderer* renderer = chess::render::process_renderer(error);
    if (!renderer) fail(error);

    std::error_code fs_error;
    std::filesystem::create_directories(folder, fs_error);
    if (!std::filesystem::is_directory(folder, fs_error)) fail("cannot make the folder " + folder);
    if (folder.back() != '/') folder += '/';
    auto path = [&](int n) { return folder + std::to_string(n) + ".jpg"; };
    const std::string mark = chess::write_piece_set_mark({std::string(chess::own_piece_set), s});

    // The squares, each exactly as the renderer paints it on a board.
    Surface tile = white_surface(s, s);
    for (int n = 1; n <= chess::piece_set_pictures; ++n) {
        if (n == chess::horizontal_frame_picture || n == chess::vertical_frame_picture) continue;
        cairo_t* cr = cairo_create(tile.get());
        renderer->draw_square(cr, chess::piece_of_picture(n), n % 2 == 0, s);
        cairo_destroy(cr);
        save(tile.get(), 0, 0, s, s, path(n), mark);
    }

    // The frame strips, cut from a frame drawn round a board at (s/2, s/2):
    // the same strip lies above and below the board and the same one left
    // and right of it, so the frame is symmetric. For an odd s the
    // horizontal strip's last column lies beyond the right strip and stays
    // blank, as the editor places the strips.
    chess::DiagramLayout layout{s};
    int half = layout.half(), side = layout.board_side(), outer = side + 2 * half;
    Surface frame = white_surface(layout.horizontal_strip_width(), outer);
    cairo_t* cr = cairo_create(frame.get());
    renderer->draw_frame(cr, s, half, half, outer, outer);
    cairo_destroy(cr);
    save(frame.get(), 0, 0, layout.horizontal_strip_width(), half, path(chess::horizontal_frame_picture), mark);
    save(frame.get(), 0, half, half, layout.vertical_strip_height(), path(chess::vertical_frame_picture), mark);
    return 0;
}
