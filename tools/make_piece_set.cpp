// make_piece_set FOLDER [SQUARE_SIZE]
//
// Draws the editor's piece set: the 32 JPEG pictures "1.jpg" ... "32.jpg"
// for squares of SQUARE_SIZE pixels (16 to 200, default 50), in the style of
// a printed book diagram: white light squares, dark squares hatched with
// fine diagonal lines, pieces from the chess glyphs of a free font. Every
// piece and mark stands on a white body cut out of the hatching, so the
// hatching never shows through a white piece nor through the white details
// of a black one.
//
//   1-12   white king, queen, rook, bishop, knight, pawn, each first on a
//          light square (odd picture), then on a dark one (even picture)
//   13-24  the black pieces in the same order
//   25/26  empty light and dark square
//   27     horizontal frame strip (9s x s/2), top and bottom of the board
//   28     vertical frame strip (s/2 x 8s), left and right of the board
//   29/30  a cross, 31/32 a dot, on a light and on a dark square
//
// Exit status 0 when all 32 pictures are written, else 1 with one line on
// standard error. Glyphs are drawn through GDK, so an X display is needed.

#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gdk/gdk.h>
#include <gtk/gtk.h>
#include <pango/pango.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "toolkit/toolkit.h"

namespace {

constexpr int default_square = 50;
constexpr int min_square = 16;
constexpr int max_square = 200;

// The store's ids: the set itself takes 1 to 32.
constexpr ObjectId hatch_image = 40;
constexpr ObjectId scratch_image = 41;
constexpr ObjectId body_image = 42;
constexpr ObjectId piece_font = 0;
constexpr ObjectId mark_font = 1;

constexpr Colour white = 0xFFFFFF;
constexpr Colour black = 0;

// The pieces' glyphs come from this font; its outline pieces are drawn with
// an even line weight that stays readable on small squares.
const char* const piece_family = "FreeSerif";
const char* const piece_package = "fonts-freefont-ttf";
// The marks' glyphs.
const char* const mark_family = "DejaVu Sans";
const char* const mark_package = "fonts-dejavu-core";

// White king ... pawn (U+2654 ... U+2659), then black (U+265A ... U+265F),
// in the order of the set's pieces 1 to 12.
const std::array<const char*, 12> piece_glyphs = {"♔", "♕", "♖", "♗", "♘", "♙",
                                                  "♚", "♛", "♜", "♝", "♞", "♟"};
const char* const cross_glyph = "✖";  // U+2716
const char* const dot_glyph = "●";    // U+25CF

// The pieces' ink fills this share of the square (the tallest piece's
// height or the widest piece's width, whichever is larger), the marks less.
constexpr double piece_share = 0.86;
constexpr double cross_share = 0.46;
constexpr double dot_share = 0.34;

[[noreturn]] void fail(const std::string& message) {
    std::fprintf(stderr, "make_piece_set: %s\n", message.c_str());
    toolkit_shutdown();
    std::exit(1);
}

// A whole number within the range, or -1.
int parse_square_size(const std::string& text) {
    // Nine digits cannot overflow an int.
    if (text.empty() || text.size() > 9) return -1;
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return -1;
        value = value * 10 + (c - '0');
    }
    return value >= min_square && value <= max_square ? value : -1;
}

// One byte per pixel: glyph coverage, or a 0/1 region.
struct Mask {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> values;

    Mask(int w, int h) : width(w), height(h), values(static_cast<std::size_t>(w) * h, 0) {}
    std::uint8_t& at(int x, int y) { return values[static_cast<std::size_t>(y) * width + x]; }
    std::uint8_t at(int x, int y) const { return values[static_cast<std::size_t>(y) * width + x]; }
};

// The ink of a mask: the smallest rectangle holding every pixel above a
// faint threshold; empty (right < left) when there is none.
struct Ink {
    int left = 0, top = 0, right = -1, bottom = -1;
    bool empty() const { return right < left; }
    int width() const { return right - left + 1; }
    int height() const { return bottom - top + 1; }
};

constexpr std::uint8_t ink_threshold = 24;

Ink ink_of(const Mask& mask) {
    Ink ink{mask.width, mask.height, -1, -1};
    for (int y = 0; y < mask.height; ++y) {
        for (int x = 0; x < mask.width; ++x) {
            if (mask.at(x, y) < ink_threshold) continue;
            ink.left = std::min(ink.left, x);
            ink.right = std::max(ink.right, x);
            ink.top = std::min(ink.top, y);
            ink.bottom = std::max(ink.bottom, y);
        }
    }
    return ink;
}

// The coverage of text drawn with its box at (x, y) on a width x height
// picture: white text on black in the scratch image, read back.
Mask coverage(FontHandle font, const std::string& text, int width, int height, int x, int y) {
    if (!image_create(scratch_image, width, height)) fail("out of memory for a scratch picture");
    if (!drawing_begin(image_target(scratch_image))) fail("cannot draw on a scratch picture");
    drawing_font(font);
    draw_text(x, y, text, white, black);
    drawing_end();

    GdkPixbuf* pixbuf = image_handle(scratch_image);
    const guchar* pixels = gdk_pixbuf_get_pixels(pixbuf);
    int stride = gdk_pixbuf_get_rowstride(pixbuf), channels = gdk_pixbuf_get_n_channels(pixbuf);
    Mask mask(width, height);
    for (int row = 0; row < height; ++row) {
        const guchar* p = pixels + static_cast<std::ptrdiff_t>(row) * stride;
        for (int column = 0; column < width; ++column, p += channels) {
            mask.at(column, row) = static_cast<std::uint8_t>((p[0] + p[1] + p[2]) / 3);
        }
    }
    image_free(scratch_image);
    return mask;
}

// The glyph's text: spaces on both sides keep ink that reaches past the
// glyph's advance inside the text box, which clips what it draws.
std::string padded(const char* glyph) { return std::string(" ") + glyph + " "; }

// Where a glyph's ink lies relative to its text box, measured on a scratch
// picture large enough for any glyph that fits the square.
Ink measure(FontHandle font, const char* glyph, int s) {
    Mask mask = coverage(font, padded(glyph), 4 * s, 3 * s, 0, 0);
    return ink_of(mask);
}

// Loads family at the pixel size (the screen's resolution is 72 dpi, so
// points are pixels) that makes the largest ink of the glyphs fill share of
// the square; the ink of every glyph at that size is left in inks.
void fit_font(ObjectId id, const char* family, const std::vector<const char*>& glyphs, int s, double share,
              std::vector<Ink>& inks) {
    int size = s;
    // The ink grows with the size nearly in proportion; two rounds of
    // correction settle it to a pixel.
    for (int round = 0; round < 3; ++round) {
        if (!font_load(id, family, size)) fail(std::string("no font description for ") + family);
        inks.clear();
        int extent = 0;
        for (const char* glyph : glyphs) {
            Ink ink = measure(font_handle(id), glyph, s);
            if (ink.empty()) fail(std::string("the font ") + family + " draws nothing for a glyph of the set");
            extent = std::max({extent, ink.width(), ink.height()});
            inks.push_back(ink);
        }
        int wanted = static_cast<int>(share * s + 0.5);
        if (extent == wanted || round == 2) break;
        size = std::max(4, static_cast<int>(static_cast<double>(size) * wanted / extent + 0.5));
    }
}

// The chosen font must really be the family named and hold every glyph of
// the set; otherwise Pango would quietly draw another font's glyphs, or
// empty boxes.
void check_font(const char* family, const char* package, const std::vector<const char*>& glyphs) {
    PangoContext* context = gdk_pango_context_get();
    PangoFontDescription* description = pango_font_description_from_string(family);
    PangoFont* font = pango_context_load_font(context, description);
    bool found = false;
    if (font) {
        PangoFontDescription* loaded = pango_font_describe(font);
        const char* loaded_family = pango_font_description_get_family(loaded);
        found = loaded_family && g_ascii_strcasecmp(loaded_family, family) == 0;
        if (found) {
            PangoCoverage* covered = pango_font_get_coverage(font, pango_language_get_default());
            for (const char* glyph : glyphs) {
                gunichar c = g_utf8_get_char(glyph);
                if (pango_coverage_get(covered, static_cast<int>(c)) != PANGO_COVERAGE_EXACT) found = false;
            }
            pango_coverage_unref(covered);
        }
        pango_font_description_free(loaded);
        g_object_unref(font);
    }
    pango_font_description_free(description);
    g_object_unref(context);
    if (!found) {
        fail(std::string("the font ") + family + " with the set's glyphs is not installed (Debian package " +
             package + ")");
    }
}

// The same glyph shapes whatever the desktop's font settings: grey
// anti-aliasing (no colour fringes), light hinting, and 72 dpi so that a
// font size in points is a size in pixels.
void fix_font_rendering() {
    GdkScreen* screen = gdk_screen_get_default();
    // GtkSettings, once made, pushes the desktop's settings onto the screen;
    // made first, it has done so before ours are set.
    gtk_settings_get_for_screen(screen);
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_SLIGHT);
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_ON);
    cairo_font_options_set_subpixel_order(options, CAIRO_SUBPIXEL_ORDER_DEFAULT);
    gdk_screen_set_font_options(screen, options);
    cairo_font_options_destroy(options);
    gdk_screen_set_resolution(screen, 72.0);
}

// The hatching of a dark square: diagonal lines rising to the right, a
// period of p pixels along a row, each line k pixels wide along a row. The
// line x + y = s - 1 runs through the square's top-right and bottom-left
// corners, so the lines go on unbroken into the dark squares that touch
// those corners.
struct Hatching {
    int period;
    int width;
};

Hatching hatching_for(int s) {
    // Fine lines, a third of the paper inked: one pixel in three up to a
    // square of 79, wider lines and gaps on larger squares, so that the
    // lines keep their weight against the pieces' outlines.
    int width = std::max(1, (s + 20) / 50);
    return {3 * width, width};
}

void make_hatch_image(int s) {
    if (!image_create(hatch_image, s, s)) fail("out of memory for the hatching");
    Hatching h = hatching_for(s);
    GdkPixbuf* pixbuf = image_handle(hatch_image);
    guchar* pixels = gdk_pixbuf_get_pixels(pixbuf);
    int stride = gdk_pixbuf_get_rowstride(pixbuf);
    for (int y = 0; y < s; ++y) {
        guchar* p = pixels + static_cast<std::ptrdiff_t>(y) * stride;
        for (int x = 0; x < s; ++x, p += 3) {
            // Distance along the row from the corner diagonal, the band
            // centred on it.
            int phase = ((x + y - (s - 1) + h.width / 2) % h.period + h.period) % h.period;
            guchar value = phase < h.width ? 0 : 255;
            p[0] = p[1] = p[2] = value;
        }
    }
}

// The region a glyph stands on: everything the outside cannot reach from
// the picture's border without crossing ink (a four-way flood fill, so that
// a line of pixels touching only at their corners still stops it), grown
// by a margin of blank paper that keeps the hatching clear of the outline.
Mask body_of(const Mask& glyph, int margin) {
    int w = glyph.width, h = glyph.height;
    Mask outside(w, h);
    std::vector<std::pair<int, int>> stack;
    auto visit = [&](int x, int y) {
        if (x < 0 || y < 0 || x >= w || y >= h || outside.at(x, y) || glyph.at(x, y) >= ink_threshold) return;
        outside.at(x, y) = 1;
        stack.emplace_back(x, y);
    };
    for (int x = 0; x < w; ++x) {
        visit(x, 0);
        visit(x, h - 1);
    }
    for (int y = 0; y < h; ++y) {
        visit(0, y);
        visit(w - 1, y);
    }
    while (!stack.empty()) {
        auto [x, y] = stack.back();
        stack.pop_back();
        visit(x + 1, y);
        visit(x - 1, y);
        visit(x, y + 1);
        visit(x, y - 1);
    }
    Mask body(w, h);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            if (outside.at(x, y)) continue;
            // A disc of the margin's radius around every pixel of the body.
            for (int dy = -margin; dy <= margin; ++dy) {
                for (int dx = -margin; dx <= margin; ++dx) {
                    int bx = x + dx, by = y + dy;
                    if (dx * dx + dy * dy > margin * margin + margin) continue;
                    if (bx >= 0 && by >= 0 && bx < w && by < h) body.at(bx, by) = 1;
                }
            }
        }
    }
    return body;
}

// The body as a white picture, transparent around it.
void make_body_image(const Mask& body) {
    if (!image_create(body_image, body.width, body.height, 32 + ImageTransparent)) {
        fail("out of memory for a piece's body");
    }
    GdkPixbuf* pixbuf = image_handle(body_image);
    guchar* pixels = gdk_pixbuf_get_pixels(pixbuf);
    int stride = gdk_pixbuf_get_rowstride(pixbuf);
    for (int y = 0; y < body.height; ++y) {
        guchar* p = pixels + static_cast<std::ptrdiff_t>(y) * stride;
        for (int x = 0; x < body.width; ++x, p += 4) {
            if (body.at(x, y)) p[0] = p[1] = p[2] = p[3] = 255;
        }
    }
}

// A glyph placed on a square: the position of its text box.
struct Placement {
    ObjectId font;
    const char* glyph;
    int x, y;
};

// Picture id: a square of size s, light or hatched, with the glyph (if any)
// on its white body.
void draw_square(ObjectId id, int s, bool dark, const Placement* piece) {
    if (!image_create(id, s, s)) fail("out of memory for picture " + std::to_string(id));
    bool with_body = false;
    if (piece && dark) {
        Mask glyph = coverage(font_handle(piece->font), padded(piece->glyph), s, s, piece->x, piece->y);
        make_body_image(body_of(glyph, std::max(1, s / 40)));
        with_body = true;
    }
    if (!drawing_begin(image_target(id))) fail("cannot draw picture " + std::to_string(id));
    drawing_mode(0);
    if (dark) {
        draw_image(image_handle(hatch_image), 0, 0);
    } else {
        draw_box(0, 0, s, s, white);
    }
    if (with_body) {
        drawing_mode(BlendColour);
        draw_image(image_handle(body_image), 0, 0);
    }
    if (piece) {
        drawing_mode(TextNoBackground);
        drawing_font(font_handle(piece->font));
        draw_text(piece->x, piece->y, padded(piece->glyph), black, white);
    }
    drawing_end();
    if (with_body) image_free(body_image);
}

// The weight of the frame's line.
int frame_line(int s) { return std::max(2, (s + 10) / 20); }

// The frame strips. The same horizontal strip lies above and below the
// board and the same vertical strip left and right of it, so a line along
// the board's edge on every side means a line along both long edges of
// each strip: a double frame, its inner line on the board's edge, its
// outer line round the diagram. For the same reason a corner cannot turn
// one way only: both lines of a vertical strip run on through the corner of
// the horizontal strip to its other edge, and both of its lines run out to
// its ends, so each corner is a small square.
//
// The vertical strips stand at columns 0 and 8s + s/2 of the horizontal
// strip (in the diagram and in the board window alike); for an odd s the
// horizontal strip's last column lies beyond them and stays blank.
void draw_frame_strips(int s) {
    int half = s / 2, line = std::min(frame_line(s), half / 2);
    int width = 9 * s, height = 8 * s, right = 8 * s + half;  // right: the right strip's column 0

    if (!image_create(27, width, half)) fail("out of memory for picture 27");
    if (!drawing_begin(image_target(27))) fail("cannot draw picture 27");
    drawing_mode(0);
    draw_box(0, 0, width, half, white);
    for (int x : {0, half - line, right, right + half - line}) draw_box(x, 0, line, half, black);
    for (int y : {0, half - line}) draw_box(0, y, right + half, line, black);
    drawing_end();

    if (!image_create(28, half, height)) fail("out of memory for picture 28");
    if (!drawing_begin(image_target(28))) fail("cannot draw picture 28");
    drawing_mode(0);
    draw_box(0, 0, half, height, white);
    for (int x : {0, half - line}) draw_box(x, 0, line, height, black);
    drawing_end();
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
        s = parse_square_size(argv[2]);
        if (s < 0) {
            std::fprintf(stderr, "make_piece_set: the square size must be a whole number from %d to %d, not \"%s\"\n",
                         min_square, max_square, argv[2]);
            return 1;
        }
    }

    // The display is needed before anything is written.
    if (!toolkit_init()) {
        std::fprintf(stderr, "make_piece_set: cannot open the X display (glyphs are drawn through GDK)\n");
        return 1;
    }
    register_jpeg_encoder();

    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (!std::filesystem::is_directory(folder, error)) fail("cannot make the folder " + folder);
    if (folder.back() != '/') folder += '/';

    fix_font_rendering();
    std::vector<const char*> pieces(piece_glyphs.begin(), piece_glyphs.end());
    check_font(piece_family, piece_package, pieces);
    check_font(mark_family, mark_package, {cross_glyph, dot_glyph});

    // The pieces share one base line: every piece is centred across the
    // square, and the ink of the whole set from the king's top to the
    // lowest base is centred down it.
    std::vector<Ink> inks;
    fit_font(piece_font, piece_family, pieces, s, piece_share, inks);
    int top = inks[0].top, bottom = inks[0].bottom;
    for (const Ink& ink : inks) {
        top = std::min(top, ink.top);
        bottom = std::max(bottom, ink.bottom);
    }
    int y = (s - (bottom - top + 1)) / 2 - top;

    make_hatch_image(s);
    for (int k = 0; k < 12; ++k) {
        Placement piece{piece_font, piece_glyphs[k], (s - inks[k].width()) / 2 - inks[k].left, y};
        draw_square(2 * k + 1, s, false, &piece);
        draw_square(2 * k + 2, s, true, &piece);
    }
    draw_square(25, s, false, nullptr);
    draw_square(26, s, true, nullptr);
    draw_frame_strips(s);

    // The marks, each centred both ways at its own size.
    const std::array<std::pair<const char*, double>, 2> marks = {{{cross_glyph, cross_share}, {dot_glyph, dot_share}}};
    for (int m = 0; m < 2; ++m) {
        std::vector<Ink> mark_inks;
        fit_font(mark_font, mark_family, {marks[m].first}, s, marks[m].second, mark_inks);
        const Ink& ink = mark_inks[0];
        Placement mark{mark_font, marks[m].first, (s - ink.width()) / 2 - ink.left, (s - ink.height()) / 2 - ink.top};
        draw_square(29 + 2 * m, s, false, &mark);
        draw_square(30 + 2 * m, s, true, &mark);
    }
    image_free(hatch_image);

    // Highest quality: the hatching's one-pixel lines blur at less.
    for (int n = 1; n <= 32; ++n) {
        std::string path = folder + std::to_string(n) + ".jpg";
        if (!image_save(n, path, FormatJPEG, 10)) fail("cannot write " + path);
    }
    toolkit_shutdown();
    return 0;
}
