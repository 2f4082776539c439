// Files to diagram items: what a file is taken for, and what the reader
// hands on from lists, games and pictures, numbered over all inputs.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/fen.h"
#include "input/diagram_items.h"

using namespace chess;
using namespace chess::input;

namespace {

class DiagramItems : public ::testing::Test {
protected:
    void SetUp() override {
        folder = std::filesystem::path(::testing::TempDir()) / "diagram-items";
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
    }
    std::string write(const std::string& name, const std::string& bytes) {
        const std::string path = (folder / name).string();
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }
    // Reads the inputs in order, each as kind_of takes it.
    void read(const std::vector<std::string>& paths) {
        ItemReader reader([&](const DiagramItem& item) { items.push_back(item); },
                          [&](const ReadProblem& problem) { problems.push_back(problem); });
        for (const std::string& path : paths) reader.read(path, kind_of(path));
        count = reader.count();
    }
    std::filesystem::path folder;
    std::vector<DiagramItem> items;
    std::vector<ReadProblem> problems;
    std::size_t count = 0;
};

const char* const games =
    "[Event \"Puzzles\"]\n[FEN \"4k3/8/8/8/8/8/8/R3K3 w - - 0 1\"]\n\n"
    "{Mate in one [%csl Rd5]} 1. Ra8+ 1-0\n\n"
    "[Event \"Broken\"]\n\n1. e4 e5 2. Nf3 Nf6 3. Ke3 *\n\n"
    "[White \"Anna\"]\n[Black \"Boris\"]\n\n1. e4 e5 2. Qh5 Nc6 3. Bc4 Nf6 4. Qxf7# {[%cal Gh5f7]} 1-0\n";

TEST_F(DiagramItems, WhatAFileIsTakenFor) {
    // Pictures by name, whatever they hold; by content, whatever their name.
    EXPECT_EQ(kind_of(write("scan.BMP", "8/8/8/8/8/8/8/K6k w - - 0 1\n")), Kind::Picture);
    EXPECT_EQ(kind_of(write("saved.JPEG", "[Event \"x\"]\n")), Kind::Picture);
    EXPECT_EQ(kind_of(write("games.pgn", "\xFF\xD8\xFF\xE0")), Kind::Picture);
    EXPECT_EQ(kind_of(write("list.fen", "BM\x10\x00")), Kind::Picture);
    // PGN by name, or by a tag first.
    EXPECT_EQ(kind_of(write("games.PGN", "1. e4 *\n")), Kind::Pgn);
    EXPECT_EQ(kind_of(write("games.txt", "\xEF\xBB\xBF \r\n[Event \"x\"]\n")), Kind::Pgn);
    // Anything else is a list; an empty or missing file holds nothing.
    EXPECT_EQ(kind_of(write("list.txt", "# [not a tag]\n")), Kind::List);
    EXPECT_EQ(kind_of(write("one", "8")), Kind::List);
    EXPECT_EQ(kind_of(write("empty.pgn", "")), Kind::Nothing);
    EXPECT_EQ(kind_of((folder / "missing.fen").string()), Kind::Nothing);
}

// Lists, games and pictures in one run: every item and problem in the
// inputs' order, numbered on over all of them, the rejected ones leaving
// their numbers unused.
TEST_F(DiagramItems, ItemsAreNumberedOverAllInputs) {
    const std::string list = write("list.epd",
                                   "# two records and a bad line\n"
                                   "4k3/8/8/8/8/8/8/4K2R w K - bm O-O; c0 \"Castle\"; c1 \"Rh1,Ge1 Ge1g1\";\n"
                                   "4k3/8/8/8/8/8/8/4K2X w - - 0 1\n"
                                   "4k3/8/8/8/8/8/8/R3K3 w - - bm Ra8+; pv Ra8+ Kd7;\n");
    const std::string pgn = write("games.pgn", games);
    const std::string picture = write("plain.jpg", "\xFF\xD8\xFF\xD9");
    read({list, pgn, picture, (folder / "gone.txt").string()});

    EXPECT_EQ(count, 7u);
    ASSERT_EQ(items.size(), 4u);
    EXPECT_EQ(items[0].number, 1u);
    EXPECT_EQ(items[1].number, 3u);
    EXPECT_EQ(items[2].number, 4u);
    EXPECT_EQ(items[3].number, 6u);

    // The EPD records: caption, marks from c1, solution from pv, else bm.
    EXPECT_EQ(items[0].source, list);
    EXPECT_EQ(items[0].line, 2);
    EXPECT_EQ(items[0].caption, "Castle");
    ASSERT_EQ(items[0].marks.squares.size(), 2u);
    EXPECT_EQ(items[0].marks.squares[0].square, parse_square("h1"));
    EXPECT_EQ(items[0].marks.squares[1].colour, MarkColour::Green);
    ASSERT_EQ(items[0].marks.arrows.size(), 1u);
    EXPECT_EQ(items[0].marks.arrows[0].to, parse_square("g1"));
    EXPECT_EQ(items[0].solution, "O-O");
    EXPECT_EQ(items[1].solution, "Ra8+ Kd7");
    EXPECT_TRUE(items[1].marks.empty());

    // The games: a puzzle's comment as caption, commands left out; a played
    // game after its main line, named by its players.
    EXPECT_EQ(items[2].source, pgn);
    EXPECT_EQ(items[2].game, 1);
    EXPECT_EQ(items[2].line, 1);
    EXPECT_EQ(items[2].caption, "Mate in one");
    EXPECT_EQ(items[2].solution, "1. Ra8+");
    ASSERT_EQ(items[2].marks.squares.size(), 1u);
    EXPECT_EQ(items[2].marks.squares[0].square, parse_square("d5"));
    EXPECT_EQ(items[3].game, 3);
    EXPECT_EQ(items[3].caption, "Anna \u2013 Boris");
    EXPECT_EQ(items[3].solution, "1. e4 e5 2. Qh5 Nc6 3. Bc4 Nf6 4. Qxf7#");
    EXPECT_EQ(items[3].position.squares[parse_square("f7")], Piece::WhiteQueen);
    ASSERT_EQ(items[3].marks.arrows.size(), 1u);

    ASSERT_EQ(problems.size(), 4u);
    EXPECT_EQ(problems[0].number, 2u);
    EXPECT_EQ(problems[0].message.rfind(list + ":3:", 0), 0u) << problems[0].message;
    EXPECT_EQ(problems[1].number, 5u);
    EXPECT_EQ(problems[1].message.rfind(pgn + ": game 2, move 3 (Ke3): ", 0), 0u) << problems[1].message;
    EXPECT_EQ(problems[2].number, 7u);
    EXPECT_EQ(problems[2].message.rfind(picture + ": ", 0), 0u) << problems[2].message;
    // An input that cannot be read uses no number.
    EXPECT_EQ(problems[3].number, 0u);
    EXPECT_EQ(problems[3].cause, "No such file or directory");
    EXPECT_EQ(problems[3].message, (folder / "gone.txt").string() + ": No such file or directory");
}

// A played game's caption is its players only when both are known; a
// puzzle keeps its own comment, or none.
TEST_F(DiagramItems, CaptionsOfGames) {
    read({write("games.pgn", "[White \"Anna\"]\n[Black \"?\"]\n\n1. e4 *\n\n"
                             "[White \"Anna\"]\n[Black \"Boris\"]\n\n{An opening} 1. e4 *\n\n"
                             "[White \"Anna\"]\n[Black \"Boris\"]\n[FEN \"4k3/8/8/8/8/8/8/R3K3 w - - 0 1\"]\n\n"
                             "1. Ra8+ *\n")});
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[0].caption, "");
    EXPECT_EQ(items[1].caption, "An opening");
    EXPECT_EQ(items[2].caption, "");
}

// An EPD record's c1 and its moves: marks as commands or as bare lists, and
// the variation before the best moves.
TEST(DiagramItemParts, MarksAndSolutionOfARecord) {
    Annotations bare = marks_of_comment("Rd4,Ge5 Be2e4 junk Yh1");
    ASSERT_EQ(bare.squares.size(), 3u);
    EXPECT_EQ(bare.squares[0].square, square_of(3, 3));
    EXPECT_EQ(bare.squares[2].colour, chess::MarkColour::Yellow);
    ASSERT_EQ(bare.arrows.size(), 1u);
    EXPECT_EQ(bare.arrows[0].from, square_of(4, 1));
    EXPECT_EQ(bare.arrows[0].to, square_of(4, 3));
    Annotations commands = marks_of_comment("see [%csl Ra1] and [%cal Gb1c3]");
    EXPECT_EQ(commands.squares.size(), 1u);
    EXPECT_EQ(commands.arrows.size(), 1u);
    EXPECT_TRUE(marks_of_comment("a plain comment").empty());

    EXPECT_EQ(epd_solution({"Qxf7+", "Nxf7"}, {}), "Qxf7+, Nxf7");
    EXPECT_EQ(epd_solution({"Qxf7+"}, {"Qxf7+", "Kd8", "Qf8#"}), "Qxf7+ Kd8 Qf8#");
    EXPECT_EQ(epd_solution({}, {}), "");
}

}  // namespace
