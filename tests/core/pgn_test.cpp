#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <streambuf>

#include "core/fen.h"
#include "core/pgn.h"

using namespace chess;

namespace {

// What one call of next() gave.
struct Read {
    PgnReader::Status status;
    PgnGame game;
    PgnError error;
};

std::vector<Read> read_all(const std::string& text, PgnLimits limits = {}) {
    std::istringstream in(text);
    PgnReader reader(in, limits);
    std::vector<Read> out;
    while (true) {
        Read r;
        r.status = reader.next(r.game, r.error);
        if (r.status == PgnReader::Status::End) break;
        out.push_back(std::move(r));
        if (out.size() > 100000) break;  // a reader that never ends fails below
    }
    return out;
}

// The only game of a text, which must read without error.
PgnGame only_game(const std::string& text) {
    std::vector<Read> all = read_all(text);
    EXPECT_EQ(all.size(), 1u);
    if (all.empty()) return {};
    EXPECT_EQ(all[0].status, PgnReader::Status::Game) << all[0].error.message();
    return all[0].game;
}

}  // namespace

TEST(Pgn, TagsWithAnySpacingAndEscapes) {
    PgnGame g = only_game(
        "[Event \"Club \\\"Open\\\" \\\\ 2026\"]\n"
        "[  Site\t\"Москва\"  ]\r\n"
        "[Round\"3\"]\n"
        "[Empty \"\"]\n\n"
        "1. e4 *\n");
    ASSERT_EQ(g.tags.size(), 4u);
    EXPECT_EQ(g.tag("Event"), "Club \"Open\" \\ 2026");
    EXPECT_EQ(g.tag("Site"), "Москва");
    EXPECT_EQ(g.tag("Round"), "3");
    EXPECT_EQ(g.tag("Empty"), "");
    EXPECT_EQ(g.tag("White"), "");
    EXPECT_EQ(g.result, "*");
    EXPECT_EQ(g.number, 1);
    EXPECT_EQ(g.line, 1);
}

TEST(Pgn, PlayedGameGivesThePositionAfterTheMainLine) {
    PgnGame g = only_game(
        "[Event \"?\"]\n\n"
        "1. e4 e5 2.Nf3 Nc6 3. Bb5 {The Spanish} 3... a6 4.Ba4 Nf6 5. 0-0 Be7 1/2-1/2\n");
    EXPECT_FALSE(g.puzzle);
    EXPECT_EQ(write_fen(g.position), "r1bqk2r/1pppbppp/p1n2n2/4p3/B3P3/5N2/PPPP1PPP/RNBQ1RK1 w kq - 4 6");
    EXPECT_EQ(g.solution, "1. e4 e5 2. Nf3 Nc6 3. Bb5 a6 4. Ba4 Nf6 5. O-O Be7");
    EXPECT_EQ(g.plies, 10);
    EXPECT_EQ(g.result, "1/2-1/2");
    EXPECT_TRUE(g.cut_off.empty());
    EXPECT_TRUE(g.caption.empty());
}

TEST(Pgn, SolutionIsWrittenAsTheRulesWriteIt) {
    PgnGame g = only_game("1. Ngf3 d5 2. Nc3 e5 3. Nb5 e4 4. Nbd4 exf3 5. Nxf3 Qd6 6. Nd4 Qxh2 7. Rxh2 *\n");
    EXPECT_EQ(g.solution, "1. Nf3 d5 2. Nc3 e5 3. Nb5 e4 4. Nbd4 exf3 5. Nxf3 Qd6 6. Nd4 Qxh2 7. Rxh2");
    g = only_game("[FEN \"4k3/1P6/8/8/8/8/8/R3K3 w Q - 0 1\"]\n1. b8Q+ Kd7 2. 0-0-0+ Kc6 *\n");
    EXPECT_EQ(g.solution, "1. b8=Q+ Kd7 2. O-O-O+ Kc6");
}

TEST(Pgn, CommentsGlyphsNagsVariationsAndEscapeLinesDoNotTouchTheMainLine) {
    PgnGame g = only_game(
        "% an escape line with [brackets] and {braces\n"
        "[Event \"x\"]\n"
        "{Before the first move}\n"
        "1. e4! $1 e5?! (1... c5 2. Nf3 (2. c3 {deep (not a variation)} d5 (2... Nf6)) d6) ; rest of line (\n"
        "2. Nf3 $14 +- Nc6 $2\n"
        "%2. d4 would be read if this were not an escape line\n"
        "3. Bc4 {last [%csl Rf7,Gc4][%cal Gc4f7] comment} *\n");
    EXPECT_EQ(g.solution, "1. e4 e5 2. Nf3 Nc6 3. Bc4");
    EXPECT_EQ(fen_placement(g.position), "r1bqkbnr/pppp1ppp/2n5/4p3/2B1P3/5N2/PPPP1PPP/RNBQK2R");
    EXPECT_EQ(g.caption, "Before the first move");
    // A played game takes its marks from the last comment of the main line.
    EXPECT_EQ(write_annotations(g.annotations), "[%csl Rf7,Gc4][%cal Gc4f7]");

    g = only_game("1. e4 {[%csl Re4]} e5 (1... c5 {[%csl Gc5]}) 2. Nf3 *\n");
    EXPECT_TRUE(g.annotations.empty()) << write_annotations(g.annotations);
}

TEST(Pgn, PuzzleGivesItsPositionCaptionSolutionAndMarks) {
    PgnGame g = only_game(
        "[Event \"Задачи\"]\n"
        "[SetUp \"1\"]\n"
        "[FEN \"rnbqkbnr/ppppp2p/5p2/6p1/4P3/8/PPPP1PPP/RNBQKBNR w KQkq - 0 3\"]\n\n"
        "{ Мат в 1 ход\n [%csl Rh5][%cal Gd1h5] } 3. Qh5# {Mate [%csl Ge8]} 1-0\n");
    EXPECT_TRUE(g.puzzle);
    EXPECT_EQ(write_fen(g.position), "rnbqkbnr/ppppp2p/5p2/6p1/4P3/8/PPPP1PPP/RNBQKBNR w KQkq - 0 3");
    EXPECT_EQ(g.caption, "Мат в 1 ход");
    EXPECT_EQ(g.solution, "3. Qh5#");
    EXPECT_EQ(write_annotations(g.annotations), "[%csl Rh5][%cal Gd1h5]");

    PgnGame black = only_game(
        "[FEN \"6k1/5ppp/8/8/8/8/r3Q3/6K1 b - - 0 1\"]\n"
        "1... Rxe2? 2. Kf1 (2. Kh1) *\n");
    EXPECT_EQ(black.solution, "1... Rxe2 2. Kf1");
    EXPECT_TRUE(black.caption.empty());
    EXPECT_EQ(write_fen(black.position), "6k1/5ppp/8/8/8/8/r3Q3/6K1 b - - 0 1");

    // The rules cannot play a kingless study; its solution stays as written.
    PgnGame study = only_game("[FEN \"8/8/8/8/8/8/4Q3/8 w - - 0 1\"]\n1. Qe8 Kd7 2. Qd8+ *\n");
    EXPECT_EQ(study.solution, "1. Qe8 Kd7 2. Qd8+");
}

TEST(Pgn, IllegalOrAmbiguousMovesNameGameMoveAndWhyAndReadingGoesOn) {
    std::vector<Read> all = read_all(
        "[Event \"one\"]\n\n1. e4 e5 2. Nc3 Nc6 3. Ne2 *\n\n"
        "[Event \"two\"]\n\n1. e4 e5 2. Ke3 *\n\n"
        "[Event \"three\"]\n\n1. Nf3 d5 2. Nc3 d4 3. Nbd2 *\n\n"
        "[Event \"four\"]\n\n1. e4 e5 2. Nf3 Nc6 3. d4 exd4 4. Nxd4 Nf3 *\n"
        "[Event \"five\"]\n[FEN \"8/8/8/8/8/8/8/8 w - - 0 1\" ]\n\n1. Kb2 *\n"
        "[Event \"six\"]\n[FEN \"8/8/8/9/8/8/8/8 w - - 0 1\"]\n\n*\n"
        "[Event \"seven\"]\n\n1. e4 *\n");
    ASSERT_EQ(all.size(), 7u);
    EXPECT_EQ(all[0].status, PgnReader::Status::Error);
    EXPECT_EQ(all[0].error.message(), "game 1, move 3 (Ne2): two knights can go to e2");
    EXPECT_EQ(all[1].error.message(), "game 2, move 2 (Ke3): the king cannot go to e3");
    EXPECT_EQ(all[2].error.message(), "game 3, move 3 (Nbd2): no knight can go to d2");
    EXPECT_EQ(all[3].error.message(), "game 4, move 4... (Nf3): no knight can go to f3");
    EXPECT_EQ(all[3].error.line, 15);
    // A kingless puzzle cannot be played; its solution is kept unchecked.
    EXPECT_EQ(all[4].status, PgnReader::Status::Game);
    EXPECT_EQ(all[4].game.solution, "1. Kb2");
    EXPECT_EQ(all[5].error.game, 6);
    EXPECT_EQ(all[5].error.line, 21);
    EXPECT_EQ(all[5].error.reason.rfind("FEN tag: ", 0), 0u) << all[5].error.reason;
    EXPECT_EQ(all[6].status, PgnReader::Status::Game);
    EXPECT_EQ(all[6].game.tag("Event"), "seven");
    EXPECT_EQ(all[6].game.number, 7);
}

TEST(Pgn, ManyGamesWithCrlfByteOrderMarkAndTextBetween) {
    std::vector<Read> all = read_all(
        "\xEF\xBB\xBF[Event \"a\"]\r\n\r\n1. d4 d5 1-0\r\n\r\n"
        "[Event \"b\"]\r\n1. c4 {Английское} 0-1 {a stray comment after the result}\r\n"
        "\r\n[Event \"c\"]\r\n\r\n*\r\n"
        "1. f4 *\r\n");  // a game without tags
    ASSERT_EQ(all.size(), 4u);
    EXPECT_EQ(all[0].game.tag("Event"), "a");
    EXPECT_EQ(all[0].game.result, "1-0");
    EXPECT_EQ(all[1].game.tag("Event"), "b");
    EXPECT_EQ(all[1].game.result, "0-1");
    EXPECT_EQ(all[1].game.line, 5);
    EXPECT_EQ(all[2].game.tag("Event"), "c");
    EXPECT_EQ(all[2].game.solution, "");
    EXPECT_EQ(all[2].game.line, 8);
    EXPECT_EQ(all[3].game.solution, "1. f4");
    EXPECT_TRUE(all[3].game.tags.empty());
    for (const Read& r : all) EXPECT_EQ(r.status, PgnReader::Status::Game) << r.error.message();
}

TEST(Pgn, CutOffGamesAreGivenAsFarAsTheyGo) {
    PgnGame g = only_game("[Event \"x\"]\n\n1. e4 e5 2. Nf3 (2. f4 exf4");
    EXPECT_EQ(g.solution, "1. e4 e5 2. Nf3");
    EXPECT_EQ(g.cut_off, "the file ends inside a variation");
    EXPECT_EQ(g.result, "");
    EXPECT_EQ(g.position[parse_square("f3")], Piece::WhiteKnight);

    g = only_game("[Event \"x\"]\n\n1. e4 e5 {unterminated\n2. Nf3 *\n");
    EXPECT_EQ(g.solution, "1. e4 e5");
    EXPECT_EQ(g.cut_off, "the file ends inside the comment from line 3");

    std::vector<Read> all = read_all("[Event \"x\"]\n1. e4 e5\n[Event \"y\"]\n1. d4 *\n[Event \"z\"]\n[Site \"cut");
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[0].game.cut_off, "no result before the next game");
    EXPECT_EQ(all[0].game.solution, "1. e4 e5");
    EXPECT_TRUE(all[1].game.cut_off.empty());
    EXPECT_EQ(all[2].status, PgnReader::Status::Game);
    EXPECT_EQ(all[2].game.tag("Event"), "z");
    EXPECT_EQ(all[2].game.cut_off, "the file ends inside a tag");
}

TEST(Pgn, HostileInputIsReportedWithinBounds) {
    // Unterminated comment and tag value with nothing else: reported, not dropped.
    std::vector<Read> all = read_all("{ never closed");
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0].error.message(), "game 1, line 1: the file ends inside the comment from line 1");
    all = read_all("[Event \"never closed\n1. e4 *\n[Event \"next\"]\n1. d4 *\n");
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0].error.message(), "game 1, line 1: the value of tag Event is not closed on its line");
    EXPECT_EQ(all[1].game.solution, "1. d4");

    // A 1 MB word.
    all = read_all("[Event \"x\"]\n1. " + std::string(1 << 20, 'N') + " *\n[Event \"y\"]\n1. e4 *\n");
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0].error.message(), "game 1, line 2: a move or other word longer than 255 bytes");
    EXPECT_EQ(all[1].game.tag("Event"), "y");

    // A tag value over its bound, and too many tags.
    all = read_all("[Event \"" + std::string(5000, 'v') + "\"]\n[Site \"s\"]\n1. e4 *\n");
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0].error.reason, "the value of tag Event is longer than 4096 bytes");
    std::string tags;
    for (int i = 0; i < 300; ++i) tags += "[T" + std::to_string(i) + " \"v\"]\n";
    all = read_all(tags + "*\n");
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0].error.reason, "more than 256 tags");

    // 10,000 nested variations, then a stray ')'.
    all = read_all("[Event \"x\"]\n1. e4 " + std::string(10000, '(') + "1. d4" + std::string(10000, ')') +
                   " e5 *\n[Event \"y\"]\n1. e4 e5) *\n[Event \"z\"]\n1. c4 *\n");
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[0].error.reason, "variations nested deeper than 64");
    EXPECT_EQ(all[1].error.message(), "game 2, line 4: ')' without '('");
    EXPECT_EQ(all[2].game.solution, "1. c4");

    // A comment far over its bound is kept to the bound, cut at a character.
    PgnGame g = only_game("{" + std::string(70000, 'x') + "Ж}\n1. e4 *\n");
    EXPECT_EQ(g.caption.size(), 64u * 1024);
}

TEST(Pgn, BinaryGarbageEndsInErrorsAndTheNextGameIsRead) {
    std::mt19937 random(12345);
    std::string garbage(1 << 18, '\0');
    for (char& c : garbage) c = static_cast<char>(random());
    // The garbage ends inside an open comment: a brace closes it, else the
    // game after it would be comment text.
    std::vector<Read> all = read_all(garbage + "}\n\n[Event \"after\"]\n\n1. e4 e5 *\n");
    ASSERT_GE(all.size(), 2u);
    int errors = 0;
    for (std::size_t i = 0; i + 1 < all.size(); ++i) {
        if (all[i].status == PgnReader::Status::Error) {
            ++errors;
            EXPECT_FALSE(all[i].error.reason.empty());
        } else {
            // A lone "*" between two bits of garbage is an empty game.
            EXPECT_TRUE(all[i].game.tags.empty() && all[i].game.plies == 0) << all[i].game.number;
        }
    }
    EXPECT_GT(errors, 100);
    EXPECT_EQ(all.back().status, PgnReader::Status::Game);
    EXPECT_EQ(all.back().game.tag("Event"), "after");
    EXPECT_EQ(all.back().game.solution, "1. e4 e5");

    all = read_all("\x01\x02\x03\xFF\xFE garbage\n[Event \"after\"]\n1. e4 *\n");
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0].error.message(), "game 1, line 1: unexpected byte 0x01");
    EXPECT_EQ(all[1].game.tag("Event"), "after");
}

namespace {

// Games made on demand: a file larger than any buffer that never exists whole.
class GameSource : public std::streambuf {
public:
    explicit GameSource(int games) : left_(games) {}

protected:
    int_type underflow() override {
        if (left_ == 0) return traits_type::eof();
        --left_;
        chunk_ = "[Event \"g" + std::to_string(left_) + "\"]\n[Site \"?\"]\n\n"
                 "1. e4 e5 2. Nf3 Nc6 3. Bb5 a6 4. Ba4 Nf6 5. O-O Be7 6. Re1 b5 7. Bb3 d6 8. c3 O-O { [%cal Gh2h3] } 1/2-1/2\n\n";
        setg(chunk_.data(), chunk_.data(), chunk_.data() + chunk_.size());
        return traits_type::to_int_type(chunk_[0]);
    }

private:
    int left_;
    std::string chunk_;
};

}  // namespace

TEST(Pgn, StreamsThousandsOfGamesAcrossBufferBoundaries) {
    GameSource source(1000);
    std::istream in(&source);
    PgnReader reader(in);
    PgnGame game;
    PgnError error;
    int games = 0;
    PgnReader::Status status;
    while ((status = reader.next(game, error)) == PgnReader::Status::Game) {
        ++games;
        ASSERT_EQ(game.plies, 16) << game.number;
        ASSERT_EQ(game.tag("Event"), "g" + std::to_string(1000 - games));
        ASSERT_EQ(game.annotations.arrows.size(), 1u);
    }
    EXPECT_EQ(status, PgnReader::Status::End) << error.message();
    EXPECT_EQ(games, 1000);
    EXPECT_EQ(write_fen(game.position), "r1bq1rk1/2p1bppp/p1np1n2/1p2p3/4P3/1BP2N2/PP1P1PPP/RNBQR1K1 w - - 1 9");
}

// What real collections hold, by programs and people other than us.
TEST(Pgn, ReadsTheQuirksOfRealFiles) {
    // Problem collections number the set position's move 0; a name in
    // quotes inside the quotes; a value broken over two lines.
    PgnGame g = only_game(
        "[Event \"Mate in \"2\" moves\"]\n"
        "[White \"\"Name\"\"]\n"
        "[Annotator \"A long\n"
        "   name\"]\n"
        "[FEN \"4k3/8/4K3/8/8/8/8/7R w - - 0 0\"]\n"
        "1. Rh8# 1-0\n");
    EXPECT_EQ(g.tag("Event"), "Mate in \"2\" moves");
    EXPECT_EQ(g.tag("White"), "\"Name\"");
    EXPECT_EQ(g.tag("Annotator"), "A long name");
    EXPECT_TRUE(g.puzzle);
    EXPECT_EQ(g.solution, "1. Rh8#");

    // Null moves, long algebraic, an e.p. suffix, castling with zeros and
    // in lower case.
    g = only_game(
        "1. e2-e4 -- 2. e4-e5 d7-d5 3. e5xd6 e.p. Z0 4. d2d4 Bc8-g4 5. Ng1-f3 Nb8c6 6. Bf1e2 Qd8d7 7. o-o 0-0-0 *\n");
    EXPECT_EQ(g.solution, "1. e4 -- 2. e5 d5 3. exd6 -- 4. d4 Bg4 5. Nf3 Nc6 6. Be2 Qd7 7. O-O O-O-O");
    EXPECT_EQ(only_game("1. e4 Nf6 2. e5 d5 3. exd6e.p. e6 *\n").solution, "1. e4 Nf6 2. e5 d5 3. exd6 e6");
    EXPECT_EQ(write_fen(g.position), "2kr1bnr/pppqpppp/2nP4/8/3P2b1/5N2/PPP1BPPP/RNBQ1RK1 w - - 7 8");

    // A null move cannot answer a check.
    std::vector<Read> all = read_all("1. e4 f6 2. Qh5+ -- *\n");
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0].error.message(), "game 1, move 2... (--): a null move while in check");
}

// PGN is Latin-1 by its standard: a game that is not UTF-8 is read as
// Windows-1252, tags and comments alike; a UTF-8 game beside it stays as it is.
TEST(Pgn, GamesInLatin1OrWindows1252AreConverted) {
    std::vector<Read> all = read_all(
        "[White \"M\xFCller\"]\n[Black \"Jos\xE9\"]\n[Event \"\x93Open\x94 \x80 2026\"]\n"
        "[FEN \"4k3/8/4K3/8/8/8/8/7R w - - 0 1\"]\n{Matt in 1 \xB7 Caf\xE9} 1. Rh8# 1-0\n\n"
        "[White \"M\xC3\xBCller\"]\n1. e4 *\n");
    ASSERT_EQ(all.size(), 2u);
    const PgnGame& latin = all[0].game;
    EXPECT_TRUE(latin.windows_1252);
    EXPECT_EQ(latin.tag("White"), "Müller");
    EXPECT_EQ(latin.tag("Black"), "José");
    EXPECT_EQ(latin.tag("Event"), "“Open” € 2026");
    EXPECT_EQ(latin.caption, "Matt in 1 · Café");
    EXPECT_FALSE(all[1].game.windows_1252);
    EXPECT_EQ(all[1].game.tag("White"), "Müller");
}
