// Pages of diagrams and answer keys, headless: where the cells lie on each
// paper, what reaches each diagram (numbers, flips, marks), and books read
// back with poppler's tools page by page.
#include <gtest/gtest.h>

#include <cairo.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>

#include "core/diagram_layout.h"
#include "core/fen.h"
#include "core/pgn.h"
#include "render/book.h"
#include "tests/support/render_support.h"
#include "tests/support/temp_dir.h"

using namespace chess;
using namespace chess::render;

namespace {

Position position_of(const std::string& fen) {
    FenResult read = read_fen(fen);
    EXPECT_TRUE(read.ok) << read.error;
    return read.position;
}

constexpr const char* white_to_play = "4k3/8/8/8/8/8/8/R3K3 w - - 0 1";
constexpr const char* black_to_play = "4k3/8/8/8/8/8/8/R3K3 b - - 0 1";
constexpr double mm = 72.0 / 25.4;

std::size_t count_of(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

}  // namespace

TEST(BookOptions, GridsAndPapersByName) {
    int c = 0, r = 0;
    EXPECT_TRUE(read_grid("3x4", c, r));
    EXPECT_EQ(c, 3);
    EXPECT_EQ(r, 4);
    EXPECT_TRUE(read_grid("1x1", c, r));
    EXPECT_TRUE(read_grid("6X8", c, r));
    EXPECT_EQ(c, 6);
    EXPECT_EQ(r, 8);
    for (const char* bad : {"", "3", "3x", "x4", "0x4", "3x0", "7x4", "3x9", "3x4x", "34", "a x4", "3*4", "10x2"})
        EXPECT_FALSE(read_grid(bad, c, r)) << bad;

    Paper paper = Paper::Letter;
    EXPECT_TRUE(paper_named("A4", paper));
    EXPECT_EQ(paper, Paper::A4);
    EXPECT_TRUE(paper_named("letter", paper));
    EXPECT_EQ(paper, Paper::Letter);
    EXPECT_FALSE(paper_named("a3", paper));
    double w = 0, h = 0;
    paper_size(Paper::A4, w, h);
    EXPECT_NEAR(w, 595.28, 0.01);
    EXPECT_NEAR(h, 841.89, 0.01);
    paper_size(Paper::Letter, w, h);
    EXPECT_EQ(w, 612);
    EXPECT_EQ(h, 792);
}

// Every grid on both papers: cells inside the printable margins, touching
// neither each other nor the edge, and a diagram of the page's size centred
// in each, the same size everywhere and inside its cell.
TEST(BookLayout, CellsOfEveryGridOnBothPapers) {
    for (Paper paper : {Paper::A4, Paper::Letter}) {
        double pw = 0, ph = 0;
        paper_size(paper, pw, ph);
        for (int columns = 1; columns <= max_columns; ++columns) {
            for (int rows = 1; rows <= max_rows; ++rows) {
                SCOPED_TRACE(std::to_string(columns) + "x" + std::to_string(rows));
                const PageLayout page = page_layout(paper, columns, rows);
                EXPECT_EQ(page.capacity(), columns * rows);
                EXPECT_NEAR(page.margin, 15 * mm, 1e-9);
                EXPECT_NEAR(page.gap, 5 * mm, 1e-9);
                // The last cell ends at the far margin.
                const int last = columns * rows;
                EXPECT_NEAR(page.cell_x(last) + page.cell_width(), pw - 15 * mm, 1e-9);
                EXPECT_NEAR(page.cell_y(last) + page.cell_height(), ph - 15 * mm, 1e-9);
                DiagramOptions numbered;
                numbered.number = "1";
                for (const DiagramOptions& options : {DiagramOptions{}, numbered}) {
                    const double s = page_square(page, options);
                    const Size size = diagram_size(options, s);
                    // Fills the cell one way, fits the other.
                    EXPECT_LE(size.width, page.cell_width() + 1e-9);
                    EXPECT_LE(size.height, page.cell_height() + 1e-9);
                    EXPECT_TRUE(std::fabs(size.width - page.cell_width()) < 1e-9 ||
                                std::fabs(size.height - page.cell_height()) < 1e-9);
                    for (int n = 1; n <= last; ++n) {
                        const double x = page.centred_x(n, size.width), y = page.centred_y(n, size.height);
                        EXPECT_NEAR(x - page.cell_x(n), page.cell_x(n) + page.cell_width() - (x + size.width), 1e-9);
                        EXPECT_NEAR(y - page.cell_y(n), page.cell_y(n) + page.cell_height() - (y + size.height), 1e-9);
                    }
                }
            }
        }
    }
    // Known corners: A4 3 x 4, the second row's third cell.
    const PageLayout a4 = page_layout(Paper::A4, 3, 4);
    EXPECT_NEAR(a4.cell_width(), (595.2756 - 30 * mm - 10 * mm) / 3, 1e-3);
    EXPECT_NEAR(a4.cell_x(6), 15 * mm + 2 * (a4.cell_width() + 5 * mm), 1e-9);
    EXPECT_NEAR(a4.cell_y(6), 15 * mm + a4.cell_height() + 5 * mm, 1e-9);
}

TEST(BookDiagram, NumbersFlipsAndMarksFromTheData) {
    Annotations marks;
    read_annotations("[%csl Rd4,Ge5] [%cal Ba1a8,Ye1e2]", marks);
    DiagramStyle style;
    Diagram d = book_diagram(position_of(white_to_play), "Mate in 2", marks, 7, style);
    EXPECT_EQ(d.caption, "Mate in 2");
    EXPECT_EQ(d.options.number, "");
    EXPECT_FALSE(d.options.flipped);
    ASSERT_EQ(d.options.marks.squares.size(), 2u);
    EXPECT_EQ(d.options.marks.squares[0].square, square_of(3, 3));
    EXPECT_EQ(d.options.marks.squares[0].colour, MarkColour::Red);
    EXPECT_EQ(d.options.marks.squares[1].colour, MarkColour::Green);
    ASSERT_EQ(d.options.marks.arrows.size(), 2u);
    EXPECT_EQ(d.options.marks.arrows[0].from, square_of(0, 0));
    EXPECT_EQ(d.options.marks.arrows[0].to, square_of(0, 7));
    EXPECT_EQ(d.options.marks.arrows[0].colour, MarkColour::Blue);
    EXPECT_EQ(d.options.marks.arrows[1].colour, MarkColour::Yellow);

    style.numbers = style.coordinates = style.side_to_move = true;
    d = book_diagram(position_of(white_to_play), "", {}, 7, style);
    EXPECT_EQ(d.options.number, "7");
    EXPECT_TRUE(d.options.coordinates);
    EXPECT_TRUE(d.options.side_to_move);

    style.flip = Flip::BlackToMove;
    EXPECT_FALSE(book_diagram(position_of(white_to_play), "", {}, 1, style).options.flipped);
    EXPECT_TRUE(book_diagram(position_of(black_to_play), "", {}, 1, style).options.flipped);
    style.flip = Flip::Always;
    EXPECT_TRUE(book_diagram(position_of(white_to_play), "", {}, 1, style).options.flipped);
    style.flip = Flip::Never;
    EXPECT_FALSE(book_diagram(position_of(black_to_play), "", {}, 1, style).options.flipped);
}

// 14 diagrams 12 to a page and their answer key: three A4 pages, vector only,
// the numbers, captions and solutions readable as text where they belong.
TEST(BookPdf, PagesAndAnswerKeyReadBack) {
    TempDir dir;
    const std::string path = dir.file("book.pdf");
    DiagramStyle style;
    style.numbers = true;
    BookWriter book(renderer(), BookSettings{}, path);
    std::string error;
    for (int n = 1; n <= 14; ++n) {
        ASSERT_TRUE(book.add(book_diagram(position_of(white_to_play), "Study " + std::to_string(n), {}, n, style),
                             error))
            << error;
        book.add_solution({std::to_string(n), "1. Ra8# (" + std::to_string(n) + ")"});
    }
    ASSERT_TRUE(book.finish(error)) << error;
    EXPECT_EQ(book.pages(), 3);

    const std::string info = run("pdfinfo " + path);
    EXPECT_NE(info.find("Pages:           3\n"), std::string::npos) << info;
    EXPECT_NE(info.find("595.276 x 841.89 pts (A4)"), std::string::npos) << info;
    EXPECT_EQ(count_of(run("pdfimages -list " + path), "\n"), 2u) << "only the heading lines: no pictures inside";
    const std::string page1 = run("pdftotext -f 1 -l 1 -layout " + path + " -");
    EXPECT_NE(page1.find("Study 1"), std::string::npos);
    EXPECT_NE(page1.find("Study 12"), std::string::npos);
    EXPECT_EQ(page1.find("Study 13"), std::string::npos);
    const std::string page2 = run("pdftotext -f 2 -l 2 " + path + " -");
    EXPECT_NE(page2.find("Study 14"), std::string::npos);
    const std::string key = run("pdftotext -f 3 -l 3 " + path + " -");
    EXPECT_NE(key.find("Solutions"), std::string::npos);
    for (int n = 1; n <= 14; ++n)
        EXPECT_NE(key.find(std::to_string(n) + ". 1. Ra8# (" + std::to_string(n) + ")"), std::string::npos)
            << n << " in\n" << key;
}

// A long key flows down the columns and over pages, every entry once, in order.
TEST(BookPdf, AnswerKeyFlowsOverPages) {
    TempDir dir;
    const std::string path = dir.file("key.pdf");
    BookSettings settings;
    settings.paper = Paper::Letter;
    settings.columns = settings.rows = 1;
    BookWriter book(renderer(), settings, path);
    std::string error;
    ASSERT_TRUE(book.add(book_diagram(position_of(white_to_play), "", {}, 1, {}), error));
    const std::string moves = "1. e4 e5 2. Nf3 Nc6 3. Bb5 a6 4. Ba4 Nf6 5. O-O Be7 6. Re1 b5 7. Bb3 d6 8. c3 O-O";
    for (int n = 1; n <= 300; ++n) book.add_solution({std::to_string(n), moves});
    ASSERT_TRUE(book.finish(error)) << error;
    EXPECT_GT(book.pages(), 3);
    const std::string info = run("pdfinfo " + path);
    EXPECT_NE(info.find("612 x 792 pts (letter)"), std::string::npos) << info;
    const std::string text = run("pdftotext -f 2 " + path + " -");
    std::size_t at = 0;
    for (int n = 1; n <= 300; ++n) {
        const std::size_t found = text.find(std::to_string(n) + ". 1. e4", at);
        ASSERT_NE(found, std::string::npos) << "entry " << n;
        at = found;
    }
}

// A solution longer than a column goes on in the next column, then on the
// next page: nothing runs off the page, and every move is there in order.
TEST(BookPdf, LongSolutionFlowsOverColumnsAndPages) {
    TempDir dir;
    const std::string path = dir.file("long.pdf");
    BookSettings settings;
    settings.columns = settings.rows = 1;
    BookWriter book(renderer(), settings, path);
    std::string error;
    ASSERT_TRUE(book.add(book_diagram(position_of(white_to_play), "", {}, 1, {}), error));
    std::string moves;
    for (int n = 1; n <= 700; ++n) moves += std::to_string(n) + ". Nf3 Nf6 ";
    book.add_solution({"1", moves + "end"});
    book.add_solution({"2", "1. Ra8#"});
    ASSERT_TRUE(book.finish(error)) << error;
    ASSERT_GE(book.pages(), 3);
    std::string text;
    for (int page = 2; page <= book.pages(); ++page) {
        // Each page's text within the page: the crop box is all pdftotext reads.
        const std::string page_text = run("pdftotext -f " + std::to_string(page) + " -l " + std::to_string(page) +
                                          " " + path + " -");
        EXPECT_NE(page_text.find("Nf3"), std::string::npos) << "page " << page;
        text += page_text;
    }
    std::size_t at = 0;
    for (int n = 1; n <= 700; n += 7) {
        const std::size_t found = text.find(std::to_string(n) + ". Nf3", at);
        ASSERT_NE(found, std::string::npos) << "move " << n;
        at = found;
    }
    EXPECT_NE(text.find("end", at), std::string::npos);
    EXPECT_NE(text.find("2. 1. Ra8#", at), std::string::npos);
    // The key's first page fills its second column.
    const std::string layout = run("pdftotext -f 2 -l 2 -layout " + path + " -");
    std::size_t two_columns = 0;
    for (std::size_t line = 0; line < layout.size();) {
        const std::size_t end = layout.find('\n', line);
        const std::string row = layout.substr(line, end - line);
        // Text, a gap wider than any between words, text again.
        const std::size_t gap = row.find("        ", row.find_first_not_of(' '));
        if (gap != std::string::npos && row.find_first_not_of(' ', gap) != std::string::npos) ++two_columns;
        line = end == std::string::npos ? layout.size() : end + 1;
    }
    EXPECT_GT(two_columns, 20u) << layout.substr(0, 2000);
}

// PNG pages: one file a page at the resolution asked, white where no
// diagram stands, the board's light squares white and a man's centre black.
TEST(BookRaster, PngPagesOneFileEach) {
    TempDir dir;
    BookSettings settings;
    settings.columns = settings.rows = 2;
    settings.format = Format::Png;
    settings.dpi = 72;
    BookWriter book(renderer(), settings, "", [&](int page) { return dir.file("p" + std::to_string(page) + ".png"); });
    std::string error;
    for (int n = 1; n <= 5; ++n)
        ASSERT_TRUE(book.add(book_diagram(position_of("8/8/8/8/8/8/8/k6K w - - 0 1"), "", {}, n, {}), error));
    ASSERT_TRUE(book.finish(error)) << error;
    EXPECT_EQ(book.pages(), 2);
    for (int page : {1, 2}) {
        cairo_surface_t* png = cairo_image_surface_create_from_png(dir.file("p" + std::to_string(page) + ".png").c_str());
        ASSERT_EQ(cairo_surface_status(png), CAIRO_STATUS_SUCCESS);
        EXPECT_EQ(cairo_image_surface_get_width(png), 596);
        EXPECT_EQ(cairo_image_surface_get_height(png), 842);
        const PageLayout layout = book.layout();
        const double s = page_square(layout, {});
        const Size size = diagram_size({}, s);
        const VectorDiagramLayout d{s};
        auto grey = [&](double x, double y) {
            const unsigned char* data = cairo_image_surface_get_data(png);
            const int stride = cairo_image_surface_get_stride(png);
            return data[static_cast<int>(y) * stride + static_cast<int>(x) * 4 + 1];
        };
        const double x0 = layout.centred_x(1, size.width), y0 = layout.centred_y(1, size.height);
        // h1 (column 8, row 8) holds the white king: his outline is black
        // somewhere on the square's middle column; b8 (column 2, row 1) is light and empty.
        EXPECT_EQ(grey(x0 + d.square_x(1) + s / 2, y0 + d.square_y(1) + s / 2), 255);
        int dark = 0;
        for (double y = d.square_y(8); y < d.square_y(8) + s; y += 1) dark += grey(x0 + d.square_x(8) + s / 2, y0 + y) < 100;
        EXPECT_GT(dark, 2);
        // The last cell of page 2 stays white.
        if (page == 2) {
            EXPECT_EQ(grey(layout.cell_x(4) + layout.cell_width() / 2, layout.cell_y(4) + layout.cell_height() / 2), 255);
        }
        cairo_surface_destroy(png);
    }
    EXPECT_FALSE(std::filesystem::exists(dir.file("p3.png")));
}

// A book that cannot be written says so and leaves nothing behind.
TEST(BookPdf, UnwritableFolderIsReported) {
    BookWriter book(renderer(), BookSettings{}, "/nonexistent-folder/book.pdf");
    std::string error;
    EXPECT_FALSE(book.add(book_diagram(position_of(white_to_play), "", {}, 1, {}), error));
    EXPECT_NE(error.find("/nonexistent-folder/book.pdf"), std::string::npos) << error;
    EXPECT_FALSE(book.finish(error));
}

// Games from PGN as a book draws them: a puzzle with its caption, marks and
// solution, a game with an illegal move skipped (its number not used), a
// played game after its main line. (What the games give, captions
// included, is the input reader's to test.)
TEST(BookPgn, GamesBecomeDiagramsAndBrokenOnesAreSkipped) {
    const std::string pgn =
        "[Event \"Puzzles\"]\n[FEN \"4k3/8/8/8/8/8/8/R3K3 w - - 0 1\"]\n\n"
        "{Mate in one [%csl Rd5]} 1. Ra8+ 1-0\n\n"
        "[Event \"Broken\"]\n\n1. e4 e5 2. Nf3 Nf6 3. Ke3 *\n\n"
        "[White \"Anna\"]\n[Black \"Boris\"]\n\n1. e4 e5 2. Qh5 Nc6 3. Bc4 Nf6 4. Qxf7# 1-0\n";
    TempDir dir;
    const std::string path = dir.file("games.pdf");
    BookSettings settings;
    settings.columns = 2;
    settings.rows = 1;
    BookWriter book(renderer(), settings, path);
    DiagramStyle style;
    style.numbers = true;
    std::istringstream in(pgn);
    PgnReader reader(in);
    PgnGame game;
    PgnError refused;
    int number = 0, skipped = 0;
    std::string error;
    for (PgnReader::Status status; (status = reader.next(game, refused)) != PgnReader::Status::End;) {
        if (status == PgnReader::Status::Error) {
            ++skipped;
            continue;
        }
        ++number;
        ASSERT_TRUE(book.add(book_diagram(game.position, game.caption, game.annotations, number, style), error))
            << error;
        book.add_solution({std::to_string(number), game.solution});
    }
    ASSERT_TRUE(book.finish(error)) << error;
    EXPECT_EQ(number, 2);
    EXPECT_EQ(skipped, 1);
    EXPECT_EQ(book.pages(), 2);
    const std::string page = run("pdftotext -f 1 -l 1 " + path + " -");
    EXPECT_NE(page.find("Mate in one"), std::string::npos) << page;
    EXPECT_EQ(page.find("%csl"), std::string::npos) << page;
    const std::string key = run("pdftotext -f 2 -l 2 " + path + " -");
    EXPECT_NE(key.find("1. 1. Ra8+"), std::string::npos) << key;
    EXPECT_NE(key.find("2. 1. e4 e5 2. Qh5 Nc6 3. Bc4 Nf6 4. Qxf7#"), std::string::npos) << key;

    // The played game's diagram is the position after its last move: the
    // queen on f7 (column 6, row 2), drawn at 150 dpi; the puzzle's mark on
    // d5 (column 4, row 4) outlines that light square in black.
    const std::string png = dir.file("page");
    run("pdftoppm -r 150 -f 1 -l 1 -gray " + path + " " + png);
    std::ifstream file(png + "-1.pgm", std::ios::binary);
    std::string magic;
    int w = 0, h = 0, maxval = 0;
    file >> magic >> w >> h >> maxval;
    file.get();
    std::string pixels((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    ASSERT_EQ(pixels.size(), static_cast<std::size_t>(w) * h);
    const PageLayout layout = book.layout();
    DiagramOptions numbered;
    numbered.number = "1";
    const double s = page_square(layout, numbered);
    const Size size = diagram_size(numbered, s);
    const VectorDiagramLayout d{s};
    auto grey = [&](int cell, double x, double y) {
        const double px = (layout.centred_x(cell, size.width) + x) * 150 / 72;
        const double py = (layout.centred_y(cell, size.height) + s / 2 + y) * 150 / 72;
        return static_cast<unsigned char>(pixels[static_cast<std::size_t>(py) * w + static_cast<std::size_t>(px)]);
    };
    // Just inside d5's left edge, half way down: the mark's line.
    EXPECT_LT(grey(1, d.square_x(4) + 0.04 * s, d.square_y(4) + s / 2), 100);
    // The same place on e5 (column 5, row 4, light too, no mark): paper.
    EXPECT_GT(grey(1, d.square_x(6) + 0.04 * s, d.square_y(4) + s / 2), 200);
    int dark = 0;
    for (double y = 0.2 * s; y < 0.8 * s; y += 0.05 * s) dark += grey(2, d.square_x(6) + s / 2, d.square_y(2) + y) < 100;
    EXPECT_GT(dark, 1) << "no queen on f7";
}

