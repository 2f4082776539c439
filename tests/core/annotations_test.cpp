#include <gtest/gtest.h>

#include "core/annotations.h"
#include "core/position.h"

using namespace chess;

TEST(Annotations, SquaresAndArrowsFromCommandsAmongOtherText) {
    Annotations a = read_annotations("White wins. [%clk 0:01:02] [%csl Ra1,Gb2, Yh8][%cal Re2e4,Gg1f3] more");
    ASSERT_EQ(a.squares.size(), 3u);
    EXPECT_EQ(a.squares[0], (SquareHighlight{parse_square("a1"), MarkColour::Red}));
    EXPECT_EQ(a.squares[1], (SquareHighlight{parse_square("b2"), MarkColour::Green}));
    EXPECT_EQ(a.squares[2], (SquareHighlight{parse_square("h8"), MarkColour::Yellow}));
    ASSERT_EQ(a.arrows.size(), 2u);
    EXPECT_EQ(a.arrows[0], (Arrow{parse_square("e2"), parse_square("e4"), MarkColour::Red}));
    EXPECT_EQ(a.arrows[1], (Arrow{parse_square("g1"), parse_square("f3"), MarkColour::Green}));
    EXPECT_EQ(write_annotations(a), "[%csl Ra1,Gb2,Yh8][%cal Re2e4,Gg1f3]");
    EXPECT_EQ(read_annotations(write_annotations(a)), a);
}

TEST(Annotations, MalformedEntriesAreSkippedOneByOne) {
    Annotations a = read_annotations("[%csl Xa1,Ri9,Ra,Rb3x,,Bc3][%cal Re2,Re2e2,Qd1d8,Bd1d8,Ye2e9][%csl Ga2");
    ASSERT_EQ(a.squares.size(), 1u);
    EXPECT_EQ(a.squares[0], (SquareHighlight{parse_square("c3"), MarkColour::Blue}));
    ASSERT_EQ(a.arrows.size(), 1u);
    EXPECT_EQ(a.arrows[0], (Arrow{parse_square("d1"), parse_square("d8"), MarkColour::Blue}));
    EXPECT_TRUE(read_annotations("[%cslRa1] [csl Ra1] {%csl Ra1}").empty());
    EXPECT_EQ(write_annotations(Annotations{}), "");
}

TEST(Annotations, ListsAloneAsAnEpdOperandCarriesThem) {
    Annotations a;
    read_square_list("Ra1 Gb2", a);
    read_arrow_list("rh1h8", a);
    EXPECT_EQ(write_annotations(a), "[%csl Ra1,Gb2][%cal Rh1h8]");
}

TEST(Annotations, StrippedCommentReadsAsText) {
    EXPECT_EQ(strip_commands("  Mate in two.\r\n [%csl Ra1]  White   to play [%cal Re2e4]"),
              "Mate in two. White to play");
    EXPECT_EQ(strip_commands("[%clk 1:00]"), "");
    EXPECT_EQ(strip_commands("Мат в 2 хода [%unclosed"), "Мат в 2 хода");
}
