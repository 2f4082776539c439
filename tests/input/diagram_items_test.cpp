// Files to diagram items: what a file is taken for, and what the reader
// hands on from lists, games and pictures, numbered over all inputs.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

#include "core/fen.h"
#include "input/diagram_items.h"
#include "input/input_source.h"
#include "tests/support/temp_dir.h"

using namespace chess;
using namespace chess::input;

namespace {

class DiagramItems : public ::testing::Test {
protected:
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
    TempDir scratch;
    std::filesystem::path folder = scratch.path();
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

// Bytes through a pipe, in pieces, the first smaller than what telling a
// list from PGN reads ahead: nothing is lost to the telling.
class PipedInput {
public:
    explicit PipedInput(std::vector<std::string> pieces) {
        EXPECT_EQ(pipe(ends_), 0);
        writer_ = std::thread([this, pieces = std::move(pieces)] {
            for (const std::string& piece : pieces) {
                EXPECT_EQ(::write(ends_[1], piece.data(), piece.size()), static_cast<ssize_t>(piece.size()));
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
            close(ends_[1]);
        });
    }
    ~PipedInput() {
        writer_.join();
        close(ends_[0]);
    }
    std::string path() const { return "/dev/fd/" + std::to_string(ends_[0]); }

private:
    int ends_[2] = {-1, -1};
    std::thread writer_;
};

TEST_F(DiagramItems, PipesAreToldAndReadWithoutLoss) {
    std::string list;
    for (int n = 1; n <= 500; ++n) list += "8/8/8/4k3/8/8/8/4K3 w - - 0 1 Line " + std::to_string(n) + "\n";
    ItemReader reader([&](const DiagramItem& item) { items.push_back(item); },
                      [&](const ReadProblem& problem) { problems.push_back(problem); });
    {
        PipedInput piped({"8/8", list.substr(3, 9000), list.substr(9003)});
        reader.read(piped.path());
    }
    {
        const std::string game(games);
        PipedInput piped({"\xEF\xBB\xBF \r\n", game.substr(0, 5), game.substr(5)});
        InputSource input;
        std::string error;
        ASSERT_TRUE(input.open(piped.path(), error)) << error;
        EXPECT_FALSE(input.regular());
        EXPECT_EQ(kind_of(input), Kind::Pgn);
        reader.read(input, Kind::Pgn);
    }
    ASSERT_EQ(items.size(), 502u);
    EXPECT_EQ(items.front().caption, "Line 1");
    EXPECT_EQ(items[499].caption, "Line 500");
    EXPECT_EQ(items[500].caption, "Mate in one");
    EXPECT_EQ(items[501].caption, "Anna \u2013 Boris");
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0].number, 502u);
}

// A stream spooled while read once can be read again from its copy, with
// the same items; a regular file released is opened again.
TEST_F(DiagramItems, SpooledStreamsAndReleasedFilesReadTwice) {
    std::string list;
    for (int n = 1; n <= 3000; ++n) list += "8/8/8/4k3/8/8/8/4K3 w - - 0 1 Line " + std::to_string(n) + "\r\n";
    PipedInput piped({list.substr(0, 100), list.substr(100)});
    InputSource stream, file;
    std::string error;
    ASSERT_TRUE(stream.open(piped.path(), error)) << error;
    ASSERT_TRUE(stream.spool(error)) << error;
    ASSERT_TRUE(file.open(write("list.fen", list), error)) << error;
    ItemReader reader([&](const DiagramItem& item) { items.push_back(item); },
                      [&](const ReadProblem& problem) { problems.push_back(problem); });
    for (int pass = 0; pass < 2; ++pass) {
        for (InputSource* input : {&stream, &file}) {
            if (pass == 1) {
                ASSERT_TRUE(input->rewind(error)) << error;
            }
            EXPECT_EQ(kind_of(*input), Kind::List);
            reader.read(*input, Kind::List);
            input->release();
        }
    }
    ASSERT_EQ(items.size(), 12000u);
    for (std::size_t k : {0u, 3000u, 6000u, 9000u}) EXPECT_EQ(items[k].caption, "Line 1");
    EXPECT_EQ(items.back().caption, "Line 3000");
    EXPECT_TRUE(problems.empty());
}

// A game cut off by the file's end is drawn as far as it goes and said to
// be damaged; a file read as Windows-1252 is noticed once, and loses nothing.
TEST_F(DiagramItems, DamagedGamesAndNoticesAreToldApart) {
    read({write("latin.pgn", "[White \"M\xFCller\"]\n[Black \"Jos\xE9\"]\n\n1. e4 *\n\n"
                             "[White \"G\xF6tz\"]\n[Black \"B\"]\n\n1. d4 *\n\n"
                             "[FEN \"4k3/8/8/8/8/8/8/R3K3 w - - 0 1\"]\n\n1. Ra8+ {and then"),
          write("also.pgn", "[White \"\xC5sa\"]\n[Black \"B\"]\n\n1. c4 (1. d4 *\n")});
    ASSERT_EQ(items.size(), 4u);
    EXPECT_EQ(items[0].caption, "M\u00fcller \u2013 Jos\u00e9");
    EXPECT_EQ(items[2].solution, "1. Ra8+");
    using Severity = ReadProblem::Severity;
    ASSERT_EQ(problems.size(), 4u);
    EXPECT_EQ(problems[0].severity, Severity::Notice);
    EXPECT_EQ(problems[0].number, 0u);
    EXPECT_EQ(problems[0].message, (folder / "latin.pgn").string() + ": not UTF-8: read as Windows-1252 (Latin-1)");
    EXPECT_EQ(problems[1].severity, Severity::Damaged);
    EXPECT_EQ(problems[1].number, 3u);
    EXPECT_EQ(problems[1].message.rfind((folder / "latin.pgn").string() + ": game 3: the file ends inside", 0), 0u)
        << problems[1].message;
    EXPECT_TRUE(problems[1].message.ends_with("; drawn as far as it goes")) << problems[1].message;
    EXPECT_EQ(problems[2].severity, Severity::Notice);
    EXPECT_EQ(problems[3].severity, Severity::Damaged);
    EXPECT_NE(problems[3].message.find("game 1: the file ends inside a variation"), std::string::npos)
        << problems[3].message;
}

}  // namespace
