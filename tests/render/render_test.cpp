// The diagram renderer drawn headless: pixels of known squares at known
// sizes, vector files without pictures inside, files replaced only whole.
#include <gtest/gtest.h>

#include <cairo.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <limits>
#include <memory>
#include <string>

#include "core/diagram_layout.h"
#include "core/fen.h"
#include "render/output.h"
#include "tests/support/file_size_limit.h"
#include "tests/support/grey_picture.h"
#include "tests/support/render_support.h"
#include "tests/support/temp_dir.h"

using namespace chess;
using namespace chess::render;

namespace {

Diagram diagram_of(const std::string& fen, const std::string& caption = "") {
    Diagram d;
    FenResult read = read_fen(fen);
    EXPECT_TRUE(read.ok) << read.error;
    d.position = read.position;
    d.caption = caption;
    return d;
}

GreyPicture raster(const Diagram& d, double s) {
    cairo_surface_t* surface = rasterise(renderer(), d, s);
    EXPECT_TRUE(surface);
    if (!surface) return {};
    GreyPicture picture = from_surface(surface);
    cairo_surface_destroy(surface);
    return picture;
}

// Share of the pixels darker than mid grey.
double inked(const GreyPicture& p, int x, int y, int w, int h) {
    int n = 0;
    for (int row = y; row < y + h; ++row)
        for (int column = x; column < x + w; ++column) n += p.at(column, row) < 128;
    return static_cast<double>(n) / (w * h);
}

std::string contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

constexpr const char* kings = "4k3/8/8/8/8/8/8/4K3 w - - 0 1";

}  // namespace

// At 50 pixels a square, the editor's picture: 450 x 475, squares on the
// editor's grid, crisp one-pixel hatching a third inked.
TEST(Render, SquaresAndFrameInPixels) {
    GreyPicture p = raster(diagram_of("8/8/8/8/8/8/8/8 w - - 0 1"), 50);
    ASSERT_EQ(p.width, 450);
    ASSERT_EQ(p.height, 475);
    DiagramLayout layout{50};
    // a8, top left, is light: all paper.
    EXPECT_EQ(inked(p, layout.square_x(1), layout.square_y(1), 50, 50), 0.0);
    for (int x = layout.square_x(1); x < layout.square_x(1) + 50; ++x) EXPECT_EQ(p.at(x, 60), 255);
    // b8 is dark: one pixel in three along every row, no greys.
    int x0 = layout.square_x(2), y0 = layout.square_y(1);
    EXPECT_NEAR(inked(p, x0, y0, 50, 50), 1.0 / 3, 0.02);
    for (int y = y0; y < y0 + 50; ++y) {
        int ink = 0;
        for (int x = x0; x < x0 + 50; ++x) {
            EXPECT_TRUE(p.at(x, y) == 0 || p.at(x, y) == 255) << x << "," << y;
            ink += p.at(x, y) == 0;
        }
        EXPECT_NEAR(ink, 50 / 3.0, 1.0) << "row " << y;
    }
    // The line through the square's top-right corner, as the shipped set has it.
    EXPECT_EQ(p.at(x0 + 49, y0), 0);
    EXPECT_EQ(p.at(x0, y0 + 49), 0);

    // The frame: 3-pixel lines at the picture's edge and along the board,
    // paper between them.
    for (int y : {0, 1, 2, 22, 23, 24, 425, 426, 427, 447, 448, 449}) EXPECT_EQ(p.at(200, y), 0) << "row " << y;
    for (int y : {3, 12, 21, 428, 440, 446}) EXPECT_EQ(p.at(200, y), 255) << "row " << y;
    for (int x : {0, 2, 22, 24, 425, 427, 447, 449}) EXPECT_EQ(p.at(x, 200), 0) << "column " << x;
    for (int x : {3, 12, 21, 428, 446}) EXPECT_EQ(p.at(x, 200), 255) << "column " << x;
    // The caption band is white without a caption.
    EXPECT_EQ(inked(p, 0, 450, 450, 25), 0.0);
}

// A man on a dark square stands on a white body: inside his outline the
// dark square agrees with the light one; around him it is hatched.
TEST(Render, MenStandOnWhiteBodies) {
    for (double s : {50.0, 27.0, 120.0}) {
        SCOPED_TRACE(s);
        int n = static_cast<int>(s);
        for (Piece p : {Piece::WhiteKing, Piece::BlackKnight, Piece::WhitePawn, Piece::Cross}) {
            cairo_surface_t* light = cairo_image_surface_create(CAIRO_FORMAT_RGB24, n, n);
            cairo_surface_t* dark = cairo_image_surface_create(CAIRO_FORMAT_RGB24, n, n);
            for (auto [surface, is_dark] : {std::pair{light, false}, std::pair{dark, true}}) {
                cairo_t* cr = cairo_create(surface);
                renderer().draw_square(cr, p, is_dark, s);
                cairo_destroy(cr);
            }
            GreyPicture l = from_surface(light), d = from_surface(dark);
            cairo_surface_destroy(light);
            cairo_surface_destroy(dark);
            // The middle of the square lies within every man's outline.
            int disagree = 0, inside = 0;
            for (int y = n * 3 / 8; y < n * 5 / 8; ++y)
                for (int x = n * 3 / 8; x < n * 5 / 8; ++x) {
                    disagree += std::abs(l.at(x, y) - d.at(x, y)) > 40;
                    ++inside;
                }
            EXPECT_EQ(disagree, 0) << static_cast<int>(p);
            // A corner strip of the dark square is hatched, of the light one paper.
            EXPECT_NEAR(inked(d, 0, 0, n, n / 16 + 1), 1.0 / 3, 0.1);
            EXPECT_EQ(inked(l, 0, 0, n, n / 16 + 1), 0.0);
        }
    }
}

// Flipped, a1 is the top-right square and h8 the bottom-left; the
// coordinates follow.
TEST(Render, FlipPutsA1TopRight) {
    Diagram d = diagram_of("7r/8/8/8/8/8/8/R7 w - - 0 1");
    DiagramLayout layout{50};
    auto square = [&](const GreyPicture& p, int i, int j) {
        return p.crop(layout.square_x(i), layout.square_y(j), 50, 50).values;
    };
    GreyPicture plain = raster(d, 50);
    d.options.flipped = true;
    GreyPicture flipped = raster(d, 50);
    GreyPicture empty = raster(diagram_of("8/8/8/8/8/8/8/8 w - - 0 1"), 50);
    // The white rook's a1 (dark) at the bottom left, then at the top right;
    // the black rook's h8 (dark) the other way round.
    EXPECT_NE(square(plain, 1, 8), square(empty, 1, 8));
    EXPECT_EQ(square(flipped, 8, 1), square(plain, 1, 8));
    EXPECT_EQ(square(flipped, 1, 8), square(plain, 8, 1));
    EXPECT_EQ(square(flipped, 1, 1), square(empty, 1, 1));
    EXPECT_EQ(square(flipped, 8, 8), square(empty, 8, 8));
    // Squares keep their colours: the top-left square is light either way.
    EXPECT_EQ(inked(flipped, layout.square_x(1), layout.square_y(1), 50, 5), 0.0);

    // The coordinates: "a" under the rightmost column when flipped, "8"
    // beside the bottom row; compare with the unflipped letters.
    d.options.coordinates = true;
    GreyPicture letters_flipped = raster(d, 50);
    d.options.flipped = false;
    GreyPicture letters = raster(d, 50);
    auto file_label = [&](const GreyPicture& p, int i) { return p.crop(layout.square_x(i), 428, 50, 19); };
    auto rank_label = [&](const GreyPicture& p, int j) { return p.crop(3, layout.square_y(j), 19, 50); };
    EXPECT_EQ(file_label(letters, 1).values, file_label(letters_flipped, 8).values);
    EXPECT_EQ(rank_label(letters, 8).values, rank_label(letters_flipped, 1).values);
    EXPECT_NE(file_label(letters, 1).values, file_label(letters, 2).values);
    EXPECT_GT(inked(letters, layout.square_x(1), 428, 50, 19), 0.01);
}

// The caption lies in the band below the frame, centred.
TEST(Render, CaptionCentredInItsBand) {
    GreyPicture p = raster(diagram_of(kings, "Мат в два хода"), 50);
    int left = p.width, right = -1, top = p.height, bottom = -1;
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x)
            if (y >= 450 && p.at(x, y) < 128) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
    ASSERT_GE(right, 0);
    EXPECT_NEAR((left + right) / 2.0, 225, 3);
    EXPECT_GT(right - left, 100);
    EXPECT_GE(top, 452);
    EXPECT_LT(bottom, 475);
}

// A diagram number adds its band above; the rest moves down by it.
TEST(Render, NumberAboveTheFrame) {
    Diagram d = diagram_of(kings);
    d.options.number = "12";
    Size size = diagram_size(d.options, 50);
    EXPECT_DOUBLE_EQ(size.height, 500);
    GreyPicture p = raster(d, 50);
    ASSERT_EQ(p.height, 500);
    EXPECT_GT(inked(p, 200, 0, 50, 25), 0.05);
    EXPECT_EQ(p.at(200, 25), 0);  // the frame's outer line, 25 lower
}

// The print resolutions: whole pixels a third inked at any resolution,
// thicker lines at higher ones.
TEST(Render, HatchingInWholePixels) {
    EXPECT_EQ(raster_hatching(150).width, 1);
    EXPECT_EQ(raster_hatching(150).period, 3);
    EXPECT_EQ(raster_hatching(300).width, 2);
    EXPECT_EQ(raster_hatching(600).period, 12);
    EXPECT_NEAR(vector_hatching().period, 72.0 / 50, 1e-9);
    // At 300 dpi a 6 cm diagram: the squares' edges snapped to pixels and
    // the dark squares' lines 2 pixels in 6 on every row, still no greys.
    Diagram d = diagram_of("8/8/8/8/8/8/8/8 w - - 0 1");
    d.options.raster_dpi = 300;
    double s = square_pixels_for(60, 300);
    GreyPicture p = raster(d, s);
    EXPECT_EQ(p.width, 709);
    VectorDiagramLayout layout{s};
    int bx = static_cast<int>(std::ceil(layout.square_x(2))), by = static_cast<int>(std::ceil(layout.square_y(1)));
    int greys = 0;
    for (int y = by + 1; y < by + 70; ++y) {
        int ink = 0;
        for (int x = bx + 1; x < bx + 73; ++x) {
            greys += p.at(x, y) != 0 && p.at(x, y) != 255;
            ink += p.at(x, y) == 0;
        }
        EXPECT_NEAR(ink, 72 / 3.0, 2.1) << "row " << y;
    }
    EXPECT_EQ(greys, 0);
}

// PDF and SVG hold paths and text only, on a page of the diagram's size.
TEST(Render, VectorFilesHoldNoPictures) {
    TempDir dir;
    Diagram d = diagram_of("r1bqkb1r/pppp1ppp/2n2n2/4p2Q/2B1P3/8/PPPP1PPP/RNB1K1NR w KQkq - 4 4", "Мат в один ход");
    d.options.marks.squares = {{parse_square("f7"), MarkColour::Green}, {parse_square("e5"), MarkColour::Blue}};
    d.options.marks.arrows = {{parse_square("h5"), parse_square("f7"), MarkColour::Red}};
    std::string error;
    ASSERT_TRUE(write_pdf(renderer(), d, 18, dir.file("d.pdf"), error)) << error;
    ASSERT_TRUE(write_svg(renderer(), d, 18, dir.file("d.svg"), error)) << error;

    std::string images = run("pdfimages -list " + dir.file("d.pdf") + " 2>&1");
    // The header and its rule, and no picture below them.
    EXPECT_NE(images.find("page"), std::string::npos) << images;
    EXPECT_EQ(std::count(images.begin(), images.end(), '\n'), 2) << images;
    std::string info = run("pdfinfo " + dir.file("d.pdf") + " 2>&1");
    EXPECT_NE(info.find("Page size:       162 x 171 pts"), std::string::npos) << info;
    EXPECT_NE(info.find("Pages:           1"), std::string::npos) << info;

    std::string svg = contents(dir.file("d.svg"));
    EXPECT_NE(svg.find("<svg"), std::string::npos);
    EXPECT_NE(svg.find("width=\"162pt\""), std::string::npos);
    EXPECT_NE(svg.find("height=\"171pt\""), std::string::npos);
    EXPECT_EQ(svg.find("<image"), std::string::npos);
    EXPECT_EQ(svg.find("data:image"), std::string::npos);
}

// The files read back by other programs' renderers show the board: poppler
// for the PDF, librsvg for the SVG, at 50 pixels a square.
TEST(Render, VectorFilesDrawTheBoard) {
    TempDir dir;
    Diagram d = diagram_of("8/8/8/8/8/8/8/KR6 w - - 0 1", "Ничья");
    std::string error;
    ASSERT_TRUE(write_pdf(renderer(), d, 36, dir.file("d.pdf"), error)) << error;
    ASSERT_TRUE(write_svg(renderer(), d, 36, dir.file("d.svg"), error)) << error;
    run("pdftoppm -r 100 -singlefile -png " + dir.file("d.pdf") + " " + dir.file("pdf"));
    run("rsvg-convert -d 100 -p 100 -o " + dir.file("svg.png") + " " + dir.file("d.svg"));
    DiagramLayout layout{50};
    for (const char* name : {"pdf.png", "svg.png"}) {
        SCOPED_TRACE(name);
        cairo_surface_t* surface = cairo_image_surface_create_from_png(dir.file(name).c_str());
        ASSERT_EQ(cairo_surface_status(surface), CAIRO_STATUS_SUCCESS);
        GreyPicture p = from_surface(surface);
        cairo_surface_destroy(surface);
        ASSERT_EQ(p.width, 450);
        ASSERT_EQ(p.height, 475);
        auto mean = [&](int x, int y, int w, int h) {
            double sum = 0;
            for (int row = y; row < y + h; ++row)
                for (int column = x; column < x + w; ++column) sum += p.at(column, row);
            return sum / (w * h);
        };
        EXPECT_GT(mean(layout.square_x(1) + 2, layout.square_y(1) + 2, 46, 46), 250);  // a8 light
        // b8 hatched: a grey at this resolution, darker where the reader
        // widens thin lines.
        double hatched = mean(layout.square_x(2) + 2, layout.square_y(1) + 2, 46, 46);
        EXPECT_GT(hatched, 110);
        EXPECT_LT(hatched, 215);
        // The white king's body on a1 (dark): white inside his crown's left lobe.
        EXPECT_GT(mean(layout.square_x(1) + 11, layout.square_y(8) + 21, 5, 5), 235);
        EXPECT_LT(mean(100, 1, 250, 1), 64);     // the frame's outer line
        EXPECT_LT(mean(150, 455, 150, 15), 250);  // the caption
    }
}

// A write that fails leaves the file that was there as it was, and no
// temporary file behind.
TEST(Render, FailedWriteLeavesTheOldFile) {
    TempDir dir;
    Diagram d = diagram_of(kings, "Ничья");
    std::string error;
    for (const char* name : {"d.pdf", "d.svg", "d.png", "d.jpg"}) {
        SCOPED_TRACE(name);
        std::string path = dir.file(name);
        {
            std::ofstream(path) << "the old content";
        }
        bool written;
        {
            FileSizeLimit limit(2000);
            std::string n = name;
            written = n == "d.pdf"   ? write_pdf(renderer(), d, 18, path, error)
                      : n == "d.svg" ? write_svg(renderer(), d, 18, path, error)
                      : n == "d.png" ? write_png(renderer(), d, 50, path, error)
                                     : write_jpeg(renderer(), d, 50, 10, path, error);
        }
        EXPECT_FALSE(written);
        EXPECT_NE(error.find(path), std::string::npos) << error;
        EXPECT_EQ(contents(path), "the old content");
        int files = 0;
        for (auto& entry : std::filesystem::directory_iterator(dir.path())) files += entry.is_regular_file();
        EXPECT_EQ(files, 1);
        std::filesystem::remove(path);
    }
    // A folder that does not exist, and a path that names a folder.
    EXPECT_FALSE(write_png(renderer(), d, 50, dir.file("none/d.png"), error));
    EXPECT_FALSE(write_pdf(renderer(), d, 18, dir.folder(), error));
    // Sound again: the same writes succeed and replace.
    ASSERT_TRUE(write_png(renderer(), d, 50, dir.file("d.png"), error)) << error;
    EXPECT_EQ(contents(dir.file("d.png")).substr(1, 3), "PNG");
}

// A PNG file in 8-bit grey (the header's depth 8, colour type 0) that holds
// the raster picture's pixels exactly.
TEST(Render, PngIsTheRasterPictureInGrey) {
    TempDir dir;
    Diagram d = diagram_of("r1bqkb1r/pppp1ppp/2n2n2/4p2Q/2B1P3/8/PPPP1PPP/RNB1K1NR w KQkq - 4 4", "Мат в один ход");
    d.options.marks.squares.push_back({parse_square("e5"), MarkColour::Green});
    std::string error;
    ASSERT_TRUE(write_png(renderer(), d, 50, dir.file("d.png"), error)) << error;
    const std::string bytes = contents(dir.file("d.png"));
    ASSERT_GT(bytes.size(), 26u);
    EXPECT_EQ(bytes[24], 8);
    EXPECT_EQ(bytes[25], 0);
    cairo_surface_t* surface = cairo_image_surface_create_from_png(dir.file("d.png").c_str());
    ASSERT_EQ(cairo_surface_status(surface), CAIRO_STATUS_SUCCESS);
    GreyPicture png = from_surface(surface), pixels = raster(d, 50);
    cairo_surface_destroy(surface);
    ASSERT_EQ(png.width, pixels.width);
    ASSERT_EQ(png.height, pixels.height);
    int differ = 0;
    for (int y = 0; y < png.height; ++y)
        for (int x = 0; x < png.width; ++x) differ += png.at(x, y) != pixels.at(x, y);
    EXPECT_EQ(differ, 0);
}

// A JPEG picture through the project's encoder, in grey: the diagram's
// size, and at the highest quality the raster picture's pixels within JPEG
// noise.
TEST(Render, JpegIsTheRasterPicture) {
    TempDir dir;
    Diagram d = diagram_of("r1bqkb1r/pppp1ppp/2n2n2/4p2Q/2B1P3/8/PPPP1PPP/RNB1K1NR w KQkq - 4 4", "Мат в один ход");
    std::string error;
    ASSERT_TRUE(write_jpeg(renderer(), d, 50, 10, dir.file("d.jpg"), error)) << error;
    const std::string bytes = contents(dir.file("d.jpg"));
    const std::size_t frame = bytes.find("\xFF\xC0");
    ASSERT_NE(frame, std::string::npos);
    EXPECT_EQ(bytes[frame + 9], 1);  // one component
    GreyPicture jpeg = load_jpeg(dir.file("d.jpg")), pixels = raster(d, 50);
    ASSERT_EQ(jpeg.width, 450);
    ASSERT_EQ(jpeg.height, 475);
    long long sum = 0;
    for (int y = 0; y < 475; ++y)
        for (int x = 0; x < 450; ++x) sum += std::abs(jpeg.at(x, y) - pixels.at(x, y));
    EXPECT_LT(static_cast<double>(sum) / (450 * 475), 0.5);
    // A part of a picture outside it is refused.
    cairo_surface_t* surface = rasterise(renderer(), d, 50);
    EXPECT_FALSE(write_jpeg_part(surface, 400, 0, 51, 10, 10, dir.file("part.jpg")));
    EXPECT_TRUE(write_jpeg_part(surface, 400, 0, 50, 10, 10, dir.file("part.jpg")));
    cairo_surface_destroy(surface);
    EXPECT_FALSE(std::filesystem::exists(dir.file("none.jpg")));
}

// The marks a book prints beside and on the board: the side to move beside
// its own rank, highlights and arrows as black-and-white styles.
TEST(Render, SideToMoveHighlightsAndArrows) {
    DiagramLayout layout{50};
    Diagram d = diagram_of("4k3/8/8/8/8/8/8/4K3 b - - 0 1");
    d.options.side_to_move = true;
    auto beside = [&](const GreyPicture& p, int j) { return inked(p, 428, layout.square_y(j), 19, 50); };
    GreyPicture black_to_move = raster(d, 50);
    EXPECT_GT(beside(black_to_move, 1), 0.1);  // a black disc by rank 8, at the top
    EXPECT_EQ(beside(black_to_move, 8), 0.0);
    d.options.flipped = true;
    GreyPicture flipped = raster(d, 50);
    EXPECT_GT(beside(flipped, 8), 0.1);  // Black's side is below now
    EXPECT_EQ(beside(flipped, 1), 0.0);
    d.position.to_move = Side::Unknown;
    EXPECT_EQ(beside(raster(d, 50), 8), 0.0);

    // Red: a heavy outline round an empty light square (a8), paper inside.
    Diagram h = diagram_of("8/8/8/8/8/8/8/8 w - - 0 1");
    h.options.marks.squares = {{parse_square("a8"), MarkColour::Red}, {parse_square("c8"), MarkColour::Green},
                            {parse_square("e8"), MarkColour::Blue}, {parse_square("g8"), MarkColour::Yellow}};
    GreyPicture marked = raster(h, 50);
    int x = layout.square_x(1), y = layout.square_y(1);
    EXPECT_EQ(inked(marked, x, y, 50, 3), 1.0);
    EXPECT_EQ(inked(marked, x + 10, y + 10, 30, 30), 0.0);
    // Green hatches a light square across the dark squares' direction,
    // Blue dots it, Yellow dashes its edge: each inks it, each differently.
    auto square = [&](int i) { return marked.crop(layout.square_x(i), y, 50, 50).values; };
    for (int i : {3, 5, 7}) EXPECT_GT(inked(marked, layout.square_x(i), y, 50, 50), 0.03) << "column " << i;
    EXPECT_NE(square(3), square(5));
    EXPECT_NE(square(5), square(7));
    GreyPicture green = marked.crop(layout.square_x(3), y, 50, 50);
    EXPECT_EQ(green.at(0, 0), 0);   // falling lines through the top-left corner
    EXPECT_EQ(green.at(49, 0), 255);

    // An arrow from a1 to h8 inks the squares between, and not elsewhere.
    Diagram a = diagram_of("8/8/8/8/8/8/8/8 w - - 0 1");
    a.options.marks.arrows = {{parse_square("a1"), parse_square("h8"), MarkColour::Red}};
    GreyPicture arrow = raster(a, 50), plain = raster(diagram_of("8/8/8/8/8/8/8/8 w - - 0 1"), 50);
    auto centre_ink = [&](const GreyPicture& p, int i, int j) {
        return inked(p, layout.square_x(i) + 23, layout.square_y(j) + 23, 4, 4);
    };
    EXPECT_EQ(centre_ink(arrow, 4, 5), 1.0);  // d4, hatched: the shaft runs through its middle
    EXPECT_LT(centre_ink(plain, 4, 5), 0.6);
    EXPECT_EQ(centre_ink(arrow, 2, 2), 0.0);  // b7, light: away from it
}

// The vector drawing (each man drawn once and placed, one set of hatching
// lines cut to the dark squares), replayed onto pixels: the same squares.
TEST(Render, VectorDrawingShowsTheSameBoard) {
    Diagram d = diagram_of("8/8/8/8/8/8/8/KR6 w - - 0 1");  // a1 dark, b1 light
    cairo_surface_t* recording = cairo_recording_surface_create(CAIRO_CONTENT_COLOR_ALPHA, nullptr);
    cairo_t* cr = cairo_create(recording);
    renderer().draw(cr, d, 50);
    cairo_destroy(cr);
    cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 450, 475);
    cr = cairo_create(image);
    cairo_set_source_surface(cr, recording, 0, 0);
    cairo_paint(cr);
    cairo_destroy(cr);
    GreyPicture vector = from_surface(image);
    cairo_surface_destroy(image);
    cairo_surface_destroy(recording);
    GreyPicture pixels = raster(d, 50);

    DiagramLayout layout{50};
    auto mean = [](const GreyPicture& p, int x, int y, int w, int h) {
        double sum = 0;
        for (int row = y; row < y + h; ++row)
            for (int column = x; column < x + w; ++column) sum += p.at(column, row);
        return sum / (w * h);
    };
    // Hatched a third: 1.44-point lines, a 0.48-point stroke.
    EXPECT_NEAR(mean(vector, layout.square_x(2), layout.square_y(1), 50, 50), 255 * 2 / 3.0, 12);
    EXPECT_EQ(mean(vector, layout.square_x(1), layout.square_y(1), 50, 50), 255);
    // The king on a1 on his white body, the rook on b1: the men's middles
    // agree with the pixel drawing's.
    for (int i : {1, 2}) {
        int x = layout.square_x(i) + 15, y = layout.square_y(8) + 15;
        EXPECT_NEAR(mean(vector, x, y, 20, 20), mean(pixels, x, y, 20, 20), 10) << "column " << i;
    }
    // The frame in the same places.
    for (int y : {1, 23, 426, 448}) EXPECT_LT(vector.at(200, y), 64) << "row " << y;
    EXPECT_EQ(vector.at(200, 12), 255);
}

// Sizes a caller may pass by mistake: nothing drawn for no size, and a
// huge square on a small picture costs the picture, not the square.
TEST(Render, OddSizesDrawQuicklyOrNothing) {
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 64, 64);
    cairo_t* cr = cairo_create(surface);
    cairo_set_source_rgb(cr, 0.5, 0.5, 0.5);
    cairo_paint(cr);
    Diagram d = diagram_of(kings, "Ничья");
    for (double s : {0.0, -50.0, std::nan(""), std::numeric_limits<double>::infinity()}) renderer().draw(cr, d, s);
    GreyPicture untouched = from_surface(surface);
    EXPECT_EQ(untouched.at(10, 10), 128);
    EXPECT_EQ(cairo_status(cr), CAIRO_STATUS_SUCCESS);
    renderer().draw(cr, d, 1e7);  // 2 x 10^7 hatching lines were it not cut to the picture
    renderer().draw_square(cr, Piece::WhiteKing, true, 1e8);
    EXPECT_EQ(cairo_status(cr), CAIRO_STATUS_SUCCESS);
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
    EXPECT_EQ(rasterise(renderer(), d, 1e5), nullptr);
    EXPECT_EQ(rasterise(renderer(), d, std::nan("")), nullptr);
}
