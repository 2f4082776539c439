// Every file the renderer writes carries the records of its diagrams, and
// diagram_batch's own reader gives them back: single diagrams in each
// format, books of several pages in order, files of other programs
// refused with their reason; and a book stopped before its end replaces
// nothing.
#include <gtest/gtest.h>

#include <cairo-pdf.h>
#include <cairo-svg.h>
#include <cairo.h>

#include <poppler/cpp/poppler-document.h>
#include <poppler/cpp/poppler-toc.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "core/fen.h"
#include "input/diagram_items.h"
#include "input/diagram_pictures.h"
#include "render/book.h"
#include "render/output.h"
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

struct ReadBack {
    std::vector<input::DiagramItem> items;
    std::vector<std::string> problems;
};

ReadBack read_back(const std::string& path) {
    ReadBack back;
    input::ItemReader reader([&](const input::DiagramItem& item) { back.items.push_back(item); },
                             [&](const input::ReadProblem& problem) { back.problems.push_back(problem.message); });
    reader.read(path);
    return back;
}

std::string contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Crosses and dots among the men, a caption with what XML and PDF strings
// escape, coloured squares and arrows.
Diagram marked_diagram(int n) {
    Diagram d{position_of("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 " + std::to_string(n)),
              "Этюд " + std::to_string(n) + " <&> \"(x)\\", {}};
    d.position[parse_square("d4")] = Piece::Cross;
    d.position[parse_square("e5")] = Piece::Dot;
    d.options.marks = read_annotations("[%csl Ra1,Gh8][%cal Be2e4]");
    return d;
}

void expect_same(const input::DiagramItem& item, const Diagram& d) {
    EXPECT_EQ(write_fen(item.position), write_fen(d.position));
    EXPECT_EQ(item.caption, d.caption);
    EXPECT_EQ(item.marks, d.options.marks);
}

}  // namespace

TEST(Records, EachFormatGivesItsDiagramBack) {
    TempDir dir;
    const Diagram d = marked_diagram(7);
    std::string error;
    ASSERT_TRUE(write_pdf(renderer(), d, 18, dir.file("d.pdf"), error)) << error;
    ASSERT_TRUE(write_svg(renderer(), d, 18, dir.file("d.svg"), error)) << error;
    ASSERT_TRUE(write_png(renderer(), d, 20, dir.file("d.png"), error)) << error;
    ASSERT_TRUE(write_jpeg(renderer(), d, 20, jpeg_quality, dir.file("d.jpg"), error)) << error;
    for (const char* name : {"d.pdf", "d.svg", "d.png", "d.jpg"}) {
        // By the bytes as well as by the name.
        const std::string unnamed = dir.file(std::string("copy-of-") + name + ".data");
        std::filesystem::copy_file(dir.file(name), unnamed);
        for (const std::string& path : {dir.file(name), unnamed}) {
            const ReadBack back = read_back(path);
            EXPECT_TRUE(back.problems.empty()) << path << ": " << back.problems.front();
            ASSERT_EQ(back.items.size(), 1u) << path;
            expect_same(back.items[0], d);
        }
        EXPECT_TRUE(input::read_diagram_picture(dir.file(name), name).ok) << name;
    }
    // For screen readers, the SVG's title and description.
    const std::string svg = contents(dir.file("d.svg"));
    EXPECT_NE(svg.find("<title>1. Этюд 7 &lt;&amp;&gt; &quot;(x)\\</title>"), std::string::npos) << svg.substr(0, 600);
    EXPECT_NE(svg.find("<desc>FEN r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 7</desc>"), std::string::npos);
    // A PNG's square is in pixels, a vector file's in points.
    EXPECT_NE(contents(dir.file("d.png")).find("\nsquare=20\n"), std::string::npos);
}

// Fourteen diagrams four to a page with their key: every diagram back in
// order, and an outline entry for each, named by its number and caption.
TEST(Records, PdfBookGivesAllItsDiagramsInOrder) {
    TempDir dir;
    const std::string path = dir.file("book.pdf");
    BookSettings settings;
    settings.columns = settings.rows = 2;
    BookWriter book(renderer(), settings, path);
    std::vector<Diagram> drawn;
    std::string error;
    for (int n = 1; n <= 14; ++n) {
        Diagram d = marked_diagram(n);
        d.options.number = std::to_string(n);
        drawn.push_back(d);
        ASSERT_TRUE(book.add(d, error)) << error;
        book.add_solution({std::to_string(n), "1. Ra8#"});
    }
    ASSERT_TRUE(book.finish(error)) << error;
    ASSERT_EQ(book.pages(), 5);
    const ReadBack back = read_back(path);
    EXPECT_TRUE(back.problems.empty());
    ASSERT_EQ(back.items.size(), drawn.size());
    for (std::size_t i = 0; i < drawn.size(); ++i) expect_same(back.items[i], drawn[i]);

    std::unique_ptr<poppler::document> document(poppler::document::load_from_file(path));
    ASSERT_TRUE(document);
    std::unique_ptr<poppler::toc> outline(document->create_toc());
    ASSERT_TRUE(outline);
    const std::vector<poppler::toc_item*> entries = outline->root()->children();
    ASSERT_EQ(entries.size(), 14u);
    const poppler::byte_array title = entries[13]->title().to_utf8();
    EXPECT_EQ(std::string(title.begin(), title.end()), "14. " + drawn[13].caption);
}

// Page files: each holds the records of the diagrams on it.
TEST(Records, PageFilesHoldTheirPagesDiagrams) {
    for (Format format : {Format::Png, Format::Jpeg, Format::Svg}) {
        TempDir dir;
        BookSettings settings;
        settings.columns = 2;
        settings.rows = 1;
        settings.format = format;
        settings.dpi = 72;
        auto page = [&](int n) { return dir.file("p" + std::to_string(n) + "." + extension_of(format)); };
        BookWriter book(renderer(), settings, "", page);
        std::string error;
        for (int n = 1; n <= 3; ++n) ASSERT_TRUE(book.add(marked_diagram(n), error)) << error;
        ASSERT_TRUE(book.finish(error)) << error;
        const ReadBack first = read_back(page(1)), second = read_back(page(2));
        ASSERT_EQ(first.items.size(), 2u) << extension_of(format);
        ASSERT_EQ(second.items.size(), 1u) << extension_of(format);
        expect_same(first.items[1], marked_diagram(2));
        expect_same(second.items[0], marked_diagram(3));
    }
}

// Files of other programs, and damaged ones: each one problem, with its reason.
TEST(Records, ForeignAndDamagedFilesAreRefused) {
    TempDir dir;
    cairo_surface_t* picture = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 20, 20);
    ASSERT_EQ(cairo_surface_write_to_png(picture, dir.file("plain.png").c_str()), CAIRO_STATUS_SUCCESS);
    cairo_surface_destroy(picture);
    for (cairo_surface_t* vector : {cairo_svg_surface_create(dir.file("plain.svg").c_str(), 50, 50),
                                    cairo_pdf_surface_create(dir.file("plain.pdf").c_str(), 50, 50)}) {
        cairo_t* cr = cairo_create(vector);
        cairo_rectangle(cr, 10, 10, 20, 20);
        cairo_fill(cr);
        cairo_destroy(cr);
        cairo_surface_destroy(vector);
    }
    std::string error;
    ASSERT_TRUE(write_png(renderer(), marked_diagram(1), 20, dir.file("ours.png"), error)) << error;
    const std::string ours = contents(dir.file("ours.png"));
    std::ofstream(dir.file("cut.png"), std::ios::binary) << ours.substr(0, ours.size() / 2);
    ASSERT_TRUE(write_pdf(renderer(), marked_diagram(1), 18, dir.file("ours.pdf"), error)) << error;
    const std::string pdf = contents(dir.file("ours.pdf"));
    std::ofstream(dir.file("cut.pdf"), std::ios::binary) << pdf.substr(0, 200);
    std::string svg = contents(dir.file("plain.svg"));
    svg.insert(svg.find('>', svg.find("<svg")) + 1, "<metadata>chess-diagram/1\nfen=8/8/8/8/8/8/8/8 w - - 0 1\n</metadata>");
    std::ofstream(dir.file("damaged.svg")) << svg;

    const struct {
        const char* name;
        const char* reason;
    } cases[] = {
        {"plain.png", "holds no diagram record"},
        {"plain.svg", "holds no diagram record"},
        {"plain.pdf", "holds no diagram record"},
        {"cut.png", "past the end of the PNG file"},
        {"cut.pdf", "cannot be read"},
        {"damaged.svg", "damaged diagram record: no square"},
    };
    for (const auto& c : cases) {
        const ReadBack back = read_back(dir.file(c.name));
        EXPECT_TRUE(back.items.empty()) << c.name;
        ASSERT_EQ(back.problems.size(), 1u) << c.name;
        EXPECT_NE(back.problems[0].find(c.reason), std::string::npos) << c.name << ": " << back.problems[0];
        EXPECT_FALSE(input::read_diagram_picture(dir.file(c.name), c.name).ok) << c.name;
    }
}

// Stopped while its answer key is drawn, a book replaces nothing: the old
// PDF stays as it was, and so do the old page files, new pages or not.
TEST(Records, StoppedBookLeavesOldFilesWhole) {
    for (Format format : {Format::Pdf, Format::Png}) {
        TempDir dir;
        auto page = [&](int n) { return dir.file("p" + std::to_string(n) + ".png"); };
        const std::string path = format == Format::Pdf ? dir.file("book.pdf") : page(1);
        std::ofstream(path) << "the old book";
        BookSettings settings;
        settings.columns = settings.rows = 1;
        settings.format = format;
        settings.dpi = 36;
        {
            BookWriter book(renderer(), settings, path,
                            format == Format::Pdf ? std::function<std::string(int)>() : page);
            std::string error;
            ASSERT_TRUE(book.add(marked_diagram(1), error)) << error;
            for (int n = 1; n <= 200; ++n) book.add_solution({std::to_string(n), "1. e4 e5 2. Nf3 Nc6 3. Bb5 a6"});
            int asked = 0;
            book.set_stop([&] { return ++asked == 2; });
            EXPECT_FALSE(book.finish(error));
            EXPECT_EQ(error, "interrupted");
            EXPECT_EQ(asked, 2);
            EXPECT_GE(book.pages(), 3) << "stopped after the key's first page";
        }
        EXPECT_EQ(contents(path), "the old book");
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1) << "no temporary file left";
    }
}
