#include <gtest/gtest.h>

#include "core/diagram_layout.h"

using namespace chess;

// The editor's picture at the shipped square size, and an odd size where the
// dropped remainders show.
TEST(DiagramLayout, EditorPictureInPixels) {
    DiagramLayout even{50};
    EXPECT_EQ(even.width(), 450);
    EXPECT_EQ(even.height(), 475);
    EXPECT_EQ(even.square_x(1), 25);
    EXPECT_EQ(even.square_y(8), 375);
    EXPECT_EQ(even.bottom_strip_y(), 425);
    EXPECT_EQ(even.right_strip_x(), 425);
    EXPECT_EQ(even.caption_y(), 452);
    EXPECT_EQ(even.caption_x(100), 175);

    DiagramLayout odd{51};
    EXPECT_EQ(odd.height(), 9 * 51 + 25);
    EXPECT_EQ(odd.square_x(1), 26);  // one pixel right of the 25-pixel frame strip
    EXPECT_EQ(odd.right_strip_x(), 8 * 51 + 25);
    EXPECT_EQ(odd.caption_x(500), -20);  // wider than the picture: starts left of it
}

TEST(DiagramLayout, VectorGeometryIsExact) {
    VectorDiagramLayout v{10.0};
    EXPECT_DOUBLE_EQ(v.width(), 90.0);
    EXPECT_DOUBLE_EQ(v.height(), 95.0);
    EXPECT_DOUBLE_EQ(v.board_x(), 5.0);
    EXPECT_DOUBLE_EQ(v.board_y(), 5.0);
    EXPECT_DOUBLE_EQ(v.board_x() + v.board_side() + v.half(), v.width());
    VectorDiagramLayout odd{5.0};
    EXPECT_DOUBLE_EQ(odd.square_x(2), 7.5);
}
