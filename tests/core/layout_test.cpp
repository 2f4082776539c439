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

#include "core/sheet_layout.h"

// The three sheets of the programs: 1180 x 1628 pixels, and the cells their
// users know.
TEST(SheetLayout, ProgramSheets) {
    for (const SheetLayout& sheet : {editor_print_sheet, sheet6_layout, sheet12_layout}) {
        EXPECT_EQ(sheet.width, 1180);
        EXPECT_EQ(sheet.height, 1628);
    }
    EXPECT_EQ(sheet12_layout.cell_width(), 360);
    EXPECT_EQ(sheet12_layout.cell_height(), 377);
    EXPECT_EQ(sheet6_layout.cell_width(), 540);
    EXPECT_EQ(sheet6_layout.cell_height(), 502);
    EXPECT_EQ(sheet12_layout.capacity(), 12);

    // The editor's slots at their own size: 450 x 475 pictures a gap apart.
    EXPECT_EQ(editor_print_sheet.picture_x(1, 450), 40);
    EXPECT_EQ(editor_print_sheet.picture_x(2, 450), 510);
    EXPECT_EQ(editor_print_sheet.picture_y(2, 475), 40);
    EXPECT_EQ(editor_print_sheet.picture_y(3, 475), 535);
    EXPECT_EQ(editor_print_sheet.picture_x(4, 450), 510);

    // The 7th diagram of sheet12 is in the third row, first column.
    EXPECT_EQ(sheet12_layout.picture_x(7, 341), 30);
    EXPECT_EQ(sheet12_layout.picture_y(7, 360), 30 + 2 * 380);
    EXPECT_EQ(sheet12_layout.cell_x(6), 30 + 2 * 380);
    EXPECT_EQ(sheet12_layout.cell_y(6), 30 + 397);
}

TEST(SheetLayout, FittingKeepsProportionsAndNeverVanishes) {
    int w = 0, h = 0;
    sheet12_layout.fit(450, 475, w, h);  // height decides: 377 high
    EXPECT_EQ(h, 377);
    EXPECT_EQ(w, 357);  // 450 * 377 / 475 = 357.16
    sheet6_layout.fit(450, 475, w, h);
    EXPECT_EQ(h, 502);
    EXPECT_EQ(w, 476);  // 475.58
    sheet6_layout.fit(5, 5, w, h);  // a blank slot grows to the cell's height
    EXPECT_EQ(w, 502);
    EXPECT_EQ(h, 502);
    sheet6_layout.fit(10000, 1, w, h);  // a sliver stays one pixel high
    EXPECT_EQ(w, 540);
    EXPECT_EQ(h, 1);
}

TEST(SheetLayout, PagesOnPaperAreExact) {
    // A4 in points, 3 x 4 cells.
    PageLayout page{3, 4, 36.0, 12.0, 595.276, 841.89};
    const double cw = page.cell_width(), ch = page.cell_height();
    EXPECT_NEAR(3 * cw + 2 * 12 + 2 * 36, 595.276, 1e-9);
    EXPECT_NEAR(4 * ch + 3 * 12 + 2 * 36, 841.89, 1e-9);
    double w = 0, h = 0;
    page.fit(9.0, 9.5, w, h);
    EXPECT_NEAR(w / h, 9.0 / 9.5, 1e-12);
    EXPECT_TRUE(std::abs(w - cw) < 1e-9 || std::abs(h - ch) < 1e-9);
    // Centred: equal space on both sides within the cell.
    const double x = page.centred_x(5, w);
    EXPECT_NEAR(x - page.cell_x(5), page.cell_x(5) + cw - (x + w), 1e-9);
}
