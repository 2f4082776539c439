#include <gtest/gtest.h>

#include "core/epd.h"
#include "core/fen.h"

using namespace chess;

TEST(Epd, PositionAndOperationsInOrder) {
    const EpdResult r = read_epd(
        "2rr3k/pp3pp1/1nnqbN1p/3pN3/2pP4/2P3Q1/PPB4P/R4RK1 w - - bm Qg6; id \"WAC.001\"; pv Qg6 fxg6 Nf7#; "
        "c0 \"Мат в 3 хода; красиво\"; c1 \"a \\\"quoted\\\" word\";");
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(fen_placement(r.position), "2rr3k/pp3pp1/1nnqbN1p/3pN3/2pP4/2P3Q1/PPB4P/R4RK1");
    EXPECT_EQ(r.position.to_move, Side::White);
    ASSERT_EQ(r.operations.size(), 5u);
    EXPECT_EQ(r.operations[0].opcode, "bm");
    EXPECT_EQ(r.operations[3].opcode, "c0");
    EXPECT_EQ(r.best_moves(), std::vector<std::string>{"Qg6"});
    EXPECT_EQ(r.predicted_variation(), (std::vector<std::string>{"Qg6", "fxg6", "Nf7#"}));
    EXPECT_EQ(r.text_of("id"), "WAC.001");
    // A ';' inside quotes belongs to the string.
    EXPECT_EQ(r.caption(), "Мат в 3 хода; красиво");
    EXPECT_EQ(r.text_of("c1"), "a \"quoted\" word");
}

TEST(Epd, CaptionIsTheCommentElseTheId) {
    EXPECT_EQ(read_epd("8/8/8/4k3/8/8/8/4K3 b - - id \"study 7\";").caption(), "study 7");
    EXPECT_EQ(read_epd("8/8/8/4k3/8/8/8/4K3 b - - id \"x\"; c0 \"y\";").caption(), "y");
    EXPECT_EQ(read_epd("8/8/8/4k3/8/8/8/4K3 b - - c0 \"\"; id \"x\";").caption(), "");
    EXPECT_EQ(read_epd("8/8/8/4k3/8/8/8/4K3 b - -").caption(), "");
    // Several operands, and a last operation without its ';'.
    const EpdResult several = read_epd("8/8/8/4k3/8/8/8/4K3 b - - bm Kd6 Kf6; hmvc 12");
    ASSERT_TRUE(several.ok) << several.error;
    EXPECT_EQ(several.best_moves(), (std::vector<std::string>{"Kd6", "Kf6"}));
    EXPECT_EQ(several.text_of("hmvc"), "12");
}

TEST(Epd, ErrorsSayWhatAndWhere) {
    struct Case {
        const char* text;
        const char* message;
        std::size_t offset;
    };
    const Case cases[] = {
        {"8/8/8/4k3/8/8/8/4KX3 w - - id \"a\";", "unknown piece letter 'X'", 18},
        {"8/8/8/4k3/8/8/8/4K3 x - - id \"a\";", "side to move must be 'w' or 'b', not \"x\"", 20},
        {"8/8/8/4k3/8/8/8/4K3 w -", "an EPD record needs four position fields, this has 3", 23},
        {"8/8/8/4k3/8/8/8/4K3 w - - id \"open", "string of 'id' has no closing '\"'", 29},
        {"8/8/8/4k3/8/8/8/4K3 w - - id \"a\"; \"b\";", "an operation must start with an opcode, not '\"'", 34},
        {"8/8/8/4k3/8/8/8/4K3 w - - b-m x;", "an opcode holds letters, digits and '_' only", 27},
        // A caption after four FEN fields only: no opcode, and no broken UTF-8 in the message.
        {"8/8/8/4k3/8/8/8/4K3 w - - Мат", "an operation must start with an opcode, not byte 0xD0", 26},
    };
    for (const Case& c : cases) {
        const EpdResult r = read_epd(c.text);
        EXPECT_FALSE(r.ok) << c.text;
        EXPECT_EQ(r.error, c.message) << c.text;
        EXPECT_EQ(r.error_offset, c.offset) << c.text;
    }
}

TEST(Epd, TellsEpdFromFen) {
    EXPECT_TRUE(looks_like_epd("8/8/8/4k3/8/8/8/4K3 w - - bm Kd2;"));
    EXPECT_TRUE(looks_like_epd("8/8/8/4k3/8/8/8/4K3 w - - \"odd\""));
    EXPECT_FALSE(looks_like_epd("8/8/8/4k3/8/8/8/4K3 w - - 0 1 Мат в 2"));
    EXPECT_FALSE(looks_like_epd("8/8/8/4k3/8/8/8/4K3 w - - - - Мат в 2"));
    EXPECT_FALSE(looks_like_epd("8/8/8/4k3/8/8/8/4K3 w - - -"));
    EXPECT_FALSE(looks_like_epd("8/8/8/4k3/8/8/8/4K3 w - -"));
    EXPECT_FALSE(looks_like_epd("8/8/8/4k3/8/8/8/4K3"));
}

// Records written for position lists read back as what was written: the
// position, a caption with quotes, blanks and ';', marks as c1.
TEST(Epd, WrittenRecordsReadBack) {
    FenResult fen = read_fen("r3k2r/8/8/3pP3/8/8/8/R3K2R w Kq d6 0 23");
    ASSERT_TRUE(fen.ok);
    const std::vector<EpdOperation> ops = {
        {"id", {"WAC.001"}},
        {"c0", {"Müller – \"Jo\"; 1-0 \\ x"}},
        {"c1", {"[%csl Ra1,Gd5][%cal Re2e4]"}},
        {"bm", {"Qd1+", "exd6"}},
        {"c2", {""}},
    };
    const std::string line = write_epd(fen.position, ops);
    EXPECT_EQ(line,
              "r3k2r/8/8/3pP3/8/8/8/R3K2R w Kq d6 fmvn 23; id \"WAC.001\"; c0 \"Müller – \\\"Jo\\\"; 1-0 \\\\ x\"; "
              "c1 \"[%csl Ra1,Gd5][%cal Re2e4]\"; bm Qd1+ exd6; c2 \"\";");
    EpdResult back = read_epd(line);
    ASSERT_TRUE(back.ok) << back.error;
    // The counters come back through hmvc and fmvn.
    EXPECT_EQ(write_fen(back.position), "r3k2r/8/8/3pP3/8/8/8/R3K2R w Kq d6 0 23");
    ASSERT_EQ(back.operations.size(), ops.size() + 1);
    for (std::size_t i = 0; i < ops.size(); ++i) {
        EXPECT_EQ(back.operations[i + 1].opcode, ops[i].opcode);
        EXPECT_EQ(back.operations[i + 1].operands, ops[i].operands) << ops[i].opcode;
    }
    // A line break in a caption cannot split the record.
    EXPECT_EQ(read_epd(write_epd(fen.position, {{"c0", {"two\nlines"}}})).caption(), "two lines");
}
