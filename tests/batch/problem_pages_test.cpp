// diagram_batch's pages of problems, read back with poppler's tools: the
// heading over the board, the stipulation and the count on one line under
// it, the twins and legend after, the count taken from the position
// (promoted and neutral men too), the solution in the key as given; and
// every format draws a problem alone.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "batch/pages.h"
#include "core/fen.h"
#include "tests/support/render_support.h"
#include "tests/support/temp_dir.h"

using namespace batch;

namespace {

// As a problem file gives it: a fairy man turned, a twin, a condition.
std::shared_ptr<const chess::Problem> grasshopper_problem() {
    auto p = std::make_shared<chess::Problem>();
    p->authors = {"N. Vasiliev", "P. Orlov"};
    p->source = "Shakhmatnaya Kompozitsiya 2004";
    p->award = "2nd Prize";
    p->stipulation = "h#2";
    p->twins = {{"b)", "bKd4\u2192e4"}};
    p->conditions = {"Madrasi"};
    p->legend = {{"Grasshoppers", {chess::parse_square("c2"), chess::parse_square("e5")}}};
    p->solution = "a) 1.Gc2-c6 Rb5 2.Kc5 Rb4#\n   1...Kb4 2.Gd4\nb) 1.Ke5 Rh4 2.Kf5 Rf4#";
    return p;
}

BookItem item_of(const std::string& fen, std::shared_ptr<const chess::Problem> problem, int number) {
    BookItem item;
    item.position = chess::read_fen(fen).position;
    item.problem = std::move(problem);
    if (item.problem) item.solution = item.problem->solution;
    item.number = number;
    item.place = static_cast<std::size_t>(number);
    return item;
}

// A command's output (the tests name their page runs `run`).
std::string run_text(const std::string& command) { return run(command); }

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// The line holding `part`, or -1.
int line_with(const std::vector<std::string>& lines, const std::string& part) {
    for (std::size_t k = 0; k < lines.size(); ++k)
        if (lines[k].find(part) != std::string::npos) return static_cast<int>(k);
    return -1;
}

}  // namespace

TEST(ProblemPages, HeadingFooterAndKeyReadBack) {
    TempDir dir;
    PageRun run;
    run.columns = 2;
    run.rows = 2;
    run.solutions = true;
    run.style.numbers = true;
    DrawSettings draw;
    draw.format = Format::Pdf;
    const std::string path = dir.file("column.pdf");
    ItemPages pages(run, draw, path, {});
    std::string error;
    // A grasshopper on c2 and e5, queens upside down.
    BookItem fairy = item_of("8/8/8/4Q3/1R1k4/8/2q5/4K3 w - - 0 1", grasshopper_problem(), 1);
    fairy.position.looks[static_cast<std::size_t>(chess::parse_square("c2"))].turn = 2;
    fairy.position.looks[static_cast<std::size_t>(chess::parse_square("e5"))].turn = 2;
    ASSERT_TRUE(pages.add(fairy, error)) << error;
    // Three white queens (two promoted) and a neutral pawn: the count says
    // what stands, never what a game begins with.
    auto direct = std::make_shared<chess::Problem>();
    direct->authors = {"A. Kuznetsov"};
    direct->stipulation = "#3";
    BookItem promoted = item_of("7k/8/5QQQ/8/8/3P4/8/7K w - - 0 1", direct, 2);
    promoted.position.looks[static_cast<std::size_t>(chess::parse_square("d3"))].neutral = true;
    ASSERT_TRUE(pages.add(promoted, error)) << error;
    // A position that is no problem keeps its caption.
    BookItem plain = item_of("4k3/8/8/8/8/8/8/4K3 w - - 0 1", nullptr, 3);
    plain.caption = "Kings alone";
    plain.solution = "1.Kd2";
    ASSERT_TRUE(pages.add(plain, error)) << error;
    ASSERT_TRUE(pages.finish(error)) << error;

    const auto page = lines_of(run_text("pdftotext -layout -f 1 -l 1 '" + path + "' -"));
    const int authors = line_with(page, "N. Vasiliev & P. Orlov"), source = line_with(page, "Shakhmatnaya Kompozitsiya 2004");
    const int stipulation = line_with(page, "h#2");
    ASSERT_GE(authors, 0) << page.size();
    EXPECT_EQ(source, authors + 1);
    EXPECT_EQ(line_with(page, "2nd Prize"), source + 1);
    // The heading above the board, the stipulation below it with the count
    // on its line: white K, Q, R (3), black k, grasshopper (2).
    ASSERT_GT(stipulation, source + 5);
    EXPECT_NE(page[static_cast<std::size_t>(stipulation)].find("(3+2)"), std::string::npos)
        << page[static_cast<std::size_t>(stipulation)];
    EXPECT_GT(line_with(page, "b) bKd4\u2192e4"), stipulation);
    EXPECT_GT(line_with(page, "Madrasi"), line_with(page, "b) bKd4"));
    EXPECT_GT(line_with(page, "Grasshoppers: c2, e5"), line_with(page, "Madrasi"));
    // Two white queens promoted and a neutral pawn, counted apart.
    const int three = line_with(page, "#3");
    ASSERT_GE(three, 0);
    EXPECT_NE(page[static_cast<std::size_t>(three)].find("(4+1+1)"), std::string::npos) << page[static_cast<std::size_t>(three)];
    EXPECT_GE(line_with(page, "Kings alone"), 0);

    // The key: the problem's solution line by line, its indentation kept;
    // a game's moves after the number.
    const auto key = lines_of(run_text("pdftotext -layout -f 2 -l 2 '" + path + "' -"));
    const int first = line_with(key, "a) 1.Gc2-c6 Rb5 2.Kc5 Rb4#"), second = line_with(key, "1...Kb4 2.Gd4");
    ASSERT_GE(first, 0);
    ASSERT_EQ(second, first + 1);
    EXPECT_GT(key[static_cast<std::size_t>(second)].find("1...Kb4"), key[static_cast<std::size_t>(first)].find("a) 1."));
    EXPECT_EQ(line_with(key, "b) 1.Ke5 Rh4 2.Kf5 Rf4#"), second + 1);
    EXPECT_GE(line_with(key, "1.Kd2"), 0);
}

// --style problem gives any item a footer with its count, its caption as
// the heading; plain gives a problem its caption and nothing else.
TEST(ProblemPages, StylesChooseTheLayout) {
    for (PrintStyle style : {PrintStyle::Problem, PrintStyle::Plain}) {
        TempDir dir;
        PageRun run;
        run.print = style;
        DrawSettings draw;
        draw.format = Format::Pdf;
        std::string error;
        ASSERT_TRUE(prepare_drawing(draw, error)) << error;
        BookItem plain = item_of("4k3/8/8/8/8/8/8/R3K3 w - - 0 1", nullptr, 1);
        plain.caption = "Rook ending";
        ASSERT_TRUE(write_styled_diagram(plain, run, draw, dir.file("plain.pdf"), error)) << error;
        BookItem problem = item_of("4k3/8/8/8/8/8/8/R3K3 w - - 0 1", grasshopper_problem(), 2);
        problem.caption = "From the file";
        ASSERT_TRUE(write_styled_diagram(problem, run, draw, dir.file("problem.pdf"), error)) << error;
        const std::string a = run_text("pdftotext -layout '" + dir.file("plain.pdf") + "' -");
        const std::string b = run_text("pdftotext -layout '" + dir.file("problem.pdf") + "' -");
        EXPECT_NE(a.find("Rook ending"), std::string::npos);
        EXPECT_EQ(a.find("(2+1)") != std::string::npos, style == PrintStyle::Problem) << a;
        EXPECT_EQ(b.find("h#2") != std::string::npos, style == PrintStyle::Problem) << b;
        EXPECT_EQ(b.find("From the file") != std::string::npos, style == PrintStyle::Plain) << b;
    }
}

// Every format draws a problem alone, fairy and neutral men included.
TEST(ProblemPages, EveryFormatDrawsAProblem) {
    TempDir dir;
    PageRun run;
    BookItem item = item_of("8/8/8/4Q3/1R1k4/8/2q5/4K3 w - - 0 1", grasshopper_problem(), 1);
    item.position.looks[static_cast<std::size_t>(chess::parse_square("e5"))] = {1, true};
    for (Format format : {Format::Pdf, Format::Svg, Format::Png, Format::Jpeg}) {
        DrawSettings draw;
        draw.format = format;
        const std::string path = dir.file(std::string("problem.") + extension_of(format));
        std::string error;
        ASSERT_TRUE(prepare_drawing(draw, error)) << error;
        ASSERT_TRUE(write_styled_diagram(item, run, draw, path, error)) << error;
        EXPECT_GT(std::filesystem::file_size(path), 1000u) << path;
    }
}
